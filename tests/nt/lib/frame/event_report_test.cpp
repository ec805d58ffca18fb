// nt_log_event in real processes, with events sent to a file.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>

#include "child_process.h"
#include "temp_prefix.h"

namespace {

using quarn::test::run_child;

std::string log_event(const quarn::test::TempPrefix &prefix, const std::string &type, const std::string &text) {
    auto events = prefix.path() / "events.log";
    auto r = run_child({QUARN_PROBE, "log-event", type, text},
                       {{"QUARN_PREFIX", prefix.path().string()}, {"QUARN_EVENTLOG", events.string()}});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    return quarn::test::read_file(events);
}

TEST(EventLog, OneLineWithProgramPidTidAndUser) {
    quarn::test::TempPrefix prefix;
    std::string line = log_event(prefix, "2", "cache full");
    EXPECT_NE(line.find(" Zendrel["), std::string::npos) << line;
    EXPECT_NE(line.find("] warning category=8 id=1024 user=S-1-5-"), std::string::npos) << line;
    if (geteuid() == 0) {
        EXPECT_NE(line.find("user=S-1-5-18: "), std::string::npos) << line;
    }
    EXPECT_NE(line.find("nt_probe (pid: "), std::string::npos) << line;
    EXPECT_NE(line.find(", tid: "), std::string::npos);
    EXPECT_NE(line.find(") cache full\n"), std::string::npos) << line;
    EXPECT_EQ(line.find('\n'), line.size() - 1);
}

TEST(EventLog, AFailedReportIsTracedOneMessageALine) {
    quarn::test::TempPrefix prefix;
    auto trace = prefix.path() / "trace.log";
    // An event file that cannot be written (a folder) fails the report.
    auto r = run_child({QUARN_PROBE, "log-event", "1", "disk gone"}, {{"QUARN_PREFIX", prefix.path().string()},
                                                                       {"QUARN_EVENTLOG", prefix.path().string()},
                                                                       {"QUARN_TRACE", trace.string()}});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    std::string text = quarn::test::read_file(trace);
    std::string prefix_text = "NtUtilX(pid: ";
    size_t second = text.find('\n') + 1;
    ASSERT_GT(second, 0u) << text;
    EXPECT_TRUE(text.starts_with(prefix_text)) << text;
    EXPECT_NE(text.find("ReportEvent(): 29\n"), std::string::npos) << text;
    EXPECT_EQ(text.compare(second, prefix_text.size(), prefix_text), 0) << text;
    EXPECT_TRUE(text.ends_with(") disk gone\n")) << text;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2) << text;
}

TEST(EventLog, TypesAndEscapes) {
    quarn::test::TempPrefix prefix;
    log_event(prefix, "1", "two\nlines");
    std::string all = log_event(prefix, "4", "back\\slash");
    EXPECT_NE(all.find("] error category=8"), std::string::npos);
    EXPECT_NE(all.find("two\\nlines\n"), std::string::npos) << all;
    EXPECT_NE(all.find("] information category=8"), std::string::npos);
    EXPECT_NE(all.find("back\\\\slash\n"), std::string::npos);
}

TEST(EventLog, LongTextIsCutTo1323Characters) {
    quarn::test::TempPrefix prefix;
    std::string line = log_event(prefix, "4", std::string(3000, 'y'));
    std::string text = line.substr(line.find(": ", line.find("user=")) + 2);
    text.pop_back();  // the line break
    for (size_t at = 0; (at = text.find("\\\\", at)) != std::string::npos; ++at) text.erase(at, 1);
    EXPECT_EQ(text.size(), 1323u);
    EXPECT_EQ(text.back(), 'y');
}

TEST(EventLog, WithoutAProgramPathTheTextBeginsWithUnknown) {
    // A broken machine file leaves no path and no user, and the event still goes out.
    quarn::test::TempPrefix prefix;
    prefix.write("machine.toml", "bad = 1\n");
    std::string line = log_event(prefix, "1", "lost");
    EXPECT_NE(line.find("user=-: Unknown (pid: "), std::string::npos) << line;
}

}  // namespace
