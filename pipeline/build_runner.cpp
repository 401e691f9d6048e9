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
DWORD(WINAPI* resume_build_thread)(HANDLE thread) = ResumeThread;

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

static std::string start_failure(DWORD error) {
    return "Could not start the build (error " + std::to_string(error) + ").";
}

static bool inheritable(HANDLE handle) {
    DWORD flags = 0;
    return handle && handle != INVALID_HANDLE_VALUE && GetHandleInformation(handle, &flags) &&
           (flags & HANDLE_FLAG_INHERIT);
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

// Inheritance is on for the standard handles, but only the listed ones pass: anything else the
// launcher (or a library in it) holds inheritable stays out of the build and of what it starts.
// Where no list can be built the plain call inherits as before.
static BOOL create_build_process(wchar_t* command, HANDLE write_end, PROCESS_INFORMATION& process) {
    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof startup.StartupInfo;
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.StartupInfo.hStdOutput = write_end;
    startup.StartupInfo.hStdError = write_end;

    HANDLE handles[2] = {write_end};
    size_t count = 1;
    // The standard input passes as before where it can be inherited at all.
    if (inheritable(startup.StartupInfo.hStdInput) && startup.StartupInfo.hStdInput != write_end)
        handles[count++] = startup.StartupInfo.hStdInput;
    std::vector<char> storage;
    startup.lpAttributeList = handle_list_attribute(storage, handles, count);
    DWORD flags = CREATE_NO_WINDOW | CREATE_SUSPENDED;
    if (startup.lpAttributeList) {
        startup.StartupInfo.cb = sizeof startup;
        flags |= EXTENDED_STARTUPINFO_PRESENT;
    }
    const BOOL created = CreateProcessW(nullptr, command, nullptr, nullptr, TRUE, flags, nullptr,
                                        nullptr, &startup.StartupInfo, &process);
    const DWORD error = GetLastError();
    if (startup.lpAttributeList) DeleteProcThreadAttributeList(startup.lpAttributeList);
    SetLastError(error);
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

    try {
        start_build_worker(job, read_end, process.hProcess);
    } catch (const std::system_error& e) {
        // Without a worker nobody would read the output or report the end: stop the build.
        stop_build_process(process.hProcess, read_end);
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
