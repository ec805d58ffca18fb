// Languages: the user's interface language from the locale of the
// environment, and the names of a language (ISO 639, ISO 3166 and Windows'
// three-letter abbreviation).  ICU maps between locale names and Windows
// language identifiers.
#include <unicode/uloc.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>

#include "winnls.h"

namespace {

// Windows' abbreviated language names: the ISO 639 code and a letter for the
// sub-language.  Languages not listed take the ISO 639 code and the first
// letter of the country.
struct Abbreviation {
    LANGID id;
    char name[4];
};
constexpr Abbreviation kAbbreviations[] = {
    {0x0401, "ARA"}, {0x0402, "BGR"}, {0x0403, "CAT"}, {0x0404, "CHT"}, {0x0405, "CSY"}, {0x0406, "DAN"},
    {0x0407, "DEU"}, {0x0408, "ELL"}, {0x0409, "ENU"}, {0x040A, "ESP"}, {0x040B, "FIN"}, {0x040C, "FRA"},
    {0x040D, "HEB"}, {0x040E, "HUN"}, {0x040F, "ISL"}, {0x0410, "ITA"}, {0x0411, "JPN"}, {0x0412, "KOR"},
    {0x0413, "NLD"}, {0x0414, "NOR"}, {0x0415, "PLK"}, {0x0416, "PTB"}, {0x0418, "ROM"}, {0x0419, "RUS"},
    {0x041A, "HRV"}, {0x041B, "SKY"}, {0x041D, "SVE"}, {0x041E, "THA"}, {0x041F, "TRK"}, {0x0421, "IND"},
    {0x0422, "UKR"}, {0x0424, "SLV"}, {0x0425, "ETI"}, {0x0426, "LVI"}, {0x0427, "LTH"}, {0x042A, "VIT"},
    {0x0439, "HIN"}, {0x0804, "CHS"}, {0x0807, "DES"}, {0x0809, "ENG"}, {0x080A, "ESM"}, {0x080C, "FRB"},
    {0x0810, "ITS"}, {0x0813, "NLB"}, {0x0814, "NON"}, {0x0816, "PTG"}, {0x081D, "SVF"}, {0x0C04, "ZHH"},
    {0x0C07, "DEA"}, {0x0C09, "ENA"}, {0x0C0A, "ESN"}, {0x0C0C, "FRC"}, {0x1004, "ZHI"}, {0x1007, "DEL"},
    {0x1009, "ENC"}, {0x100C, "FRS"}, {0x1404, "ZHM"}, {0x1407, "DEC"}, {0x1409, "ENZ"}, {0x140C, "FRL"},
    {0x1809, "ENI"}, {0x1C09, "ENS"}, {0x2009, "ENJ"}, {0x4009, "ENN"},
};

// The first locale variable that is set and not empty.
const char *environment_locale() {
    for (const char *name : {"LC_ALL", "LC_MESSAGES", "LANG"})
        if (const char *value = std::getenv(name); value && *value) return value;
    return nullptr;
}

// "ll_CC.charset@modifier" as ICU's "ll_Script_CC": the character set goes,
// the modifiers that name a script become the script.
std::string icu_locale_of(const char *posix) {
    std::string text = posix;
    std::string modifier;
    if (auto at = text.find('@'); at != std::string::npos) {
        modifier = text.substr(at + 1);
        text.erase(at);
    }
    if (auto dot = text.find('.'); dot != std::string::npos) text.erase(dot);
    const char *script = modifier == "latin" ? "Latn" : modifier == "cyrillic" ? "Cyrl" : nullptr;
    if (script) {
        auto underscore = text.find('_');
        text.insert(underscore == std::string::npos ? text.size() : underscore, std::string("_") + script);
    }
    return text;
}

// The ICU locale of a Windows locale, or empty.
std::string icu_locale_of(LCID locale) {
    char name[ULOC_FULLNAME_CAPACITY] = {};
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = uloc_getLocaleForLCID(locale, name, sizeof name, &status);
    if (U_FAILURE(status) || length <= 0) return {};
    return name;
}

std::string upper(std::string text) {
    for (char &c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// The abbreviation of `id`: the table's, else made from the ISO names; a
// language without a sub-language takes that of its first sub-language.
std::string abbreviation_of(LANGID id) {
    if (SUBLANGID(id) == 0) id = MAKELANGID(PRIMARYLANGID(id), 1);
    for (const auto &a : kAbbreviations)
        if (a.id == id) return a.name;
    std::string locale = icu_locale_of(id);
    char language[ULOC_LANG_CAPACITY] = {}, country[ULOC_COUNTRY_CAPACITY] = {};
    UErrorCode status = U_ZERO_ERROR;
    uloc_getLanguage(locale.c_str(), language, sizeof language, &status);
    uloc_getCountry(locale.c_str(), country, sizeof country, &status);
    if (U_FAILURE(status) || std::strlen(language) != 2 || !*country) return {};
    return upper(std::string(language) + country[0]);
}

}  // namespace

extern "C" {

LANGID GetUserDefaultUILanguage() {
    const char *posix = environment_locale();
    if (!posix || std::strcmp(posix, "C") == 0 || std::strcmp(posix, "POSIX") == 0 ||
        std::strncmp(posix, "C.", 2) == 0)
        return LANG_NEUTRAL;
    uint32_t id = uloc_getLCID(icu_locale_of(posix).c_str());
    return static_cast<LANGID>(id & 0xFFFF);
}

int GetLocaleInfoA(LCID locale, DWORD type, LPSTR data, int size) {
    if (size < 0 || (size > 0 && !data)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    DWORD fact = type & ~LOCALE_USE_CP_ACP;
    std::string answer;
    if (fact == LOCALE_SABBREVLANGNAME) {
        answer = abbreviation_of(static_cast<LANGID>(locale));
    } else if (fact == LOCALE_SISO639LANGNAME || fact == LOCALE_SISO3166CTRYNAME) {
        std::string name = icu_locale_of(locale);
        char part[ULOC_FULLNAME_CAPACITY] = {};
        UErrorCode status = U_ZERO_ERROR;
        if (fact == LOCALE_SISO639LANGNAME) uloc_getLanguage(name.c_str(), part, sizeof part, &status);
        else uloc_getCountry(name.c_str(), part, sizeof part, &status);
        if (U_SUCCESS(status)) answer = part;
    } else {
        SetLastError(ERROR_INVALID_FLAGS);
        return 0;
    }
    if (answer.empty()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    int needed = static_cast<int>(answer.size() + 1);
    if (size == 0) return needed;
    if (size < needed) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(data, answer.c_str(), answer.size() + 1);
    return needed;
}

}  // extern "C"
