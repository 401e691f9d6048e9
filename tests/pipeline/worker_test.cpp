#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <vector>

#include "build_env.h"
#include "launcher/folders.h"
#include "pipeline/build_output.h"
#include "launcher/settings.h"
#include "test_support.h"

namespace {

using Lines = std::vector<std::string>;

TEST_F(BuildTest, OutcomeFollowsTheProtocolAndTheExitCode) {
    struct Case {
        const char* name;
        const char* scenario;
        bool done, failed;
        Lines errors;
        const char* log_line;
    };
    const Case cases[] = {
        {"done with a non-zero exit", "out DONE\\s\nexit 2\n", true, false, {},
         "build finished: exit 2, done"},
        {"error then done", "out ERROR boom\nout DONE all the same\n", true, true, {"boom"},
         "build finished: exit 0, done"},
        {"error and a non-zero exit", "out ERROR boom\nout \\s\\s at line 3\nexit 1\n", false, true,
         {"boom", " at line 3"}, "build finished: exit 1, failed"},
        {"exit 0 without done", "out STAGE fix\nexit 0\n", false, true,
         {"The build stopped unexpectedly (exit 0)."}, "build finished: exit 0, failed"},
        {"exit code with the high bit set", "exit 0xC0000005\n", false, true,
         {"The build stopped unexpectedly (exit 3221225477)."},
         "build finished: exit 3221225477, failed"},
        {"done without a final line feed", "out STAGE fix\nrawout DONE\\s\n", false, true,
         {"The build stopped unexpectedly (exit 0)."}, "build finished: exit 0, failed"},
        {"done on stderr", "err DONE\\s\n", true, false, {}, "build finished: exit 0, done"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto job = run_build(c.scenario);
        std::lock_guard<std::mutex> lock(job->mutex);
        EXPECT_EQ(job->done, c.done);
        EXPECT_EQ(job->failed, c.failed);
        EXPECT_EQ(job->errors, c.errors);
        const std::string log = launcher_log_text();
        const std::string last = log.substr(log.rfind("build finished: "));
        EXPECT_EQ(last, std::string(c.log_line) + "\n");
    }
}

TEST_F(BuildTest, SuccessCountsOnlyWhenTheNextStartWouldFindTheBuildReady) {
    struct Case {
        const char* name;
        void (*arrange)(const BuildTest&);
        const char* scenario;
        const char* message;  // empty: the build is done
    };
    const Case cases[] = {
        {"no ready marker", [](const BuildTest&) { DeleteFileW(folders.ready_path.c_str()); },
         "out DONE\\s\n",
         "The build reported success but left no ready marker (ready.txt) in the work folder."},
        {"marker with the disc image in another form",
         [](const BuildTest&) {
             std::string iso = to_utf8(settings.iso);
             std::replace(iso.begin(), iso.end(), '\\', '/');
             ts::write_file(folders.ready_path, "iso=" + iso + "\nversion=0.9-test\n");
         },
         "out DONE\\s\n", "The build reported success but its ready marker is for another disc image."},
        {"marker for another tools version",
         [](const BuildTest&) {
             ts::write_file(folders.ready_path, "iso=" + to_utf8(settings.iso) + "\nversion=0.8\n");
         },
         "out DONE\\s\n",
         "The build reported success but its ready marker is for another version of the tools."},
        {"no game module", [](const BuildTest&) { DeleteFileW(folders.game_module_path.c_str()); },
         "out DONE\\s\nout DONE again\n",
         "The build reported success but the game module (build\\varnis_game.dll) is missing."},
        {"marker and module written by the script",
         [](const BuildTest&) {
             DeleteFileW(folders.ready_path.c_str());
             DeleteFileW(folders.game_module_path.c_str());
         },
         "ready\nfile build\\varnis_game.dll module\nout DONE\\s\n", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        leave_ready_build();
        c.arrange(*this);
        const size_t log_before = launcher_log_text().size();
        const auto job = run_build(c.scenario);
        const std::string log = launcher_log_text().substr(log_before);
        std::lock_guard<std::mutex> lock(job->mutex);
        const bool ready = c.message[0] == '\0';
        EXPECT_EQ(job->done, ready);
        EXPECT_EQ(job->failed, !ready);
        EXPECT_EQ(job->errors, ready ? Lines{} : Lines{c.message});
        EXPECT_EQ(count_of(log, "build started: "), 1u);
        if (ready) {
            EXPECT_NE(log.find("build finished: exit 0, done\n"), std::string::npos) << log;
        } else {
            EXPECT_TRUE(in_order(log, {std::string("build: ") + c.message, "build finished: exit 0, failed"}))
                << log;
        }
    }
}

// Every other read succeeds with 0 bytes, as reads do on Windows after a writer's empty write.
std::atomic<int> reads{0};
BOOL WINAPI read_with_empty_reads(HANDLE pipe, LPVOID buffer, DWORD size, LPDWORD got, LPOVERLAPPED o) {
    if (reads++ % 2 == 0) {
        *got = 0;
        return TRUE;
    }
    return ReadFile(pipe, buffer, size, got, o);
}

TEST_F(BuildTest, ZeroLengthWriteDoesNotEndTheOutput) {
    const std::string scenario =
        "out STAGE fix Apply fixes\n"
        "emptyout\n"
        "sleep 200\n"
        "out PROGRESS 50 after the empty write\n"
        "emptyout\n"
        "rawout DO\n"
        "emptyout\n"
        "out NE\\s\n";
    struct Case {
        const char* name;
        BOOL(WINAPI* read)(HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED);
    };
    const Case cases[] = {
        {"the script's empty writes", ReadFile},
        {"zero-byte reads between the others", read_with_empty_reads},
    };
    const auto saved = read_build_pipe;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const size_t log_before = launcher_log_text().size();
        read_build_pipe = c.read;
        const auto job = run_build(scenario);
        read_build_pipe = saved;
        std::lock_guard<std::mutex> lock(job->mutex);
        EXPECT_TRUE(job->done);
        EXPECT_FALSE(job->failed) << (job->errors.empty() ? "" : job->errors[0]);
        EXPECT_EQ(job->detail, "after the empty write");
        EXPECT_EQ(ts::read_file(job->log_path),
                  "STAGE fix Apply fixes\nPROGRESS 50 after the empty write\nDONE \n");
        EXPECT_TRUE(in_order(launcher_log_text().substr(log_before), {"build finished: exit 0, done"}));
    }
    EXPECT_GT(reads.load(), 6);
}

TEST_F(BuildTest, LinesAreCutAtLineFeedsWithOneCarriageReturnDropped) {
    const auto job = run_build(
        "rawout STAGE li\n"
        "sleep 300\n"
        "rawout ft\\r\\n\\r\\n\\r\\r\\nSTAGE a\\rb\\r\\r\\nPROGRESS 25 half\\r\n"
        "sleep 300\n"
        "rawout \\n\n"
        "out DONE\\s\n");
    std::lock_guard<std::mutex> lock(job->mutex);
    EXPECT_TRUE(job->done);
    EXPECT_EQ(job->stages_seen, (Lines{"lift", "a\rb\r"}));
    EXPECT_EQ(job->status, "a\rb\r");
    EXPECT_EQ(job->detail, "half");
    EXPECT_FLOAT_EQ(job->progress, 0.25f);
}

TEST_F(BuildTest, SplitProgressLineIsParsedOnceWhole) {
    write_scenario(
        "out STAGE fix Apply fixes\n"
        "rawout PROGRESS 12\n"
        "pid half.txt\n"
        "sleep 1000\n"
        "out .5 Patching\n"
        "out DONE\\s\n");
    start_build();
    const auto job = current_build;
    ASSERT_TRUE(ts::wait_until([&] { return ts::file_exists(work_file(L"half.txt")); }, 10000));
    Sleep(300);  // the first half has long been read by now
    {
        std::lock_guard<std::mutex> lock(job->mutex);
        EXPECT_EQ(job->stage, "fix");
        EXPECT_FLOAT_EQ(job->progress, 0.0f) << "half a line was parsed";
    }
    ASSERT_TRUE(all_workers_finished());
    std::lock_guard<std::mutex> lock(job->mutex);
    EXPECT_FLOAT_EQ(job->progress, 0.125f);
    EXPECT_EQ(job->detail, "Patching");
    EXPECT_TRUE(job->done);
}

TEST_F(BuildTest, GrandchildHoldingThePipeDelaysTheEnd) {
    ts::write_file(path_join(folders.tools_dir, L"project\\tools\\grandchild.txt"),
                   "sleep 1500\n"
                   "out DONE\\s\n"
                   "file grandchild-ended.txt 1\n");
    write_scenario(
        "pid parent.pid\n"
        "spawn grandchild.txt\n"
        "out parent leaves\n"
        "exit 3\n");
    start_build();
    const auto job = current_build;
    // The file exists a moment before its digits are in it.
    std::string pid_text;
    ASSERT_TRUE(ts::wait_until([&] {
        pid_text = ts::read_file(work_file(L"parent.pid"));
        return !pid_text.empty();
    }, 10000));
    const DWORD pid = std::stoul(pid_text);
    if (const HANDLE parent = OpenProcess(SYNCHRONIZE, FALSE, pid)) {
        EXPECT_EQ(WaitForSingleObject(parent, 5000), WAIT_OBJECT_0);
        CloseHandle(parent);
    }
    EXPECT_FALSE(ts::file_exists(work_file(L"grandchild-ended.txt")));
    EXPECT_EQ(count_of(launcher_log_text(), "build finished"), 0u) << "ended with the parent";
    ASSERT_TRUE(all_workers_finished());
    EXPECT_TRUE(ts::wait_until([&] { return ts::file_exists(work_file(L"grandchild-ended.txt")); },
                               5000));
    std::lock_guard<std::mutex> lock(job->mutex);
    EXPECT_TRUE(job->done);
    EXPECT_FALSE(job->failed);
    EXPECT_NE(launcher_log_text().find("build finished: exit 3, done\n"), std::string::npos);
}

}  // namespace
