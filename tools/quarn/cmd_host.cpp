// quarn host, quarn ping and quarn dump: the facts of this host as the library
// sees them, an echo request, and a dump of the tool itself on demand.
#include <cstdio>
#include <filesystem>
#include <string>

#include "commands.h"
#include "machine/machine.h"
#include "machine/dos_paths.h"
#include "machine/network_adapters.h"
#include "machine/volume_kinds.h"
#include "nt.h"
#include "ntregy.h"
#include "ntx.h"
#include "win32.h"
#include "winnls.h"
#include "winternl.h"

namespace quarn::tool {
namespace {

const char *platform_name(int code) {
    switch (code) {
    case NT_OS_WIN32S: return "win32s";
    case NT_OS_WIN95: return "win95";
    case NT_OS_WIN98: return "win98";
    case NT_OS_NT3: return "nt3";
    case NT_OS_NT4: return "nt4";
    case NT_OS_NT5: return "nt5";
    case NT_OS_VISTA: return "vista";
    default: return "win7";
    }
}

const char *drive_type_name(UINT type) {
    switch (type) {
    case DRIVE_REMOVABLE: return "removable";
    case DRIVE_FIXED: return "fixed";
    case DRIVE_REMOTE: return "remote";
    case DRIVE_CDROM: return "cd-rom";
    case DRIVE_RAMDISK: return "ram-disk";
    default: return "unknown";
    }
}

const char *medium_name(DWORD medium) {
    switch (medium) {
    case NdisMedium802_3: return "802.3";
    case NdisMedium802_5: return "802.5";
    case NdisMediumLoopback: return "loopback";
    default: return "wan";
    }
}

std::string hex_address(const std::vector<unsigned char> &address) {
    std::string text;
    char byte[4];
    for (size_t i = 0; i < address.size(); ++i) {
        std::snprintf(byte, sizeof byte, i ? ":%02x" : "%02x", address[i]);
        text += byte;
    }
    return text.empty() ? "-" : text;
}

std::string locale_fact(LANGID language, DWORD type) {
    char text[16];
    return GetLocaleInfoA(language, type, text, sizeof text) ? text : "-";
}

void show_host() {
    const auto *machine = win32::Machine::current();
    if (!machine) fail(kExitFailed, "");  // the machine has said why
    int code = nt_osinfo();
    const auto &v = machine->version();
    std::printf("platform: %s (%d), Windows %u.%u build %u\n", platform_name(code), code, v.major, v.minor, v.build);
    int admin = 0;
    int server = nt_is_terminal_server(&admin);
    std::printf("terminal server: %s\n", !server ? "no" : admin ? "yes, administration mode" : "yes, application mode");
    std::printf("terminal client network: %s\n", nt_is_citrix_metaframe() ? "yes" : "no");
    std::printf("global object names: %s\n", nt_ob_has_global_prefix() ? "yes" : "no");
    LANGID language = nt_get_ui_language();
    std::printf("interface language: 0x%04x %s %s %s\n", language, locale_fact(language, LOCALE_SISO639LANGNAME).c_str(),
                locale_fact(language, LOCALE_SISO3166CTRYNAME).c_str(),
                locale_fact(language, LOCALE_SABBREVLANGNAME).c_str());
    std::printf("volumes:\n");
    for (const auto &drive : win32::drives(*machine)) {
        auto kind = win32::volume_kind(drive.root);
        if (!kind) {
            std::printf("  %c: %s (cannot be examined)\n", drive.letter, drive.root.c_str());
            continue;
        }
        std::printf("  %c: %-9s %-6s%s %s\n", drive.letter, drive_type_name(kind->drive_type), kind->file_system.c_str(),
                    kind->flags & FILE_PERSISTENT_ACLS ? " acls" : "", drive.root.c_str());
    }
    std::printf("adapters:\n");
    for (const auto &adapter : win32::network_adapters(*machine))
        std::printf("  %-16s %-8s %s\n", adapter.name.c_str(), medium_name(adapter.medium),
                    hex_address(adapter.address).c_str());
    BYTE *addresses = nullptr;
    int count = ntx_my_mac_addresses(&addresses);
    std::printf("registered adapter addresses:");
    if (count < 0) std::printf(" none (no NetworkCards key: run quarn setup)");
    for (int i = 0; i < count; ++i)
        std::printf(" %s", hex_address(std::vector<unsigned char>(addresses + 6 * i, addresses + 6 * i + 6)).c_str());
    std::printf("\n");
    std::free(addresses);
}

// The newest dump of this process in the log folder, for a dump named by the library.
std::string newest_dump_of_this_process() {
    char data[1024] = {};
    if (ntregy_get_param(16, sizeof data - 1, data, nullptr) != ERROR_SUCCESS &&
        ntregy_get_param(8, sizeof data - 1, data, nullptr) != ERROR_SUCCESS)
        return {};
    const auto *machine = win32::Machine::current();
    std::string log = std::string(data) + "\\var\\log";
    auto unix_log = machine ? win32::dos_to_unix_path(*machine, log) : std::nullopt;
    std::string prefix = "quarn." + std::to_string(GetCurrentProcessId()) + ".";
    std::filesystem::path newest;
    std::error_code ec;
    for (const auto &entry : std::filesystem::directory_iterator(unix_log.value_or(log), ec))
        if (entry.path().filename().string().starts_with(prefix) &&
            (newest.empty() || entry.last_write_time() > std::filesystem::last_write_time(newest)))
            newest = entry.path();
    return newest.string();
}

}  // namespace

void add_host_commands(CLI::App &app) {
    auto *host = app.add_subcommand("host", "Show the platform, terminal services, the interface language and the adapters");
    host->callback(show_host);

    auto *ping = app.add_subcommand("ping", "Send one echo request; exit 0 when HOST answers within a second");
    static std::string target;
    ping->add_option("HOST", target, "A host name or address")->required();
    ping->callback([] {
        bool answers = ntx_ping_host(target.c_str());
        std::printf("%s %s\n", target.c_str(), answers ? "answers" : "does not answer");
        if (!answers) fail(kExitFailed, "");  // unanswered: the exit code says so, as ping(8) does
    });

    auto *dump = app.add_subcommand("dump", "Write a crash dump of this tool (to the log folder without PATH)");
    static std::string path;
    dump->add_option("PATH", path, "The dump file to write");
    dump->callback([] {
        if (!nt_initialize_minidump())
            fail(1, "dumps are off: DisableMiniDump is set, or HostData\\var\\log or HostData\\bin is missing");
        nt_write_minidump(path.empty() ? nullptr : path.c_str(), "quarn dump");
        std::string written = path.empty() ? newest_dump_of_this_process() : path;
        if (written.empty() || !std::filesystem::exists(written)) fail(1, "the dump could not be written");
        std::printf("%s\n", written.c_str());
    });
}

}  // namespace quarn::tool
