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

// ---- languages and locales ----------------------------------------------------------
typedef WORD LANGID;
typedef DWORD LCID;
constexpr LANGID LANG_NEUTRAL = 0x00;
inline constexpr WORD PRIMARYLANGID(LANGID id) { return id & 0x3FF; }
inline constexpr WORD SUBLANGID(LANGID id) { return id >> 10; }
inline constexpr LANGID MAKELANGID(WORD primary, WORD sub) { return static_cast<LANGID>((sub << 10) | primary); }

// The user's interface language, from the locale of the environment (LC_ALL,
// LC_MESSAGES, then LANG); "C", "POSIX" or none is the neutral language 0.
LANGID GetUserDefaultUILanguage();

constexpr DWORD LOCALE_SABBREVLANGNAME = 0x00000003;
constexpr DWORD LOCALE_SISO639LANGNAME = 0x00000059;
constexpr DWORD LOCALE_SISO3166CTRYNAME = 0x0000005A;
constexpr DWORD LOCALE_USE_CP_ACP = 0x40000000;
// One fact of a locale: the characters written with the terminator; with a
// size of 0, the size needed; 0 with ERROR_INSUFFICIENT_BUFFER,
// ERROR_INVALID_PARAMETER (unknown locale or a fact it lacks) or
// ERROR_INVALID_FLAGS.
int GetLocaleInfoA(LCID locale, DWORD type, LPSTR data, int size);

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
