// Runs our call and the peer's (the library a user would pick instead) by
// turns in one benchmark, so that both meet the same machine at the same
// moments; the ratio is what counts, as this machine's own speed wanders.
// Both sides are timed by the calling thread's processor time, which leaves
// out the time the scheduler gives other programs on a shared machine.
//
// Counters of each row: ours_ns and peer_ns (time per call), "ours/peer"
// (the peer's time over ours: above 1 we are faster), and with a byte count
// ours_MB/s and peer_MB/s (MB is 10^6 bytes).
#pragma once

#include <benchmark/benchmark.h>

#include <time.h>

#include <cstdint>

namespace bench {

template <class Ours, class Peer>
void side_by_side(benchmark::State &state, Ours &&ours, Peer &&peer, int64_t batch = 1, double bytes_per_call = 0) {
    auto now = [] {
        timespec t{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
    };
    auto run = [batch, &now](auto &call) {
        double start = now();
        for (int64_t i = 0; i < batch; ++i) call();
        return now() - start;
    };
    double ours_seconds = 0, peer_seconds = 0;
    bool ours_first = true;
    for (auto _ : state) {
        // Alternating who goes first evens out what one leaves the other (caches, clock speed).
        double o = 0, p = 0;
        if (ours_first) {
            o = run(ours);
            p = run(peer);
        } else {
            p = run(peer);
            o = run(ours);
        }
        ours_first = !ours_first;
        ours_seconds += o;
        peer_seconds += p;
        state.SetIterationTime(o + p);
    }
    double calls = static_cast<double>(state.iterations() * batch);
    if (calls == 0 || ours_seconds <= 0 || peer_seconds <= 0) return;
    state.counters["ours_ns"] = ours_seconds * 1e9 / calls;
    state.counters["peer_ns"] = peer_seconds * 1e9 / calls;
    state.counters["ours/peer"] = peer_seconds / ours_seconds;
    if (bytes_per_call > 0) {
        state.counters["ours_MB/s"] = bytes_per_call * calls / ours_seconds / 1e6;
        state.counters["peer_MB/s"] = bytes_per_call * calls / peer_seconds / 1e6;
    }
}

}  // namespace bench
