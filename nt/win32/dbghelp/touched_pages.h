// Which pages of another process's private anonymous memory hold data, so a
// dump writes those and leaves the never-touched rest (a sanitizer's shadow
// memory, reserved heaps) as holes.  Used by the dump helper: nothing here
// allocates; the buffer is the caller's.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quarn::win32 {

struct PageRun {
    uint64_t start, end;
};

class TouchedPages {
public:
    // `pagemap` is /proc/PID/pagemap of a process stopped for the dump;
    // `buffer` (`buffer_size` bytes, 8-byte aligned) is the scratch space.
    // Without `scan`, only the pagemap's entries are read, as on kernels
    // without the scan request.
    TouchedPages(int pagemap, void *buffer, size_t buffer_size, uint64_t page, bool scan = true);

    // The first run of pages in [from, to) that are in memory or swapped out
    // (never the shared zero page, where the kernel tells it apart); false
    // when there is none.  A pagemap that cannot be read counts every page.
    bool next(uint64_t from, uint64_t to, PageRun &run);

private:
    bool scan(uint64_t from, uint64_t to);
    bool read_entries(uint64_t from, uint64_t to);

    int pagemap_;
    void *buffer_;
    size_t buffer_size_;
    uint64_t page_;
    bool scan_works_;
    // The runs of the last scan, and the end of the range it covered.
    PageRun *runs_ = nullptr;
    size_t run_count_ = 0, run_at_ = 0;
    uint64_t scanned_from_ = 0, scanned_to_ = 0;
};

}  // namespace quarn::win32
