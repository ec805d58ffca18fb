// ntx_my_mac_addresses: the hardware addresses of the machine's Ethernet and
// Token Ring adapters.  Each adapter of the registry's NetworkCards key is
// opened as its device and its driver asked for the medium in use and then
// the address; an address whose last three bytes are 0 counts as none.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "frame/trace.h"
#include "ntx.h"
#include "win32.h"
#include "winternl.h"

namespace {

constexpr char kNetworkCardsKey[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\NetworkCards";
constexpr ACCESS_MASK kDeviceAccess = 0x120089;  // read data, attributes and control, synchronise
constexpr size_t kAddressSize = 6;

// Asks the device for one object of the statistics query; the bytes returned, or -1.
long query_device(HANDLE device, DWORD object, void *value, DWORD size) {
    DWORD returned = 0;
    if (!DeviceIoControl(device, IOCTL_NDIS_QUERY_GLOBAL_STATS, &object, sizeof object, value, size, &returned,
                         nullptr))
        return -1;
    return static_cast<long>(returned);
}

// The address of the adapter whose service is `service`, into `address`; false when it has none.
bool adapter_address(const char *service, BYTE (&address)[kAddressSize]) {
    char device_name[1100];
    std::snprintf(device_name, sizeof device_name, "\\Device\\%s", service);
    UNICODE_STRING name{};
    if (!RtlCreateUnicodeStringFromAsciiz(&name, device_name)) {
        NTX_TRACE_FAILURE_ARG("RtlCreateUnicodeStringFromAsciiz", device_name, kSourceNtunpub, ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    OBJECT_ATTRIBUTES attributes{sizeof attributes, nullptr, &name, OBJ_CASE_INSENSITIVE, nullptr, nullptr};
    IO_STATUS_BLOCK io{};
    HANDLE device = nullptr;
    NTSTATUS status = NtOpenFile(&device, kDeviceAccess, &attributes, &io, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 FILE_NON_DIRECTORY_FILE);
    RtlFreeUnicodeString(&name);
    if (status != STATUS_SUCCESS) {
        NTX_TRACE_FAILURE_ARG("NtOpenFile", device_name, kSourceNtunpub, status);
        return false;
    }
    bool found = false;
    DWORD medium = 0;
    if (query_device(device, OID_GEN_MEDIA_IN_USE, &medium, sizeof medium) != sizeof medium) {
        NTX_TRACE_FAILURE_ARG("DeviceIoControl", device_name, kSourceNtunpub, GetLastError());
    } else if (medium == NdisMedium802_3 || medium == NdisMedium802_5) {
        // The objects this library has always asked for: 0x01010101 and 0x02010101.
        DWORD object = medium == NdisMedium802_3 ? OID_802_3_PERMANENT_ADDRESS : OID_802_5_PERMANENT_ADDRESS;
        BYTE value[64];
        long size = query_device(device, object, value, sizeof value);
        if (size < 0) NTX_TRACE_FAILURE_ARG("DeviceIoControl", device_name, kSourceNtunpub, GetLastError());
        found = size == kAddressSize && (value[3] || value[4] || value[5]);
        if (found) std::memcpy(address, value, kAddressSize);
    }
    NtClose(device);
    return found;
}

}  // namespace

extern "C" NT_API int ntx_my_mac_addresses(BYTE **addresses) {
    if (addresses) *addresses = nullptr;
    HKEY cards = nullptr;
    LONG status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kNetworkCardsKey, 0, KEY_READ, &cards);
    if (status != ERROR_SUCCESS) {
        NTX_TRACE_FAILURE_ARG("RegOpenKeyEx", kNetworkCardsKey, kSourceNtunpub, status);
        return -1;
    }
    DWORD subkeys = 0;
    status = RegQueryInfoKeyA(cards, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr, nullptr,
                              nullptr, nullptr);
    if (status != ERROR_SUCCESS) {
        NTX_TRACE_FAILURE_ARG("RegQueryInfoKey", kNetworkCardsKey, kSourceNtunpub, status);
        RegCloseKey(cards);
        return -1;
    }
    if (subkeys == 0) {
        RegCloseKey(cards);
        return 0;
    }
    auto *found = static_cast<BYTE *>(std::malloc(kAddressSize * subkeys));
    if (!found) {
        RegCloseKey(cards);
        return -1;
    }
    int count = 0;
    for (DWORD index = 0; index < subkeys; ++index) {
        char subkey[MAX_PATH];
        DWORD length = sizeof subkey;
        status = RegEnumKeyExA(cards, index, subkey, &length, nullptr, nullptr, nullptr, nullptr);
        if (status != ERROR_SUCCESS) {
            NTX_TRACE_FAILURE_ARG("RegEnumKeyEx", kNetworkCardsKey, kSourceNtunpub, status);
            break;
        }
        HKEY card = nullptr;
        status = RegOpenKeyExA(cards, subkey, 0, KEY_QUERY_VALUE, &card);
        if (status != ERROR_SUCCESS) {
            NTX_TRACE_FAILURE_ARG("RegOpenKeyEx", subkey, kSourceNtunpub, status);
            continue;
        }
        char service[1024] = {};
        DWORD size = sizeof service - 1;
        status = RegQueryValueExA(card, "ServiceName", nullptr, nullptr, reinterpret_cast<BYTE *>(service), &size);
        RegCloseKey(card);
        if (status != ERROR_SUCCESS) {
            NTX_TRACE_FAILURE_ARG("RegQueryValueEx", subkey, kSourceNtunpub, status);
            continue;
        }
        BYTE address[kAddressSize];
        if (adapter_address(service, address)) std::memcpy(found + kAddressSize * count++, address, kAddressSize);
    }
    RegCloseKey(cards);
    if (count == 0 || !addresses) {
        std::free(found);
        return count;
    }
    *addresses = found;
    return count;
}
