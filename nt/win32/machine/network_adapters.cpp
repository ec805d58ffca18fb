// The network adapters of the machine and their entries under NetworkCards.
// From Linux: every interface of /sys/class/net, its medium from the ARP
// hardware type and its address from the "address" file.
#include "machine/network_adapters.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "winreg.h"
#include "winternl.h"

namespace quarn::win32 {
namespace {

constexpr char kNetworkCardsKey[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\NetworkCards";
constexpr int kArpEther = 1;
constexpr int kArpLoopback = 772;
constexpr int kArpTokenRing = 800;
constexpr int kArpIeee80211 = 801;

DWORD medium_of_arp_type(int type) {
    switch (type) {
    case kArpEther:
    case kArpIeee80211: return NdisMedium802_3;  // wireless adapters present themselves as Ethernet
    case kArpTokenRing: return NdisMedium802_5;
    case kArpLoopback: return NdisMediumLoopback;
    default: return NdisMediumWan;
    }
}

DWORD medium_of_name(const std::string &name) {
    if (name == "802.3") return NdisMedium802_3;
    if (name == "802.5") return NdisMedium802_5;
    if (name == "loopback") return NdisMediumLoopback;
    return NdisMediumWan;
}

std::string first_line(const std::filesystem::path &file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

std::vector<NetworkAdapter> adapters_of_linux() {
    std::vector<NetworkAdapter> adapters;
    std::error_code ec;
    for (const auto &entry : std::filesystem::directory_iterator("/sys/class/net", ec)) {
        NetworkAdapter adapter;
        adapter.name = entry.path().filename().string();
        int type = std::atoi(first_line(entry.path() / "type").c_str());
        adapter.medium = medium_of_arp_type(type);
        if (!parse_hardware_address(first_line(entry.path() / "address"), adapter.address)) adapter.address.clear();
        adapters.push_back(std::move(adapter));
    }
    std::sort(adapters.begin(), adapters.end(), [](const auto &a, const auto &b) { return a.name < b.name; });
    return adapters;
}

std::vector<NetworkAdapter> adapters_of_config(const MachineConfig &config) {
    std::vector<NetworkAdapter> adapters;
    for (size_t i = 0, n = config.count("network_cards"); i < n; ++i) {
        std::string key = "network_cards." + std::to_string(i) + ".";
        NetworkAdapter adapter;
        adapter.name = config.text(key + "name").value_or("card" + std::to_string(i));
        adapter.medium = medium_of_name(config.text(key + "medium").value_or("802.3"));
        std::string address = config.text(key + "address").value_or("");
        if (!parse_hardware_address(address, adapter.address))
            config.fail(key + "address", "expected bytes as two hex digits each, separated by ':'");
        adapters.push_back(std::move(adapter));
    }
    return adapters;
}

class Key {
public:
    Key() = default;
    ~Key() {
        if (key_) RegCloseKey(key_);
    }
    Key(const Key &) = delete;
    Key &operator=(const Key &) = delete;
    HKEY *out() { return &key_; }
    HKEY get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

LONG set_text(HKEY key, const char *name, const std::string &text) {
    return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(text.c_str()),
                          static_cast<DWORD>(text.size() + 1));
}

}  // namespace

bool parse_hardware_address(const std::string &text, std::vector<unsigned char> &address) {
    address.clear();
    if (text.empty()) return true;
    for (size_t at = 0;; at += 3) {
        if (at + 2 > text.size() || !std::isxdigit(static_cast<unsigned char>(text[at])) ||
            !std::isxdigit(static_cast<unsigned char>(text[at + 1])))
            return false;
        address.push_back(static_cast<unsigned char>(std::stoi(text.substr(at, 2), nullptr, 16)));
        if (at + 2 == text.size()) return true;
        if (text[at + 2] != ':') return false;
    }
}

void check_network_cards(const MachineConfig &config) { adapters_of_config(config); }

std::vector<NetworkAdapter> network_adapters(const Machine &machine) {
    if (machine.config().count("network_cards")) return adapters_of_config(machine.config());
    return adapters_of_linux();
}

LONG publish_network_cards(const Machine &machine) {
    Key cards;
    LONG status = RegCreateKeyExA(HKEY_LOCAL_MACHINE, kNetworkCardsKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  cards.out(), nullptr);
    if (status != ERROR_SUCCESS) return status;
    auto adapters = network_adapters(machine);
    for (size_t i = 0; i < adapters.size(); ++i) {
        Key card;
        std::string number = std::to_string(i + 1);
        status = RegCreateKeyExA(cards.get(), number.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, card.out(), nullptr);
        if (status == ERROR_SUCCESS) status = set_text(card.get(), "ServiceName", adapters[i].name);
        if (status == ERROR_SUCCESS) status = set_text(card.get(), "Description", adapters[i].name);
        if (status != ERROR_SUCCESS) return status;
    }
    // Subkeys past the adapters are adapters that have gone.
    for (size_t i = adapters.size() + 1;; ++i) {
        std::string number = std::to_string(i);
        if (RegDeleteKeyA(cards.get(), number.c_str()) != ERROR_SUCCESS) break;
    }
    return ERROR_SUCCESS;
}

}  // namespace quarn::win32
