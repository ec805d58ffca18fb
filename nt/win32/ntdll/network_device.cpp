// The network adapters as devices: NtOpenFile of "\Device\NAME" for an
// adapter of the machine, and DeviceIoControl with the driver's statistics
// query for its medium and its address.  Also the counted strings that name
// objects for the native calls.
#include <strings.h>

#include <cstdlib>
#include <cstring>
#include <new>

#include "kernel32/kernel_object.h"
#include "machine/network_adapters.h"
#include "winternl.h"

namespace quarn::win32 {
namespace {

constexpr char kDevicePrefix[] = "\\Device\\";

class NetworkDevice final : public KernelObject {
public:
    explicit NetworkDevice(NetworkAdapter adapter) : adapter_(std::move(adapter)) {}
    const NetworkAdapter &adapter() const { return adapter_; }

private:
    NetworkAdapter adapter_;
};

// The object's ASCII name; false when it holds other characters.
bool ascii_name(const UNICODE_STRING &name, std::string &out) {
    out.clear();
    for (USHORT i = 0; i < name.Length / sizeof(WCHAR); ++i) {
        if (name.Buffer[i] > 0x7F) return false;
        out.push_back(static_cast<char>(name.Buffer[i]));
    }
    return true;
}

// The value of one object of the statistics query; false when the adapter
// has no such object.
bool query_object(const NetworkAdapter &adapter, DWORD object, const void *&value, DWORD &size) {
    switch (object) {
    case OID_GEN_MEDIA_IN_USE:
        value = &adapter.medium;
        size = sizeof adapter.medium;
        return true;
    case OID_802_3_PERMANENT_ADDRESS:
    case OID_802_3_CURRENT_ADDRESS:
    case OID_802_5_PERMANENT_ADDRESS:
    case OID_802_5_CURRENT_ADDRESS: {
        // Linux keeps the address in use; it stands for both.
        bool ethernet = object == OID_802_3_PERMANENT_ADDRESS || object == OID_802_3_CURRENT_ADDRESS;
        if (adapter.medium != (ethernet ? NdisMedium802_3 : NdisMedium802_5) || adapter.address.empty()) return false;
        value = adapter.address.data();
        size = static_cast<DWORD>(adapter.address.size());
        return true;
    }
    default: return false;
    }
}

}  // namespace
}  // namespace quarn::win32

using namespace quarn::win32;

extern "C" {

BOOL RtlCreateUnicodeStringFromAsciiz(PUNICODE_STRING target, LPCSTR text) {
    if (!target || !text) return FALSE;
    size_t length = std::strlen(text);
    if (length >= 0x7FFF) return FALSE;
    // Freed by RtlFreeUnicodeString, which frees with free().
    auto *buffer = static_cast<WCHAR *>(std::malloc((length + 1) * sizeof(WCHAR)));
    if (!buffer) return FALSE;
    for (size_t i = 0; i <= length; ++i) buffer[i] = static_cast<unsigned char>(text[i]);
    target->Buffer = buffer;
    target->Length = static_cast<USHORT>(length * sizeof(WCHAR));
    target->MaximumLength = static_cast<USHORT>((length + 1) * sizeof(WCHAR));
    return TRUE;
}

NTSTATUS NtOpenFile(PHANDLE handle, ACCESS_MASK, POBJECT_ATTRIBUTES attributes, PIO_STATUS_BLOCK io, ULONG, ULONG) {
    if (!handle || !attributes || !attributes->ObjectName || !io) return STATUS_INVALID_PARAMETER;
    *handle = nullptr;
    std::string name;
    if (!ascii_name(*attributes->ObjectName, name)) return STATUS_OBJECT_NAME_NOT_FOUND;
    bool any_case = attributes->Attributes & OBJ_CASE_INSENSITIVE;
    size_t prefix = sizeof kDevicePrefix - 1;
    bool is_device = name.size() > prefix && (any_case ? strncasecmp(name.c_str(), kDevicePrefix, prefix) == 0
                                                       : name.compare(0, prefix, kDevicePrefix) == 0);
    if (!is_device) return STATUS_OBJECT_PATH_NOT_FOUND;
    const Machine *machine = Machine::current();
    if (!machine) return STATUS_UNSUCCESSFUL;
    std::string device = name.substr(prefix);
    for (auto &adapter : network_adapters(*machine)) {
        bool same = any_case ? strcasecmp(adapter.name.c_str(), device.c_str()) == 0 : adapter.name == device;
        if (!same) continue;
        try {
            *handle = make_handle(std::make_shared<NetworkDevice>(std::move(adapter)));
        } catch (const std::bad_alloc &) {
            return STATUS_NO_MEMORY;
        }
        io->Status = STATUS_SUCCESS;
        io->Information = 1;  // FILE_OPENED
        return STATUS_SUCCESS;
    }
    return STATUS_OBJECT_NAME_NOT_FOUND;
}

BOOL DeviceIoControl(HANDLE device, DWORD code, LPVOID in, DWORD in_size, LPVOID out, DWORD out_size,
                     LPDWORD returned, LPVOID overlapped) {
    auto object = typed_object<NetworkDevice>(device);
    if (!object) return FALSE;
    if (returned) *returned = 0;
    if (overlapped || code != IOCTL_NDIS_QUERY_GLOBAL_STATS) {
        SetLastError(ERROR_INVALID_FUNCTION);
        return FALSE;
    }
    if (!in || in_size < sizeof(DWORD)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    DWORD requested;
    std::memcpy(&requested, in, sizeof requested);
    const void *value = nullptr;
    DWORD size = 0;
    if (!query_object(object->adapter(), requested, value, size)) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    if (!out || out_size < size) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memcpy(out, value, size);
    if (returned) *returned = size;
    return TRUE;
}

}  // extern "C"
