// A throwaway prefix for one benchmark run, so that measuring never touches
// a real installation; it is removed with everything in it at the end.
#pragma once

#include <string>

class BenchPrefix {
public:
    // `host_data`: also give the prefix a host-data directory, where the shared tables live.
    explicit BenchPrefix(bool host_data);
    ~BenchPrefix();
    BenchPrefix(const BenchPrefix &) = delete;
    BenchPrefix &operator=(const BenchPrefix &) = delete;

    bool ok() const { return ok_; }

private:
    std::string path_;
    bool ok_ = false;
};

// Google Benchmark's own main, for mains that set up a prefix first.
int run_benchmarks(int argc, char **argv);
