#include <gtest/gtest.h>

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
    RECT outer = {0, 0, 800, 300};
    AdjustWindowRect(&outer, WS_OVERLAPPEDWINDOW, FALSE);
    SetWindowPos(frame_window, nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top,
                 SWP_NOMOVE | SWP_NOZORDER);
    pump();
    RECT client;
    GetClientRect(frame_window, &client);
    const ChildRect expected = letterbox_rect(client.right, client.bottom);
    const RECT r = child_rect();
    EXPECT_EQ(r.left, expected.x);
    EXPECT_EQ(r.top, expected.y);
    EXPECT_EQ(r.right - r.left, expected.width);
    EXPECT_EQ(r.bottom - r.top, expected.height);
    EXPECT_EQ(3 * (r.right - r.left), 4 * (r.bottom - r.top));
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
    EXPECT_EQ(SendMessageW(child_window, WM_SYSCHAR, 0x0D, alt), 0);
    EXPECT_EQ(SendMessageW(frame_window, WM_SYSCOMMAND, SC_KEYMENU, 0), 0);
    EXPECT_EQ(SendMessageW(child_window, WM_SYSCOMMAND, SC_KEYMENU, 0), 0);
}

// Device creation through a stand-in factory that records what it was asked for.
std::vector<D3D_DRIVER_TYPE> asked;
HRESULT hardware_result = S_OK;
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
    // The software retry is served by the real factory so the rest of start-up is real.
    return D3D11CreateDeviceAndSwapChain(adapter, D3D_DRIVER_TYPE_HARDWARE, module, flags, levels,
                                         count, sdk, desc, chain, dev, level, context);
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
    struct Case { HRESULT hardware; bool ok; std::vector<D3D_DRIVER_TYPE> asked; };
    const Case cases[] = {
        {S_OK, true, {D3D_DRIVER_TYPE_HARDWARE}},
        {DXGI_ERROR_UNSUPPORTED, true, {D3D_DRIVER_TYPE_HARDWARE, D3D_DRIVER_TYPE_WARP}},
        {E_FAIL, false, {D3D_DRIVER_TYPE_HARDWARE}},
    };
    for (const Case& c : cases) {
        asked.clear();
        hardware_result = c.hardware;
        EXPECT_EQ(create_device(), c.ok);
        EXPECT_EQ(asked, c.asked);
        EXPECT_EQ(render_target_view != nullptr, c.ok);
        release_device();
    }
    create_device_fn = D3D11CreateDeviceAndSwapChain;
    fclose(launcher_log_file);
    launcher_log_file = nullptr;
    EXPECT_NE(ts::read_file(dir + L"\\launcher.log").find("D3D11 device creation failed: 0x80004005\n"),
              std::string::npos);
}

}  // namespace
