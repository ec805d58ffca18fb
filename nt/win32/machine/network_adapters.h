// The machine's network adapters: the [[network_cards]] of machine.toml when
// it lists any, else the interfaces of /sys/class/net.
#pragma once

#include <string>
#include <vector>

#include "machine/machine.h"

namespace quarn::win32 {

struct NetworkAdapter {
    std::string name;                    // the interface name, the adapter's ServiceName
    DWORD medium;                        // NdisMedium802_3, NdisMedium802_5, ...
    std::vector<unsigned char> address;  // the hardware address, empty when it has none
};

// Checks the [[network_cards]] of machine.toml; throws MachineConfigError for
// an address that is not hex bytes separated by ':'.
void check_network_cards(const MachineConfig &config);

// In the order machine.toml gives them, or sorted by interface name.
std::vector<NetworkAdapter> network_adapters(const Machine &machine);

// "aa:bb:cc:dd:ee:ff" (any length, two hex digits a byte) as bytes; false for other text.
bool parse_hardware_address(const std::string &text, std::vector<unsigned char> &address);

// Writes the adapters as HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion\NetworkCards,
// one subkey "1", "2", ... per adapter holding its ServiceName and Description,
// and removes subkeys of adapters that are gone; a Win32 error, or 0.
LONG publish_network_cards(const Machine &machine);

}  // namespace quarn::win32
