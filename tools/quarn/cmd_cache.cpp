// quarn cache stats | flush [--global|--private]: the persistent hash tables
// that cache identity look-ups for every process, shown or emptied.
#include <cstdio>

#include "commands.h"
#include "phash.h"
#include "shmem.h"

namespace quarn::tool {
namespace {

bool area_attaches(int global) {
    shmem_area *area = nullptr;
    return shmem_create_area(0, global, &area) != 0;
}

void flush(bool global) {
    int flushed = global ? phash_flush_global_tables() : phash_flush_private_tables();
    if (!flushed) fail(1, global ? "cannot flush the global cache" : "cannot flush the private cache");
    // A flush of a read-only area succeeds without emptying anything: say so
    // rather than let a user believe the machine's caches were emptied.
    shmem_area *area = nullptr;
    if (shmem_create_area(0, global, &area) && shmem_is_area_readonly(area))
        fail(1, std::string(global ? "the global" : "the private") +
                    " cache is read-only for this user: only root and the product group may flush it");
}

}  // namespace

void add_cache_command(CLI::App &app) {
    auto *cache = app.add_subcommand("cache", "Show or empty the shared identity caches");
    cache->require_subcommand(1);

    auto *stats = cache->add_subcommand("stats", "Print both areas and the counters of every table in them");
    stats->callback([] {
        require_prefix();
        phash_display_stats();
        std::fflush(stdout);
        if (!area_attaches(1) && !area_attaches(0)) fail(1, "");  // the statistics said why
    });

    auto *flush_command = cache->add_subcommand(
        "flush", "Empty every table of both areas, or of one, except tables kept from flushing");
    static bool global_only = false, private_only = false;
    auto *global = flush_command->add_flag("--global", global_only, "Only the machine-wide area");
    flush_command->add_flag("--private", private_only, "Only the calling user's area")->excludes(global);
    flush_command->callback([] {
        require_prefix();
        if (!private_only) flush(true);
        if (!global_only) flush(false);
    });
}

}  // namespace quarn::tool
