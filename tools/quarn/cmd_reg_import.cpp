// quarn reg import: applies a .reg file to this machine's registry.  The whole
// file is read and checked first, so a bad file changes nothing; then its
// sections are applied in order: [KEY] creates the key and sets its values,
// [-KEY] deletes a key with its subtree, "NAME"=- deletes a value.  What is
// already absent counts as deleted.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "cmd_reg.h"

namespace quarn::tool::reg {
namespace {

constexpr const char *kHelp = R"text(quarn reg import FILE

  FILE   a .reg file: "Windows Registry Editor Version 5.00" or "REGEDIT4" on
         its first line, in UTF-16LE with a byte-order mark or in UTF-8

A file with an error is reported with its line number and changes nothing.
)text";

// No hive can hold more: Windows' hive format addresses at most 2 GiB.  A
// larger file, or a stream that goes on past it, is refused unread rather
// than held in memory whole.
constexpr size_t kLargestFile = size_t{2} << 30;

[[noreturn]] void fail_file(const std::string &file, const RegFileError &error) {
    fail_with(file + ", line " + std::to_string(error.line()) + ": " + error.what());
}

const char *const kUnreadable = "Error opening the file. There may be a disk or file system error.";

// The whole file, read in pieces: a regular file's size is checked first,
// and anything else (a pipe, a device) is read only while it can still be a
// .reg file of a size a registry could hold.
std::string read_input(const std::string &file) {
    int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat info;
    if (fd < 0 || fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) fail_with(kUnreadable);
    auto too_large = [&file] { fail_with(file + " is larger than any registry could hold."); };
    if (S_ISREG(info.st_mode) && static_cast<uint64_t>(info.st_size) > kLargestFile) too_large();
    std::string bytes;
    bool checked = false;
    for (;;) {
        size_t had = bytes.size();
        size_t want = had < kRegFileProbe ? kRegFileProbe - had : size_t{1} << 20;
        bytes.resize(had + want);
        ssize_t got;
        do got = read(fd, bytes.data() + had, want);
        while (got < 0 && errno == EINTR);
        if (got < 0) fail_with(kUnreadable);
        bytes.resize(had + static_cast<size_t>(got));
        bool end = got == 0;
        if (!checked && (end || bytes.size() >= kRegFileProbe)) {
            try {
                check_reg_file_start(bytes);
            } catch (const RegFileError &error) {
                fail_file(file, error);
            }
            checked = true;
        }
        if (bytes.size() > kLargestFile) too_large();
        if (end) break;
    }
    close(fd);
    return bytes;
}

bool absent(const RegCallError &error) { return error.code == static_cast<LONG>(ERROR_FILE_NOT_FOUND); }

void apply(const RegFileKey &section) {
    RegPath path{"", section.root, section.subkey};
    Key root = open_root(path);
    if (section.remove) {
        try {
            delete_tree(root, section.subkey);
        } catch (const RegCallError &error) {
            if (!absent(error)) throw;
        }
        return;
    }
    Key key = create_key(root, section.subkey, KEY_QUERY_VALUE | KEY_SET_VALUE);
    for (const auto &value : section.values) {
        if (!value.remove) {
            write_value(key, value);
            continue;
        }
        LONG status = RegDeleteValueA(key.get(), value.name.c_str());
        if (status != ERROR_FILE_NOT_FOUND) check(status);
    }
}

void run_import(const RegArgs &args) {
    const std::string &file = args.positionals.at(0);
    std::string bytes = read_input(file);
    RegFile model;
    try {
        model = parse_reg_file(bytes);
    } catch (const RegFileError &error) {
        fail_file(file, error);
    }
    for (const auto &section : model.keys) apply(section);
    print_success();
}

}  // namespace

const RegOperation import_operation = {"import", kHelp, 1, {}, run_import};

}  // namespace quarn::tool::reg
