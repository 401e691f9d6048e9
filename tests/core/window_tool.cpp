// Resizes the launcher's frame from another process, as a window manager or tiling tool does:
//   window_tool resize <count>   SetWindowPos on the frame <count> times, each with a time limit
// Prints "resizes answered N of M"; exit 0 when all were answered, 3 when one hung.
//   window_tool minimize | restore  minimises or restores the frame (no window manager needed)
#include <windows.h>

#include <cstdio>
#include <cwchar>

static HWND frame = nullptr;
static volatile LONG step = 0;

static DWORD WINAPI resize_thread(LPVOID parameter) {
    const int count = static_cast<int>(reinterpret_cast<INT_PTR>(parameter));
    for (int i = 0; i < count; ++i) {
        const int w = 500 + (i * 37) % 500;
        const int h = 380 + (i * 53) % 400;
        // Returns once the launcher's thread has handled the change.
        SetWindowPos(frame, nullptr, 10 + i % 9, 10 + i % 7, w, h, SWP_NOZORDER | SWP_NOACTIVATE);
        InterlockedIncrement(&step);
    }
    return 0;
}

// Waits for the step counter to reach `target`; false after limit_ms without progress.
static bool wait_step(LONG target, DWORD limit_ms) {
    LONG last = step;
    ULONGLONG since = GetTickCount64();
    while (step < target) {
        if (step != last) {
            last = step;
            since = GetTickCount64();
        }
        if (GetTickCount64() - since > limit_ms) return false;
        Sleep(5);
    }
    return true;
}

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return 2;
    const int count = argc > 2 ? _wtoi(argv[2]) : 0;
    frame = FindWindowW(L"VarnisFrame", nullptr);
    if (!frame) {
        std::printf("no frame window\n");
        return 2;
    }
    if (wcscmp(argv[1], L"minimize") == 0) return ShowWindow(frame, SW_MINIMIZE), 0;
    if (wcscmp(argv[1], L"restore") == 0) return ShowWindow(frame, SW_RESTORE), 0;
    if (wcscmp(argv[1], L"resize") == 0) {
        HANDLE thread = CreateThread(nullptr, 0, resize_thread,
                                     reinterpret_cast<LPVOID>(static_cast<INT_PTR>(count)), 0, nullptr);
        const bool all = wait_step(count, 20000);
        std::printf("resizes answered %ld of %d\n", step, count);
        std::fflush(stdout);
        if (!all) {
            std::printf("HANG: resize %ld not answered within 20 s\n", step + 1);
            std::fflush(stdout);
            ExitProcess(3);  // the thread is stuck inside SetWindowPos
        }
        CloseHandle(thread);
        return 0;
    }
    return 2;
}
