// The LSA's counted strings made from the library's multibyte texts and
// back, both in the ANSI code page.
#include <cstdlib>

#include "identity/domains.h"
#include "frame/trace.h"
#include "winnls.h"

int ntx_CreateLsaUnicodeStringFromAsciiz(LSA_UNICODE_STRING *out, const char *text) {
    if (!text) text = "";
    int wide = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (wide <= 0 || wide > 0x7FFF) return 0;  // a counted length is 16 bits of bytes
    auto *buffer = static_cast<WCHAR *>(std::malloc(2 * static_cast<size_t>(wide)));
    if (!buffer) return 0;
    if (MultiByteToWideChar(CP_ACP, 0, text, -1, buffer, wide) != wide) {
        std::free(buffer);
        return 0;
    }
    out->Buffer = buffer;
    out->Length = static_cast<USHORT>(2 * (wide - 1));
    out->MaximumLength = static_cast<USHORT>(2 * wide);
    return 1;
}

int ntx_CreateLsaStringFromLsaUnicodeString(LSA_STRING *out, const LSA_UNICODE_STRING *text) {
    int characters = text->Length / 2;
    int bytes = characters ? WideCharToMultiByte(CP_ACP, 0, text->Buffer, characters, nullptr, 0, nullptr, nullptr) : 0;
    if (characters && bytes <= 0) {
        NTX_TRACE_FAILURE("WideCharToMultiByte", kSourceNtutilx, GetLastError());
        return 0;
    }
    if (bytes >= 0xFFFF) return 0;
    auto *buffer = static_cast<char *>(std::malloc(static_cast<size_t>(bytes) + 1));
    if (!buffer) return 0;
    if (bytes && WideCharToMultiByte(CP_ACP, 0, text->Buffer, characters, buffer, bytes, nullptr, nullptr) != bytes) {
        NTX_TRACE_FAILURE("WideCharToMultiByte", kSourceNtutilx, GetLastError());
        std::free(buffer);
        return 0;
    }
    buffer[bytes] = 0;
    out->Buffer = buffer;
    out->Length = static_cast<USHORT>(bytes);
    out->MaximumLength = static_cast<USHORT>(bytes + 1);
    return 1;
}
