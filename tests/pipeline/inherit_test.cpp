#include <gtest/gtest.h>
#include <windows.h>

#include <cctype>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "build_env.h"
#include "launcher/folders.h"
#include "launcher/log.h"
#include "test_support.h"

namespace {

// What the stand-in's "handles" command reported.
struct Held {
    bool in_job = false;
    std::set<std::string> std_values;
    std::vector<std::string> files;  // lower-case paths
    std::vector<std::string> dirs;   // lower-case paths; the current folder is always one
    std::vector<std::string> pipes;  // handle values
};

Held read_held(const std::wstring& path) {
    Held held;
    std::istringstream in(ts::read_file(path));
    std::string kind;
    while (in >> kind) {
        std::string rest;
        std::getline(in, rest);
        if (!rest.empty() && rest[0] == ' ') rest.erase(0, 1);
        if (kind == "job") held.in_job = rest == "1";
        if (kind == "std") {
            std::istringstream values(rest);
            for (std::string v; values >> v;) held.std_values.insert(v);
        }
        if (kind == "file" || kind == "dir") {
            for (char& c : rest) c = (char)std::tolower((unsigned char)c);
            (kind == "file" ? held.files : held.dirs).push_back(rest.substr(rest.find(' ') + 1));
        }
        if (kind == "pipe") held.pipes.push_back(rest);
    }
    return held;
}

bool holds_file(const Held& held, const std::string& part) {
    for (const std::string& f : held.files)
        if (f.find(part) != std::string::npos) return true;
    return false;
}

std::string lower_name(const std::wstring& path) {
    std::string name = to_utf8(path.substr(path.find_last_of(L'\\') + 1));
    for (char& c : name) c = (char)std::tolower((unsigned char)c);
    return name;
}

// The stand-in started the way most programs start children: every inheritable handle passes.
bool run_inheriting_everything(const std::wstring& command) {
    std::vector<wchar_t> line(command.begin(), command.end());
    line.push_back(L'\0');
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                        nullptr, &si, &pi))
        return false;
    const bool ended = WaitForSingleObject(pi.hProcess, 20000) == WAIT_OBJECT_0;
    if (!ended) TerminateProcess(pi.hProcess, 1);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return ended;
}

TEST_F(BuildTest, BuildProcessHoldsOnlyItsPipeAndStartsInTheJob) {
    // An inheritable handle that some other part of the launcher process might hold.
    const std::wstring stray_path = root + L"\\stray.txt";
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    const HANDLE stray = CreateFileW(stray_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                     CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(stray, INVALID_HANDLE_VALUE);

    // A failed build whose process still runs, so its log is still open in the worker.
    write_scenario("out ERROR first run\nsleep 3000\n");
    start_build();
    const auto failed = current_build;
    ASSERT_TRUE(ts::wait_until(
        [&] {
            std::lock_guard<std::mutex> lock(failed->mutex);
            return failed->failed && ts::file_exists(failed->log_path);
        },
        10000));

    // Control: a child that inherits everything sees the stray handle, so the check can fail;
    // the launcher's own files must be missing even then.
    write_scenario("handles plain.txt\n");
    ASSERT_TRUE(run_inheriting_everything(build_command_line()));
    const Held plain = read_held(work_file(L"plain.txt"));
    EXPECT_TRUE(holds_file(plain, "stray.txt")) << "handles are not detected";
    EXPECT_FALSE(plain.in_job);
    EXPECT_FALSE(holds_file(plain, "launcher.log"));
    EXPECT_FALSE(holds_file(plain, lower_name(failed->log_path)));

    // "Try again": the new build process holds nothing of ours but its pipe.
    const auto job = run_build("handles held.txt\nout DONE\\s\n");
    CloseHandle(stray);
    EXPECT_TRUE(job->done);
    const Held held = read_held(work_file(L"held.txt"));
    EXPECT_TRUE(held.in_job) << "ran code before it was put into the job";
    for (const std::string& f : held.files) ADD_FAILURE() << "holds " << f;
    std::string data_dir = lower_name(root);
    for (const std::string& d : held.dirs)
        EXPECT_EQ(d.find(data_dir), std::string::npos) << "holds the folder " << d;
    EXPECT_FALSE(held.pipes.empty());
    for (const std::string& p : held.pipes)
        EXPECT_EQ(held.std_values.count(p), 1u) << "holds a pipe that is not its standard handle";
}

DWORD resume_error = 0;
DWORD refused_pid = 0;

DWORD WINAPI refuse_resume(HANDLE thread) {
    refused_pid = GetProcessIdOfThread(thread);
    SetLastError(resume_error);
    return static_cast<DWORD>(-1);
}

TEST_F(BuildTest, FailedResumeEndsTheProcessAndFailsTheJob) {
    write_scenario("pid ran.txt\nout DONE\\s\n");
    resume_error = ERROR_ACCESS_DENIED;
    const auto saved = resume_build_thread;
    resume_build_thread = refuse_resume;
    start_build();
    resume_build_thread = saved;
    const auto job = std::move(current_build);
    ASSERT_NE(refused_pid, 0u);

    const std::string message = "Could not start the build (error 5).";
    EXPECT_TRUE(job->failed);
    EXPECT_FALSE(job->done);
    EXPECT_EQ(job->errors, std::vector<std::string>{message});
    EXPECT_EQ(job.use_count(), 1) << "a worker holds the job";
    const std::string log = launcher_log_text();
    EXPECT_NE(log.find("build: " + message + "\n"), std::string::npos);
    EXPECT_EQ(count_of(log, "build started"), 0u);
    // The suspended process is gone, not left waiting for ever.
    if (const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, refused_pid)) {
        EXPECT_EQ(WaitForSingleObject(process, 5000), WAIT_OBJECT_0);
        CloseHandle(process);
    }
    EXPECT_FALSE(ts::file_exists(work_file(L"ran.txt")));
}

}  // namespace
