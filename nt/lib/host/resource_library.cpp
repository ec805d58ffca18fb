// Localised resource libraries: the library in "resdll" beside a module that
// best fits the user's interface language, tried from the most specific name
// (language, script and country) to the most general; and, for programs whose
// resources are registered COM classes, the registered name that fits.
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "nt.h"
#include "win32.h"
#include "winnls.h"

namespace {

constexpr size_t kPartSize = 9;  // up to 8 characters and the terminator

// The Chinese scripts by sub-language; other languages have none.
const char *script_of(LANGID language) {
    if (PRIMARYLANGID(language) != 4) return "";
    switch (SUBLANGID(language)) {
    case 1:
    case 3:
    case 5: return "Hant";
    case 2:
    case 4: return "Hans";
    default: return "";
    }
}

// A fact of the locale, or "" when the platform cannot give it.
void locale_part(LCID locale, DWORD type, char (&part)[kPartSize]) {
    if (!GetLocaleInfoA(locale, type | LOCALE_USE_CP_ACP, part, sizeof part)) part[0] = 0;
}

HMODULE try_library(const char *format, ...) __attribute__((format(printf, 1, 2)));
HMODULE try_library(const char *format, ...) {
    char path[MAX_PATH * 2];
    va_list arguments;
    va_start(arguments, format);
    int length = std::vsnprintf(path, sizeof path, format, arguments);
    va_end(arguments);
    if (length < 0 || static_cast<size_t>(length) >= sizeof path) return nullptr;
    return LoadLibraryA(path);
}

// A registered name: `name` + ".Resources\Clsid" opens under
// HKEY_CLASSES_ROOT and has a default value.
bool is_registered(const char *name) {
    char key_name[MAX_PATH + 32];
    std::snprintf(key_name, sizeof key_name, "%s.Resources\\Clsid", name);
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key_name, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    char value[MAX_PATH];
    LONG size = sizeof value;
    bool registered = RegQueryValueA(key, nullptr, value, &size) == ERROR_SUCCESS;
    RegCloseKey(key);
    return registered;
}

// Writes `application`, or `application`_`abbreviation`, into `name` (at
// least MAX_PATH bytes) and tests it.
bool try_registered(const char *application, const char *abbreviation, char *name) {
    int length = abbreviation ? std::snprintf(name, MAX_PATH, "%s_%s", application, abbreviation)
                              : std::snprintf(name, MAX_PATH, "%s", application);
    return length >= 0 && length < static_cast<int>(MAX_PATH) && is_registered(name);
}

}  // namespace

extern "C" NT_API WORD nt_get_ui_language(void) { return GetUserDefaultUILanguage(); }

extern "C" NT_API HMODULE nt_load_resource_dll(HMODULE module, int debug) {
    LANGID language = GetUserDefaultUILanguage();
    if (PRIMARYLANGID(language) == LANG_NEUTRAL) return nullptr;
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(module, path, sizeof path);
    if (length == 0 || length >= sizeof path) return nullptr;
    // The path already has the file system's own spelling of the name.
    char drive[_MAX_DRIVE], directory[_MAX_DIR], base[_MAX_FNAME];
    _splitpath(path, drive, directory, base, nullptr);

    char iso639[kPartSize], iso3166[kPartSize], abbreviation[kPartSize], primary_abbreviation[kPartSize];
    locale_part(language, LOCALE_SISO639LANGNAME, iso639);
    locale_part(language, LOCALE_SISO3166CTRYNAME, iso3166);
    locale_part(language, LOCALE_SABBREVLANGNAME, abbreviation);
    locale_part(MAKELANGID(PRIMARYLANGID(language), 0), LOCALE_SABBREVLANGNAME, primary_abbreviation);
    const char *script = script_of(language);
    const char *suffix = debug ? "d" : "";
    bool has_language = *iso639, has_country = *iso3166, has_script = *script;

    HMODULE loaded = nullptr;
    if (has_language && has_script && has_country)
        loaded = try_library("%s%sresdll\\%s_%s_%s_%s%s.rsc", drive, directory, base, iso639, script, iso3166, suffix);
    if (!loaded && has_language && has_script)
        loaded = try_library("%s%sresdll\\%s_%s_%s%s.rsc", drive, directory, base, iso639, script, suffix);
    if (!loaded && has_language && has_country)
        loaded = try_library("%s%sresdll\\%s_%s_%s%s.rsc", drive, directory, base, iso639, iso3166, suffix);
    if (!loaded && has_language && has_country)
        loaded = try_library("%s%sresdll\\%s_%s-%s%s.rsc", drive, directory, base, iso639, iso3166, suffix);
    if (!loaded && has_language)
        loaded = try_library("%s%sresdll\\%s_%s%s.rsc", drive, directory, base, iso639, suffix);
    if (!loaded && *abbreviation)
        loaded = try_library("%s%sresdll\\%s_%s%s.rsc", drive, directory, base, abbreviation, suffix);
    if (!loaded && *primary_abbreviation)
        loaded = try_library("%s%sresdll\\%s_%s%s.rsc", drive, directory, base, primary_abbreviation, suffix);
    return loaded;
}

extern "C" NT_API int nt_find_vb_resource_app_name(const char *application, char *name) {
    if (!application || !name) return -1;
    LANGID language = GetUserDefaultUILanguage();
    if (PRIMARYLANGID(language) == LANG_NEUTRAL) return -1;
    char abbreviation[4];
    if (!GetLocaleInfoA(language, LOCALE_SABBREVLANGNAME, abbreviation, sizeof abbreviation)) return -1;
    if (try_registered(application, abbreviation, name)) return 0;
    if (SUBLANGID(language) != 1) {
        if (!GetLocaleInfoA(MAKELANGID(PRIMARYLANGID(language), 1), LOCALE_SABBREVLANGNAME, abbreviation,
                            sizeof abbreviation))
            return -1;
        if (try_registered(application, abbreviation, name)) return 0;
    }
    return try_registered(application, nullptr, name) ? 0 : -1;
}
