// nt_is_gui_app: whether an executable is a windowed program.  A PE image
// says so in the subsystem field of its optional header; NE and LE images are
// windowed by their nature.  Every offset taken from the file is checked
// against its size before it is used, so a truncated or hostile file is read
// only within itself.
#include <cerrno>
#include <cstring>

#include "nt.h"
#include "win32.h"

namespace {

constexpr DWORD kDosHeaderSize = 64;
constexpr DWORD kNewHeaderOffsetAt = 60;
constexpr DWORD kPeSignature = 0x00004550;  // "PE\0\0"
constexpr WORD kLeSignature = 0x454C;       // "LE"
constexpr WORD kNeSignature = 0x454E;       // "NE"
constexpr WORD kMzSignature = 0x5A4D;       // "MZ"
constexpr DWORD kFileHeaderSize = 20;
constexpr DWORD kOptionalHeaderSize = 224;
constexpr DWORD kSubsystemAt = 68;
constexpr WORD kSubsystemWindowsGui = 2;

class FileHandle {
public:
    explicit FileHandle(HANDLE handle) : handle_(handle) {}
    ~FileHandle() {
        if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    }
    FileHandle(const FileHandle &) = delete;
    FileHandle &operator=(const FileHandle &) = delete;
    HANDLE get() const { return handle_; }

private:
    HANDLE handle_;
};

DWORD little_endian(const unsigned char *p, int bytes) {
    DWORD v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | p[i];
    return v;
}

// Reads `count` bytes: 0 with *complete set, or the errno of a failed read.
int read_exactly(HANDLE file, void *buffer, DWORD count, bool *complete) {
    DWORD got = 0;
    if (!ReadFile(file, buffer, count, &got, nullptr)) return nt_win32error2errno(GetLastError());
    *complete = got == count;
    return 0;
}

}  // namespace

extern "C" NT_API int nt_is_gui_app(const char *path, int *is_gui) {
    if (is_gui) *is_gui = 0;
    FileHandle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) return nt_win32error2errno(GetLastError());

    unsigned char dos[kDosHeaderSize];
    bool complete = false;
    if (int error = read_exactly(file.get(), dos, sizeof dos, &complete)) return error;
    if (!complete || little_endian(dos, 2) != kMzSignature) return 0;
    DWORD size_high = 0;
    DWORD size = GetFileSize(file.get(), &size_high);
    if (size == INVALID_FILE_SIZE && GetLastError() != ERROR_SUCCESS) return nt_win32error2errno(GetLastError());
    unsigned long long file_size = (static_cast<unsigned long long>(size_high) << 32) | size;
    auto new_header = static_cast<LONG>(little_endian(dos + kNewHeaderOffsetAt, 4));
    // A signature that would lie outside the file is no signature.
    if (new_header < 0 || static_cast<unsigned long long>(new_header) + 4 > file_size) return 0;
    if (SetFilePointer(file.get(), new_header, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) return 0;

    unsigned char signature[4];
    if (int error = read_exactly(file.get(), signature, sizeof signature, &complete)) return error;
    if (!complete) return 0;
    if (little_endian(signature, 4) == kPeSignature) {
        unsigned char file_header[kFileHeaderSize];
        unsigned char optional_header[kOptionalHeaderSize];
        if (int error = read_exactly(file.get(), file_header, sizeof file_header, &complete)) return error;
        if (!complete) return EINVAL;
        if (int error = read_exactly(file.get(), optional_header, sizeof optional_header, &complete)) return error;
        if (!complete) return EINVAL;
        if (is_gui) *is_gui = little_endian(optional_header + kSubsystemAt, 2) == kSubsystemWindowsGui;
        return 0;
    }
    WORD short_signature = static_cast<WORD>(little_endian(signature, 2));
    if (is_gui && (short_signature == kLeSignature || short_signature == kNeSignature)) *is_gui = 1;
    return 0;
}
