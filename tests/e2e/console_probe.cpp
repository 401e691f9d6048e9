// Stands where the build's interpreter is expected (tools\python\python.exe): records whether it
// was given a console window, then runs the real interpreter beside it (real-python.exe) with its
// own arguments and standard handles, and ends with its exit code.
//   record: %VARNIS_DATA%\work\console-probe.txt, "console_window=0|1", written whole by a rename
#include <windows.h>

#include <cstdio>
#include <string>

#include "command_tail.h"

namespace {

void record_console() {
    wchar_t data[1024];
    const DWORD n = GetEnvironmentVariableW(L"VARNIS_DATA", data, 1024);
    if (n == 0 || n >= 1024) return;
    const std::wstring dir = std::wstring(data) + L"\\work";
    CreateDirectoryW(dir.c_str(), nullptr);
    const std::wstring final_path = dir + L"\\console-probe.txt";
    const std::wstring temp_path = final_path + L".tmp";
    FILE* out = _wfopen(temp_path.c_str(), L"wb");
    if (!out) return;
    fprintf(out, "console_window=%d\n", GetConsoleWindow() ? 1 : 0);
    fclose(out);
    MoveFileExW(temp_path.c_str(), final_path.c_str(), MOVEFILE_REPLACE_EXISTING);
}

}  // namespace

int wmain() {
    record_console();
    wchar_t self[1024];
    const DWORD n = GetModuleFileNameW(nullptr, self, 1024);
    if (n == 0 || n >= 1024) return 3;
    std::wstring real(self, n);
    real = real.substr(0, real.find_last_of(L'\\') + 1) + L"real-python.exe";
    std::wstring line = L"\"" + real + L"\" " + command_tail(1);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(real.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si,
                        &pi))
        return 3;
    CloseHandle(pi.hThread);
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = 3;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hProcess);
    return static_cast<int>(code);
}
