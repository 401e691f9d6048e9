#include "launcher/windows.h"

#include <imgui.h>

#include "launcher/render.h"
#include "launcher/settings.h"

extern IMGUI_IMPL_API LRESULT ImGui_ImplWin32_WndProcHandler(HWND, UINT, WPARAM, LPARAM);

HWND frame_window = nullptr;
HWND child_window = nullptr;
ClientSize child_size = {0, 0};
WINDOWPLACEMENT saved_placement = {sizeof(WINDOWPLACEMENT), 0, 0, {}, {}, {}};
float system_scale = 1.0f;

ClientSize initial_client_size(float scale, int work_area_height) {
    int height = static_cast<int>(720.0f * scale);
    const int limit = work_area_height * 9 / 10;
    if (limit < height) height = limit;
    return {height * 4 / 3, height};
}

ChildRect letterbox_rect(int w, int h) {
    int child_w = w;
    int child_h = (3 * w) / 4;
    if (child_h > h) {
        child_h = h;
        child_w = (4 * h) / 3;
    }
    return {(w - child_w) / 2, (h - child_h) / 2, child_w, child_h};
}

bool create_windows(HINSTANCE instance) {
    WNDCLASSEXW frame_class{};
    frame_class.cbSize = sizeof frame_class;
    frame_class.lpfnWndProc = frame_window_proc;
    frame_class.hInstance = instance;
    frame_class.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
    frame_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    frame_class.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    frame_class.lpszClassName = L"VarnisFrame";
    RegisterClassExW(&frame_class);

    WNDCLASSEXW child_class{};
    child_class.cbSize = sizeof child_class;
    child_class.style = CS_CLASSDC;
    child_class.lpfnWndProc = child_window_proc;
    child_class.hInstance = instance;
    child_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    child_class.lpszClassName = L"VarnisLauncher";
    RegisterClassExW(&child_class);

    HDC screen = GetDC(nullptr);
    system_scale = static_cast<float>(GetDeviceCaps(screen, LOGPIXELSX)) / 96.0f;
    ReleaseDC(nullptr, screen);
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const ClientSize size = initial_client_size(system_scale, work.bottom - work.top);
    RECT outer = {0, 0, size.width, size.height};
    AdjustWindowRect(&outer, WS_OVERLAPPEDWINDOW, FALSE);

    frame_window = CreateWindowExW(0, L"VarnisFrame", L"Varnis",
                                   WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT,
                                   CW_USEDEFAULT, outer.right - outer.left,
                                   outer.bottom - outer.top, nullptr, nullptr, instance, nullptr);
    if (!frame_window) return false;
    child_window = CreateWindowExW(0, L"VarnisLauncher", L"Varnis", WS_CHILD | WS_VISIBLE, 0, 0,
                                   size.width, size.height, frame_window, nullptr, instance,
                                   nullptr);
    if (!child_window) return false;
    letterbox_child();
    return true;
}

void show_frame_window() {
    ShowWindow(frame_window, SW_SHOWDEFAULT);
    if (settings.fullscreen) set_fullscreen(true);
    UpdateWindow(frame_window);
    SetFocus(child_window);
}

void letterbox_child() {
    RECT client{};
    GetClientRect(frame_window, &client);
    const int w = client.right - client.left;
    const int h = client.bottom - client.top;
    if (!child_window || w < 1 || h < 1) return;
    const ChildRect r = letterbox_rect(w, h);
    SetWindowPos(child_window, nullptr, r.x, r.y, r.width, r.height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

void fit_frame_to_monitor(bool raise) {
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(frame_window, MONITOR_DEFAULTTONEAREST), &monitor);
    const RECT& m = monitor.rcMonitor;
    const UINT keep = raise ? 0 : SWP_NOACTIVATE | SWP_NOZORDER;
    SetWindowPos(frame_window, raise ? HWND_TOP : nullptr, m.left, m.top, m.right - m.left,
                 m.bottom - m.top, SWP_NOOWNERZORDER | SWP_FRAMECHANGED | keep);
}

bool is_fullscreen() {
    const LONG_PTR style = GetWindowLongPtrW(frame_window, GWL_STYLE);
    return (style & WS_OVERLAPPEDWINDOW) == 0;
}

void set_fullscreen(bool on) {
    if (is_fullscreen() == on) return;
    const LONG_PTR style = GetWindowLongPtrW(frame_window, GWL_STYLE);
    const LONG_PTR base = style & ~static_cast<LONG_PTR>(WS_POPUP | WS_OVERLAPPEDWINDOW);
    if (on) {
        GetWindowPlacement(frame_window, &saved_placement);
        SetWindowLongPtrW(frame_window, GWL_STYLE, base | WS_POPUP);
        fit_frame_to_monitor(true);
    } else {
        SetWindowLongPtrW(frame_window, GWL_STYLE, base | WS_OVERLAPPEDWINDOW);
        SetWindowPlacement(frame_window, &saved_placement);
        SetWindowPos(frame_window, nullptr, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOOWNERZORDER |
                         SWP_FRAMECHANGED);
    }
    letterbox_child();
    SetFocus(child_window);
}

LRESULT CALLBACK frame_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        case WM_SIZE:
            letterbox_child();
            return 0;
        case WM_SETFOCUS:
            if (child_window) SetFocus(child_window);
            return 0;
        case WM_CLOSE:
            if (child_window) SendMessageW(child_window, WM_CLOSE, 0, 0);
            DestroyWindow(window);
            return 0;
        case WM_ERASEBKGND: {
            RECT client;
            GetClientRect(window, &client);
            FillRect(reinterpret_cast<HDC>(wparam), &client,
                     static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
            return 1;
        }
        case WM_SYSCOMMAND:
            if ((wparam & 0xFFF0) == SC_KEYMENU) return 0;
            break;
        case WM_DISPLAYCHANGE:
            forget_refresh_rate();
            // The monitor's rectangle may have changed under a full-screen frame. The player did
            // not ask for the launcher, so it neither comes to the front nor takes the focus.
            if (frame_window && is_fullscreen()) {
                fit_frame_to_monitor(false);
                letterbox_child();
            }
            break;
        case WM_DPICHANGED: {
            const RECT* r = reinterpret_cast<const RECT*>(lparam);
            SetWindowPos(window, nullptr, r->left, r->top, r->right - r->left, r->bottom - r->top,
                         SWP_NOZORDER | SWP_NOACTIVATE);
            return 0;
        }
    }
    return DefWindowProcW(window, message, wparam, lparam);
}

static bool is_fullscreen_key(UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_KEYDOWN && wparam == VK_F11) return true;
    return message == WM_SYSKEYDOWN && wparam == VK_RETURN && (lparam & (1 << 29));
}

static void on_fullscreen_key(LPARAM lparam) {
    if (lparam & (1 << 30)) return;  // auto-repeat: one toggle per press
    settings.fullscreen = !settings.fullscreen;
    set_fullscreen(settings.fullscreen);
    save_settings();
}

bool take_fullscreen_key(const MSG& message) {
    if (!frame_window || !is_fullscreen_key(message.message, message.wParam, message.lParam))
        return false;
    if (message.hwnd != frame_window && !IsChild(frame_window, message.hwnd)) return false;
    on_fullscreen_key(message.lParam);
    return true;
}

LRESULT CALLBACK child_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    // Keys sent straight to the window; queued ones are taken by the main loop already.
    if (is_fullscreen_key(message, wparam, lparam)) {
        on_fullscreen_key(lparam);
        return 0;
    }
    if (message == WM_SYSCHAR && wparam == 0x0D) return 0;  // no beep for Alt+Enter
    if (ui_ready && ImGui_ImplWin32_WndProcHandler(window, message, wparam, lparam)) return 1;
    switch (message) {
        case WM_SYSCOMMAND:
            if ((wparam & 0xFFF0) == SC_KEYMENU) return 0;
            break;
        case WM_MOUSEACTIVATE:
            SetFocus(window);
            break;
        case WM_SIZE:
            // Only recorded: the swap chain follows between frames, never inside the SetWindowPos
            // (of the frame, or of another process) that sent this.
            if (wparam != SIZE_MINIMIZED) child_size = {LOWORD(lparam), HIWORD(lparam)};
            return 0;
    }
    return DefWindowProcW(window, message, wparam, lparam);
}
