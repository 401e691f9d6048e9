#pragma once
// Helpers shared by the test programs: temporary folders, files, processes with time limits.
#include <windows.h>

#include <string>

namespace ts {

// Folder of the running test program (fixtures are built beside it).
std::wstring exe_dir();
// A fresh, empty folder under %TEMP%\varnis-tests, unique per call.
std::wstring make_temp_dir(const wchar_t* tag);
void remove_tree(const std::wstring& path);
void write_file(const std::wstring& path, const std::string& bytes);
std::string read_file(const std::wstring& path);
bool file_exists(const std::wstring& path);
void make_dirs(const std::wstring& path);  // creates every missing level
bool copy_file(const std::wstring& from, const std::wstring& to);

struct ProcessResult {
    bool started = false;
    bool timed_out = false;  // the process was killed at the time limit
    DWORD exit_code = 0;
    DWORD error = 0;         // GetLastError of a failed start
};
// Runs a raw command line (exactly as given) and waits at most timeout_ms.
ProcessResult run_process(const std::wstring& command_line, DWORD timeout_ms,
                          const wchar_t* current_dir = nullptr);

// Sets (or with nullptr removes) an environment variable for the test's lifetime.
struct ScopedEnv {
    ScopedEnv(const wchar_t* name, const wchar_t* value);
    ~ScopedEnv();
    std::wstring name;
    std::wstring old;
    bool had = false;
};

// Polls `condition` every 10 ms until it holds or timeout_ms passes.
template <typename F>
bool wait_until(F condition, DWORD timeout_ms) {
    const ULONGLONG end = GetTickCount64() + timeout_ms;
    for (;;) {
        if (condition()) return true;
        if (GetTickCount64() >= end) return false;
        Sleep(10);
    }
}

}  // namespace ts
