// The main loop with real windows, a real device under the test display and real Dear ImGui. The
// swap chain is wrapped so a test can make Present or ResizeBuffers return the codes of an
// occluded window or a lost device, count what reached the real chain and read the picture back.
#include <gtest/gtest.h>

#include <d3d11.h>
#include <imgui.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "game/game_thread.h"
#include "launcher/folders.h"
#include "launcher/log.h"
#include "launcher/render.h"
#include "launcher/screen_flow.h"
#include "launcher/settings.h"
#include "launcher/windows.h"
#include "pipeline/build_runner.h"
#include "test_support.h"

namespace {

// What the wrapped swap chains do and saw.
struct ChainScript {
    bool occluded = false;            // Present reports DXGI_STATUS_OCCLUDED and shows nothing
    HRESULT next_present = S_OK;      // returned once by the next Present instead of presenting
    HRESULT next_resize = S_OK;       // returned once by the next ResizeBuffers
    bool read_back = false;           // count lit pixels of each presented picture
    int presents = 0;                 // pictures that reached a real swap chain
    int tests = 0;                    // Present calls with DXGI_PRESENT_TEST
    int lit_pixels = -1;              // of the last picture read back
    int factory_calls = 0;
    int resizes = 0;                  // ResizeBuffers calls that reached the real chain
    bool probe = false;               // end an event query right after each real Present
    int failing_creations = 0;        // the next device creations that fail
    ID3D11Device* last_device = nullptr;
};
ChainScript script;

// Pixels of the back buffer that are clearly brighter than the background (text, buttons).
int count_lit_pixels(IDXGISwapChain* chain) {
    ID3D11Texture2D* buffer = nullptr;
    if (FAILED(chain->GetBuffer(0, __uuidof(ID3D11Texture2D), reinterpret_cast<void**>(&buffer))))
        return -1;
    D3D11_TEXTURE2D_DESC desc;
    buffer->GetDesc(&desc);
    ID3D11Device* dev = nullptr;
    buffer->GetDevice(&dev);
    ID3D11DeviceContext* context = nullptr;
    dev->GetImmediateContext(&context);
    desc.Usage = D3D11_USAGE_STAGING;
    desc.BindFlags = 0;
    desc.CPUAccessFlags = D3D11_CPU_ACCESS_READ;
    desc.MiscFlags = 0;
    ID3D11Texture2D* staging = nullptr;
    int lit = -1;
    D3D11_MAPPED_SUBRESOURCE mapped;
    if (SUCCEEDED(dev->CreateTexture2D(&desc, nullptr, &staging))) {
        context->CopyResource(staging, buffer);
        if (SUCCEEDED(context->Map(staging, 0, D3D11_MAP_READ, 0, &mapped))) {
            lit = 0;
            for (UINT y = 0; y < desc.Height; ++y) {
                const auto* row = static_cast<const unsigned char*>(mapped.pData) + y * mapped.RowPitch;
                for (UINT x = 0; x < desc.Width; ++x)
                    lit += row[4 * x] > 128 || row[4 * x + 1] > 128 || row[4 * x + 2] > 128;
            }
            context->Unmap(staging, 0);
        }
        staging->Release();
    }
    context->Release();
    dev->Release();
    buffer->Release();
    return lit;
}

struct TestSwapChain final : IDXGISwapChain {
    explicit TestSwapChain(IDXGISwapChain* real) : real(real) {}
    IDXGISwapChain* real;
    ULONG refs = 1;
    ID3D11Query* presented = nullptr;  // ended after the last real Present when probing

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (riid == __uuidof(IUnknown) || riid == __uuidof(IDXGIObject) ||
            riid == __uuidof(IDXGIDeviceSubObject) || riid == __uuidof(IDXGISwapChain)) {
            *out = this;
            AddRef();
            return S_OK;
        }
        return real->QueryInterface(riid, out);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --refs;
        if (left == 0) {
            if (presented) presented->Release();
            real->Release();
            delete this;
        }
        return left;
    }
    HRESULT STDMETHODCALLTYPE SetPrivateData(REFGUID g, UINT n, const void* d) override {
        return real->SetPrivateData(g, n, d);
    }
    HRESULT STDMETHODCALLTYPE SetPrivateDataInterface(REFGUID g, const IUnknown* o) override {
        return real->SetPrivateDataInterface(g, o);
    }
    HRESULT STDMETHODCALLTYPE GetPrivateData(REFGUID g, UINT* n, void* d) override {
        return real->GetPrivateData(g, n, d);
    }
    HRESULT STDMETHODCALLTYPE GetParent(REFIID riid, void** out) override {
        return real->GetParent(riid, out);
    }
    HRESULT STDMETHODCALLTYPE GetDevice(REFIID riid, void** out) override {
        return real->GetDevice(riid, out);
    }
    HRESULT STDMETHODCALLTYPE Present(UINT sync, UINT flags) override {
        if (flags & DXGI_PRESENT_TEST) {
            ++script.tests;
            return script.occluded ? DXGI_STATUS_OCCLUDED : S_OK;
        }
        if (script.next_present != S_OK) {
            const HRESULT result = script.next_present;
            script.next_present = S_OK;
            return result;
        }
        if (script.occluded) return DXGI_STATUS_OCCLUDED;
        ++script.presents;
        if (script.read_back) script.lit_pixels = count_lit_pixels(real);
        const HRESULT result = real->Present(sync, flags);
        if (script.probe) end_probe();
        return result;
    }
    void end_probe() {
        ID3D11Device* dev = nullptr;
        if (FAILED(real->GetDevice(__uuidof(ID3D11Device), reinterpret_cast<void**>(&dev)))) return;
        ID3D11DeviceContext* context = nullptr;
        dev->GetImmediateContext(&context);
        if (!presented) {
            D3D11_QUERY_DESC desc{D3D11_QUERY_EVENT, 0};
            dev->CreateQuery(&desc, &presented);
        }
        if (presented) context->End(presented);
        context->Release();
        dev->Release();
    }
    // True when the device has finished everything up to and including the last Present.
    bool present_done() {
        ID3D11Device* dev = nullptr;
        if (!presented || FAILED(real->GetDevice(__uuidof(ID3D11Device), reinterpret_cast<void**>(&dev))))
            return false;
        ID3D11DeviceContext* context = nullptr;
        dev->GetImmediateContext(&context);
        BOOL done = FALSE;
        const HRESULT result =
            context->GetData(presented, &done, sizeof done, D3D11_ASYNC_GETDATA_DONOTFLUSH);
        context->Release();
        dev->Release();
        return result == S_OK && done;
    }
    HRESULT STDMETHODCALLTYPE GetBuffer(UINT i, REFIID riid, void** out) override {
        return real->GetBuffer(i, riid, out);
    }
    HRESULT STDMETHODCALLTYPE SetFullscreenState(WINBOOL on, IDXGIOutput* o) override {
        return real->SetFullscreenState(on, o);
    }
    HRESULT STDMETHODCALLTYPE GetFullscreenState(WINBOOL* on, IDXGIOutput** o) override {
        return real->GetFullscreenState(on, o);
    }
    HRESULT STDMETHODCALLTYPE GetDesc(DXGI_SWAP_CHAIN_DESC* d) override { return real->GetDesc(d); }
    HRESULT STDMETHODCALLTYPE ResizeBuffers(UINT n, UINT w, UINT h, DXGI_FORMAT f, UINT fl) override {
        if (script.next_resize != S_OK) {
            const HRESULT result = script.next_resize;
            script.next_resize = S_OK;
            return result;
        }
        ++script.resizes;
        return real->ResizeBuffers(n, w, h, f, fl);
    }
    HRESULT STDMETHODCALLTYPE ResizeTarget(const DXGI_MODE_DESC* d) override {
        return real->ResizeTarget(d);
    }
    HRESULT STDMETHODCALLTYPE GetContainingOutput(IDXGIOutput** o) override {
        return real->GetContainingOutput(o);
    }
    HRESULT STDMETHODCALLTYPE GetFrameStatistics(DXGI_FRAME_STATISTICS* s) override {
        return real->GetFrameStatistics(s);
    }
    HRESULT STDMETHODCALLTYPE GetLastPresentCount(UINT* n) override {
        return real->GetLastPresentCount(n);
    }
};

HRESULT WINAPI wrapping_create(IDXGIAdapter* adapter, D3D_DRIVER_TYPE type, HMODULE module,
                               UINT flags, const D3D_FEATURE_LEVEL* levels, UINT count, UINT sdk,
                               const DXGI_SWAP_CHAIN_DESC* desc, IDXGISwapChain** chain,
                               ID3D11Device** dev, D3D_FEATURE_LEVEL* level,
                               ID3D11DeviceContext** context) {
    ++script.factory_calls;
    if (script.failing_creations > 0) {
        --script.failing_creations;
        return E_FAIL;
    }
    const HRESULT result = D3D11CreateDeviceAndSwapChain(adapter, type, module, flags, levels, count,
                                                         sdk, desc, chain, dev, level, context);
    if (FAILED(result)) return result;
    *chain = new TestSwapChain(*chain);
    script.last_device = *dev;
    return result;
}

double seconds_since(ULONGLONG start) { return (GetTickCount64() - start) / 1000.0; }

// Runs the main loop for a while; returns its iterations.
int run_loop_for(double seconds) {
    const ULONGLONG start = GetTickCount64();
    int iterations = 0;
    while (seconds_since(start) < seconds) {
        EXPECT_TRUE(run_one_iteration());
        ++iterations;
    }
    return iterations;
}

// Iterations until the count of presented pictures grows (at most `limit`), or -1.
int iterations_to_next_picture(int limit) {
    const int before = script.presents;
    for (int i = 1; i <= limit; ++i) {
        EXPECT_TRUE(run_one_iteration());
        if (script.presents > before) return i;
    }
    return -1;
}

std::string read_log(const std::wstring& dir) {
    fflush(launcher_log_file);
    return ts::read_file(dir + L"\\launcher.log");
}

int count_of(const std::string& text, const std::string& part) {
    int n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

struct Loop : testing::Test {
    static std::wstring dir;
    static void SetUpTestSuite() {
        dir = ts::make_temp_dir(L"loop");
        folders = Folders{};
        folders.data_dir = dir;
        derive_folder_paths(folders);
        folders.logs_dir = dir;
        settings = LauncherSettings{};
        open_launcher_log();
        ASSERT_TRUE(create_windows(GetModuleHandleW(nullptr)));
        create_device_fn = wrapping_create;
        ASSERT_TRUE(create_device());
        ShowWindow(frame_window, SW_SHOWNORMAL);
        // A small window, so unpaced frames would come quickly.
        RECT outer = {0, 0, 480, 360};
        AdjustWindowRect(&outer, WS_OVERLAPPEDWINDOW, FALSE);
        SetWindowPos(frame_window, nullptr, 0, 0, outer.right - outer.left,
                     outer.bottom - outer.top, SWP_NOMOVE | SWP_NOZORDER);
        ui_scale = 1.0f;
        init_ui();
    }
    static void TearDownTestSuite() {
        // No shutdown_ui here: Wine 8's XInput thread now and then crashed after the platform
        // backend unloaded XInput at the end of this suite; the process ends right after anyway.
        create_device_fn = D3D11CreateDeviceAndSwapChain;
        DestroyWindow(frame_window);
        fclose(launcher_log_file);
        launcher_log_file = nullptr;
        ts::remove_tree(dir);
    }
    void SetUp() override {
        script = ChainScript{};
        script.last_device = device;
        current_screen = Iso;
        play_requested = false;
        ShowWindow(frame_window, SW_RESTORE);
        ASSERT_NE(iterations_to_next_picture(20), -1) << "the loop draws at the start";
    }
};
std::wstring Loop::dir;

TEST_F(Loop, FirstFrameHasTheChildsSizeAfterASizeChangeBeforeTheInterface) {
    // init_ui has run after the window was resized above: the back buffers must follow anyway.
    RECT client;
    GetClientRect(child_window, &client);
    DXGI_SWAP_CHAIN_DESC desc{};
    ASSERT_TRUE(SUCCEEDED(swap_chain->GetDesc(&desc)));
    EXPECT_EQ(desc.BufferDesc.Width, static_cast<UINT>(client.right));
    EXPECT_EQ(desc.BufferDesc.Height, static_cast<UINT>(client.bottom));
    EXPECT_EQ(client.right, 480);
    EXPECT_EQ(client.bottom, 360);
}

TEST_F(Loop, NothingIsDrawnWhileMinimised) {
    DXGI_SWAP_CHAIN_DESC before{};
    swap_chain->GetDesc(&before);
    ShowWindow(frame_window, SW_MINIMIZE);
    ASSERT_TRUE(IsIconic(frame_window));
    const int presents = script.presents;
    const int iterations = run_loop_for(0.5);
    EXPECT_EQ(script.presents, presents);
    EXPECT_LE(iterations, 20) << "a minimised loop wakes about every 50 ms";
    DXGI_SWAP_CHAIN_DESC during{};
    swap_chain->GetDesc(&during);
    EXPECT_EQ(during.BufferDesc.Width, before.BufferDesc.Width);
    EXPECT_EQ(during.BufferDesc.Height, before.BufferDesc.Height);
    ShowWindow(frame_window, SW_RESTORE);
    EXPECT_NE(iterations_to_next_picture(20), -1) << "drawing resumes when restored";
}

TEST_F(Loop, OccludedWindowSleepsInsteadOfDrawingAndDrawsAgainWhenSeen) {
    script.occluded = true;
    run_one_iteration();  // its Present says occluded
    const int presents = script.presents;
    const int iterations = run_loop_for(1.0);
    EXPECT_EQ(script.presents, presents);
    EXPECT_EQ(script.tests, iterations) << "one test present per iteration, no drawing";
    EXPECT_GE(iterations, 3);
    EXPECT_LE(iterations, 150) << "the loop spins while occluded";
    script.occluded = false;
    EXPECT_EQ(iterations_to_next_picture(1), 1) << "the first visible iteration draws";
    const int tests = script.tests;
    run_loop_for(0.2);
    EXPECT_EQ(script.tests, tests) << "no more test presents once visible";
}

// The device is lost at one of the two calls that report it; the loop must make a new device,
// hand it to the renderer backend and draw the same screen with it.
TEST_F(Loop, LostDeviceIsCreatedAgainAndDrawsTheNextFrame) {
    struct Case { const char* where; HRESULT code; const char* logged; };
    const Case cases[] = {
        {"present", DXGI_ERROR_DEVICE_REMOVED, "D3D11 device lost: 0x887A0005"},
        {"present", DXGI_ERROR_DEVICE_RESET, "D3D11 device lost: 0x887A0007"},
        {"resize", DXGI_ERROR_DEVICE_REMOVED, "D3D11 device lost: 0x887A0005"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.where) + " " + c.logged);
        const std::string log_before = read_log(dir);
        script.read_back = true;
        ID3D11Device* old_device = script.last_device;
        old_device->AddRef();
        const int calls = script.factory_calls;
        if (std::string(c.where) == "present") {
            script.next_present = c.code;
            for (int i = 0; i < 5 && !device_lost; ++i) ASSERT_TRUE(run_one_iteration());
        } else {
            script.next_resize = c.code;
            RECT outer = {0, 0, 400, 300};
            AdjustWindowRect(&outer, WS_OVERLAPPEDWINDOW, FALSE);
            SetWindowPos(frame_window, nullptr, 0, 0, outer.right - outer.left,
                         outer.bottom - outer.top, SWP_NOMOVE | SWP_NOZORDER);
            EXPECT_FALSE(device_lost) << "the swap chain is resized between frames only";
            ASSERT_TRUE(run_one_iteration());
        }
        EXPECT_TRUE(device_lost);
        EXPECT_EQ(device, nullptr);
        EXPECT_EQ(old_device->Release(), 0u) << "every object of the old device is released";

        script.presents = 0;
        script.lit_pixels = -1;
        EXPECT_NE(iterations_to_next_picture(3), -1) << "the next frame is drawn";
        EXPECT_EQ(script.factory_calls, calls + 1);
        EXPECT_FALSE(device_lost);
        EXPECT_GT(script.lit_pixels, 100) << "the backend draws the screen with the new device";
        RECT client;
        GetClientRect(child_window, &client);
        DXGI_SWAP_CHAIN_DESC desc{};
        swap_chain->GetDesc(&desc);
        EXPECT_EQ(desc.BufferDesc.Width, static_cast<UINT>(client.right));

        const std::string log = read_log(dir).substr(log_before.size());
        EXPECT_EQ(count_of(log, c.logged), 1) << log;
        EXPECT_EQ(count_of(log, "D3D11 device lost"), 1) << log;
        EXPECT_EQ(count_of(log, "D3D11 device restored"), 1) << log;
    }
}

TEST_F(Loop, WithoutADeviceTheLoopRetriesAboutOnceASecond) {
    const std::string log_before = read_log(dir);
    script.next_present = DXGI_ERROR_DEVICE_REMOVED;
    script.failing_creations = 1000;
    const int calls = script.factory_calls;
    for (int i = 0; i < 5 && !device_lost; ++i) run_one_iteration();
    ASSERT_TRUE(device_lost);
    const int presents = script.presents;
    const int iterations = run_loop_for(2.5);
    const int tries = script.factory_calls - calls;
    EXPECT_GE(tries, 2);
    EXPECT_LE(tries, 4);
    EXPECT_LE(iterations, 100) << "the loop spins without a device";
    EXPECT_EQ(script.presents, presents);

    script.failing_creations = 0;
    script.read_back = true;
    const ULONGLONG start = GetTickCount64();
    while (device_lost && seconds_since(start) < 3.0) run_one_iteration();
    EXPECT_FALSE(device_lost);
    EXPECT_NE(iterations_to_next_picture(3), -1);
    EXPECT_GT(script.lit_pixels, 100);
    const std::string log = read_log(dir).substr(log_before.size());
    EXPECT_EQ(count_of(log, "D3D11 device lost: 0x887A0005"), 1) << log;
    EXPECT_EQ(count_of(log, "D3D11 device restored"), 1) << log;
    EXPECT_EQ(count_of(log, "D3D11 device creation failed"), 0) << log;
}

DWORD ten_hertz(HMONITOR) { return 10; }

// Xvfb gives no vertical sync: Present returns at once, so only the loop's own pacing holds the
// build screen to the refresh rate. A 10 Hz display keeps that apart from a loaded machine's
// own slowness (unpaced, the loop draws 25 to 110 frames a second here).
TEST_F(Loop, BuildScreenDrawsNoFasterThanTheRefreshRate) {
    DEVMODEW mode{};
    mode.dmSize = sizeof mode;
    ASSERT_TRUE(EnumDisplaySettingsW(nullptr, ENUM_CURRENT_SETTINGS, &mode));
    const DWORD reported = mode.dmDisplayFrequency;
    EXPECT_EQ(monitor_refresh_rate(MonitorFromWindow(frame_window, MONITOR_DEFAULTTONEAREST)),
              reported > 1 ? reported : 60u);

    auto job = std::make_shared<BuildJob>();
    job->stage = "lift";
    job->status = "Recompile the game code";
    job->progress = 0.42f;
    current_build = job;
    current_screen = Build;
    refresh_rate_fn = ten_hertz;
    forget_refresh_rate();
    run_loop_for(0.3);
    script.presents = 0;
    const double seconds = 2.0;
    run_loop_for(seconds);
    std::printf("%d frames in %.1f s at 10 Hz\n", script.presents, seconds);
    EXPECT_LE(script.presents, 1.3 * 10 * seconds);
    EXPECT_GE(script.presents, 10) << "the build screen is still drawn";
    refresh_rate_fn = monitor_refresh_rate;
    forget_refresh_rate();
    current_build.reset();
}

TestSwapChain* test_chain() { return static_cast<TestSwapChain*>(swap_chain); }

void set_client_size(int w, int h) {
    RECT outer = {0, 0, w, h};
    AdjustWindowRect(&outer, WS_OVERLAPPEDWINDOW, FALSE);
    SetWindowPos(frame_window, nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top,
                 SWP_NOMOVE | SWP_NOZORDER);
}

// Wine 8 freezes for good when the main thread handles a window change while its command-stream
// thread still executes a Present; so when an iteration ends (and the next one handles messages),
// the device must have finished the frame, Present included.
TEST_F(Loop, NothingOfAFrameIsStillInFlightWhenTheIterationEnds) {
    script.probe = true;
    for (const Screen screen : {Iso, Build}) {
        SCOPED_TRACE(screen);
        current_screen = screen;
        int drawn = 0, in_flight = 0;
        for (int i = 0; i < 40; ++i) {
            const int before = script.presents;
            ASSERT_TRUE(run_one_iteration());
            if (script.presents == before) continue;
            ++drawn;
            in_flight += !test_chain()->present_done();
        }
        EXPECT_GE(drawn, 5);
        EXPECT_EQ(in_flight, 0) << "of " << drawn << " frames";
    }
}

// The swap chain follows the child between frames only: never inside the SetWindowPos of a
// full-screen switch or a resize (where Wine's window code runs), once on the next iteration.
TEST_F(Loop, SwapChainIsResizedOnTheNextIterationOnly) {
    struct Case { const char* what; void (*change)(); };
    const Case cases[] = {
        {"full screen on", [] { set_fullscreen(true); }},
        {"full screen off", [] { set_fullscreen(false); }},
        {"frame resized", [] { set_client_size(640, 400); }},
        {"F11 through the queue", [] {
             PostMessageW(child_window, WM_KEYDOWN, VK_F11, 1);
             MSG m;
             while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
                 if (!take_fullscreen_key(m)) DispatchMessageW(&m);
             }
         }},
        {"frame resized again", [] { set_client_size(480, 360); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const int before = script.resizes;
        c.change();
        EXPECT_EQ(script.resizes, before) << "no ResizeBuffers inside the window change";
        ASSERT_TRUE(run_one_iteration());
        EXPECT_EQ(script.resizes, before + 1) << "exactly one on the next iteration";
        RECT client;
        GetClientRect(child_window, &client);
        DXGI_SWAP_CHAIN_DESC desc{};
        swap_chain->GetDesc(&desc);
        EXPECT_EQ(desc.BufferDesc.Width, static_cast<UINT>(client.right));
        EXPECT_EQ(desc.BufferDesc.Height, static_cast<UINT>(client.bottom));
        ASSERT_NE(iterations_to_next_picture(20), -1);
        EXPECT_EQ(script.resizes, before + 1) << "and none after";
    }
    settings.fullscreen = false;
    set_fullscreen(false);
}

// True when `upper` comes before `lower` in the order of top-level windows.
bool is_above(HWND upper, HWND lower) {
    for (HWND w = GetWindow(upper, GW_HWNDNEXT); w; w = GetWindow(w, GW_HWNDNEXT))
        if (w == lower) return true;
    return false;
}

TEST_F(Loop, DisplayChangeFitsAFullScreenFrameAgainAndLeavesFocusAndOrder) {
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(frame_window, MONITOR_DEFAULTTONEAREST), &monitor);
    ASSERT_EQ(monitor.rcMonitor.right - monitor.rcMonitor.left, 1280) << "the test display";
    ASSERT_EQ(monitor.rcMonitor.bottom - monitor.rcMonitor.top, 1024);
    set_fullscreen(true);
    EXPECT_NE(iterations_to_next_picture(5), -1);
    // Another of the test's windows, active and above the frame, as the player's browser would be.
    HWND other = CreateWindowExW(0, L"STATIC", L"other", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100,
                                 300, 200, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(other, nullptr);
    SetWindowPos(other, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    SetForegroundWindow(other);
    SetActiveWindow(other);
    EXPECT_NE(iterations_to_next_picture(5), -1);
    ASSERT_EQ(GetForegroundWindow(), other);
    ASSERT_TRUE(is_above(other, frame_window));

    // As if the display had been 800 x 600 when the frame went full screen.
    SetWindowPos(frame_window, nullptr, 0, 0, 800, 600, SWP_NOZORDER | SWP_NOACTIVATE);
    SendMessageW(frame_window, WM_DISPLAYCHANGE, 24, MAKELPARAM(1280, 1024));
    EXPECT_NE(iterations_to_next_picture(5), -1);
    RECT frame;
    GetWindowRect(frame_window, &frame);
    EXPECT_TRUE(EqualRect(&frame, &monitor.rcMonitor));
    RECT child;
    GetWindowRect(child_window, &child);
    MapWindowPoints(HWND_DESKTOP, frame_window, reinterpret_cast<POINT*>(&child), 2);
    const RECT letterboxed = {0, 32, 1280, 992};
    EXPECT_TRUE(EqualRect(&child, &letterboxed));
    EXPECT_EQ(GetForegroundWindow(), other) << "the display change took the focus";
    EXPECT_EQ(GetActiveWindow(), other);
    EXPECT_TRUE(is_above(other, frame_window)) << "the display change raised the frame";
    DestroyWindow(other);

    set_fullscreen(false);
    EXPECT_NE(iterations_to_next_picture(5), -1);
    RECT windowed;
    GetWindowRect(frame_window, &windowed);
    SendMessageW(frame_window, WM_DISPLAYCHANGE, 24, MAKELPARAM(1280, 1024));
    GetWindowRect(frame_window, &frame);
    EXPECT_TRUE(EqualRect(&frame, &windowed)) << "a windowed frame stays where it is";
    EXPECT_NE(iterations_to_next_picture(5), -1);
}

// --- The loop's rules that need no device.

std::vector<UINT> dispatched;
LRESULT CALLBACK counting_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message >= WM_APP) {
        dispatched.push_back(message);
        return 0;
    }
    return DefWindowProcW(window, message, wparam, lparam);
}

TEST(LoopRules, EveryQueuedMessageIsDispatchedBeforeTheLoopEnds) {
    WNDCLASSW window_class{};
    window_class.lpfnWndProc = counting_proc;
    window_class.hInstance = GetModuleHandleW(nullptr);
    window_class.lpszClassName = L"LoopTestCounter";
    RegisterClassW(&window_class);
    HWND window = CreateWindowExW(0, L"LoopTestCounter", L"", 0, 0, 0, 10, 10, HWND_MESSAGE,
                                  nullptr, window_class.hInstance, nullptr);
    ASSERT_NE(window, nullptr);
    MSG stale;
    while (PeekMessageW(&stale, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&stale);
    dispatched.clear();
    PostMessageW(window, WM_APP + 1, 0, 0);
    PostMessageW(window, WM_APP + 2, 0, 0);
    PostThreadMessageW(GetCurrentThreadId(), WM_QUIT, 0, 0);
    PostMessageW(window, WM_APP + 3, 0, 0);
    EXPECT_FALSE(run_one_iteration()) << "WM_QUIT ends the loop";
    EXPECT_EQ(dispatched, (std::vector<UINT>{WM_APP + 1, WM_APP + 2, WM_APP + 3}));
    DestroyWindow(window);
}

std::vector<std::string> requests;
void record_relaunch() { requests.push_back("relaunch"); }
void record_hand_off() { requests.push_back("hand-off"); }

TEST(LoopRules, RelaunchWinsOverAPendingHandOff) {
    struct Case { Screen drawn; Screen after; bool play; const char* done; bool go_on; };
    const Case cases[] = {
        {Restart, Restart, true, "relaunch", false},
        {Restart, Restart, false, "relaunch", false},
        {Build, Restart, true, "", true},  // Restart is drawn first, then relaunched
        {Splash, Splash, true, "hand-off", true},
        {Splash, Splash, false, "", true},
    };
    relaunch_fn = record_relaunch;
    hand_off_fn = record_hand_off;
    for (const Case& c : cases) {
        requests.clear();
        current_screen = c.after;
        play_requested = c.play;
        EXPECT_EQ(act_on_requests(c.drawn), c.go_on) << c.drawn << " " << c.after << " " << c.play;
        const std::string done = requests.empty() ? "" : requests[0];
        EXPECT_EQ(done, c.done) << c.drawn << " " << c.after << " " << c.play;
        EXPECT_LE(requests.size(), 1u);
    }
    relaunch_fn = relaunch_self;
    hand_off_fn = hand_off_to_game;
    play_requested = false;
}

}  // namespace
