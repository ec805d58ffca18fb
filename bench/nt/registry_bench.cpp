// The registry's cost: reading a number and a string setting, each beside a
// plain SQLite point read of the same path, also as the first read of a
// fresh process (opening the database included), a durable write, and
// walking the values of a key with 1,000 of them.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "bench_prefix.h"
#include "child_run.h"
#include "side_by_side.h"
#include "ntregy.h"
#include "win32.h"

namespace {

constexpr int kShmemTotalAreaSize = 45;
constexpr int kHostData = 16;

// A plain SQLite table of the same settings by their full path, read with one
// prepared statement: what a program keeping its settings in SQLite would do.
class PlainSettingsTable {
public:
    PlainSettingsTable() {
        std::string path = std::string(getenv("QUARN_PREFIX")) + "/plain-settings.db";
        if (sqlite3_open(path.c_str(), &db_) != SQLITE_OK ||
            sqlite3_exec(db_,
                         "PRAGMA journal_mode=WAL;"
                         "CREATE TABLE IF NOT EXISTS settings(path TEXT PRIMARY KEY, data BLOB) WITHOUT ROWID;",
                         nullptr, nullptr, nullptr) != SQLITE_OK ||
            sqlite3_prepare_v3(db_, "SELECT data FROM settings WHERE path = ?1", -1, SQLITE_PREPARE_PERSISTENT,
                               &read_, nullptr) != SQLITE_OK)
            ok_ = false;
    }
    ~PlainSettingsTable() {
        sqlite3_finalize(read_);
        sqlite3_close(db_);
    }
    bool ok() const { return ok_; }
    void write(const char *path, const void *data, int size) {
        sqlite3_stmt *insert = nullptr;
        sqlite3_prepare_v2(db_, "INSERT OR REPLACE INTO settings VALUES (?1, ?2)", -1, &insert, nullptr);
        sqlite3_bind_text(insert, 1, path, -1, SQLITE_STATIC);
        sqlite3_bind_blob(insert, 2, data, size, SQLITE_STATIC);
        if (sqlite3_step(insert) != SQLITE_DONE) ok_ = false;
        sqlite3_finalize(insert);
    }
    // The value's bytes into `out`; false when the path has none or it does not fit.
    bool read(const char *path, void *out, int size) {
        sqlite3_bind_text(read_, 1, path, -1, SQLITE_STATIC);
        bool found = sqlite3_step(read_) == SQLITE_ROW && sqlite3_column_bytes(read_, 0) <= size;
        if (found) std::memcpy(out, sqlite3_column_blob(read_, 0), static_cast<size_t>(sqlite3_column_bytes(read_, 0)));
        sqlite3_reset(read_);
        return found;
    }

private:
    sqlite3 *db_ = nullptr;
    sqlite3_stmt *read_ = nullptr;
    bool ok_ = true;
};

constexpr const char *kNumberPath = "HKEY_LOCAL_MACHINE\\Software\\Quarn\\Zendrel\\CurrentVersion\\ShmemTotalAreaSize";
constexpr const char *kStringPath = "HKEY_LOCAL_MACHINE\\Software\\Quarn\\Zendrel\\CurrentVersion\\HostData";

// Our read of `setting` beside the plain table's read of the same value at `path`.
void read_beside_sqlite(benchmark::State &state, int setting, const char *path, const void *stored, int size) {
    PlainSettingsTable plain;
    plain.write(path, stored, size);
    if (!plain.ok() || ntregy_set_param(setting, stored, nullptr) != ERROR_SUCCESS)
        return state.SkipWithError("set-up failed");
    char value[256];
    bench::side_by_side(
        state,
        [&] {
            if (ntregy_get_param(setting, sizeof value, value, nullptr) != ERROR_SUCCESS)
                state.SkipWithError("read failed");
            benchmark::DoNotOptimize(value);
        },
        [&] {
            if (!plain.read(path, value, sizeof value)) state.SkipWithError("plain read failed");
            benchmark::DoNotOptimize(value);
        },
        100);
}

void ReadNumberSetting(benchmark::State &state) {
    DWORD size = 1 << 20;
    read_beside_sqlite(state, kShmemTotalAreaSize, kNumberPath, &size, sizeof size);
}
BENCHMARK(ReadNumberSetting)->UseManualTime();

void ReadStringSetting(benchmark::State &state) {
    const char text[] = "C:\\ProgramData\\Quarn\\Zendrel";
    read_beside_sqlite(state, kHostData, kStringPath, text, sizeof text);
}
BENCHMARK(ReadStringSetting)->UseManualTime();

// Processor seconds that a fresh process of this program spends on its first
// read in `role`; negative when the child failed.
double first_read_in_child(const char *role) {
    double seconds = -1;
    if (std::sscanf(run_self_in_role("registry_bench", role).c_str(), "%lf", &seconds) != 1) return -1;
    return seconds;
}

// The first read of the number setting in a fresh process, beside the plain
// table's first read of it: opening the hive (or the database), reading its
// schema and the WAL index, and the statement.  Each side runs in a process
// of its own, by turns.
void FirstReadInFreshProcess(benchmark::State &state) {
    DWORD size = 1 << 20;
    {
        PlainSettingsTable plain;
        plain.write(kNumberPath, &size, sizeof size);
        if (!plain.ok() || ntregy_set_param(kShmemTotalAreaSize, &size, nullptr) != ERROR_SUCCESS)
            return state.SkipWithError("set-up failed");
    }
    double ours = 0, peer = 0;
    for (auto _ : state) {
        double o = first_read_in_child("--first-read");
        double p = first_read_in_child("--first-read-plain");
        if (o < 0 || p < 0) return state.SkipWithError("a child failed");
        ours += o;
        peer += p;
        state.SetIterationTime(o + p);
    }
    double n = static_cast<double>(state.iterations());
    state.counters["ours_us"] = ours * 1e6 / n;
    state.counters["peer_us"] = peer * 1e6 / n;
    state.counters["ours/peer"] = peer / ours;
}
BENCHMARK(FirstReadInFreshProcess)->UseManualTime()->Iterations(100);

// A child's first read, timed on its own processor clock.
int first_read_main(const std::string &role) {
    auto now = [] {
        timespec t{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
    };
    char value[256];
    double start = now();
    bool read = false;
    if (role == "--first-read") {
        read = ntregy_get_param(kShmemTotalAreaSize, sizeof value, value, nullptr) == ERROR_SUCCESS;
    } else {
        PlainSettingsTable plain;
        read = plain.ok() && plain.read(kNumberPath, value, sizeof value);
    }
    double took = now() - start;
    std::printf("%.9f\n", took);
    return read ? 0 : 1;
}

// Every write is one committed, synced transaction.
void DurableWrite(benchmark::State &state) {
    DWORD value = 0;
    for (auto _ : state) {
        ++value;
        if (ntregy_set_param(kShmemTotalAreaSize, &value, nullptr) != ERROR_SUCCESS) state.SkipWithError("write failed");
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(DurableWrite)->UseRealTime();

void EnumerateThousandValues(benchmark::State &state) {
    HKEY key = nullptr;
    RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Bench\\Many", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    for (DWORD i = 0; i < 1000; ++i) {
        std::string name = "value" + std::to_string(i);
        RegSetValueExA(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE *>(&i), sizeof i);
    }
    for (auto _ : state) {
        DWORD count = 0;
        for (DWORD index = 0;; ++index) {
            char name[32], data[8];
            DWORD name_length = sizeof name, type = 0, size = sizeof data - 1;
            if (ntregy_enum_value(key, index, name, &name_length, &type, data, &size) != ERROR_SUCCESS) break;
            ++count;
        }
        if (count != 1000) state.SkipWithError("lost values");
    }
    RegCloseKey(key);
    state.SetItemsProcessed(state.iterations() * 1000);
}
BENCHMARK(EnumerateThousandValues);

}  // namespace

int main(int argc, char **argv) {
    if (argc == 2 && std::strncmp(argv[1], "--first-read", 12) == 0 && getenv("QUARN_PREFIX"))
        return first_read_main(argv[1]);
    BenchPrefix prefix(false);
    if (!prefix.ok()) return 1;
    return run_benchmarks(argc, argv);
}
