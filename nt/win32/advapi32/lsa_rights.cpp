// The account rights file.
#include "advapi32/lsa_rights.h"

#include <fcntl.h>
#include <strings.h>
#include <sys/file.h>
#include <unistd.h>

#include <fstream>
#include <toml++/toml.h>

#include "advapi.h"
#include "machine/whole_file.h"

namespace quarn::win32 {
namespace {

constexpr const char *kLogonRights[] = {
    "SeInteractiveLogonRight",     "SeNetworkLogonRight",          "SeBatchLogonRight",
    "SeServiceLogonRight",         "SeRemoteInteractiveLogonRight", "SeDenyInteractiveLogonRight",
    "SeDenyNetworkLogonRight",     "SeDenyBatchLogonRight",        "SeDenyServiceLogonRight",
    "SeDenyRemoteInteractiveLogonRight",
};

class FileLock {
public:
    explicit FileLock(const std::filesystem::path &file)
        : fd_(::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644)) {
        if (fd_ >= 0 && flock(fd_, LOCK_EX) != 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    ~FileLock() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileLock(const FileLock &) = delete;
    FileLock &operator=(const FileLock &) = delete;
    bool held() const { return fd_ >= 0; }

private:
    int fd_;
};

NTSTATUS status_of_errno(int error) {
    if (error == EACCES || error == EPERM || error == EROFS) return STATUS_ACCESS_DENIED;
    if (error == ENOSPC || error == EDQUOT) return STATUS_DISK_FULL;
    return STATUS_UNSUCCESSFUL;
}

NTSTATUS read_table(const std::filesystem::path &file, toml::table &table) {
    std::optional<std::string> text = read_whole_file(file);
    if (!text) return STATUS_SUCCESS;  // no rights granted yet
    try {
        table = toml::parse(*text, file.string());
    } catch (const toml::parse_error &) {
        return STATUS_INTERNAL_DB_CORRUPTION;
    }
    return STATUS_SUCCESS;
}

std::vector<std::string> rights_in(const toml::table &table, const std::string &sid_text) {
    std::vector<std::string> out;
    if (const toml::array *list = table[sid_text].as_array())
        for (const auto &element : *list)
            if (auto s = element.value<std::string>()) out.push_back(*s);
    return out;
}

}  // namespace

bool is_account_right(const std::string &name) {
    for (const char *right : kLogonRights)
        if (strcasecmp(right, name.c_str()) == 0) return true;
    LUID luid;
    return LookupPrivilegeValueA(nullptr, name.c_str(), &luid) != FALSE;
}

NTSTATUS read_account_rights(const std::filesystem::path &file, const std::string &sid_text,
                             std::vector<std::string> &rights) {
    toml::table table;
    NTSTATUS status = read_table(file, table);
    if (status == STATUS_SUCCESS) rights = rights_in(table, sid_text);
    return status;
}

NTSTATUS add_account_rights(const std::filesystem::path &file, const std::string &sid_text,
                            const std::vector<std::string> &rights) {
    std::error_code ec;
    std::filesystem::create_directories(file.parent_path(), ec);
    if (ec) return status_of_errno(ec.value());
    FileLock lock(file.string() + ".lock");
    if (!lock.held()) return status_of_errno(errno);
    toml::table table;
    if (NTSTATUS status = read_table(file, table); status != STATUS_SUCCESS) return status;
    std::vector<std::string> held = rights_in(table, sid_text);
    toml::array list;
    for (const auto &r : held) list.push_back(r);
    for (const auto &r : rights) {
        bool known = false;
        for (const auto &h : held) known |= strcasecmp(h.c_str(), r.c_str()) == 0;
        if (!known) {
            list.push_back(r);
            held.push_back(r);
        }
    }
    table.insert_or_assign(sid_text, std::move(list));
    std::filesystem::path temporary = file.string() + ".new";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << "# Account rights granted with LsaAddAccountRights, by account SID.\n" << table << "\n";
        if (!out.flush()) return status_of_errno(errno);
    }
    if (std::rename(temporary.c_str(), file.c_str()) != 0) return status_of_errno(errno);
    return STATUS_SUCCESS;
}

}  // namespace quarn::win32
