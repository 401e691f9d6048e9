#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <system_error>
#include <vector>

#include "build_env.h"
#include "launcher/folders.h"
#include "launcher/log.h"
#include "launcher/screen_flow.h"
#include "launcher/settings.h"
#include "test_support.h"

namespace {

std::vector<std::string> split_lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t feed; (feed = text.find('\n', start)) != std::string::npos; start = feed + 1)
        lines.push_back(text.substr(start, feed - start));
    return lines;
}

std::wstring log_name_now() {
    SYSTEMTIME t;
    GetLocalTime(&t);
    wchar_t name[64];
    swprintf(name, 64, L"build-%04d%02d%02d-%02d%02d%02d.log", t.wYear, t.wMonth, t.wDay, t.wHour,
             t.wMinute, t.wSecond);
    return name;
}

const char* const record_scenario =
    "cmdline cmdline.txt\n"
    "args args.txt\n"
    "out DONE\\s\n";

TEST_F(BuildTest, ChildReceivesEveryPathQuotedAndUnchanged) {
    struct Case {
        const char* name;
        std::wstring tools;
        std::wstring iso;
    };
    const Case cases[] = {
        {"spaces and non-ASCII", root + L"\\T\u00f6\u00f6ls f\u00fcr \u0412\u0430\u0440", 
         root + L"\\Discs (EU)\\M\u00edas juego \u2014 1.iso"},
        {"tools folder ending in a backslash", root + L"\\tools dir\\", root + L"\\a b\\disc.iso"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        use_tools(c.tools);
        settings.iso = c.iso;
        const std::wstring script = c.tools + (c.tools.back() == L'\\' ? L"" : L"\\") +
                                    L"project\\tools\\build_from_iso.py";
        const std::wstring python = c.tools + (c.tools.back() == L'\\' ? L"" : L"\\") +
                                    L"python\\python.exe";
        const std::wstring bundle_quoted =
            c.tools.back() == L'\\' ? c.tools + L"\\" : c.tools;  // the closing quote stays a quote
        const std::wstring expected = L"\"" + python + L"\" -u \"" + script + L"\" --iso \"" + c.iso +
                                      L"\" --work \"" + root + L"\\data\\work\" --bundle \"" +
                                      bundle_quoted + L"\"";

        const auto job = run_build(record_scenario);
        EXPECT_TRUE(job->done);
        EXPECT_EQ(ts::read_file(work_file(L"cmdline.txt")), to_utf8(expected));
        const std::vector<std::string> want = {to_utf8(python), "-u", to_utf8(script), "--iso",
                                               to_utf8(c.iso), "--work", to_utf8(root + L"\\data\\work"),
                                               "--bundle", to_utf8(c.tools)};
        EXPECT_EQ(split_lines(ts::read_file(work_file(L"args.txt"))), want);
        EXPECT_NE(launcher_log_text().find("build started: " + to_utf8(expected) + "\n"),
                  std::string::npos);
        EXPECT_EQ(current_screen, Build);
    }
}

TEST_F(BuildTest, BuildLogHoldsExactlyTheScriptsBytes) {
    const std::wstring before = log_name_now();
    const auto job = run_build(
        "rawout one\\r\\n\n"
        "rawerr two\\n\n"
        "rawout \\xff\\x00\\xc3\\xa9 three\n"
        "rawerr \\r\\n\n"
        "out STAGE fix Apply fixes\n"
        "err  to stderr\n"
        "rawout tail without feed\n");
    const std::wstring after = log_name_now();
    const std::wstring name = job->log_path.substr(job->log_path.find_last_of(L'\\') + 1);
    EXPECT_EQ(job->log_path.substr(0, job->log_path.size() - name.size() - 1), folders.logs_dir);
    EXPECT_TRUE(name == before || name == after) << to_utf8(name);
    std::string expected = "one\r\ntwo\n\xff";
    expected += '\0';
    expected += "\xc3\xa9 three\r\nSTAGE fix Apply fixes\n to stderr\ntail without feed";
    EXPECT_EQ(ts::read_file(job->log_path), expected);
    EXPECT_EQ(job->stage, "fix");
}

TEST_F(BuildTest, SecondRunWithTheSameLogNameRewritesTheLog) {
    // Both builds must start within one second; retry the rare pair that straddles a second.
    for (int attempt = 0; attempt < 5; ++attempt) {
        const auto first = run_build("filler 500 0\nout DONE\\s\n");
        const auto second = run_build("out short run\nout DONE\\s\n");
        if (first->log_path != second->log_path) continue;
        EXPECT_EQ(ts::read_file(second->log_path), "short run\nDONE \n");
        return;
    }
    FAIL() << "no two builds started within the same second";
}

TEST_F(BuildTest, MissingToolsFailWithoutStartingAnything) {
    struct Case {
        const char* name;
        void (*arrange)();
    };
    const Case cases[] = {
        {"script missing", [] { DeleteFileW(folders.build_script_path.c_str()); }},
        {"interpreter missing", [] { DeleteFileW(folders.python_path.c_str()); }},
        {"folder named python.exe",
         [] {
             DeleteFileW(folders.python_path.c_str());
             CreateDirectoryW(folders.python_path.c_str(), nullptr);
         }},
        {"folder named like the script", [] {
             DeleteFileW(folders.build_script_path.c_str());
             CreateDirectoryW(folders.build_script_path.c_str(), nullptr);
         }},
    };
    const std::string message = "The build tools are missing from the tools folder next to Varnis.exe.";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        use_tools(root + L"\\tools-" + to_wide(c.name));
        write_scenario("pid ran.txt\nout DONE\\s\n");
        c.arrange();
        start_build();
        const auto job = std::move(current_build);
        EXPECT_EQ(job.use_count(), 1) << "a worker holds the job";
        EXPECT_TRUE(job->failed);
        EXPECT_FALSE(job->done);
        EXPECT_EQ(job->errors, std::vector<std::string>{message});
        EXPECT_EQ(job->status, "Starting");
        EXPECT_EQ(job->log_path.rfind(folders.logs_dir + L"\\build-", 0), 0u);
        EXPECT_FALSE(ts::file_exists(job->log_path));
        EXPECT_EQ(current_screen, Build);
        EXPECT_NE(launcher_log_text().find("build: " + message + "\n"), std::string::npos);
    }
    Sleep(300);
    EXPECT_FALSE(ts::file_exists(work_file(L"ran.txt")));
    EXPECT_EQ(count_of(launcher_log_text(), "build started"), 0u);
}

TEST_F(BuildTest, InterpreterThatIsNotAProgramReportsTheSystemError) {
    ts::write_file(folders.python_path, "this is not a program\r\n");
    write_scenario("out DONE\\s\n");
    // The code the system gives for this file, found the same way the launcher starts it.
    std::wstring line = build_command_line();
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    ASSERT_FALSE(CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                                nullptr, nullptr, &si, &pi));
    const DWORD code = GetLastError();
    ASSERT_NE(code, 0u);

    start_build();
    const auto job = std::move(current_build);
    const std::string message = "Could not start the build (error " + std::to_string(code) + ").";
    EXPECT_TRUE(job->failed);
    EXPECT_EQ(job->errors, std::vector<std::string>{message});
    EXPECT_EQ(job.use_count(), 1);
    EXPECT_FALSE(ts::file_exists(job->log_path));
    EXPECT_NE(launcher_log_text().find("build: " + message + "\n"), std::string::npos);
}

HANDLE refused_process = nullptr;

void refuse_worker(std::shared_ptr<BuildJob>, HANDLE, HANDLE process) {
    DuplicateHandle(GetCurrentProcess(), process, GetCurrentProcess(), &refused_process, 0, FALSE,
                    DUPLICATE_SAME_ACCESS);
    throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again),
                            "thread constructor failed");
}

TEST_F(BuildTest, WorkerThatCannotStartStopsTheBuildAndFailsTheJob) {
    write_scenario("sleep 30000\nout DONE\\s\n");
    const auto saved = start_build_worker;
    start_build_worker = refuse_worker;
    start_build();
    start_build_worker = saved;
    const auto job = std::move(current_build);
    ASSERT_NE(refused_process, nullptr);
    EXPECT_EQ(WaitForSingleObject(refused_process, 5000), WAIT_OBJECT_0) << "build process runs on";
    CloseHandle(refused_process);
    refused_process = nullptr;
    EXPECT_TRUE(job->failed);
    EXPECT_FALSE(job->done);
    EXPECT_EQ(job->errors, std::vector<std::string>{"Could not start the build (thread)."});
    EXPECT_EQ(job.use_count(), 1);
    const std::string log = launcher_log_text();
    EXPECT_NE(log.find("build worker not started: thread constructor failed"), std::string::npos);
    EXPECT_NE(log.find("build: Could not start the build (thread).\n"), std::string::npos);
}

TEST_F(BuildTest, BuildProcessEndsWithTheLauncherProcess) {
    write_scenario("pid standin.pid\nsleep 60000\nout DONE\\s\n");
    const std::wstring host = ts::exe_dir() + L"\\pipeline_host.exe";
    const std::wstring line = L"\"" + host + L"\" \"" + folders.tools_dir + L"\" \"" +
                              folders.data_dir + L"\" \"" + settings.iso + L"\"";
    const ts::ProcessResult result = ts::run_process(line, 20000);
    ASSERT_TRUE(result.started) << result.error;
    ASSERT_FALSE(result.timed_out);
    ASSERT_EQ(result.exit_code, 0u) << "the host saw no build process start";

    const DWORD pid = std::stoul(ts::read_file(work_file(L"standin.pid")));
    const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (!process) return;  // already gone
    const DWORD waited = WaitForSingleObject(process, 5000);
    if (waited != WAIT_OBJECT_0) TerminateProcess(process, 1);
    CloseHandle(process);
    EXPECT_EQ(waited, WAIT_OBJECT_0) << "the build process outlived the launcher";
}

TEST_F(BuildTest, TryAgainWhileTheOldWorkerStillReads) {
    const char* const scenario =
        "out STAGE lift\n"
        "out ERROR first\n"
        "sleep 150\n"
        "out \\s\\scont a\n"
        "out \\s\\scont b\n"
        "exit 1\n";
    write_scenario(scenario);
    std::vector<std::weak_ptr<BuildJob>> old_jobs;
    for (int i = 0; i < 20; ++i) {
        start_build();
        const std::weak_ptr<BuildJob> job = current_build;
        old_jobs.push_back(job);
        ASSERT_TRUE(ts::wait_until(
            [&] {
                std::lock_guard<std::mutex> lock(current_build->mutex);
                return current_build->failed;
            },
            10000));
    }
    ASSERT_TRUE(all_workers_finished());
    {
        std::lock_guard<std::mutex> lock(current_build->mutex);
        EXPECT_EQ(current_build->errors, (std::vector<std::string>{"first", "cont a", "cont b"}));
        EXPECT_EQ(current_build->stages_seen, std::vector<std::string>{"lift"});
        EXPECT_FALSE(current_build->done);
    }
    current_build.reset();
    for (const auto& job : old_jobs) EXPECT_TRUE(ts::wait_until([&] { return job.expired(); }, 2000));
    EXPECT_EQ(count_of(launcher_log_text(), "build finished: exit 1, failed\n"), 20u);
}

}  // namespace
