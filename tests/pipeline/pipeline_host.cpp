// Stands in for the launcher process: starts a build, waits until the build process runs, exits.
// Usage: pipeline_host <tools> <data> <iso>; exit 0 once <work>\standin.pid exists, 2 otherwise.
#include <windows.h>
#include <shellapi.h>

#include "launcher/folders.h"
#include "launcher/settings.h"
#include "pipeline/build_runner.h"

int main() {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv || argc != 4) return 1;
    folders.tools_dir = argv[1];
    folders.data_dir = argv[2];
    settings.iso = argv[3];
    LocalFree(argv);
    derive_folder_paths(folders);
    CreateDirectoryW(folders.logs_dir.c_str(), nullptr);
    CreateDirectoryW(folders.work_dir.c_str(), nullptr);

    start_build();
    const std::wstring pid_file = path_join(folders.work_dir, L"standin.pid");
    for (int i = 0; i < 1000; ++i) {
        if (GetFileAttributesW(pid_file.c_str()) != INVALID_FILE_ATTRIBUTES) {
            Sleep(100);  // let the stand-in finish writing its id
            ExitProcess(0);
        }
        Sleep(10);
    }
    ExitProcess(2);
}
