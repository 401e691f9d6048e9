#pragma once
#include <windows.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

struct BuildJob {
    std::mutex mutex;
    std::string stage;
    std::string status = "Starting";
    std::string detail;
    float progress = 0.0f;
    std::vector<std::string> errors;
    std::vector<std::string> stages_seen;
    bool done = false;
    bool failed = false;
    std::wstring log_path;  // written before any worker exists; read without the lock
};

// Shared with the job's worker, so replacing the job never frees what the worker still writes.
extern std::shared_ptr<BuildJob> current_build;
extern HANDLE build_job_object;

void start_build();
void run_build_script(const std::shared_ptr<BuildJob>& job);
void fail_build(BuildJob& job, const std::string& message);
// The build process's command line for the current folders and settings.
std::wstring build_command_line();

// Starts the detached worker thread for a running build process; throws std::system_error when
// the thread cannot be created. Replaceable so that tests can make the start fail.
extern void (*start_build_worker)(std::shared_ptr<BuildJob> job, HANDLE pipe, HANDLE process);
// Resumes the suspended build process; replaceable so that tests can make it fail.
extern DWORD(WINAPI* resume_build_thread)(HANDLE thread);
