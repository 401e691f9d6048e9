#include "game/game_thread.h"

#include <imgui.h>
#include <imgui_impl_dx11.h>
#include <imgui_impl_win32.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "game/game_module.h"
#include "launcher/folders.h"
#include "launcher/log.h"
#include "launcher/render.h"
#include "launcher/screen_flow.h"
#include "launcher/settings.h"
#include "launcher/windows.h"
#include "screens/options.h"

static constexpr SIZE_T game_stack_reserve = 0x1000000;

int runtime_brightness(int picture) {
    const double e = std::exp2(-picture / 50.0);
    const double v = (1.0 / (e * 1.7543859649122806) - 1.0) * 100.0;
    return static_cast<int>(std::lround(v));
}

void export_runtime_options() {
    const int runtime = runtime_brightness(settings.picture);
    char value[16];
    snprintf(value, sizeof value, "%d", runtime);
    _putenv_s("DRAVIK_BRIGHTNESS", value);
    // An empty setting removes the variable, so the game picks its own default folder.
    _wputenv_s(L"DRAVIK_SAVE_DIR", settings.saves.c_str());
    launcher_log("options: brightness %d (runtime %d), saves %s", settings.picture, runtime,
                 to_utf8(effective_saves_folder()).c_str());
}

void shutdown_ui() {
    // Tolerates a partial or repeated shutdown: the backends crash when shut down twice.
    if (ImGui::GetCurrentContext()) {
        const ImGuiIO& io = ImGui::GetIO();
        if (io.BackendRendererUserData) ImGui_ImplDX11_Shutdown();
        if (io.BackendPlatformUserData) ImGui_ImplWin32_Shutdown();
        ImGui::DestroyContext(ImGui::GetCurrentContext());
    }
    ui_ready = false;
    release_render_objects();
}

DWORD WINAPI game_thread_main(LPVOID parameter) {
    launcher_log("game started");
    game_run(parameter);
    return 0;
}

void hand_off_to_game() {
    play_requested = false;
    // Only a bound game may take the window; otherwise the interface stays as it is.
    if (!game_run) return;
    export_runtime_options();
    shutdown_ui();
    game_running = true;
    HANDLE thread = CreateThread(nullptr, game_stack_reserve, game_thread_main, child_window,
                                 STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (!thread) {
        launcher_log("could not start the game thread: %lu", GetLastError());
        exit_launcher();
    }
    CloseHandle(thread);
}
