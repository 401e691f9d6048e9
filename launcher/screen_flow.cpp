#include "launcher/screen_flow.h"

#include <windows.h>

#include <imgui.h>

#include <string>
#include <vector>

#include "game/game_module.h"
#include "game/game_thread.h"
#include "launcher/files.h"
#include "launcher/folders.h"
#include "launcher/log.h"
#include "launcher/render.h"
#include "launcher/settings.h"
#include "launcher/windows.h"
#include "pipeline/build_runner.h"
#include "pipeline/contract.h"
#include "pipeline/disc_image.h"
#include "screens/build_screen.h"
#include "screens/disc_image_screen.h"
#include "screens/look.h"
#include "screens/splash.h"
#include "screens/widgets.h"

Screen current_screen = Iso;
bool play_requested = false;
bool game_running = false;

void choose_first_screen() {
    if (settings.iso.empty()) {
        current_screen = Iso;
        return;
    }
    if (!check_disc_image(settings.iso).empty()) {
        settings.iso.clear();  // in memory only: the file keeps the old path until the next save
        current_screen = Iso;
        return;
    }
    if (is_build_ready()) {
        bind_game_module();
        current_screen = Splash;
        return;
    }
    current_screen = Build;
}

std::wstring read_tools_version() {
    const std::wstring text = read_text_file(path_join(folders.tools_dir, contract::version_file));
    const wchar_t* const blanks = L"\t\n\r \"";
    const size_t first = text.find_first_not_of(blanks);
    if (first == std::wstring::npos) return {};
    const size_t last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}

BuildGap missing_from_build(const std::wstring& iso) {
    QuietErrorMode quiet;  // the data folder may be on a drive without a medium
    if (GetFileAttributesW(folders.ready_path.c_str()) == INVALID_FILE_ATTRIBUTES) return NoReadyMarker;
    auto marker = read_key_values(folders.ready_path);
    if (marker[contract::ready_key_iso] != iso) return MarkerForOtherImage;
    if (marker[contract::ready_key_version] != read_tools_version()) return MarkerForOtherVersion;
    const DWORD attrs = GetFileAttributesW(folders.game_module_path.c_str());
    return (attrs & FILE_ATTRIBUTE_DIRECTORY) ? NoGameModule : NothingMissing;
}

bool is_build_ready() { return missing_from_build(settings.iso) == NothingMissing; }

bool begin_screen(const char* name) {
    const ImGuiViewport* viewport = ImGui::GetMainViewport();
    ImGui::SetNextWindowPos(viewport->Pos, 0, ImVec2(0, 0));
    ImGui::SetNextWindowSize(viewport->Size, 0);
    return ImGui::Begin(name, nullptr,
                        ImGuiWindowFlags_NoTitleBar | ImGuiWindowFlags_NoResize |
                            ImGuiWindowFlags_NoMove | ImGuiWindowFlags_NoScrollbar |
                            ImGuiWindowFlags_NoCollapse | ImGuiWindowFlags_NoSavedSettings |
                            ImGuiWindowFlags_NoBringToFrontOnFocus);
}

void draw_restart_screen() {
    if (begin_screen("##restart")) {
        ImGui::SetCursorPosY(0.45f * ImGui::GetWindowHeight());
        centered_text("Starting Varnis...", col_text, nullptr);
    }
    ImGui::End();
}

void relaunch_self() {
    launcher_log("restarting");
    wchar_t module[1040];
    const DWORD n = GetModuleFileNameW(nullptr, module, 1040);
    const std::wstring command = L"\"" + std::wstring(module, n < 1040 ? n : 1039) + L"\"";
    std::vector<wchar_t> buffer(command.begin(), command.end());
    buffer.push_back(L'\0');
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                       &startup, &process)) {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    } else {
        launcher_log("restart failed: %lu", GetLastError());
    }
}

void exit_launcher() {
    end_current_build();
    if (ui_ready) shutdown_ui();
    if (IsWindow(frame_window)) DestroyWindow(frame_window);
    launcher_log("launcher exiting");
    ExitProcess(0);
}

static void draw_screen(Screen screen) {
    switch (screen) {
        case Iso: draw_disc_image_screen(); break;
        case Build: draw_build_screen(); break;
        case Splash: draw_splash_screen(); break;
        case Restart: draw_restart_screen(); break;
    }
}

void draw_screen_in_style(Screen screen) {
    push_launcher_style();
    ImGui::PushFont(fonts.body);
    draw_screen(screen);
    ImGui::PopFont();
    pop_launcher_style();
}

void (*relaunch_fn)() = relaunch_self;
void (*hand_off_fn)() = hand_off_to_game;

bool dispatch_queued_messages() {
    MSG message;
    bool quit = false;
    // Messages queued behind WM_QUIT are still dispatched.
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) quit = true;
        if (take_fullscreen_key(message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return quit;
}

bool act_on_requests(Screen drawn) {
    if (drawn == Restart) {
        relaunch_fn();
        return false;
    }
    if (current_screen != Restart && play_requested) hand_off_fn();
    return true;
}

bool run_one_iteration() {
    if (game_running) {
        MSG message;
        const BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got == 0 || got == -1) return false;
        // Before any window procedure: the game's module or its DXGI would take Alt+Enter.
        if (take_fullscreen_key(message)) return true;
        TranslateMessage(&message);
        DispatchMessageW(&message);
        return true;
    }
    if (dispatch_queued_messages()) return false;
    if (IsIconic(frame_window)) {
        Sleep(50);
        return true;
    }
    if (!device_ready()) return true;
    // The one place the swap chain follows the child: between frames, after the messages.
    fit_swap_chain_to_child();
    if (device_lost) return true;  // lost by the resize; made again on the next iteration
    if (!window_visible() || !frame_due()) return true;
    begin_ui_frame();
    const Screen drawn = current_screen;
    draw_screen_in_style(drawn);
    render_frame();
    return act_on_requests(drawn);
}

void run_launcher() {
    if (current_screen == Build) start_build();
    if (current_screen == Splash && game_run && get_env(L"VARNIS_AUTOPLAY") == L"1")
        play_requested = true;
    while (run_one_iteration()) {
    }
    exit_launcher();
}
