// arshim: stands in for a separate ranlib by running "<root>\zig\zig.exe ranlib <arguments>".
// The arguments are passed on exactly as received; nothing is split or re-quoted.
#include <windows.h>

#include <cwchar>

namespace {

constexpr DWORD path_capacity = 1040;
constexpr size_t command_capacity = 32768;
// CreateProcessW takes at most 32,767 characters counting the terminating zero, so a line that
// only just fits the buffer could never start; it is too long, not a zig.exe that cannot start.
constexpr size_t command_max_length = 32766;

// Text for the caller's console, or UTF-8 when standard error is redirected.
void write_error(const wchar_t* text) {
    HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    if (err == nullptr || err == INVALID_HANDLE_VALUE) return;
    const DWORD length = static_cast<DWORD>(wcslen(text));
    DWORD mode = 0;
    DWORD written = 0;
    if (GetConsoleMode(err, &mode)) {
        WriteConsoleW(err, text, length, &written, nullptr);
        return;
    }
    char bytes[4 * path_capacity + 128];
    const int n = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), bytes,
                                      static_cast<int>(sizeof bytes), nullptr, nullptr);
    if (n > 0) WriteFile(err, bytes, static_cast<DWORD>(n), &written, nullptr);
}

// The folder one level above the program's own folder.
void find_root(wchar_t* root) {
    GetModuleFileNameW(nullptr, root, path_capacity);
    root[path_capacity - 1] = L'\0';
    for (int level = 0; level < 2; ++level) {
        wchar_t* slash = wcsrchr(root, L'\\');
        if (slash) *slash = L'\0';
    }
}

// Everything after the program's own name and the blanks that follow it.
const wchar_t* argument_tail(const wchar_t* line) {
    if (*line == L'"') {
        const wchar_t* close = wcschr(line + 1, L'"');
        line = close ? close + 1 : line + wcslen(line);
    } else {
        while (*line && *line != L' ' && *line != L'\t') ++line;
    }
    while (*line == L' ' || *line == L'\t') ++line;
    return line;
}

}  // namespace

int wmain() {
    DWORD exit_code = 1;
    static wchar_t root[path_capacity];
    find_root(root);
    const wchar_t* tail = argument_tail(GetCommandLineW());

    static wchar_t command[command_capacity];
    const int length = _snwprintf(command, command_capacity, L"\"%ls\\zig\\zig.exe\" %ls %ls", root,
                                  L"ranlib", tail);
    if (length < 0 || static_cast<size_t>(length) > command_max_length) {
        write_error(L"zig shim: command line too long\n");
        return 1;
    }

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, command, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &process)) {
        const DWORD error = GetLastError();
        wchar_t message[path_capacity + 96];
        _snwprintf(message, sizeof message / sizeof message[0],
                   L"zig shim: cannot start %ls\\zig\\zig.exe (error %lu)\n", root, error);
        message[sizeof message / sizeof message[0] - 1] = L'\0';
        write_error(message);
        return 1;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    if (!GetExitCodeProcess(process.hProcess, &exit_code)) exit_code = 1;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(exit_code);
}
