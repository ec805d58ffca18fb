// quarn reg export and import through the built tool: the file regedit would
// write, the files Windows and people write, deletions, bad files that change
// nothing, and the round trip export, delete, import.
#include <sys/stat.h>

#include <algorithm>

#include "reg_tool_support.h"

namespace quarn::test {
namespace {

using RegExport = RegTool;
using RegImport = RegTool;
using RegRoundTrip = RegTool;

TEST_F(RegExport, WritesRegeditsFile) {
    reg_ok({"add", "HKCU\\Software\\E", "/v", "s", "/d", "C:\\dir \"x\""});
    reg_ok({"add", "HKCU\\Software\\E", "/ve", "/d", "d"});
    reg_ok({"add", "HKCU\\Software\\E", "/v", "n", "/t", "REG_DWORD", "/d", "10"});
    reg_ok({"add", "HKCU\\Software\\E\\Sub", "/v", "m", "/t", "REG_MULTI_SZ", "/d", "a\\0b"});
    reg_ok({"export", "HKCU\\Software\\E", path("e.reg")});
    std::string bytes = read_file(path("e.reg"));
    ASSERT_TRUE(bytes.starts_with("\xFF\xFE")) << bytes;
    // The mode of any new file under the tool's umask (the test's own, 022 or so).
    mode_t mask = umask(0);
    umask(mask);
    auto permissions = std::filesystem::status(path("e.reg")).permissions();
    EXPECT_EQ(static_cast<mode_t>(permissions), 0666 & ~mask);
    EXPECT_EQ(utf16_file_text(bytes),
              "Windows Registry Editor Version 5.00\r\n"
              "\r\n"
              "[HKEY_CURRENT_USER\\Software\\E]\r\n"
              "\"s\"=\"C:\\\\dir \\\"x\\\"\"\r\n"
              "@=\"d\"\r\n"
              "\"n\"=dword:0000000a\r\n"
              "\r\n"
              "[HKEY_CURRENT_USER\\Software\\E\\Sub]\r\n"
              "\"m\"=hex(7):61,00,00,00,62,00,00,00,00,00\r\n"
              "\r\n");
}

TEST_F(RegExport, AsksBeforeReplacingAFile) {
    reg_ok({"add", "HKCU\\X", "/v", "a", "/d", "1"});
    prefix_.write("x.reg", "keep me");
    ChildResult result = reg({"export", "HKCU\\X", path("x.reg")}, "n\n");
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_TRUE(result.out.starts_with("File " + path("x.reg") + " already exists. Overwrite(Yes/No)? ")) << result.out;
    EXPECT_EQ(read_file(path("x.reg")), "keep me");
    result = reg({"export", "HKCU\\X", path("x.reg")}, "y\n");
    EXPECT_EQ(result.exit_code, 0) << result.err;
    EXPECT_TRUE(utf16_file_text(read_file(path("x.reg"))).starts_with("Windows Registry Editor Version 5.00\r\n"));
    prefix_.write("x.reg", "keep me");
    reg_ok({"export", "HKCU\\X", path("x.reg"), "/y"});
    EXPECT_NE(read_file(path("x.reg")), "keep me");
}

TEST_F(RegExport, FailsWithoutWritingAFile) {
    ChildResult result = reg({"export", "HKCU\\Missing", path("m.reg")});
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_EQ(result.err, kNotFound);
    EXPECT_FALSE(std::filesystem::exists(path("m.reg")));
    reg_ok({"add", "HKCU\\X"});
    result = reg({"export", "HKCU\\X", path("no/such/dir/x.reg")});
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_TRUE(result.err.starts_with("ERROR: ")) << result.err;
}

TEST_F(RegExport, RefusesANameNoFileCanHold) {
    reg_ok({"add", "HKCU\\N", "/v", "two\nlines", "/d", "x"});
    ChildResult result = reg({"export", "HKCU\\N", path("n.reg")});
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_NE(result.err.find("line break"), std::string::npos) << result.err;
    EXPECT_FALSE(std::filesystem::exists(path("n.reg")));
}

TEST_F(RegImport, ReadsEachEncodingAndHeader) {
    const std::string body =
        "\r\n[HKEY_CURRENT_USER\\I]\r\n\"s\"=\"text\"\r\n\"d\"=dword:00000102\r\n\"b\"=hex:01,02,\\\r\n  03\r\n";
    struct Row {
        const char *label;
        std::string bytes;
        const char *expand;  // the hex(2) line in the file's own string form
    };
    const Row rows[] = {
        {"UTF-16LE as Windows writes it", "", "\"e\"=hex(2):25,00,78,00,25,00,00,00\r\n"},
        {"UTF-8 with byte-order mark", "\xEF\xBB\xBF", "\"e\"=hex(2):25,00,78,00,25,00,00,00\r\n"},
        {"UTF-8", "-", "\"e\"=hex(2):25,00,78,00,25,00,00,00\r\n"},
        {"REGEDIT4", "4", "\"e\"=hex(2):25,78,25,00\r\n"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.label);
        std::string text = body + row.expand;
        std::string bytes;
        if (row.bytes.empty())
            bytes = utf16le_with_bom("Windows Registry Editor Version 5.00\r\n" + text);
        else if (row.bytes == "4")
            bytes = "REGEDIT4\r\n" + text;
        else
            bytes = (row.bytes == "-" ? "" : row.bytes) + "Windows Registry Editor Version 5.00\r\n" + text;
        prefix_.write("i.reg", bytes);
        reg_ok({"import", path("i.reg")});
        EXPECT_EQ(dump("HKCU", "I"), "[I]\ns|1|7465787400\nd|4|02010000\nb|3|010203\ne|2|25782500\n");
        reg_ok({"delete", "HKCU\\I", "/f"});
    }
}

TEST_F(RegImport, AppliesDeletions) {
    reg_ok({"add", "HKCU\\Del\\Sub\\Deeper", "/v", "x", "/d", "1"});
    reg_ok({"add", "HKCU\\Keep", "/v", "a", "/d", "1"});
    reg_ok({"add", "HKCU\\Keep", "/v", "b", "/d", "2"});
    reg_ok({"add", "HKCU\\Keep", "/ve", "/d", "3"});
    prefix_.write("d.reg",
                  "Windows Registry Editor Version 5.00\n\n"
                  "[-HKEY_CURRENT_USER\\Del]\n"
                  "[-HKEY_CURRENT_USER\\NeverThere]\n"
                  "[HKEY_CURRENT_USER\\Keep]\n"
                  "\"a\"=-\n"
                  "@=-\n"
                  "\"absent\"=-\n");
    reg_ok({"import", path("d.reg")});
    EXPECT_EQ(dump("HKCU", "Del"), "missing");
    EXPECT_EQ(dump("HKCU", "Keep"), "[Keep]\nb|1|3200\n");
}

TEST_F(RegImport, BadFileChangesNothing) {
    reg_ok({"add", "HKCU\\Before", "/v", "a", "/d", "1"});
    prefix_.write("bad.reg",
                  "Windows Registry Editor Version 5.00\r\n\r\n"
                  "[-HKEY_CURRENT_USER\\Before]\r\n"
                  "[HKEY_CURRENT_USER\\New]\r\n"
                  "\"ok\"=\"fine\"\r\n"
                  "\"broken\"=dword:xyz\r\n");
    ChildResult result = reg({"import", path("bad.reg")});
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_TRUE(result.err.starts_with("ERROR: " + path("bad.reg") + ", line 6: ")) << result.err;
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
    EXPECT_EQ(dump("HKCU", "Before"), "[Before]\na|1|3100\n");
    EXPECT_EQ(dump("HKCU", "New"), "missing");
}

TEST_F(RegImport, UnreadableFiles) {
    for (const std::string &file : {path("absent.reg"), prefix_.path().string()}) {
        SCOPED_TRACE(file);
        ChildResult result = reg({"import", file});
        EXPECT_EQ(result.exit_code, 1);
        EXPECT_EQ(result.err, "ERROR: Error opening the file. There may be a disk or file system error.\n");
    }
    prefix_.write("empty.reg", "");
    ChildResult result = reg({"import", path("empty.reg")});
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_TRUE(result.err.starts_with("ERROR: " + path("empty.reg") + ", line 1: not a registry file")) << result.err;
}

TEST_F(RegImport, RefusesEndlessAndOversizedInputBeforeReadingItWhole) {
    // A device that never ends: its first line is no header, so it stops there.
    ChildResult result = reg({"import", "/dev/zero"});
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_TRUE(result.err.starts_with("ERROR: /dev/zero, line 1: not a registry file")) << result.err;
    // A regular file of 3 GiB (sparse) behind a good header is refused by its size.
    const std::string header = "Windows Registry Editor Version 5.00\r\n\r\n";
    prefix_.write("huge.reg", header);
    std::filesystem::resize_file(path("huge.reg"), uintmax_t{3} << 30);
    result = reg({"import", path("huge.reg")});
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_EQ(result.err, "ERROR: " + path("huge.reg") + " is larger than any registry could hold.\n");
    // A header that arrives in pieces through a pipe is still a header.
    prefix_.write("small.reg", header + "[HKEY_CURRENT_USER\\Piped]\r\n\"v\"=\"x\"\r\n");
    result = run_child({"/bin/sh", "-c", "cat \"$1\" | \"$2\" reg import /dev/stdin", "sh", path("small.reg"), QUARN_TOOL},
                       {{"QUARN_PREFIX", prefix_.path().string()}});
    EXPECT_EQ(result.exit_code, 0) << result.err;
    EXPECT_EQ(dump("HKCU", "Piped"), "[Piped]\nv|1|7800\n");
}

// Keys and values of every kind that a round trip must give back exactly.
const char *const kRichFile =
    "Windows Registry Editor Version 5.00\r\n\r\n"
    "[HKEY_CURRENT_USER\\Software\\Trip]\r\n"
    "@=\"root default\"\r\n"
    "\"plain\"=\"C:\\\\Program Files\\\\\\\"q\\\"\"\r\n"
    "\"empty\"=\"\"\r\n"
    "\"unicode \xC3\xA9\xE2\x82\xAC\"=\"\xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80\"\r\n"
    "\"two lines\"=hex(1):61,00,0d,00,0a,00,62,00,00,00\r\n"
    "\"no terminator\"=hex(1):61,00,62,00\r\n"
    "\"zero bytes sz\"=hex(1):\r\n"
    "\"expand\"=hex(2):25,00,50,00,41,00,54,00,48,00,25,00,00,00\r\n"
    "\"list\"=hex(7):61,00,00,00,e9,00,00,00,00,00\r\n"
    "\"dword\"=dword:deadbeef\r\n"
    "\"short dword\"=hex(4):01\r\n"
    "\"big endian\"=hex(5):01,02,03,04\r\n"
    "\"qword\"=hex(b):01,02,03,04,05,06,07,08\r\n"
    "\"none\"=hex(0):\r\n"
    "\"binary\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,\\\r\n"
    "  16,17,18,19,1a,1b,1c,1d,1e,1f,20,21,22,23,24,25,26,27,28,29,2a,2b,2c,2d,2e,\\\r\n"
    "  2f,30\r\n"
    "\"odd type\"=hex(20000):ff\r\n"
    "\"resources\"=hex(8):01,02\r\n"
    "\r\n"
    "[HKEY_CURRENT_USER\\Software\\Trip\\a]\r\n"
    "\"z\"=\"last\"\r\n"
    "\"a\"=\"first\"\r\n"
    "\r\n"
    "[HKEY_CURRENT_USER\\Software\\Trip\\a\\deep]\r\n"
    "\r\n"
    "[HKEY_CURRENT_USER\\Software\\Trip\\a\\deep\\deeper]\r\n"
    "\"x\"=\"y\"\r\n"
    "\r\n"
    "[HKEY_CURRENT_USER\\Software\\Trip\\B]\r\n"
    "\r\n";

TEST_F(RegRoundTrip, ExportDeleteImportGivesBackTheSameBytes) {
    prefix_.write("rich.reg", kRichFile);
    reg_ok({"import", path("rich.reg")});
    std::string before = dump("HKCU", "Software\\Trip");
    ASSERT_NE(before, "missing");
    EXPECT_NE(before.find("two lines|1|610d0a6200\n"), std::string::npos) << before;
    EXPECT_NE(before.find("no terminator|1|6162\n"), std::string::npos) << before;
    EXPECT_NE(before.find("odd type|131072|ff\n"), std::string::npos) << before;

    reg_ok({"export", "HKCU\\Software\\Trip", path("first.reg")});
    reg_ok({"delete", "HKCU\\Software\\Trip", "/f"});
    EXPECT_EQ(dump("HKCU", "Software\\Trip"), "missing");
    reg_ok({"import", path("first.reg")});
    EXPECT_EQ(dump("HKCU", "Software\\Trip"), before);

    reg_ok({"export", "HKCU\\Software\\Trip", path("second.reg")});
    EXPECT_EQ(read_file(path("second.reg")), read_file(path("first.reg")));
    // Windows' sorted subkeys and the values' creation order come back too.
    EXPECT_EQ(utf16_file_text(read_file(path("first.reg"))), kRichFile);
}

TEST_F(RegRoundTrip, ThroughAnotherMachine) {
    std::filesystem::create_directories(prefix_.path() / "machines" / "FAR");
    reg_ok({"add", "\\\\FAR\\HKLM\\Software\\M", "/v", "b", "/t", "REG_BINARY", "/d", "00ff"});
    reg_ok({"add", "\\\\FAR\\HKLM\\Software\\M\\Sub", "/ve", "/d", "x"});
    std::string far = dump("HKLM", "Software\\M", "\\\\FAR");
    reg_ok({"export", "\\\\FAR\\HKLM\\Software\\M", path("far.reg")});
    reg_ok({"delete", "\\\\FAR\\HKLM\\Software\\M", "/f"});
    reg_ok({"import", path("far.reg")});
    // A .reg file names keys of the machine that imports it.
    EXPECT_EQ(dump("HKLM", "Software\\M", "\\\\FAR"), "missing");
    EXPECT_EQ(dump("HKLM", "Software\\M"), far);
}

}  // namespace
}  // namespace quarn::test
