#pragma once
#include <windows.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// A script stuck in a loop, or a compile that reports every failing file, must not grow the job
// without end: the failure view needs only the first errors (they explain the failure; the rest
// stand in the build log), and a real build names seven stages, so 64 leaves room for repeats.
inline constexpr size_t kept_error_lines = 100;
inline constexpr size_t kept_stages = 64;

struct BuildJob {
    std::mutex mutex;
    std::string stage;
    std::string status = "Starting";
    std::string detail;
    float progress = 0.0f;
    std::vector<std::string> errors;       // at most kept_error_lines from the script
    std::vector<std::string> stages_seen;  // at most kept_stages
    size_t errors_left_out = 0;  // error and continuation lines that stand only in the build log
    bool done = false;
    bool failed = false;
    bool worker_running = false;  // from just before the worker starts until its last update
    std::condition_variable worker_ended;
    std::wstring log_path;  // written before any worker exists; read without the lock
    // Set for a build the launcher started: its success line counts only when the work folder
    // then passes the finished-build test for this disc image. Read without the lock.
    std::wstring ready_iso;
};

// Shared with the job's worker, so replacing the job never frees what the worker still writes.
extern std::shared_ptr<BuildJob> current_build;
extern HANDLE build_job_object;

// Ends the current build's process and everything it started, and waits (bounded) until they
// and its worker are gone, so that nothing of it writes into the work folder or its log any more.
void end_current_build();
void start_build();
void run_build_script(const std::shared_ptr<BuildJob>& job);
void fail_build(BuildJob& job, const std::string& message);
// Appends a message to the job's errors and the launcher log; the caller holds the job's mutex.
void record_build_error(BuildJob& job, const std::string& message);
// The build process's command line for the current folders and settings.
std::wstring build_command_line();

// Starts the detached worker thread for a running build process; throws std::system_error when
// the thread cannot be created. Replaceable so that tests can make the start fail.
extern void (*start_build_worker)(std::shared_ptr<BuildJob> job, HANDLE pipe, HANDLE process);
// Resumes the suspended build process; replaceable so that tests can make it fail.
extern DWORD(WINAPI* resume_build_thread)(HANDLE thread);
// Creates the build process; replaceable so that tests can make it refuse the handle list.
extern BOOL(WINAPI* create_build_process_call)(LPCWSTR, LPWSTR, LPSECURITY_ATTRIBUTES,
                                               LPSECURITY_ATTRIBUTES, BOOL, DWORD, LPVOID, LPCWSTR,
                                               LPSTARTUPINFOW, LPPROCESS_INFORMATION);
// The handles the build process may inherit: the pipe's write end and the standard input where
// that is an inheritable handle of its own (not a console pseudo-handle or a character device,
// which some systems refuse in a handle list). Returns how many were put into `out` (room for 2).
size_t build_handle_list(HANDLE write_end, HANDLE input, HANDLE* out);
