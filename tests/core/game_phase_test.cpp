// F11 and Alt+Enter while a game module runs that left DXGI's own Alt+Enter switched on (no
// DXGI_MWA_NO_ALT_ENTER) and put its own window procedure on the child: the launcher's loop takes
// both keys before any window procedure, so its own full screen switches, the game never sees
// them, and the game's window stays the frame's child. In a child process
// under a watchdog, as the game presents from its own thread all the while.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "game/game_module.h"
#include "game/game_thread.h"
#include "launcher/folders.h"
#include "launcher/log.h"
#include "launcher/screen_flow.h"
#include "launcher/settings.h"
#include "launcher/windows.h"
#include "test_support.h"
#include "watchdog.h"

namespace {

// Wine 8 freezes for good when the frame is moved while another thread presents into the child
// (the main thread in XSync holding the display lock, the presenting thread waiting for that lock
// to report an X error; with Wine's csmt off as well, measured). The launcher cannot keep a game
// from presenting, so under Wine 8 the game holds its presents while a key is handled.
bool wine_8() {
    using VersionFn = const char*(CDECL*)();
    auto version = reinterpret_cast<VersionFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version")));
    return version && std::strncmp(version(), "8.", 2) == 0;
}

// --- The game phase: a module whose swap chain keeps DXGI's own Alt+Enter (no
// DXGI_MWA_NO_ALT_ENTER) presents on the child; the launcher's loop takes F11 and Alt+Enter
// before any window procedure, so its own full screen switches and the child stays a child.

template <typename Fn>
Fn export_of(HMODULE module, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// Game-phase iterations of the main loop for every queued message, without blocking for more.
void pump_game_phase() {
    PostMessageW(frame_window, WM_NULL, 0, 0);
    MSG peeked;
    while (PeekMessageW(&peeked, nullptr, 0, 0, PM_NOREMOVE) && run_one_iteration()) {
    }
}

int child_main(int, char**) {
    const std::wstring dir = ts::make_temp_dir(L"game-phase");
    folders = Folders{};
    folders.data_dir = dir;
    derive_folder_paths(folders);
    folders.logs_dir = dir;
    settings = LauncherSettings{};
    open_launcher_log();
    if (!create_windows(GetModuleHandleW(nullptr))) return 4;
    show_frame_window();
    HMODULE module = LoadLibraryW((ts::exe_dir() + L"\\fixture_dxgi_game.dll").c_str());
    game_run = module ? export_of<GameRunFn>(module, "varnis_game_run") : nullptr;
    auto presents = module ? export_of<LONG (*)()>(module, "fixture_presents") : nullptr;
    auto keys_taken = module ? export_of<LONG (*)()>(module, "fixture_keys_taken") : nullptr;
    auto hold = module ? export_of<bool (*)(bool)>(module, "fixture_hold") : nullptr;
    if (!game_run || !presents || !keys_taken || !hold) return 4;
    const bool hold_presents = wine_8();
    hand_off_to_game();
    if (!ts::wait_until([&] { pump_game_phase(); return presents() >= 5; }, 20000)) {
        std::printf("the game module never presented\n");
        return 2;
    }
    struct Case { const char* key; UINT message; WPARAM wparam; LPARAM lparam; };
    const Case alt_enter = {"Alt+Enter", WM_SYSKEYDOWN, VK_RETURN, 1 | (1 << 29)};
    const Case f11 = {"F11", WM_KEYDOWN, VK_F11, 1};
    int failures = 0;
    for (const Case& c : {alt_enter, f11, alt_enter, f11, f11, alt_enter}) {
        const bool was_full = is_fullscreen();
        if (hold_presents && !ts::wait_until([&] { pump_game_phase(); return hold(true); }, 10000))
            return 2;
        const LONG before = presents();
        PostMessageW(child_window, c.message, c.wparam, c.lparam);
        pump_game_phase();
        hold(false);
        const LONG_PTR style = GetWindowLongPtrW(child_window, GWL_STYLE);
        const bool presenting =
            ts::wait_until([&] { pump_game_phase(); return presents() > before + 3; }, 10000);
        const bool ok = is_fullscreen() != was_full && settings.fullscreen != was_full &&
                        GetParent(child_window) == frame_window && (style & WS_CHILD) &&
                        !(style & WS_POPUP) && presenting && keys_taken() == 0;
        std::printf("%-9s full screen %d -> %d, child of the frame %d, style %08llx, game presenting "
                    "%d, keys the game's window procedure saw %ld\n",
                    c.key, was_full, is_fullscreen(), GetParent(child_window) == frame_window,
                    static_cast<unsigned long long>(style), presenting, keys_taken());
        failures += !ok;
    }
    std::fflush(stdout);
    ExitProcess(failures == 0 ? 0 : 2);
}

TEST(GamePhase, FullScreenKeysSwitchTheLaunchersFullScreenNotDxgis) {
    const WatchedChild child = run_watched_child(L"game", 60000);
    ASSERT_TRUE(child.started);
    ASSERT_FALSE(child.hung) << "HANG: the game phase stopped answering F11 and Alt+Enter within 60 s\n"
                             << child.trace;
    EXPECT_EQ(child.exit_code, 0u) << "a key was not taken by the launcher";
}

}  // namespace

int main(int argc, char** argv) { return watched_test_main(argc, argv, child_main); }
