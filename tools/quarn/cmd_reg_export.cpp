// quarn reg export: a key and everything below it to a .reg file, written as
// regedit writes one (UTF-16LE with a byte-order mark).  The file is written
// beside its final name and renamed into place, so a failed export leaves any
// older file whole.
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "cmd_reg.h"

namespace quarn::tool::reg {
namespace {

constexpr const char *kHelp = R"text(quarn reg export KEY FILE [/y]

  KEY    [\\MACHINE\]ROOT[\SUBKEY]: the key exported with all its subkeys
  FILE   the .reg file to write
  /y     replace an existing FILE without asking

Each key becomes a [KEY] section with its values, in the order the registry
enumerates them; import gives back the same keys, values, types and bytes.
)text";

void collect(const Key &key, RegRoot root, const std::string &subkey, RegFile &file) {
    file.keys.push_back(RegFileKey{root, subkey, false, read_values(key)});
    for (const auto &child : read_subkey_names(key))
        collect(open_key(key, child, KEY_READ), root, child_subkey(subkey, child), file);
}

void write_file(const std::string &file, const std::string &bytes) {
    std::filesystem::path target(file);
    std::string temporary = (target.parent_path() / ("." + target.filename().string() + ".XXXXXX")).string();
    int fd = mkstemp(temporary.data());
    if (fd < 0) fail_with("Cannot write the file " + file + ".");
    // mkstemp makes the file private; an export gets the mode any new file would.
    mode_t mask = umask(0);
    umask(mask);
    bool written = fchmod(fd, 0666 & ~mask) == 0 &&
                   write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    if (close(fd) != 0 || !written || std::rename(temporary.c_str(), file.c_str()) != 0) {
        unlink(temporary.c_str());
        fail_with("Cannot write the file " + file + ".");
    }
}

void run_export(const RegArgs &args) {
    RegPath path = key_argument(args);
    const std::string &file = args.positionals.at(1);
    Key key = open_key(open_root(path), path.subkey, KEY_READ);
    std::error_code ec;
    if (!args.has("/y") && std::filesystem::exists(file, ec) &&
        !confirm("File " + file + " already exists. Overwrite(Yes/No)? "))
        cancelled();
    RegFile model;
    collect(key, path.root, path.subkey, model);
    std::string bytes;
    try {
        bytes = write_reg_file(model);
    } catch (const RegFileError &error) {
        fail_with(error.what());
    }
    write_file(file, bytes);
    print_success();
}

}  // namespace

const RegOperation export_operation = {"export", kHelp, 2, {{"/y", false}}, run_export};

}  // namespace quarn::tool::reg
