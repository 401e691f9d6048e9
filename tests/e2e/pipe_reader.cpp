// A plain reader of a program's output, for the build-screen benchmark:
//   pipe_reader <seconds> <command line...>
// starts the command line with its output on an anonymous pipe, reads 4 KiB blocks and discards
// them for the given seconds after the first byte, prints "<bytes> <seconds>" and ends the program.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <cstdlib>

#include "command_tail.h"

namespace {

double now_seconds() {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return double(now.QuadPart) / double(frequency.QuadPart);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: pipe_reader <seconds> <command line...>\n");
        return 2;
    }
    const double window = _wtof(argv[1]);
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE read_end = nullptr, write_end = nullptr;
    if (!CreatePipe(&read_end, &write_end, &inherit, 0)) return 1;
    SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
    const size_t length = wcslen(command_tail(2)) + 1;
    wchar_t* line = static_cast<wchar_t*>(calloc(length, sizeof(wchar_t)));
    if (!line) return 1;
    wmemcpy(line, command_tail(2), length);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = write_end;
    si.hStdError = write_end;
    PROCESS_INFORMATION pi{};
    const BOOL created = CreateProcessW(nullptr, line, nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                                        nullptr, nullptr, &si, &pi);
    CloseHandle(write_end);
    free(line);
    if (!created) {
        CloseHandle(read_end);
        fprintf(stderr, "cannot start: %lu\n", GetLastError());
        return 1;
    }
    char buffer[4096];
    unsigned long long bytes = 0;
    double start = 0, elapsed = 0;
    DWORD got = 0;
    while (ReadFile(read_end, buffer, sizeof buffer, &got, nullptr) && got > 0) {
        if (start == 0) start = now_seconds();
        else bytes += got;  // the first block only starts the clock
        elapsed = now_seconds() - start;
        if (elapsed >= window) break;
    }
    TerminateProcess(pi.hProcess, 0);
    WaitForSingleObject(pi.hProcess, 5000);
    CloseHandle(read_end);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    printf("%llu %.3f\n", bytes, elapsed);
    return 0;
}
