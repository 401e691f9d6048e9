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
    "ready\n"
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

std::wstring file_name(const std::wstring& path) { return path.substr(path.find_last_of(L'\\') + 1); }

TEST_F(BuildTest, BuildsInTheSameSecondGetLogsOfTheirOwn) {
    // Start just after a second turns, so that both builds almost always share it; wherever the
    // clock falls, the second build never reuses or empties the first one's log.
    const std::wstring before = log_name_now();
    for (int wait = 0; log_name_now() == before && wait < 200; ++wait) Sleep(10);
    const auto first = run_build("out first run\nout DONE\\s\n");
    const auto second = run_build("out second run\nout DONE\\s\n");
    const std::wstring first_name = file_name(first->log_path), second_name = file_name(second->log_path);
    EXPECT_NE(first_name, second_name);
    EXPECT_EQ(ts::read_file(first->log_path), "first run\nDONE \n");
    EXPECT_EQ(ts::read_file(second->log_path), "second run\nDONE \n");
    // "build-YYYYMMDD-HHMMSS": within one second the second name gets a suffix ("-2", or higher
    // when an earlier test took that name).
    if (first_name.substr(0, 21) != second_name.substr(0, 21)) return;
    EXPECT_EQ(second_name.substr(21, 1), L"-") << to_utf8(second_name);
    EXPECT_EQ(second_name.substr(second_name.size() - 4), L".log") << to_utf8(second_name);
}

TEST_F(BuildTest, LogOfAnEarlierLauncherInTheSameSecondIsLeftAlone) {
    // Logs under this second's name and the next (the build may start just after the turn), as an
    // earlier launcher in the same second would have left them.
    const std::wstring now = log_name_now();
    std::vector<std::wstring> others = {path_join(folders.logs_dir, now)};
    for (int wait = 0; log_name_now() == now && wait < 200; ++wait) Sleep(10);
    others.push_back(path_join(folders.logs_dir, log_name_now()));
    for (const std::wstring& other : others) ts::write_file(other, "an earlier launcher's log\n");
    const auto job = run_build("out this run\nout DONE\\s\n");
    for (const std::wstring& other : others) {
        EXPECT_NE(job->log_path, other);
        EXPECT_EQ(ts::read_file(other), "an earlier launcher's log\n") << to_utf8(other);
    }
    EXPECT_EQ(ts::read_file(job->log_path), "this run\nDONE \n");
}

// Builds the replacement test's first script: an error line at once, then numbered lines for
// about five seconds.
std::string error_then_ticks() {
    std::string scenario = "pid first.pid\nout ERROR boom\n";
    for (int i = 1; i <= 250; ++i) scenario += "out tick " + std::to_string(i) + "\nsleep 20\n";
    return scenario + "out DONE\\s\n";
}

TEST_F(BuildTest, TryAgainEndsTheEarlierBuildBeforeTheNextStarts) {
    write_scenario(error_then_ticks());
    start_build();
    const auto first = current_build;
    std::string pid_text;
    ASSERT_TRUE(ts::wait_until([&] {
        pid_text = ts::read_file(work_file(L"first.pid"));
        std::lock_guard<std::mutex> lock(first->mutex);
        return first->failed && !pid_text.empty();
    }, 10000));
    const HANDLE first_process = OpenProcess(SYNCHRONIZE, FALSE, std::stoul(pid_text));
    ASSERT_NE(first_process, nullptr);
    ASSERT_TRUE(ts::wait_until([&] { return ts::read_file(first->log_path).find("tick 3\n") != std::string::npos; },
                               10000));

    write_scenario("out second run\nout STAGE fix\nout DONE\\s\n");
    start_build();  // what "Try again" does
    const std::string first_log = ts::read_file(first->log_path);
    EXPECT_EQ(WaitForSingleObject(first_process, 0), WAIT_OBJECT_0) << "the first build runs on";
    CloseHandle(first_process);
    {
        std::lock_guard<std::mutex> lock(first->mutex);
        EXPECT_FALSE(first->worker_running);
    }
    ASSERT_TRUE(all_workers_finished());
    Sleep(300);
    EXPECT_EQ(ts::read_file(first->log_path), first_log) << "the first build wrote on";
    EXPECT_EQ(first_log.find("DONE"), std::string::npos);
    EXPECT_EQ(ts::read_file(current_build->log_path), "second run\nSTAGE fix\nDONE \n");
    EXPECT_NE(current_build->log_path, first->log_path);
    EXPECT_TRUE(current_build->done);
    // The first build was gone before the second was started.
    const std::string log = launcher_log_text();
    EXPECT_TRUE(in_order(log, {"build stopped by the launcher", "build finished: exit 1, failed"}))
        << log;
    EXPECT_LT(log.find("build finished: exit 1, failed\n"), log.rfind("build started: ")) << log;
    EXPECT_EQ(log.find("did not end within"), std::string::npos);
}

// Refuses every creation that carries an attribute list, the way some systems refuse a list
// holding a console handle; the plain call goes through.
DWORD refusal_code = ERROR_INVALID_PARAMETER;
BOOL WINAPI refuse_handle_list(LPCWSTR app, LPWSTR line, LPSECURITY_ATTRIBUTES pa,
                               LPSECURITY_ATTRIBUTES ta, BOOL inherit, DWORD flags, LPVOID env,
                               LPCWSTR dir, LPSTARTUPINFOW si, LPPROCESS_INFORMATION pi) {
    if (flags & EXTENDED_STARTUPINFO_PRESENT) {
        SetLastError(refusal_code);
        return FALSE;
    }
    return CreateProcessW(app, line, pa, ta, inherit, flags, env, dir, si, pi);
}

TEST_F(BuildTest, RefusedHandleListFallsBackOnlyForInvalidParameter) {
    struct Case {
        const char* name;
        DWORD refusal;
        bool done;
        std::vector<std::string> errors;
        std::vector<std::string> log_lines;
    };
    const Case cases[] = {
        {"error 87: once more without the list", ERROR_INVALID_PARAMETER, true, {},
         {"build process: the handle list was refused (error 87); trying without it",
          "build process created without a handle list", "build finished: exit 0, done"}},
        {"another error: the build fails", ERROR_ACCESS_DENIED, false,
         {"Could not start the build (error 5)."}, {"build: Could not start the build (error 5)."}},
    };
    const auto saved = create_build_process_call;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const size_t log_before = launcher_log_text().size();
        refusal_code = c.refusal;
        create_build_process_call = refuse_handle_list;
        write_scenario("out STAGE fix\nout DONE\\s\n");
        start_build();
        create_build_process_call = saved;
        const auto job = current_build;
        ASSERT_TRUE(all_workers_finished());
        std::lock_guard<std::mutex> lock(job->mutex);
        EXPECT_EQ(job->done, c.done);
        EXPECT_EQ(job->errors, c.errors);
        const std::string log = launcher_log_text().substr(log_before);
        EXPECT_TRUE(in_order(log, c.log_lines)) << log;
        EXPECT_EQ(log.find("created with a handle list"), std::string::npos) << log;
    }
}

TEST_F(BuildTest, UnrefusedHandleListIsUsedAndLogged) {
    const auto job = run_build("out DONE\\s\n");
    EXPECT_TRUE(job->done);
    const std::string log = launcher_log_text();
    // Where the system could build no list at all the plain call is the one logged.
    EXPECT_TRUE(log.find("build process created with a handle list\n") != std::string::npos ||
                log.find("build process created without a handle list\n") != std::string::npos) << log;
    EXPECT_EQ(log.find("refused"), std::string::npos) << log;
}

TEST(BuildHandleList, LeavesOutHandlesThatCannotBeListed) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE read_end = nullptr, write_end = nullptr;
    ASSERT_TRUE(CreatePipe(&read_end, &write_end, &inherit, 0));
    HANDLE other_read = nullptr, other_write = nullptr;
    ASSERT_TRUE(CreatePipe(&other_read, &other_write, &inherit, 0));
    const HANDLE device = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      &inherit, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(device, INVALID_HANDLE_VALUE);
    HANDLE private_read = nullptr, private_write = nullptr;
    ASSERT_TRUE(CreatePipe(&private_read, &private_write, nullptr, 0));
    struct Case {
        const char* name;
        HANDLE input;
        bool listed;
    };
    const Case cases[] = {
        {"an inheritable pipe", other_read, true},
        {"a console pseudo-handle", reinterpret_cast<HANDLE>(3), false},
        {"another console pseudo-handle", reinterpret_cast<HANDLE>(0x13), false},
        {"a character device", device, false},
        {"a handle that is not inheritable", private_read, false},
        {"no standard input", nullptr, false},
        {"an invalid handle", INVALID_HANDLE_VALUE, false},
        {"the pipe itself", write_end, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HANDLE list[2] = {};
        const size_t count = build_handle_list(write_end, c.input, list);
        ASSERT_EQ(count, c.listed ? 2u : 1u);
        EXPECT_EQ(list[0], write_end);
        if (c.listed) {
            EXPECT_EQ(list[1], c.input);
        }
    }
    for (HANDLE h : {read_end, write_end, other_read, other_write, device, private_read, private_write})
        CloseHandle(h);
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
