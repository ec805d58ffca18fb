// The kernel object behind a file HANDLE, shared by the file and section calls.
#pragma once

#include <string>

#include "kernel32/kernel_object.h"

namespace quarn::win32 {

class FileObject final : public KernelObject {
public:
    FileObject(int fd, bool writable, std::string path) : fd_(fd), writable_(writable), path_(std::move(path)) {}
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
};

// The Unix path of a Win32 path: drive letters through the drive table, any
// other path with its backslashes turned into slashes.
std::string unix_path_of(const char *win32_path);

}  // namespace quarn::win32
