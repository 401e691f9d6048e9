#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "launcher/folders.h"
#include "launcher/log.h"
#include "launcher/render.h"
#include "launcher/settings.h"
#include "launcher/windows.h"
#include "test_support.h"

namespace {

TEST(WindowRules, InitialClientSize) {
    struct Case { float scale; int work_height; int width; int height; };
    const Case cases[] = {
        {1.0f, 1040, 960, 720}, {1.0f, 728, 873, 655}, {1.5f, 1032, 1237, 928},
        {1.25f, 2000, 1200, 900},
    };
    for (const Case& c : cases) {
        const ClientSize s = initial_client_size(c.scale, c.work_height);
        EXPECT_EQ(s.width, c.width) << c.scale << " " << c.work_height;
        EXPECT_EQ(s.height, c.height) << c.scale << " " << c.work_height;
    }
}

TEST(WindowRules, Letterbox) {
    struct Case { int w, h, x, y, cw, ch; };
    const Case cases[] = {
        {800, 300, 200, 0, 400, 300},    {300, 800, 0, 287, 300, 225},
        {1920, 1080, 240, 0, 1440, 1080}, {1280, 1024, 0, 32, 1280, 960},
        {960, 720, 0, 0, 960, 720},       {1, 1, 0, 0, 1, 0},
    };
    for (const Case& c : cases) {
        const ChildRect r = letterbox_rect(c.w, c.h);
        EXPECT_EQ(r.x, c.x) << c.w << "x" << c.h;
        EXPECT_EQ(r.y, c.y) << c.w << "x" << c.h;
        EXPECT_EQ(r.width, c.cw) << c.w << "x" << c.h;
        EXPECT_EQ(r.height, c.ch) << c.w << "x" << c.h;
    }
}

// Real windows under the test display; ui_ready stays false, so no Dear ImGui is involved.
struct LiveWindows : testing::Test {
    std::wstring dir;
    static void SetUpTestSuite() {
        ASSERT_TRUE(create_windows(GetModuleHandleW(nullptr)));
        ShowWindow(frame_window, SW_SHOWNORMAL);
    }
    void SetUp() override {
        dir = ts::make_temp_dir(L"windows");
        folders.settings_path = dir + L"\\settings.ini";
        folders.logs_dir = dir;
        settings = LauncherSettings{};
        set_fullscreen(false);
    }
    void TearDown() override { ts::remove_tree(dir); }
    static RECT child_rect() {
        RECT r;
        GetWindowRect(child_window, &r);
        MapWindowPoints(HWND_DESKTOP, frame_window, reinterpret_cast<POINT*>(&r), 2);
        return r;
    }
    static void pump() {
        MSG m;
        while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
    }
};

TEST_F(LiveWindows, ChildFollowsTheFrameAt4By3) {
    struct Case { int w, h, x, y, cw, ch; };
    const Case cases[] = {
        {800, 300, 200, 0, 400, 300}, {300, 800, 0, 287, 300, 225}, {640, 480, 0, 0, 640, 480}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.w << "x" << c.h);
        RECT outer = {0, 0, c.w, c.h};
        AdjustWindowRect(&outer, WS_OVERLAPPEDWINDOW, FALSE);
        SetWindowPos(frame_window, nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top,
                     SWP_NOMOVE | SWP_NOZORDER);
        pump();
        RECT client;
        GetClientRect(frame_window, &client);
        ASSERT_EQ(client.right, c.w);
        ASSERT_EQ(client.bottom, c.h);
        const RECT r = child_rect();
        EXPECT_EQ(r.left, c.x);
        EXPECT_EQ(r.top, c.y);
        EXPECT_EQ(r.right - r.left, c.cw);
        EXPECT_EQ(r.bottom - r.top, c.ch);
    }
}

TEST_F(LiveWindows, FullScreenTogglesAndRestoresPlacement) {
    SetWindowPos(frame_window, nullptr, 50, 60, 700, 500, SWP_NOZORDER);
    RECT before;
    GetWindowRect(frame_window, &before);
    set_fullscreen(true);
    EXPECT_TRUE(is_fullscreen());
    const LONG_PTR style = GetWindowLongPtrW(frame_window, GWL_STYLE);
    EXPECT_TRUE(style & WS_POPUP);
    EXPECT_TRUE(style & WS_CLIPCHILDREN);
    RECT full;
    GetWindowRect(frame_window, &full);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(frame_window, MONITOR_DEFAULTTONEAREST), &monitor);
    EXPECT_TRUE(EqualRect(&full, &monitor.rcMonitor));

    set_fullscreen(true);  // already there: nothing happens
    EXPECT_TRUE(is_fullscreen());

    set_fullscreen(false);
    EXPECT_FALSE(is_fullscreen());
    EXPECT_EQ(GetWindowLongPtrW(frame_window, GWL_STYLE) & WS_OVERLAPPEDWINDOW, WS_OVERLAPPEDWINDOW);
    RECT after;
    GetWindowRect(frame_window, &after);
    EXPECT_TRUE(EqualRect(&before, &after));
}

TEST_F(LiveWindows, FullScreenKeysToggleOncePerPressAndSave) {
    const LPARAM first_press = 1;
    const LPARAM repeat = 1 | (1 << 30);
    const LPARAM alt = 1 << 29;
    SendMessageW(child_window, WM_KEYDOWN, VK_F11, first_press);
    EXPECT_TRUE(settings.fullscreen);
    EXPECT_TRUE(is_fullscreen());
    EXPECT_NE(ts::read_file(folders.settings_path).find("fullscreen=1\n"), std::string::npos);
    SendMessageW(child_window, WM_KEYDOWN, VK_F11, repeat);
    EXPECT_TRUE(is_fullscreen()) << "auto-repeat must not toggle back";
    SendMessageW(child_window, WM_SYSKEYDOWN, VK_RETURN, first_press | alt);
    EXPECT_FALSE(is_fullscreen());
    EXPECT_NE(ts::read_file(folders.settings_path).find("fullscreen=0\n"), std::string::npos);
    SendMessageW(child_window, WM_KEYDOWN, VK_RETURN, first_press);
    SendMessageW(child_window, WM_SYSKEYDOWN, VK_RETURN, first_press);  // Enter without Alt
    EXPECT_FALSE(is_fullscreen());
}

// What reaches a window, recorded on the way in; everything is passed on to its own procedure.
struct Spy {
    HWND window = nullptr;
    WNDPROC original = nullptr;
    int menu_chars = 0;  // SC_KEYMENU carrying a character to look up in the window menu
};
Spy spy;

LRESULT CALLBACK spy_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_SYSCOMMAND && (wparam & 0xFFF0) == SC_KEYMENU && lparam != 0) ++spy.menu_chars;
    return CallWindowProcW(spy.original, window, message, wparam, lparam);
}

void watch(HWND window) {
    spy = Spy{};
    spy.window = window;
    spy.original = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(spy_proc)));
}

void unwatch() { SetWindowLongPtrW(spy.window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(spy.original)); }

TEST_F(LiveWindows, AltEnterCharacterNeverReachesTheDefaultProcedure) {
    // The default handling of a system character looks it up in the window menu (and beeps
    // when nothing matches) by sending SC_KEYMENU with the character to the same window.
    watch(child_window);
    SendMessageW(child_window, WM_SYSCHAR, 0x0D, 1 | (1 << 29));
    unwatch();
    EXPECT_EQ(spy.menu_chars, 0);
    // Any other system character does get there, so the spy sees what it should.
    watch(child_window);
    SendMessageW(child_window, WM_SYSCHAR, 'x', 1 | (1 << 29));
    unwatch();
    EXPECT_EQ(spy.menu_chars, 1);
}

// Set while a modal loop runs inside a call that should have returned at once.
struct MenuLoop {
    bool entered = false;
    bool menu_window = false;
};
MenuLoop loop;

void CALLBACK in_modal_loop(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    loop.entered = true;
    loop.menu_window = FindWindowW(L"#32768", nullptr) != nullptr;
    // Leave the menu loop, so that a failing test ends instead of hanging.
    EndMenu();
    for (int i = 0; i < 3; ++i) {
        PostMessageW(frame_window, WM_KEYDOWN, VK_ESCAPE, 1);
        PostMessageW(frame_window, WM_KEYUP, VK_ESCAPE, 1 | (3u << 30));
    }
    PostMessageW(frame_window, WM_CANCELMODE, 0, 0);
}

TEST_F(LiveWindows, AltAloneOpensNoWindowMenu) {
    SetForegroundWindow(frame_window);
    SetFocus(child_window);
    pump();
    // Alt alone, and Alt+Space (which looks the space up in the window menu and opens it).
    for (const LPARAM key : {LPARAM(0), LPARAM(' ')}) {
        for (HWND window : {frame_window, child_window}) {
            SCOPED_TRACE(testing::Message() << (window == frame_window ? "frame" : "child")
                                            << " key " << key);
            loop = MenuLoop{};
            // A timer can only fire inside the call if something in it pumps messages: a menu loop.
            const UINT_PTR timer = SetTimer(nullptr, 0, 300, in_modal_loop);
            ASSERT_NE(timer, 0u);
            const ULONGLONG start = GetTickCount64();
            SendMessageW(window, WM_SYSCOMMAND, SC_KEYMENU, key);
            const ULONGLONG took = GetTickCount64() - start;
            KillTimer(nullptr, timer);
            EXPECT_FALSE(loop.entered) << "a menu loop ran for " << took << " ms";
            EXPECT_FALSE(loop.menu_window);
            EXPECT_EQ(FindWindowW(L"#32768", nullptr), nullptr);
            pump();
        }
    }
}

// Device creation through a stand-in factory that records what it was asked for.
std::vector<D3D_DRIVER_TYPE> asked;
HRESULT hardware_result = S_OK;
HRESULT warp_result = S_OK;
HRESULT WINAPI fake_create(IDXGIAdapter* adapter, D3D_DRIVER_TYPE type, HMODULE module, UINT flags,
                           const D3D_FEATURE_LEVEL* levels, UINT count, UINT sdk,
                           const DXGI_SWAP_CHAIN_DESC* desc, IDXGISwapChain** chain,
                           ID3D11Device** dev, D3D_FEATURE_LEVEL* level,
                           ID3D11DeviceContext** context) {
    asked.push_back(type);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(levels[0], D3D_FEATURE_LEVEL_11_0);
    EXPECT_EQ(levels[1], D3D_FEATURE_LEVEL_10_0);
    EXPECT_EQ(desc->BufferCount, 2u);
    EXPECT_EQ(desc->OutputWindow, child_window);
    if (type == D3D_DRIVER_TYPE_HARDWARE && hardware_result != S_OK) return hardware_result;
    if (type == D3D_DRIVER_TYPE_WARP && warp_result != S_OK) return warp_result;
    // Otherwise the real factory serves exactly what was asked for, so the rest is real.
    return D3D11CreateDeviceAndSwapChain(adapter, type, module, flags, levels, count, sdk, desc,
                                         chain, dev, level, context);
}

void release_device() {
    if (render_target_view) render_target_view->Release();
    if (swap_chain) swap_chain->Release();
    if (device_context) device_context->Release();
    if (device) device->Release();
    render_target_view = nullptr;
    swap_chain = nullptr;
    device_context = nullptr;
    device = nullptr;
}

TEST_F(LiveWindows, DeviceCreationRetriesWithWarpOnlyWhenUnsupported) {
    open_launcher_log();
    create_device_fn = fake_create;
    struct Case { HRESULT hardware, warp; bool ok; std::vector<D3D_DRIVER_TYPE> asked; const char* logged; };
    const D3D_DRIVER_TYPE hw = D3D_DRIVER_TYPE_HARDWARE, warp = D3D_DRIVER_TYPE_WARP;
    // Under Wine the software rasteriser is served by the same device as hardware; the
    // driver type asked for is what tells the two paths apart.
    const Case cases[] = {
        {S_OK, S_OK, true, {hw}, nullptr},
        {DXGI_ERROR_UNSUPPORTED, S_OK, true, {hw, warp}, nullptr},
        {E_FAIL, S_OK, false, {hw}, "D3D11 device creation failed: 0x80004005\n"},
        {DXGI_ERROR_UNSUPPORTED, E_OUTOFMEMORY, false, {hw, warp},
         "D3D11 device creation failed: 0x8007000E\n"},
    };
    const std::wstring log_path = dir + L"\\launcher.log";
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.hardware << " " << c.warp);
        asked.clear();
        hardware_result = c.hardware;
        warp_result = c.warp;
        const size_t logged_before = ts::read_file(log_path).size();
        EXPECT_EQ(create_device(), c.ok);
        EXPECT_EQ(asked, c.asked);
        EXPECT_EQ(render_target_view != nullptr, c.ok);
        const std::string logged = ts::read_file(log_path).substr(logged_before);
        if (c.logged)
            EXPECT_NE(logged.find(c.logged), std::string::npos) << logged;
        else
            EXPECT_EQ(logged, "");
        release_device();
    }
    create_device_fn = D3D11CreateDeviceAndSwapChain;
    fclose(launcher_log_file);
    launcher_log_file = nullptr;
}

}  // namespace
