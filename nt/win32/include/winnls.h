// Conversions between multibyte text and UTF-16.  The ANSI and OEM code pages
// of this host are UTF-8 (65001): CP_ACP, CP_OEMCP, CP_THREAD_ACP and CP_UTF8
// all mean UTF-8; other code pages fail with ERROR_INVALID_PARAMETER, and so
// does a default character, which UTF-8 does not have.
// Internal: nothing declared here leaves libquarnnt.so.
#pragma once

#include <string>
#include <string_view>

#include "winbase.h"

extern "C" {


constexpr UINT CP_ACP = 0;
constexpr UINT CP_OEMCP = 1;
constexpr UINT CP_THREAD_ACP = 3;
constexpr UINT CP_UTF8 = 65001;

constexpr DWORD MB_ERR_INVALID_CHARS = 0x00000008;
constexpr DWORD WC_ERR_INVALID_CHARS = 0x00000080;

// A length of -1 converts through the terminator and counts it.  An output
// size of 0 asks for the size needed; too small an output fails with
// ERROR_INSUFFICIENT_BUFFER.  Ill-formed input becomes U+FFFD, or fails with
// ERROR_NO_UNICODE_TRANSLATION under MB_ERR_INVALID_CHARS / WC_ERR_INVALID_CHARS.
int MultiByteToWideChar(UINT code_page, DWORD flags, LPCSTR text, int size, LPWSTR out, int out_size);
int WideCharToMultiByte(UINT code_page, DWORD flags, LPCWSTR text, int size, LPSTR out, int out_size,
                        LPCSTR default_char, LPBOOL used_default_char);

}  // extern "C"

namespace quarn::win32 {

// UTF-8 to UTF-16 and back, ill-formed sequences replaced by U+FFFD.
std::u16string utf8_to_utf16(std::string_view text);
std::string utf16_to_utf8(std::u16string_view text);

// The upper case of a UTF-16 unit as Windows folds names for comparison:
// ASCII, Latin-1, Latin Extended-A, Greek, Cyrillic and the full-width
// letters; other units are their own upper case.
char16_t upper_case(char16_t unit);

}  // namespace quarn::win32

namespace quarn::win32 {

// The UTF-8 of an argument of an A or W call (null gives empty).
inline std::string utf8_of(const char *text) { return text ? text : ""; }
inline std::string utf8_of(const char16_t *text) { return text ? utf16_to_utf8(text) : ""; }

// A UTF-8 text in the character type of an A or W call.
template <typename Char>
std::basic_string<Char> text_as(std::string_view utf8);
template <>
inline std::string text_as<char>(std::string_view utf8) { return std::string(utf8); }
template <>
inline std::u16string text_as<char16_t>(std::string_view utf8) { return utf8_to_utf16(utf8); }

}  // namespace quarn::win32
