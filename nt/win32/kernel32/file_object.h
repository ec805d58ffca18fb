// The kernel object behind a file HANDLE, shared by the file and section calls.
#pragma once

#include <memory>
#include <string>

#include "kernel32/kernel_object.h"
#include "kernel32/share_modes.h"

namespace quarn::win32 {

class FileObject final : public KernelObject {
public:
    // `fd` may be an O_PATH descriptor when the open asked for no data access.
    FileObject(int fd, bool writable, std::string path, std::unique_ptr<ShareHold> share = nullptr)
        : fd_(fd), writable_(writable), path_(std::move(path)), share_(std::move(share)) {}
    ~FileObject() override;
    FileObject(const FileObject &) = delete;
    FileObject &operator=(const FileObject &) = delete;

    int fd() const { return fd_; }
    bool writable() const { return writable_; }
    // The Unix path the file was opened by.
    const std::string &path() const { return path_; }

private:
    int fd_;
    bool writable_;
    std::string path_;
    std::unique_ptr<ShareHold> share_;
};

// The Unix path of a Win32 path: drive letters through the drive table, any
// other path with its backslashes turned into slashes.
std::string unix_path_of(const char *win32_path);

}  // namespace quarn::win32
