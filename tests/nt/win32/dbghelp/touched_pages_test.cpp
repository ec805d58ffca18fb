// Touched pages of this process's own memory, found by the kernel's scan and
// by the pagemap's entries, through buffers big and small.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <vector>

#include "dbghelp/touched_pages.h"

namespace {

using quarn::win32::PageRun;
using quarn::win32::TouchedPages;

constexpr size_t kPages = 64;

// Runs in pages from `base`.
std::vector<std::pair<uint64_t, uint64_t>> runs_of(TouchedPages &touched, uint64_t from, uint64_t to, uint64_t base,
                                                   uint64_t page) {
    std::vector<std::pair<uint64_t, uint64_t>> runs;
    PageRun run{};
    for (uint64_t at = from; touched.next(at, to, run); at = run.end) {
        runs.emplace_back((run.start - base) / page, (run.end - base) / page);
        if (runs.size() > kPages) break;  // a run that does not move on
    }
    return runs;
}

TEST(TouchedPages, WrittenPagesByEitherMethodThroughAnyBuffer) {
    const uint64_t page = static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
    void *area = mmap(nullptr, kPages * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(area, MAP_FAILED);
    auto *bytes = static_cast<volatile char *>(area);
    for (size_t written : {0, 1, 5, 63}) bytes[written * page + 17] = 1;
    static_cast<void>(bytes[3 * page]);  // read only: the kernel's zero page
    int pagemap = open("/proc/self/pagemap", O_RDONLY | O_CLOEXEC);
    ASSERT_GE(pagemap, 0);
    const uint64_t base = reinterpret_cast<uintptr_t>(area), end = base + kPages * page;

    using Runs = std::vector<std::pair<uint64_t, uint64_t>>;
    struct Case {
        const char *name;
        bool scan;
        size_t buffer_size;
        Runs expected;
    } cases[] = {
        // The scan tells the zero page apart; the entries say only "present".
        {"scan, room for all", true, 1 << 16, {{0, 2}, {5, 6}, {63, 64}}},
        {"scan, two regions a call", true, 48, {{0, 2}, {5, 6}, {63, 64}}},
        {"entries, room for all", false, 1 << 16, {{0, 2}, {3, 4}, {5, 6}, {63, 64}}},
        {"entries, eight pages a read", false, 192, {{0, 2}, {3, 4}, {5, 6}, {63, 64}}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint64_t> buffer(c.buffer_size / sizeof(uint64_t) + 1, 0xdeadbeefdeadbeefu);
        const uint64_t guard = buffer.back();
        TouchedPages touched(pagemap, buffer.data(), c.buffer_size, page, c.scan);
        EXPECT_EQ(runs_of(touched, base, end, base, page), c.expected);
        // Asked again from further back, and from inside a run, and over a stretch with none.
        EXPECT_EQ(runs_of(touched, base, end, base, page), c.expected);
        EXPECT_EQ(runs_of(touched, base + page, base + 6 * page, base, page).front(), (std::pair<uint64_t, uint64_t>{1, 2}));
        EXPECT_TRUE(runs_of(touched, base + 6 * page, base + 63 * page, base, page).empty());
        EXPECT_EQ(buffer.back(), guard);
    }
    // Without a pagemap every page counts: the dump then reads them all.
    TouchedPages blind(-1, nullptr, 0, page, false);
    EXPECT_EQ(runs_of(blind, base, end, base, page), (Runs{{0, kPages}}));
    close(pagemap);
    munmap(area, kPages * page);
}

}  // namespace
