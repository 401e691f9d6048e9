#include "pipeline/build_runner.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "launcher/files.h"
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
DWORD(WINAPI* resume_build_thread)(HANDLE thread) = ResumeThread;
BOOL(WINAPI* create_build_process_call)(LPCWSTR, LPWSTR, LPSECURITY_ATTRIBUTES,
                                        LPSECURITY_ATTRIBUTES, BOOL, DWORD, LPVOID, LPCWSTR,
                                        LPSTARTUPINFOW, LPPROCESS_INFORMATION) = CreateProcessW;

// How long replacing a build waits for the old one to be gone. Ending a job's processes takes
// milliseconds; the rest is room for a loaded machine.
static const DWORD end_build_timeout_ms = 5000;
// A build that reported success is let end by itself for this long first: its script is meant
// to stop right after the success line, and its own exit code is the one worth logging.
static const DWORD finished_build_grace_ms = 2000;
// The exit code of a build process the launcher ends.
static const UINT ended_build_exit_code = 1;
// The previous build's log: a build that never started has none on disk, but its name stays taken.
static std::wstring previous_log_path;

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

void record_build_error(BuildJob& job, const std::string& message) {
    job.failed = true;
    job.errors.push_back(message);
    launcher_log("build: %s", message.c_str());
}

void fail_build(BuildJob& job, const std::string& message) {
    std::lock_guard<std::mutex> lock(job.mutex);
    record_build_error(job, message);
}

static bool is_missing(const std::wstring& path) {
    QuietErrorMode quiet;  // the tools folder may be on a drive without a medium
    return (GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

static std::string start_failure(DWORD error) {
    return "Could not start the build (error " + std::to_string(error) + ").";
}

static bool inheritable(HANDLE handle) {
    DWORD flags = 0;
    return handle && handle != INVALID_HANDLE_VALUE && GetHandleInformation(handle, &flags) &&
           (flags & HANDLE_FLAG_INHERIT);
}

static bool console_pseudo_handle(HANDLE handle) {
    return (reinterpret_cast<uintptr_t>(handle) & 3) == 3;
}

size_t build_handle_list(HANDLE write_end, HANDLE input, HANDLE* out) {
    size_t count = 0;
    out[count++] = write_end;
    if (input == write_end || console_pseudo_handle(input) || !inheritable(input)) return count;
    if (GetFileType(input) == FILE_TYPE_CHAR) return count;
    out[count++] = input;
    return count;
}

// An attribute list that lets only `handles` be inherited, in `storage`; null where the system
// cannot build one. `handles` must stay valid until the process has been created.
static LPPROC_THREAD_ATTRIBUTE_LIST handle_list_attribute(std::vector<char>& storage,
                                                          HANDLE* handles, size_t count) {
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    if (size == 0) return nullptr;
    storage.resize(size);
    auto* const list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage.data());
    if (!InitializeProcThreadAttributeList(list, 1, 0, &size)) return nullptr;
    if (UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles,
                                  count * sizeof(HANDLE), nullptr, nullptr))
        return list;
    DeleteProcThreadAttributeList(list);
    return nullptr;
}

static BOOL create_suspended(wchar_t* command, STARTUPINFOW& startup, DWORD extra_flags,
                             PROCESS_INFORMATION& process) {
    return create_build_process_call(nullptr, command, nullptr, nullptr, TRUE,
                                     CREATE_NO_WINDOW | CREATE_SUSPENDED | extra_flags, nullptr,
                                     nullptr, &startup, &process);
}

// Inheritance is on for the standard handles, but only the listed ones pass: anything else the
// launcher (or a library in it) holds inheritable stays out of the build and of what it starts.
// Where no list can be built, or the system refuses it (error 87, as older systems do for some
// standard handles), the plain call inherits as before: the launcher opens its own files
// non-inheritable, so that still hands over only the pipe and the standard input.
static BOOL create_build_process(wchar_t* command, HANDLE write_end, PROCESS_INFORMATION& process) {
    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof startup.StartupInfo;
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.StartupInfo.hStdOutput = write_end;
    startup.StartupInfo.hStdError = write_end;

    HANDLE handles[2];
    const size_t count = build_handle_list(write_end, startup.StartupInfo.hStdInput, handles);
    std::vector<char> storage;
    startup.lpAttributeList = handle_list_attribute(storage, handles, count);
    if (startup.lpAttributeList) {
        startup.StartupInfo.cb = sizeof startup;
        const BOOL created =
            create_suspended(command, startup.StartupInfo, EXTENDED_STARTUPINFO_PRESENT, process);
        const DWORD error = GetLastError();
        DeleteProcThreadAttributeList(startup.lpAttributeList);
        startup.lpAttributeList = nullptr;
        startup.StartupInfo.cb = sizeof startup.StartupInfo;
        if (created) {
            launcher_log("build process created with a handle list");
            return TRUE;
        }
        if (error != ERROR_INVALID_PARAMETER) {
            SetLastError(error);
            return FALSE;
        }
        launcher_log("build process: the handle list was refused (error %lu); trying without it",
                     error);
    }
    const BOOL created = create_suspended(command, startup.StartupInfo, 0, process);
    if (created) launcher_log("build process created without a handle list");
    return created;
}

// Ends a build process that has no worker and releases what the worker would have closed.
static void stop_build_process(HANDLE process, HANDLE read_end) {
    TerminateProcess(process, 1);
    WaitForSingleObject(process, 5000);
    CloseHandle(process);
    CloseHandle(read_end);
}

// A refusal can be passing (seen once under Wine, error 1359): one more try before the build is
// given up. A second call on a thread that the first did resume changes nothing.
static bool resume_build_process(HANDLE thread) {
    for (int attempt = 0; attempt < 2; ++attempt)
        if (resume_build_thread(thread) != static_cast<DWORD>(-1)) return true;
    return false;
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

// A name no other build's log has: a build in the same second (of this launcher or of an
// earlier one) gets a suffix, so no build ever empties another's log.
static std::wstring unused_log_path() {
    const std::wstring name = timestamped_log_name(contract::build_log_prefix);
    const std::wstring stem = name.substr(0, name.size() - 4);  // without ".log"
    std::wstring path = path_join(folders.logs_dir, name);
    for (int n = 2; GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES ||
                    path == previous_log_path;
         ++n)
        path = path_join(folders.logs_dir, stem + L"-" + std::to_wstring(n) + L".log");
    previous_log_path = path;
    return path;
}

void run_build_script(const std::shared_ptr<BuildJob>& job) {
    job->log_path = unused_log_path();
    job->ready_iso = settings.iso;

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

    PROCESS_INFORMATION process{};
    const BOOL created = create_build_process(buffer.data(), write_end, process);
    const DWORD create_error = GetLastError();
    // Only the child may hold the write end, or the pipe never reports the end of the output.
    CloseHandle(write_end);
    if (!created) {
        CloseHandle(read_end);
        fail_build(*job, start_failure(create_error));
        return;
    }

    ensure_job_object();
    if (build_job_object) AssignProcessToJobObject(build_job_object, process.hProcess);
    const bool resumed = resume_build_process(process.hThread);
    const DWORD resume_error = GetLastError();
    CloseHandle(process.hThread);
    if (!resumed) {
        // A process left suspended would keep the screen on "running" for ever.
        stop_build_process(process.hProcess, read_end);
        fail_build(*job, start_failure(resume_error));
        return;
    }
    launcher_log("build started: %s", to_utf8(command).c_str());

    job->worker_running = true;
    try {
        start_build_worker(job, read_end, process.hProcess);
    } catch (const std::system_error& e) {
        job->worker_running = false;
        // Without a worker nobody would read the output or report the end: stop the build.
        stop_build_process(process.hProcess, read_end);
        launcher_log("build worker not started: %s", e.what());
        fail_build(*job, "Could not start the build (thread).");
    }
}

static bool job_object_empty() {
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION info{};
    if (!QueryInformationJobObject(build_job_object, JobObjectBasicAccountingInformation, &info,
                                   sizeof info, nullptr))
        return true;  // nothing to wait for that could be seen
    return info.ActiveProcesses == 0;
}

void end_current_build() {
    const std::shared_ptr<BuildJob> job = current_build;
    if (!job) return;
    std::unique_lock<std::mutex> lock(job->mutex);
    if (!job->worker_running) return;
    if (job->done && job->worker_ended.wait_for(lock, std::chrono::milliseconds(finished_build_grace_ms),
                                                [&] { return !job->worker_running; }))
        return;
    launcher_log("build stopped by the launcher");
    // Every build process and everything it started is in the job; only one build runs at a time.
    if (build_job_object) TerminateJobObject(build_job_object, ended_build_exit_code);
    const ULONGLONG deadline = GetTickCount64() + end_build_timeout_ms;
    // The worker finishes once the pipe has no writer left and the process is gone; after that
    // it never touches the log or the job again.
    const bool worker_gone = job->worker_ended.wait_for(
        lock, std::chrono::milliseconds(end_build_timeout_ms), [&] { return !job->worker_running; });
    lock.unlock();
    bool processes_gone = !build_job_object || job_object_empty();
    while (!processes_gone && GetTickCount64() < deadline) {
        Sleep(10);
        processes_gone = job_object_empty();
    }
    if (!worker_gone || !processes_gone)
        launcher_log("build did not end within %lu ms", end_build_timeout_ms);
}

void start_build() {
    end_current_build();
    // The old job's worker keeps its own reference, so dropping ours here is safe.
    current_build = std::make_shared<BuildJob>();
    run_build_script(current_build);
    current_screen = Build;
}
