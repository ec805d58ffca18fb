// Touched pages of another process, from /proc/PID/pagemap: the PAGEMAP_SCAN
// request where the kernel has it (Linux 6.7 on), which walks only the page
// tables that exist and so skips terabytes of untouched reservation at once;
// otherwise the pagemap's entries, eight bytes a page, whose present and
// swapped bits an ordinary user may read too.
#include "dbghelp/touched_pages.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>

namespace quarn::win32 {
namespace {

// The kernel's PAGEMAP_SCAN interface (linux/fs.h), which older headers lack.
struct ScanRegion {
    uint64_t start, end, categories;
};
struct ScanRequest {
    uint64_t size, flags, start, end, walk_end, vec, vec_len, max_pages;
    uint64_t category_inverted, category_mask, category_anyof_mask, return_mask;
};
constexpr unsigned long kPagemapScan = _IOWR('f', 16, ScanRequest);
constexpr uint64_t kPageIsPresent = 1 << 3;
constexpr uint64_t kPageIsSwapped = 1 << 4;
constexpr uint64_t kPageIsZeroPage = 1 << 5;

constexpr uint64_t kEntryPresent = uint64_t{1} << 63;
constexpr uint64_t kEntrySwapped = uint64_t{1} << 62;

uint64_t min(uint64_t a, uint64_t b) { return a < b ? a : b; }
uint64_t max(uint64_t a, uint64_t b) { return a > b ? a : b; }

}  // namespace

TouchedPages::TouchedPages(int pagemap, void *buffer, size_t buffer_size, uint64_t page, bool scan)
    : pagemap_(pagemap), buffer_(buffer), buffer_size_(buffer_size), page_(page), scan_works_(scan) {}

bool TouchedPages::next(uint64_t from, uint64_t to, PageRun &run) {
    while (from < to) {
        if (from < scanned_from_ || from >= scanned_to_) {
            if (!(scan_works_ && scan(from, to)) && !read_entries(from, to)) {
                run = {from, to};  // nothing tells: every page counts
                return true;
            }
            run_at_ = 0;
        }
        if (run_at_ > 0 && runs_[run_at_ - 1].end > from) run_at_ = 0;  // asked again from further back
        for (; run_at_ < run_count_; ++run_at_) {
            const PageRun &r = runs_[run_at_];
            if (r.end <= from) continue;
            if (r.start >= to) return false;
            run = {max(r.start, from), min(r.end, to)};
            return true;
        }
        from = scanned_to_;
    }
    return false;
}

// The runs of [from, to), as many as the buffer holds; the regions the kernel
// returns become runs in place (a run is smaller than a region).
bool TouchedPages::scan(uint64_t from, uint64_t to) {
    auto *regions = static_cast<ScanRegion *>(buffer_);
    ScanRequest request{};
    request.size = sizeof request;
    request.start = from;
    request.end = to;
    request.vec = reinterpret_cast<uintptr_t>(regions);
    request.vec_len = buffer_size_ / sizeof(ScanRegion);
    request.category_anyof_mask = kPageIsPresent | kPageIsSwapped;
    request.return_mask = kPageIsPresent | kPageIsSwapped | kPageIsZeroPage;
    long found;
    do found = ioctl(pagemap_, kPagemapScan, &request);
    while (found < 0 && errno == EINTR);
    if (found < 0 || request.walk_end <= from) {
        scan_works_ = false;
        return false;
    }
    runs_ = static_cast<PageRun *>(buffer_);
    run_count_ = 0;
    for (long i = 0; i < found; ++i) {
        ScanRegion region = regions[i];
        if (region.categories == (kPageIsPresent | kPageIsZeroPage)) continue;  // reads as zeros anyway
        runs_[run_count_++] = {region.start, region.end};
    }
    scanned_from_ = from;
    scanned_to_ = request.walk_end;
    return true;
}

// The pagemap's entries for [from, to), a buffer's third at a time; the runs
// go in the other two thirds (at most one run for every two entries).
bool TouchedPages::read_entries(uint64_t from, uint64_t to) {
    if (pagemap_ < 0) return false;
    auto *entries = static_cast<uint64_t *>(buffer_);
    size_t capacity = buffer_size_ / 3 / sizeof(uint64_t);
    uint64_t pages = min((to - from) / page_, capacity);
    if (pages == 0) return false;
    off_t at = static_cast<off_t>(from / page_ * sizeof(uint64_t));
    ssize_t got;
    do got = pread(pagemap_, entries, pages * sizeof(uint64_t), at);
    while (got < 0 && errno == EINTR);
    if (got < static_cast<ssize_t>(sizeof(uint64_t))) return false;
    pages = static_cast<uint64_t>(got) / sizeof(uint64_t);
    runs_ = reinterpret_cast<PageRun *>(entries + capacity);
    run_count_ = 0;
    for (uint64_t i = 0; i < pages; ++i) {
        if (!(entries[i] & (kEntryPresent | kEntrySwapped))) continue;
        uint64_t address = from + i * page_;
        if (run_count_ && runs_[run_count_ - 1].end == address) runs_[run_count_ - 1].end += page_;
        else runs_[run_count_++] = {address, address + page_};
    }
    scanned_from_ = from;
    scanned_to_ = from + pages * page_;
    return true;
}

}  // namespace quarn::win32
