// Laying out packed result blocks.
#include "netapi32/packed_buffer.h"

#include <cstring>

#include "winnls.h"

namespace quarn::win32 {

Packer::Packer(size_t head, BYTE *block) : block_(block), used_(head) {
    if (!block_) scratch_.resize(head);
}

BYTE *Packer::place(size_t bytes, size_t alignment) {
    used_ = (used_ + alignment - 1) / alignment * alignment;
    BYTE *at = block_ ? block_ + used_ : nullptr;
    used_ += bytes;
    return at;
}

LPWSTR Packer::text(std::string_view utf8) {
    std::u16string wide = utf8_to_utf16(utf8);
    BYTE *at = place((wide.size() + 1) * sizeof(char16_t), alignof(char16_t));
    if (at) std::memcpy(at, wide.c_str(), (wide.size() + 1) * sizeof(char16_t));
    return reinterpret_cast<LPWSTR>(at);
}

PSID Packer::sid(const SidValue &sid) {
    if (sid.empty()) return nullptr;
    BYTE *at = place(sid.size(), alignof(DWORD));
    if (at) std::memcpy(at, sid.get(), sid.size());
    return at;
}

LPBYTE Packer::filled(size_t bytes, BYTE value) {
    BYTE *at = place(bytes, 1);
    if (at) std::memset(at, value, bytes);
    return at;
}

}  // namespace quarn::win32
