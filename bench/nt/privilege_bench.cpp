// The cost of the privilege and group questions after their first answer,
// and of a credentials record for a local account, each beside what a Unix
// program would call instead: getgroups(2) for membership and the group
// list, getpwnam_r(3) with getgrouplist(3) for a user's groups.  The ratios
// (ours / the peer's) are printed at the end.
#include <benchmark/benchmark.h>
#include <grp.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "bench_prefix.h"
#include "nt.h"

namespace {

constexpr const char *kLocalAccount = "nobody";  // its groups are named unlike any user

void IsPrivileged(benchmark::State &state) {
    nt_is_privileged();
    for (auto _ : state) benchmark::DoNotOptimize(nt_is_privileged());
}
BENCHMARK(IsPrivileged);

// A Unix program's membership test: is the administrators' gid among the process's groups?
void GetgroupsMembership(benchmark::State &state) {
    gid_t groups[256];
    for (auto _ : state) {
        int n = getgroups(256, groups);
        bool member = false;
        for (int i = 0; i < n; ++i) member = member || groups[i] == 0;
        benchmark::DoNotOptimize(member);
    }
}
BENCHMARK(GetgroupsMembership);

void GetgroupsSidCached(benchmark::State &state) {
    PSID sids[64];
    if (nt_getgroups_sid(64, sids) < 0) state.SkipWithError("no group list");
    for (auto _ : state) benchmark::DoNotOptimize(nt_getgroups_sid(64, sids));
}
BENCHMARK(GetgroupsSidCached);

void Getgroups(benchmark::State &state) {
    gid_t groups[64];
    for (auto _ : state) benchmark::DoNotOptimize(getgroups(64, groups));
}
BENCHMARK(Getgroups);

void UserGetCredentials(benchmark::State &state) {
    for (auto _ : state) {
        nt_credentials *record = nullptr;
        if (nt_user_get_credentials(kLocalAccount, &record) != 0) state.SkipWithError("no record");
        nt_user_free_credentials(record);
    }
}
BENCHMARK(UserGetCredentials)->Unit(benchmark::kMicrosecond);

void GetpwnamGetgrouplist(benchmark::State &state) {
    char buffer[4096];
    for (auto _ : state) {
        passwd record{}, *found = nullptr;
        if (getpwnam_r(kLocalAccount, &record, buffer, sizeof buffer, &found) != 0 || !found)
            state.SkipWithError("no record");
        gid_t groups[256];
        int n = 256;
        benchmark::DoNotOptimize(getgrouplist(kLocalAccount, found->pw_gid, groups, &n));
    }
}
BENCHMARK(GetpwnamGetgrouplist)->Unit(benchmark::kMicrosecond);

// The console report, and each run's time kept for the ratios.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run> &runs) override {
        for (const auto &run : runs) times_[run.benchmark_name()] = run.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
    void print_ratio(const std::string &ours, const std::string &peer) const {
        auto a = times_.find(ours), b = times_.find(peer);
        if (a == times_.end() || b == times_.end() || b->second <= 0) return;
        std::printf("%s / %s: %.2f\n", ours.c_str(), peer.c_str(), a->second / b->second);
    }

private:
    std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char **argv) {
    BenchPrefix prefix(true);
    if (!prefix.ok()) return 1;
    nt_init();
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.print_ratio("IsPrivileged", "GetgroupsMembership");
    reporter.print_ratio("GetgroupsSidCached", "Getgroups");
    reporter.print_ratio("UserGetCredentials", "GetpwnamGetgrouplist");
    benchmark::Shutdown();
    return 0;
}
