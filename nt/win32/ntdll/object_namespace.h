// The machine-wide namespace of named kernel objects: one file per object
// under /dev/shm, so every process of the machine sees it and a reboot clears
// it.  Each open handle holds a shared lock on its object's file; an object
// exists while some handle holds it, as on Windows, and the first creator
// after every holder has gone starts it afresh.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <memory>
#include <string>

#include "machine/owned_files.h"
#include "winbase.h"

namespace quarn::win32 {

enum class ObjectKind { mutex, section };

// One handle's hold on a named object's file.  The descriptor closes, and the
// hold ends, when the entry is destroyed.
class NamespaceEntry {
public:
    ~NamespaceEntry();
    NamespaceEntry(const NamespaceEntry &) = delete;
    NamespaceEntry &operator=(const NamespaceEntry &) = delete;

    // Opens `name` or creates it with `mode` and `group` (kNoGroup: the
    // creator's), whose members' objects it then trusts as the caller's own.
    // A new entry (`existed` false) is held exclusively until share() so that
    // its creator can fill it first.  Null with the last error set on failure.
    static std::unique_ptr<NamespaceEntry> create(ObjectKind kind, const std::string &name, mode_t mode,
                                                  gid_t group, bool &existed);
    // Opens an object that some other handle holds; ERROR_FILE_NOT_FOUND otherwise.
    static std::unique_ptr<NamespaceEntry> open(ObjectKind kind, const std::string &name);

    // Ends the creator's exclusive hold; the conversion is atomic.
    void share();
    // Removes the object's file when no other holder is left (once; the
    // process's exit does it for the entries still held).
    void let_go();
    int fd() const { return fd_; }
    const std::string &path() const { return path_; }

private:
    NamespaceEntry(int fd, std::string path);
    int fd_;
    pid_t opener_;
    bool let_go_ = false;
    std::string path_;
};

// What the files of every named object of the machine in `prefix` begin with.
std::string namespace_file_prefix(const std::filesystem::path &prefix);
// Removes those files, held or not: for a prefix nobody uses any more.
void remove_namespace_files(const std::filesystem::path &prefix);

// The file under /dev/shm for `name` on this machine (the prefix selects the
// machine, so that machines in different prefixes never meet).
std::string namespace_path(ObjectKind kind, const std::string &name);

// The access mode that `attributes` give an object: everybody's when the
// descriptor has no access list or grants Everyone, else the user's alone,
// and its group's as the list grants that group.  `fallback` applies when
// there are no attributes.
mode_t mode_from_security(const SECURITY_ATTRIBUTES *attributes, mode_t fallback);

// The gid of a group of this machine's account domain, else kNoGroup.
gid_t gid_of_group(PSID sid);
// The gid of the descriptor's group when it is a group of this machine (and
// the descriptor has an access list), else kNoGroup.
gid_t group_of_security(const SECURITY_ATTRIBUTES *attributes);

}  // namespace quarn::win32
