// Test helpers: what a piece of code writes to standard error, and buffers
// filled with poison so that missing writes and overflows show.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace i18n_test {

// Everything that `run` writes to file descriptor 2.
std::string stderr_of(const std::function<void()> &run);

constexpr unsigned char kPoison = 0xCC;

// A buffer of `size` poison bytes followed by guard bytes.
class GuardedBuffer {
public:
    explicit GuardedBuffer(size_t size) : m_size(size), m_bytes(size + kGuard, kPoison) {}
    char *data() { return reinterpret_cast<char *>(m_bytes.data()); }
    size_t size() const { return m_size; }
    // True while no byte past the usable size was written.
    bool guard_intact() const {
        for (size_t i = m_size; i < m_bytes.size(); ++i)
            if (m_bytes[i] != kPoison) return false;
        return true;
    }

private:
    static constexpr size_t kGuard = 16;
    size_t m_size;
    std::vector<unsigned char> m_bytes;
};

}  // namespace i18n_test
