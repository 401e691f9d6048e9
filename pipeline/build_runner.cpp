#include "pipeline/build_runner.h"

#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "launcher/folders.h"
#include "launcher/log.h"
#include "launcher/screen_flow.h"
#include "launcher/settings.h"
#include "pipeline/build_output.h"
#include "pipeline/contract.h"

std::shared_ptr<BuildJob> current_build;
HANDLE build_job_object = nullptr;

static void start_detached_worker(std::shared_ptr<BuildJob> job, HANDLE pipe, HANDLE process) {
    std::thread(build_worker, std::move(job), pipe, process).detach();
}

void (*start_build_worker)(std::shared_ptr<BuildJob>, HANDLE, HANDLE) = start_detached_worker;

static const char* const tools_missing_message =
    "The build tools are missing from the tools folder next to Varnis.exe.";

// A backslash run right before the closing quote would escape that quote for the child's
// argument parser, so it is doubled; nothing else in the path changes.
static void append_quoted_end(std::wstring& out, const std::wstring& path) {
    out += path;
    size_t trailing = 0;
    while (trailing < path.size() && path[path.size() - 1 - trailing] == L'\\') ++trailing;
    out.append(trailing, L'\\');
}

std::wstring build_command_line() {
    std::wstring line = L"\"";
    append_quoted_end(line, folders.python_path);
    line += L"\" -u \"";
    append_quoted_end(line, folders.build_script_path);
    line += L"\" --iso \"";
    append_quoted_end(line, settings.iso);
    line += L"\" --work \"";
    append_quoted_end(line, folders.work_dir);
    line += L"\" --bundle \"";
    append_quoted_end(line, folders.tools_dir);
    line += L"\"";
    return line;
}

void fail_build(BuildJob& job, const std::string& message) {
    std::lock_guard<std::mutex> lock(job.mutex);
    job.failed = true;
    job.errors.push_back(message);
    launcher_log("build: %s", message.c_str());
}

static bool is_missing(const std::wstring& path) {
    return (GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

static void ensure_job_object() {
    if (build_job_object) return;
    build_job_object = CreateJobObjectW(nullptr, nullptr);
    if (!build_job_object) return;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    SetInformationJobObject(build_job_object, JobObjectExtendedLimitInformation, &limits,
                            sizeof limits);
}

void run_build_script(const std::shared_ptr<BuildJob>& job) {
    job->log_path = path_join(folders.logs_dir, timestamped_log_name(contract::build_log_prefix));

    if (is_missing(folders.python_path) || is_missing(folders.build_script_path)) {
        fail_build(*job, tools_missing_message);
        return;
    }

    SECURITY_ATTRIBUTES inherit{};
    inherit.nLength = sizeof inherit;
    inherit.bInheritHandle = TRUE;
    HANDLE read_end = nullptr;
    HANDLE write_end = nullptr;
    if (!CreatePipe(&read_end, &write_end, &inherit, 0)) {
        fail_build(*job, "Could not start the build (pipe).");
        return;
    }
    SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);

    const std::wstring command = build_command_line();
    std::vector<wchar_t> buffer(command.begin(), command.end());
    buffer.push_back(L'\0');

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = write_end;
    startup.hStdError = write_end;
    PROCESS_INFORMATION process{};
    const BOOL created =
        CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, TRUE,
                       CREATE_NO_WINDOW | CREATE_SUSPENDED, nullptr, nullptr, &startup, &process);
    const DWORD create_error = GetLastError();
    // Only the child may hold the write end, or the pipe never reports the end of the output.
    CloseHandle(write_end);
    if (!created) {
        CloseHandle(read_end);
        fail_build(*job, "Could not start the build (error " + std::to_string(create_error) + ").");
        return;
    }

    ensure_job_object();
    if (build_job_object) AssignProcessToJobObject(build_job_object, process.hProcess);
    ResumeThread(process.hThread);
    launcher_log("build started: %s", to_utf8(command).c_str());
    CloseHandle(process.hThread);

    try {
        start_build_worker(job, read_end, process.hProcess);
    } catch (const std::system_error& e) {
        // Without a worker nobody would read the output or report the end: stop the build.
        TerminateProcess(process.hProcess, 1);
        WaitForSingleObject(process.hProcess, 5000);
        CloseHandle(read_end);
        CloseHandle(process.hProcess);
        launcher_log("build worker not started: %s", e.what());
        fail_build(*job, "Could not start the build (thread).");
    }
}

void start_build() {
    // The old job's worker keeps its own reference, so dropping ours here is safe.
    current_build = std::make_shared<BuildJob>();
    run_build_script(current_build);
    current_screen = Build;
}
