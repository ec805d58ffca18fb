// quarn reg import: applies a .reg file to this machine's registry.  The whole
// file is read and checked first, so a bad file changes nothing; then its
// sections are applied in order: [KEY] creates the key and sets its values,
// [-KEY] deletes a key with its subtree, "NAME"=- deletes a value.  What is
// already absent counts as deleted.
#include <filesystem>
#include <fstream>
#include <iterator>

#include "cmd_reg.h"

namespace quarn::tool::reg {
namespace {

constexpr const char *kHelp = R"text(quarn reg import FILE

  FILE   a .reg file: "Windows Registry Editor Version 5.00" or "REGEDIT4" on
         its first line, in UTF-16LE with a byte-order mark or in UTF-8

A file with an error is reported with its line number and changes nothing.
)text";

bool absent(const RegCallError &error) { return error.code == static_cast<LONG>(ERROR_FILE_NOT_FOUND); }

void apply(const RegFileKey &section) {
    RegPath path{"", section.root, section.subkey};
    Key root = open_root(path);
    if (section.remove) {
        try {
            delete_tree(root, section.subkey);
        } catch (const RegCallError &error) {
            if (!absent(error)) throw;
        }
        return;
    }
    Key key = create_key(root, section.subkey, KEY_QUERY_VALUE | KEY_SET_VALUE);
    for (const auto &value : section.values) {
        if (!value.remove) {
            write_value(key, value);
            continue;
        }
        LONG status = RegDeleteValueA(key.get(), value.name.c_str());
        if (status != ERROR_FILE_NOT_FOUND) check(status);
    }
}

void run_import(const RegArgs &args) {
    const std::string &file = args.positionals.at(0);
    const char *unreadable = "Error opening the file. There may be a disk or file system error.";
    std::error_code ec;
    if (std::filesystem::is_directory(file, ec)) fail_with(unreadable);
    std::ifstream in(file, std::ios::binary);
    std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (!in.is_open() || in.bad()) fail_with(unreadable);
    RegFile model;
    try {
        model = parse_reg_file(bytes);
    } catch (const RegFileError &error) {
        fail_with(file + ", line " + std::to_string(error.line()) + ": " + error.what());
    }
    for (const auto &section : model.keys) apply(section);
    print_success();
}

}  // namespace

const RegOperation import_operation = {"import", kHelp, 1, {}, run_import};

}  // namespace quarn::tool::reg
