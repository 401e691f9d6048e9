// Stands in for the launcher process: starts a build, waits until the build process runs, exits.
// Usage: pipeline_host <tools> <data> <iso>; exit 0 once <work>\standin.pid exists, 2 otherwise.
// With a fourth argument <result file> it instead waits until the build's worker has finished and
// writes "<seconds> <done> <peak working set> <peak pagefile use>" (bytes) and then "<errors kept>
// <error lines left out> <stages kept>" to that file, so that peaks are measured in a fresh
// process; exit 0, or 2 when the build did not end within an hour.
#include <windows.h>
#include <psapi.h>
#include <shellapi.h>

#include <cstdio>
#include <memory>
#include <string>

#include "launcher/folders.h"
#include "launcher/settings.h"
#include "pipeline/build_runner.h"

static int wait_for_the_pid_file() {
    const std::wstring pid_file = path_join(folders.work_dir, L"standin.pid");
    for (int i = 0; i < 1000; ++i) {
        if (GetFileAttributesW(pid_file.c_str()) != INVALID_FILE_ATTRIBUTES) {
            Sleep(100);  // let the stand-in finish writing its id
            return 0;
        }
        Sleep(10);
    }
    return 2;
}

static int measure_the_whole_build(const std::wstring& result_path, ULONGLONG started) {
    const std::shared_ptr<BuildJob> job = std::move(current_build);
    // The worker holds the other reference until its very end.
    while (job.use_count() > 1) {
        if (GetTickCount64() - started > 3600 * 1000) return 2;
        Sleep(20);
    }
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    FILE* out = _wfopen(result_path.c_str(), L"wb");
    if (!out) return 1;
    fprintf(out, "%.3f %d %llu %llu %zu %zu %zu\n", (GetTickCount64() - started) / 1000.0,
            job->done ? 1 : 0, (unsigned long long)counters.PeakWorkingSetSize,
            (unsigned long long)counters.PeakPagefileUsage, job->errors.size(),
            job->errors_left_out, job->stages_seen.size());
    fclose(out);
    return 0;
}

int main() {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv || (argc != 4 && argc != 5)) return 1;
    folders.tools_dir = argv[1];
    folders.data_dir = argv[2];
    settings.iso = argv[3];
    const std::wstring result_path = argc == 5 ? argv[4] : L"";
    LocalFree(argv);
    derive_folder_paths(folders);
    CreateDirectoryW(folders.logs_dir.c_str(), nullptr);
    CreateDirectoryW(folders.work_dir.c_str(), nullptr);

    const ULONGLONG started = GetTickCount64();
    start_build();
    ExitProcess(result_path.empty() ? wait_for_the_pid_file()
                                    : measure_the_whole_build(result_path, started));
}
