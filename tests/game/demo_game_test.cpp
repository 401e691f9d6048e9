// The demo game module as the launcher uses it: prepared, then run on its own thread in a window.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "test_support.h"

namespace {

using ApiFn = int (*)();
using PrepareFn = int (*)(const wchar_t*, const wchar_t*);
using RunFn = int (*)(void*);

struct DemoModule {
    ApiFn api = nullptr;
    PrepareFn prepare = nullptr;
    RunFn run = nullptr;
};

DemoModule load_demo() {
    DemoModule m;
    HMODULE module = LoadLibraryW((ts::exe_dir() + L"\\demo\\varnis_game.dll").c_str());
    if (!module) return m;
    m.api = reinterpret_cast<ApiFn>(reinterpret_cast<void*>(GetProcAddress(module, "varnis_game_api")));
    m.prepare = reinterpret_cast<PrepareFn>(
        reinterpret_cast<void*>(GetProcAddress(module, "varnis_game_prepare")));
    m.run = reinterpret_cast<RunFn>(reinterpret_cast<void*>(GetProcAddress(module, "varnis_game_run")));
    return m;
}

DemoModule demo;

DWORD WINAPI run_demo(LPVOID window) {
    demo.run(window);
    return 0;
}

HWND make_window() {
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"DemoGameTestWindow";
    RegisterClassW(&wc);
    return CreateWindowExW(0, wc.lpszClassName, L"demo", WS_POPUP | WS_VISIBLE, 0, 0, 320, 240,
                           nullptr, nullptr, wc.hInstance, nullptr);
}

// Runs the demo in a fresh window until `frames_seen`, samples the top-left corner (gradient
// only), closes the window and checks that the run returns. -1 on any failure.
int corner_level_after_run() {
    HWND window = make_window();
    if (!window) return -1;
    HANDLE thread = CreateThread(nullptr, 0, run_demo, window, 0, nullptr);
    if (!thread) {
        DestroyWindow(window);
        return -1;
    }
    HDC dc = GetDC(window);
    COLORREF corner = CLR_INVALID;
    ts::wait_until([&] {
        corner = GetPixel(dc, 2, 2);
        return corner != CLR_INVALID && corner != 0;
    }, 5000);
    ReleaseDC(window, dc);
    DestroyWindow(window);
    const bool ended = WaitForSingleObject(thread, 5000) == WAIT_OBJECT_0;
    CloseHandle(thread);
    if (!ended || corner == CLR_INVALID) return -1;
    return GetRValue(corner) + GetGValue(corner) + GetBValue(corner);
}

TEST(DemoGame, PreparesDrawsWithTheBrightnessSavesAndEndsWithTheWindow) {
    demo = load_demo();
    ASSERT_TRUE(demo.api && demo.prepare && demo.run);
    EXPECT_EQ(demo.api(), 1);

    const std::wstring dir = ts::make_temp_dir(L"demo");
    const std::wstring log = dir + L"\\game-20260101-000000.log";
    EXPECT_EQ(demo.prepare(dir.c_str(), log.c_str()), 0);
    EXPECT_FALSE(ts::read_file(log).empty());

    const std::wstring saves = dir + L"\\saves\\M\u00edas";
    ts::ScopedEnv save_dir(L"DRAVIK_SAVE_DIR", saves.c_str());
    ts::ScopedEnv gdi(L"VARNIS_DEMO_GDI", L"1");  // pixels drawn with GDI can be read back
    int dim = 0, bright = 0;
    {
        ts::ScopedEnv b(L"DRAVIK_BRIGHTNESS", L"-72");
        dim = corner_level_after_run();
    }
    {
        ts::ScopedEnv b(L"DRAVIK_BRIGHTNESS", L"14");
        bright = corner_level_after_run();
    }
    ASSERT_GT(dim, 0);
    EXPECT_GT(bright, dim * 3 / 2) << "dim " << dim << ", bright " << bright;
    EXPECT_EQ(ts::read_file(saves + L"\\demo-save.txt"), "plays=2\nbrightness=14\n");
    ts::remove_tree(dir);
}

}  // namespace
