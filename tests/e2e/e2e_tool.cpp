// Windows-side helper of the end-to-end scripts, which cannot see full exit codes through Wine.
//   e2e_tool watch <timeout-ms> <image-name> <command line...>
//     starts the command line, then follows it and every later process of that image name
//     (a relaunch starts a fresh one) until all have ended; prints "exit <pid> <code>" for each
//     and "timeout" when the time ran out (the processes are then left running).
//   e2e_tool frame
//     prints "client <w>x<h> child <w>x<h>" for the visible launcher frame as Windows sees it
//     and ends with 0, or ends with 1 when there is none.
//   e2e_tool dpi
//     prints "system <n> window <n>": the system DPI and the DPI of a per-monitor aware window
//     on the primary monitor, as the launcher's own window would get it. (Wine answers
//     GetDpiForWindow for another process's window with 96 whatever its DPI, so the launcher's
//     frame is not asked directly.)
#include <windows.h>
#include <tlhelp32.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cwchar>
#include <map>
#include <string>

#include "command_tail.h"

namespace {

struct Watched {
    HANDLE handle;
    bool ended;
};

void adopt_new_processes(const wchar_t* image, std::map<DWORD, Watched>& seen) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        if (_wcsicmp(entry.szExeFile, image) != 0 || seen.count(entry.th32ProcessID)) continue;
        HANDLE h = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE,
                               entry.th32ProcessID);
        if (h) seen[entry.th32ProcessID] = {h, false};
    }
    CloseHandle(snapshot);
}

int watch(DWORD timeout_ms, const wchar_t* image, const wchar_t* command) {
    std::wstring line = command;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        printf("start failed %lu\n", GetLastError());
        return 2;
    }
    CloseHandle(pi.hThread);
    std::map<DWORD, Watched> seen;
    seen[pi.dwProcessId] = {pi.hProcess, false};
    const ULONGLONG end = GetTickCount64() + timeout_ms;
    for (;;) {
        adopt_new_processes(image, seen);
        bool all_ended = true;
        for (auto& [pid, w] : seen) {
            if (w.ended || WaitForSingleObject(w.handle, 0) != WAIT_OBJECT_0) {
                all_ended = all_ended && w.ended;
                continue;
            }
            DWORD code = 0;
            GetExitCodeProcess(w.handle, &code);
            printf("exit %lu %lu\n", pid, code);
            fflush(stdout);
            w.ended = true;
        }
        if (all_ended) break;
        if (GetTickCount64() > end) {
            printf("timeout\n");
            fflush(stdout);
            break;
        }
        Sleep(20);
    }
    for (auto& [pid, w] : seen) CloseHandle(w.handle);
    return 0;
}

template <typename Fn>
Fn user32_function(const char* name) {
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    return user32 ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(user32, name)))
                  : nullptr;
}

// Per-monitor aware like the launcher, so that Windows reports sizes and DPI unscaled.
void become_dpi_aware() {
    const auto set_context = user32_function<BOOL(WINAPI*)(HANDLE)>("SetProcessDpiAwarenessContext");
    if (set_context) set_context(reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-4)));
}

int report_frame() {
    become_dpi_aware();
    HWND frame = FindWindowW(L"VarnisFrame", nullptr);
    if (!frame || !IsWindowVisible(frame)) return 1;
    HWND child = FindWindowExW(frame, nullptr, L"VarnisLauncher", nullptr);
    RECT client{}, inner{};
    GetClientRect(frame, &client);
    if (child) GetClientRect(child, &inner);
    printf("client %ldx%ld child %ldx%ld\n", client.right, client.bottom, inner.right, inner.bottom);
    return 0;
}

int report_dpi() {
    become_dpi_aware();
    const auto system_dpi = user32_function<UINT(WINAPI*)()>("GetDpiForSystem");
    const auto window_dpi = user32_function<UINT(WINAPI*)(HWND)>("GetDpiForWindow");
    if (!system_dpi || !window_dpi) return 1;
    HWND probe = CreateWindowExW(0, L"STATIC", L"dpi probe", WS_POPUP, 0, 0, 16, 16, nullptr,
                                 nullptr, nullptr, nullptr);
    if (!probe) return 1;
    printf("system %u window %u\n", system_dpi(), window_dpi(probe));
    DestroyWindow(probe);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    _setmode(_fileno(stdout), _O_BINARY);  // the scripts read plain LF lines
    if (argc >= 5 && wcscmp(argv[1], L"watch") == 0)
        return watch(static_cast<DWORD>(_wtoi(argv[2])), argv[3], command_tail(4));
    if (argc == 2 && wcscmp(argv[1], L"frame") == 0) return report_frame();
    if (argc == 2 && wcscmp(argv[1], L"dpi") == 0) return report_dpi();
    fprintf(stderr, "usage: e2e_tool watch <timeout-ms> <image-name> <command line...> | frame | dpi\n");
    return 2;
}
