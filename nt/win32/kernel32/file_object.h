// The kernel object behind a file HANDLE, shared by the file and section calls.
#pragma once

#include <memory>
#include <string>

#include "kernel32/kernel_object.h"
#include "kernel32/share_modes.h"

namespace quarn::win32 {

class FileObject final : public KernelObject {
public:
    // `path_only`: `fd` is an O_PATH descriptor, for an open that asked for no data access.
    FileObject(int fd, bool writable, std::string path, std::shared_ptr<ShareHold> share = nullptr,
               bool path_only = false)
        : fd_(fd), writable_(writable), path_only_(path_only), path_(std::move(path)), share_(std::move(share)) {}
    ~FileObject() override;
    FileObject(const FileObject &) = delete;
    FileObject &operator=(const FileObject &) = delete;

    int fd() const { return fd_; }
    bool writable() const { return writable_; }
    bool path_only() const { return path_only_; }
    // The open's share modes; a section made from the file holds them too, as
    // on Windows, where a section keeps its file open.
    const std::shared_ptr<ShareHold> &share() const { return share_; }
    // The Unix path the file was opened by.
    const std::string &path() const { return path_; }

private:
    int fd_;
    bool writable_;
    bool path_only_;
    std::string path_;
    std::shared_ptr<ShareHold> share_;
};

// The Unix path of a Win32 path: drive letters through the drive table, any
// other path with its backslashes turned into slashes.
std::string unix_path_of(const char *win32_path);

}  // namespace quarn::win32
