// machine.toml: what Linux cannot tell about the emulated Windows host, or what
// a test wants to pretend.  The file is checked against a fixed schema when it
// is read: an unknown table or key, a wrong type or a value out of range is one
// error naming the file, the line and the key.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

namespace quarn::win32 {

class MachineConfigError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One checked value of the file, addressed by its dotted key ("windows.major").
// Elements of arrays of tables are numbered: "trusted.0.name".
using ConfigValue = std::variant<std::string, int64_t, bool, std::vector<std::string>>;

class MachineConfig {
public:
    MachineConfig() = default;

    // Reads and checks `file`; a missing file is an empty configuration.
    // Throws MachineConfigError ("FILE:LINE: KEY: what is wrong").
    static MachineConfig load(const std::filesystem::path &file);
    // The same for a text already in memory; `origin` names it in errors.
    static MachineConfig parse(std::string_view text, const std::string &origin);

    std::optional<std::string> text(const std::string &key) const;
    std::optional<int64_t> integer(const std::string &key) const;
    std::optional<bool> flag(const std::string &key) const;
    std::optional<std::vector<std::string>> texts(const std::string &key) const;
    // The number of tables in the array of tables `key` ("trusted").
    size_t count(const std::string &key) const;
    // Throws the MachineConfigError of `key` ("FILE:LINE: KEY: what"), for
    // checks that involve more than one key (a key that needs another).
    [[noreturn]] void fail(const std::string &key, const std::string &what) const;

private:
    std::map<std::string, ConfigValue, std::less<>> values_;
    std::map<std::string, size_t, std::less<>> counts_;
    std::map<std::string, int64_t, std::less<>> lines_;  // every key and table, numbered elements too
    std::string origin_;
};

}  // namespace quarn::win32
