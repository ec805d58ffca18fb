// Keys and values for the quarn reg operations, over the Win32 layer's
// registry calls with Windows' buffer rules: enumeration buffers start at the
// sizes RegQueryInfoKeyA reports and grow on ERROR_MORE_DATA (an ANSI name or
// text can be longer than its stored form, and a value can grow meanwhile).
#include <algorithm>

#include "cmd_reg.h"

namespace quarn::tool::reg {
namespace {

constexpr int kMaxGrowths = 32;

BYTE *bytes_of(std::string &buffer) { return reinterpret_cast<BYTE *>(buffer.data()); }

DWORD size_of(const std::string &buffer) { return static_cast<DWORD>(buffer.size()); }

// Grows a buffer that was too small, to at least `needed` bytes.
void grow(std::string &buffer, size_t needed) { buffer.resize(std::max(needed, buffer.size() * 2 + 16)); }

}  // namespace

void check(LONG code) {
    if (code != ERROR_SUCCESS) throw RegCallError{code};
}

std::string error_text(LONG code) {
    if (code == static_cast<LONG>(ERROR_FILE_NOT_FOUND)) return "The system was unable to find the specified registry key or value.";
    char text[512];
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                  static_cast<DWORD>(code), 0, text, sizeof text, nullptr);
    while (length && (text[length - 1] == '\n' || text[length - 1] == '\r')) --length;
    return length ? std::string(text, length) : "Error " + std::to_string(code) + ".";
}

Key &Key::operator=(Key &&other) noexcept {
    std::swap(handle_, other.handle_);
    std::swap(owned_, other.owned_);
    return *this;
}

Key::~Key() {
    if (handle_ && owned_) RegCloseKey(handle_);
}

Key open_root(const RegPath &path) {
    HKEY predefined = path.root == RegRoot::local_machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
    if (path.machine.empty()) return Key(predefined, false);
    HKEY connected = nullptr;
    check(RegConnectRegistryA(("\\\\" + path.machine).c_str(), predefined, &connected));
    return Key(connected, true);
}

Key open_key(const Key &root, const std::string &subkey, REGSAM access) {
    HKEY handle = nullptr;
    check(RegOpenKeyExA(root.get(), subkey.c_str(), 0, access, &handle));
    return Key(handle, true);
}

Key create_key(const Key &root, const std::string &subkey, REGSAM access) {
    HKEY handle = nullptr;
    check(RegCreateKeyExA(root.get(), subkey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, &handle,
                          nullptr));
    return Key(handle, true);
}

void for_each_value(const Key &key, const std::function<void(const RegFileValue &)> &visit) {
    DWORD max_name = 0, max_data = 0;
    check(RegQueryInfoKeyA(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &max_name, &max_data,
                           nullptr, nullptr));
    std::string name(max_name + 1, '\0');
    RegFileValue value;
    value.data.resize(max_data);
    int growths = 0;
    for (DWORD index = 0;;) {
        DWORD name_length = size_of(name), size = size_of(value.data);
        LONG status =
            RegEnumValueA(key.get(), index, name.data(), &name_length, nullptr, &value.type, bytes_of(value.data), &size);
        if (status == ERROR_NO_MORE_ITEMS) return;
        if (status == ERROR_MORE_DATA && ++growths <= kMaxGrowths) {
            grow(value.data, size);
            grow(name, name.size());
            continue;
        }
        check(status);
        // The one buffer is handed over with the value's length, and taken back.
        size_t room = value.data.size();
        value.name.assign(name, 0, name_length);
        value.data.resize(size);
        visit(value);
        value.data.resize(room);
        ++index;
        growths = 0;
    }
}

std::vector<RegFileValue> read_values(const Key &key) {
    std::vector<RegFileValue> values;
    for_each_value(key, [&values](const RegFileValue &value) { values.push_back(value); });
    return values;
}

std::vector<std::string> read_subkey_names(const Key &key) {
    DWORD max_name = 0;
    check(RegQueryInfoKeyA(key.get(), nullptr, nullptr, nullptr, nullptr, &max_name, nullptr, nullptr, nullptr, nullptr,
                           nullptr, nullptr));
    std::string name(max_name + 1, '\0');
    std::vector<std::string> names;
    int growths = 0;
    for (DWORD index = 0;;) {
        DWORD name_length = size_of(name);
        LONG status = RegEnumKeyExA(key.get(), index, name.data(), &name_length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) return names;
        if (status == ERROR_MORE_DATA && ++growths <= kMaxGrowths) {
            grow(name, name.size());
            continue;
        }
        check(status);
        names.push_back(name.substr(0, name_length));
        ++index;
        growths = 0;
    }
}

std::optional<RegFileValue> read_value(const Key &key, const std::string &name) {
    DWORD type = 0, size = 0;
    LONG status = RegQueryValueExA(key.get(), name.c_str(), nullptr, &type, nullptr, &size);
    if (status == ERROR_FILE_NOT_FOUND) return std::nullopt;
    check(status);
    std::string data(size, '\0');
    for (int growths = 0;; ++growths) {
        size = size_of(data);
        status = RegQueryValueExA(key.get(), name.c_str(), nullptr, &type, bytes_of(data), &size);
        if (status != ERROR_MORE_DATA || growths == kMaxGrowths) break;
        grow(data, size);
    }
    if (status == ERROR_FILE_NOT_FOUND) return std::nullopt;  // deleted meanwhile
    check(status);
    data.resize(size);
    return RegFileValue{name, false, type, data};
}

void write_value(const Key &key, const RegFileValue &value) {
    auto data = reinterpret_cast<const BYTE *>(value.data.data());
    check(RegSetValueExA(key.get(), value.name.c_str(), 0, value.type, data, size_of(value.data)));
}

void delete_tree(const Key &root, const std::string &subkey) { check(RegDeleteTreeA(root.get(), subkey.c_str())); }

}  // namespace quarn::tool::reg
