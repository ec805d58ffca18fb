// Localised resource libraries: the interface language from the locale, the
// names tried beside the program in their order, and the registered names of
// nt_find_vb_resource_app_name.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "child_process.h"
#include "temp_prefix.h"

namespace {

namespace fs = std::filesystem;
using quarn::test::run_child;

using Environment = std::map<std::string, std::optional<std::string>>;

Environment locale(const char *lang, const char *lc_all = nullptr, const char *lc_messages = nullptr) {
    Environment env{{"LANG", lang ? std::optional<std::string>(lang) : std::nullopt},
                    {"LC_ALL", lc_all ? std::optional<std::string>(lc_all) : std::nullopt},
                    {"LC_MESSAGES", lc_messages ? std::optional<std::string>(lc_messages) : std::nullopt}};
    return env;
}

TEST(UiLanguage, FromTheLocaleOfTheEnvironment) {
    struct Case {
        const char *name;
        Environment env;
        const char *expected;
    } cases[] = {
        {"en_US", locale("en_US.UTF-8"), "0409\n"},
        {"zh_TW", locale("zh_TW.UTF-8"), "0404\n"},
        {"zh_CN", locale("zh_CN.GB18030"), "0804\n"},
        {"es_ES", locale("es_ES.UTF-8"), "0c0a\n"},
        {"de_AT", locale("de_AT.UTF-8@euro"), "0c07\n"},
        {"sr latin", locale("sr_RS.UTF-8@latin"), "241a\n"},
        {"C", locale("C"), "0000\n"},
        {"POSIX", locale("POSIX"), "0000\n"},
        {"C.UTF-8", locale("C.UTF-8"), "0000\n"},
        {"nothing set", locale(nullptr), "0000\n"},
        {"LC_ALL first", locale("en_US.UTF-8", "fr_FR.UTF-8", "de_DE.UTF-8"), "040c\n"},
        {"LC_MESSAGES before LANG", locale("en_US.UTF-8", nullptr, "de_DE.UTF-8"), "0407\n"},
        {"an empty LC_ALL counts as unset", locale("ja_JP.UTF-8", ""), "0411\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(run_child({QUARN_PROBE, "ui-language"}, c.env).out, c.expected);
    }
}

// A copy of the probe named "tool" in a folder of its own, with a resdll folder.
class ToolFolder {
public:
    ToolFolder() {
        fs::copy_file(QUARN_PROBE, tool());
        fs::create_directories(resdll());
    }
    fs::path tool() const { return dir_.path() / "tool"; }
    fs::path resdll() const { return dir_.path() / "resdll"; }
    void place(const std::string &name) const {
        fs::copy_file(QUARN_RESOURCE_STUB, resdll() / name, fs::copy_options::overwrite_existing);
    }
    std::string loaded(const char *lang, int debug) const {
        auto r = run_child({tool().string(), "resdll", std::to_string(debug)}, locale(lang));
        EXPECT_EQ(r.exit_code, 0) << r.err;
        return r.out;
    }

private:
    quarn::test::TempPrefix dir_;
};

// Each name is tried, and before every name after it: with the names from
// the k-th on all present, the k-th is the one loaded.
TEST(ResourceLibrary, TheNamesAreTriedFromTheMostSpecific) {
    struct Case {
        const char *lang;
        int debug;
        std::vector<std::string> names;
    } cases[] = {
        {"zh_TW.UTF-8", 0,
         {"tool_zh_Hant_TW.rsc", "tool_zh_Hant.rsc", "tool_zh_TW.rsc", "tool_zh-TW.rsc", "tool_zh.rsc",
          "tool_CHT.rsc"}},
        {"en_US.UTF-8", 1, {"tool_en_USd.rsc", "tool_en-USd.rsc", "tool_end.rsc", "tool_ENUd.rsc"}},
        {"es_ES.UTF-8", 0, {"tool_es_ES.rsc", "tool_es-ES.rsc", "tool_es.rsc", "tool_ESN.rsc", "tool_ESP.rsc"}},
    };
    for (const auto &c : cases) {
        for (size_t k = 0; k < c.names.size(); ++k) {
            SCOPED_TRACE(std::string(c.lang) + " from " + c.names[k]);
            ToolFolder folder;
            for (size_t i = k; i < c.names.size(); ++i) folder.place(c.names[i]);
            EXPECT_EQ(folder.loaded(c.lang, c.debug), c.names[k] + "\n");
        }
    }
}

TEST(ResourceLibrary, NothingFitsOrTheLanguageIsNeutral) {
    ToolFolder folder;
    folder.place("tool_en_US.rsc");
    folder.place("tool_zh_TW.rsc");
    EXPECT_EQ(folder.loaded("C", 0), "null\n");  // a neutral language loads nothing
    EXPECT_EQ(folder.loaded("en_US.UTF-8", 1), "null\n");  // only release variants there
    EXPECT_EQ(folder.loaded("fr_FR.UTF-8", 0), "null\n");
    std::ofstream(folder.resdll() / "tool_de_DE.rsc") << "not a shared object";
    folder.place("tool_de.rsc");
    EXPECT_EQ(folder.loaded("de_DE.UTF-8", 0), "tool_de.rsc\n");  // a file that is no library is passed over
}

constexpr char kClasses[] = "Software\\Classes\\";

// The probe's "vb APP" on a machine where `registered` keys exist (with a
// default value) under HKLM\Software\Classes.
std::string vb_name(const char *lang, const std::vector<std::string> &registered) {
    quarn::test::TempPrefix prefix;
    std::vector<std::string> argv{QUARN_PROBE};
    for (const auto &name : registered)
        argv.insert(argv.end(), {"set-sz", kClasses + name + ".Resources\\Clsid", "", "{00000000-0000-0000-0000-000000000001}"});
    argv.insert(argv.end(), {"vb", "App"});
    auto env = locale(lang);
    env["QUARN_PREFIX"] = prefix.path().string();
    return run_child(argv, env).out;
}

TEST(VbResourceName, TheLanguageThenItsFirstSubLanguageThenTheApplication) {
    struct Case {
        const char *name;
        const char *lang;
        std::vector<std::string> registered;
        const char *expected;
    } cases[] = {
        {"own abbreviation", "es_ES.UTF-8", {"App_ESN", "App_ESP", "App"}, "0 App_ESN\n"},
        {"first sub-language's", "es_ES.UTF-8", {"App_ESP"}, "0 App_ESP\n"},
        {"the application", "es_ES.UTF-8", {"App"}, "0 App\n"},
        {"none", "es_ES.UTF-8", {"App_FRA"}, "-1\n"},
        {"sub-language 1 asks once", "en_US.UTF-8", {"App"}, "0 App\n"},
        {"the name without .Resources does not count", "en_US.UTF-8", {}, "-1\n"},
        {"neutral", "C", {"App"}, "-1\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(vb_name(c.lang, c.registered), c.expected);
    }
}

}  // namespace
