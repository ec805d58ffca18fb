// NSS answers kept for later calls, so that a passwd or group look-up does not
// read and parse the account files every time.  A change to /etc/passwd or
// /etc/group (its inode, change time or size) drops every answer at once.
// Answers that may come from other NSS sources are kept no longer than nscd
// keeps them by default: a user 600 s, a group 3600 s, "no such user" 20 s and
// "no such group" 60 s.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

namespace quarn::win32 {

// A number that changes whenever /etc/passwd or /etc/group has changed
// since the last call; one stat of each file.
uint64_t account_files_generation();

template <class Record>
class NssAnswers {
public:
    NssAnswers(std::chrono::seconds found_lifetime, std::chrono::seconds missing_lifetime)
        : found_lifetime_(found_lifetime), missing_lifetime_(missing_lifetime) {}

    // The answer for `key`: the kept one while it is fresh, else ask() (without
    // the lock held, as NSS may wait on a network), which is then kept.
    template <class Ask>
    std::optional<Record> get(const std::string &key, Ask ask) {
        const uint64_t generation = account_files_generation();
        const auto now = std::chrono::steady_clock::now();
        {
            std::lock_guard lock(mutex_);
            if (generation != generation_) {
                answers_.clear();
                generation_ = generation;
            }
            auto it = answers_.find(key);
            if (it != answers_.end() && now < it->second.expires) return it->second.record;
        }
        std::optional<Record> record = ask();
        std::lock_guard lock(mutex_);
        if (generation != generation_) return record;  // the files changed meanwhile: keep nothing
        if (answers_.size() >= kMostAnswers) answers_.clear();
        answers_[key] = {record, now + (record ? found_lifetime_ : missing_lifetime_)};
        return record;
    }

private:
    static constexpr size_t kMostAnswers = 4096;

    struct Answer {
        std::optional<Record> record;
        std::chrono::steady_clock::time_point expires;
    };

    const std::chrono::seconds found_lifetime_;
    const std::chrono::seconds missing_lifetime_;
    std::mutex mutex_;
    uint64_t generation_ = 0;
    std::unordered_map<std::string, Answer> answers_;
};

}  // namespace quarn::win32
