// Stand-in for the toolchain's zig.exe: records its raw command line beside itself as UTF-8,
// prints one line, and exits with the code in ZIG_FIXTURE_EXIT (default 0).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>

int main() {
    wchar_t path[1040];
    const DWORD n = GetModuleFileNameW(nullptr, path, 1040);
    if (n == 0 || n >= 1040) return 90;
    wchar_t* slash = wcsrchr(path, L'\\');
    if (!slash) return 91;
    wcscpy(slash + 1, L"command-line.txt");

    const wchar_t* line = GetCommandLineW();
    const int size = WideCharToMultiByte(CP_UTF8, 0, line, -1, nullptr, 0, nullptr, nullptr);
    char* bytes = static_cast<char*>(malloc(size > 0 ? size : 1));
    if (!bytes) return 92;
    WideCharToMultiByte(CP_UTF8, 0, line, -1, bytes, size, nullptr, nullptr);
    FILE* out = _wfopen(path, L"wb");
    if (!out) return 93;
    fwrite(bytes, 1, size > 0 ? size - 1 : 0, out);
    fclose(out);
    free(bytes);

    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), "zig fixture output\n", 19, &written, nullptr);
    char code[32];
    const DWORD len = GetEnvironmentVariableA("ZIG_FIXTURE_EXIT", code, sizeof code);
    if (len == 0 || len >= sizeof code) return 0;
    return static_cast<int>(strtoul(code, nullptr, 0));
}
