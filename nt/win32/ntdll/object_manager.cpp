// The object-manager namespace over the drive table, and the native calls
// that open its links and directories: NtOpenSymbolicLinkObject,
// NtQuerySymbolicLinkObject, NtOpenDirectoryObject and NtClose.
#include "ntdll/object_manager.h"

#include <cstring>

#include "kernel32/kernel_object.h"
#include "machine/dos_paths.h"
#include "machine/machine.h"
#include "winnls.h"
#include "winternl.h"

namespace quarn::win32 {
namespace {

std::vector<NamespaceObject> all_objects() {
    std::vector<NamespaceObject> objects = {
        {ObjectType::directory, u"\\", u""},
        {ObjectType::directory, u"\\Device", u""},
        {ObjectType::directory, u"\\??", u""},
        {ObjectType::symbolic_link, u"\\DosDevices", u"\\??"},
        {ObjectType::device, u"\\Device\\Mup", u""},
    };
    for (const auto &[name, target] : dos_devices()) {
        std::u16string device = utf8_to_utf16(target);
        if (name != "UNC") objects.push_back({ObjectType::device, device, u""});
        objects.push_back({ObjectType::symbolic_link, u"\\??\\" + utf8_to_utf16(name), device});
    }
    return objects;
}

bool same_name(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (upper_case(a[i]) != upper_case(b[i])) return false;
    return true;
}

const NamespaceObject *lookup(const std::vector<NamespaceObject> &objects, std::u16string_view name) {
    for (const auto &object : objects)
        if (same_name(object.name, name)) return &object;
    return nullptr;
}

class NamespaceHandle final : public KernelObject {
public:
    explicit NamespaceHandle(NamespaceObject object) : object_(std::move(object)) {}
    const NamespaceObject &object() const { return object_; }

private:
    NamespaceObject object_;
};

NTSTATUS open_object(PHANDLE handle, POBJECT_ATTRIBUTES attributes, ObjectType type) {
    if (!handle || !attributes || !attributes->ObjectName || !attributes->ObjectName->Buffer || attributes->RootDirectory)
        return STATUS_INVALID_PARAMETER;
    std::u16string_view name(attributes->ObjectName->Buffer, attributes->ObjectName->Length / sizeof(WCHAR));
    NTSTATUS status = STATUS_SUCCESS;
    auto object = find_namespace_object(name, status);
    if (!object) return status;
    if (object->type != type) return STATUS_OBJECT_TYPE_MISMATCH;
    *handle = make_handle(std::make_shared<NamespaceHandle>(std::move(*object)));
    return STATUS_SUCCESS;
}

}  // namespace

std::vector<std::pair<std::string, std::string>> dos_devices() {
    std::vector<std::pair<std::string, std::string>> devices;
    if (const Machine *machine = Machine::current()) {
        int volume = 0;
        for (const auto &entry : drive_table(*machine)) {
            char name[3] = {static_cast<char>(entry.first - 'a' + 'A'), ':', '\0'};
            devices.emplace_back(name, "\\Device\\HarddiskVolume" + std::to_string(++volume));
        }
    }
    devices.emplace_back("UNC", "\\Device\\Mup");
    return devices;
}

std::optional<NamespaceObject> find_namespace_object(std::u16string_view name, NTSTATUS &status) {
    if (name.empty() || name[0] != u'\\' || (name.size() > 1 && name.back() == u'\\')) {
        status = STATUS_OBJECT_NAME_INVALID;
        return std::nullopt;
    }
    auto objects = all_objects();
    std::u16string path(name);
    for (int depth = 0; depth < 32; ++depth) {
        // Walk the components; a link before the last one is followed.
        size_t end = 0;
        bool restarted = false;
        while ((end = path.find(u'\\', end + 1)) != std::u16string::npos) {
            const NamespaceObject *prefix = lookup(objects, std::u16string_view(path).substr(0, end));
            if (!prefix) {
                status = STATUS_OBJECT_PATH_NOT_FOUND;
                return std::nullopt;
            }
            if (prefix->type == ObjectType::symbolic_link) {
                path = prefix->target + path.substr(end);
                restarted = true;
                break;
            }
            if (prefix->type != ObjectType::directory) {
                status = STATUS_OBJECT_PATH_NOT_FOUND;
                return std::nullopt;
            }
        }
        if (restarted) continue;
        if (const NamespaceObject *object = lookup(objects, path)) return *object;
        status = STATUS_OBJECT_NAME_NOT_FOUND;
        return std::nullopt;
    }
    status = STATUS_OBJECT_NAME_INVALID;
    return std::nullopt;
}

}  // namespace quarn::win32

using namespace quarn::win32;

extern "C" {

NTSTATUS NtOpenSymbolicLinkObject(PHANDLE link, ACCESS_MASK, POBJECT_ATTRIBUTES attributes) {
    return open_object(link, attributes, ObjectType::symbolic_link);
}

NTSTATUS NtOpenDirectoryObject(PHANDLE directory, ACCESS_MASK, POBJECT_ATTRIBUTES attributes) {
    return open_object(directory, attributes, ObjectType::directory);
}

NTSTATUS NtQuerySymbolicLinkObject(HANDLE link, PUNICODE_STRING target, PULONG returned_length) {
    auto object = typed_object<NamespaceHandle>(link);
    if (!object || object->object().type != ObjectType::symbolic_link) return STATUS_INVALID_HANDLE;
    if (!target) return STATUS_INVALID_PARAMETER;
    const std::u16string &text = object->object().target;
    size_t bytes = text.size() * sizeof(WCHAR);
    if (returned_length) *returned_length = static_cast<ULONG>(bytes + sizeof(WCHAR));
    if (bytes > target->MaximumLength || !target->Buffer) return STATUS_BUFFER_TOO_SMALL;
    std::memcpy(target->Buffer, text.data(), bytes);
    target->Length = static_cast<USHORT>(bytes);
    if (bytes + sizeof(WCHAR) <= target->MaximumLength) target->Buffer[text.size()] = 0;
    return STATUS_SUCCESS;
}

NTSTATUS NtClose(HANDLE handle) { return close_handle(handle) ? STATUS_SUCCESS : STATUS_INVALID_HANDLE; }

}  // extern "C"
