// FormatMessageA over the layer's message tables or a caller's string, with
// the platform's insert syntax: %1..%99 with an optional !printf-format!, %0
// (end without a line break), %n, %r, %t, %%, "% ", "%." and "%!".
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "kernel32/module.h"

namespace {

using quarn::win32::find_message;

constexpr DWORD kLanguageNeutral = 0x0000;
constexpr DWORD kLanguageNeutralDefault = 0x0400;
constexpr DWORD kLanguageEnglishUs = 0x0409;

// The insert arguments, fetched in order from a va_list or read from an array.
class Arguments {
public:
    Arguments(DWORD flags, va_list *list) : array_((flags & FORMAT_MESSAGE_ARGUMENT_ARRAY) != 0), list_(list) {}

    bool get(unsigned number, DWORD_PTR &out) {
        if (!list_ || number == 0) return false;
        if (array_) {
            out = reinterpret_cast<const DWORD_PTR *>(list_)[number - 1];
            return true;
        }
        while (fetched_.size() < number) fetched_.push_back(va_arg(*list_, DWORD_PTR));
        out = fetched_[number - 1];
        return true;
    }

private:
    bool array_;
    va_list *list_;
    std::vector<DWORD_PTR> fetched_;
};

// One insert with its printf-style format ("s" when none is given).
bool format_insert(std::string &out, const std::string &insert_format, DWORD_PTR value) {
    if (insert_format.empty()) return false;
    std::string f = "%" + insert_format;
    char conversion = insert_format.back();
    bool wide64 = insert_format.find("I64") != std::string::npos;
    if (wide64) f.replace(f.find("I64"), 3, "ll");
    char buffer[512];
    int n;
    switch (conversion) {
    case 's':
        n = std::snprintf(buffer, sizeof buffer, f.c_str(), value ? reinterpret_cast<const char *>(value) : "");
        if (n >= static_cast<int>(sizeof buffer)) {
            std::string big(static_cast<size_t>(n) + 1, '\0');
            std::snprintf(big.data(), big.size(), f.c_str(), reinterpret_cast<const char *>(value));
            big.pop_back();
            out += big;
            return true;
        }
        break;
    case 'd':
    case 'i':
        n = wide64 ? std::snprintf(buffer, sizeof buffer, f.c_str(), static_cast<long long>(value))
                   : std::snprintf(buffer, sizeof buffer, f.c_str(), static_cast<int>(value));
        break;
    case 'u':
    case 'x':
    case 'X':
    case 'o':
        n = wide64 ? std::snprintf(buffer, sizeof buffer, f.c_str(), static_cast<unsigned long long>(value))
                   : std::snprintf(buffer, sizeof buffer, f.c_str(), static_cast<unsigned>(value));
        break;
    case 'c':
        n = std::snprintf(buffer, sizeof buffer, f.c_str(), static_cast<int>(value));
        break;
    default:
        return false;
    }
    if (n < 0) return false;
    out.append(buffer, static_cast<size_t>(std::min<int>(n, sizeof buffer - 1)));
    return true;
}

// Expands `text`; false (with the last error set) for a malformed insert.
bool expand(const char *text, DWORD flags, va_list *list, std::string &out) {
    if (flags & FORMAT_MESSAGE_IGNORE_INSERTS) {
        out = text;
        return true;
    }
    Arguments arguments(flags, list);
    for (const char *p = text; *p; ++p) {
        if (*p != '%') {
            out += *p;
            continue;
        }
        char c = *++p;
        if (c == 0) break;
        if (c >= '1' && c <= '9') {
            unsigned number = static_cast<unsigned>(c - '0');
            if (p[1] >= '0' && p[1] <= '9') number = number * 10 + static_cast<unsigned>(*++p - '0');
            std::string insert_format = "s";
            if (p[1] == '!') {
                const char *end = std::strchr(p + 2, '!');
                if (!end) {
                    SetLastError(ERROR_INVALID_PARAMETER);
                    return false;
                }
                insert_format.assign(p + 2, end);
                p = end;
            }
            DWORD_PTR value = 0;
            if (!arguments.get(number, value) || !format_insert(out, insert_format, value)) {
                SetLastError(ERROR_INVALID_PARAMETER);
                return false;
            }
            continue;
        }
        switch (c) {
        case '0':
            return true;
        case 'n':
            out += "\r\n";
            break;
        case 'r':
            out += '\r';
            break;
        case 't':
            out += '\t';
            break;
        default:  // "%%", "% ", "%.", "%!" and any other character stand for themselves
            out += c;
        }
    }
    return true;
}

const char *lookup(DWORD flags, LPCVOID source, DWORD id) {
    if (flags & FORMAT_MESSAGE_FROM_HMODULE) {
        auto table = quarn::win32::module_messages(static_cast<HMODULE>(const_cast<void *>(source)));
        if (const char *text = find_message(table, id)) return text;
    }
    if (flags & FORMAT_MESSAGE_FROM_SYSTEM) return find_message(quarn::win32::system_message_table(), id);
    return nullptr;
}

}  // namespace

extern "C" DWORD FormatMessageA(DWORD flags, LPCVOID source, DWORD message_id, DWORD language_id, LPSTR buffer,
                                DWORD size, va_list *arguments) {
    const char *text;
    if (flags & FORMAT_MESSAGE_FROM_STRING) {
        text = static_cast<const char *>(source);
    } else {
        if (language_id != kLanguageNeutral && language_id != kLanguageNeutralDefault &&
            language_id != kLanguageEnglishUs) {
            SetLastError(ERROR_RESOURCE_LANG_NOT_FOUND);
            return 0;
        }
        text = lookup(flags, source, message_id);
    }
    if (!text) {
        SetLastError(ERROR_MR_MID_NOT_FOUND);
        return 0;
    }
    std::string out;
    if (!expand(text, flags, arguments, out)) return 0;
    if (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
        auto *memory = static_cast<char *>(std::malloc(std::max<size_t>(out.size() + 1, size)));
        if (!memory) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return 0;
        }
        std::memcpy(memory, out.c_str(), out.size() + 1);
        *reinterpret_cast<char **>(buffer) = memory;
        return static_cast<DWORD>(out.size());
    }
    if (out.size() + 1 > size) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(buffer, out.c_str(), out.size() + 1);
    return static_cast<DWORD>(out.size());
}
