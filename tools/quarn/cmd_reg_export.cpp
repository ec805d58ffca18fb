// quarn reg export: a key and everything below it to a .reg file, written as
// regedit writes one (UTF-16LE with a byte-order mark), key by key and in
// pieces, so that memory does not grow with the tree.  A regular file is
// written beside its final name and renamed into place, so a failed export
// leaves any older file whole, with its owner and mode; a link is followed
// to its target, and a device or FIFO is written in place.
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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

void export_tree(const Key &key, RegRoot root, const std::string &subkey, RegFileWriter &out) {
    out.begin_key(root, subkey);
    for_each_value(key, [&out](const RegFileValue &value) { out.value(value); });
    out.end_key();
    for (const auto &child : read_subkey_names(key))
        export_tree(open_key(key, child, KEY_READ), root, child_subkey(subkey, child), out);
}

// The export could not be written where it goes.
struct OutputFailure {};

// Where FILE leads: the target of its links, at most as many as the kernel follows.
std::filesystem::path final_target(const std::filesystem::path &file) {
    std::filesystem::path target = file;
    std::error_code ec;
    for (int hops = 0; hops < 40 && std::filesystem::is_symlink(target, ec); ++hops) {
        std::filesystem::path link = std::filesystem::read_symlink(target, ec);
        if (ec) throw OutputFailure{};
        target = link.is_absolute() ? link : target.parent_path() / link;
    }
    return target;
}

// The file being written: a new file beside the target, renamed over it at
// the end, or the target itself when it is no regular file (a device, a
// FIFO) or its owner could not be kept on a new one.
class Output {
public:
    explicit Output(const std::string &file) : target_(final_target(file)) {
        struct stat old;
        bool exists = stat(target_.c_str(), &old) == 0;
        if (exists && S_ISDIR(old.st_mode)) throw OutputFailure{};
        if (exists && !S_ISREG(old.st_mode)) {
            open_in_place(O_WRONLY);
            return;
        }
        temporary_ = (target_.parent_path() / ("." + target_.filename().string() + ".XXXXXX")).string();
        fd_ = mkstemp(temporary_.data());
        if (fd_ < 0) throw OutputFailure{};
        if (!exists) {
            // mkstemp makes the file private; an export gets the mode any new file would.
            mode_t mask = umask(0);
            umask(mask);
            fchmod(fd_, 0666 & ~mask);
        } else if (fchown(fd_, old.st_uid, old.st_gid) != 0 || fchmod(fd_, old.st_mode & 07777) != 0) {
            // Only the owner's own file can be replaced by a new one of theirs.
            abandon();
            open_in_place(O_WRONLY | O_TRUNC);
        }
    }
    ~Output() { abandon(); }
    Output(const Output &) = delete;
    Output &operator=(const Output &) = delete;

    void write(std::string_view bytes) {
        while (!bytes.empty()) {
            ssize_t done = ::write(fd_, bytes.data(), std::min<size_t>(bytes.size(), size_t{1} << 20));
            if (done < 0 && errno == EINTR) continue;
            if (done <= 0) throw OutputFailure{};
            bytes.remove_prefix(static_cast<size_t>(done));
        }
    }

    void commit() {
        int fd = fd_;
        fd_ = -1;
        if (close(fd) != 0) throw OutputFailure{};
        if (!temporary_.empty() && std::rename(temporary_.c_str(), target_.c_str()) != 0) throw OutputFailure{};
        temporary_.clear();
    }

private:
    void open_in_place(int flags) {
        fd_ = open(target_.c_str(), flags | O_CLOEXEC | O_NOCTTY);
        if (fd_ < 0) throw OutputFailure{};
    }
    void abandon() {
        if (fd_ >= 0) close(fd_);
        fd_ = -1;
        if (!temporary_.empty()) unlink(temporary_.c_str());
        temporary_.clear();
    }

    std::filesystem::path target_;
    std::string temporary_;  // empty when writing in place
    int fd_ = -1;
};

void run_export(const RegArgs &args) {
    RegPath path = key_argument(args);
    const std::string &file = args.positionals.at(1);
    Key key = open_key(open_root(path), path.subkey, KEY_READ);
    std::error_code ec;
    if (!args.has("/y") && std::filesystem::exists(file, ec) &&
        !confirm("File " + file + " already exists. Overwrite(Yes/No)? "))
        cancelled();
    try {
        Output output(file);
        RegFileWriter writer(RegFileWriter::Encoding::utf16le, [&output](std::string_view bytes) { output.write(bytes); });
        export_tree(key, path.root, path.subkey, writer);
        writer.flush();
        output.commit();
    } catch (const OutputFailure &) {
        fail_with("Cannot write the file " + file + ".");
    } catch (const RegFileError &error) {
        fail_with(error.what());
    }
    print_success();
}

}  // namespace

const RegOperation export_operation = {"export", kHelp, 2, {{"/y", false}}, run_export};

}  // namespace quarn::tool::reg
