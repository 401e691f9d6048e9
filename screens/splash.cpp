#include "screens/splash.h"

#include <windows.h>

#include <imgui_internal.h>

#include <string>

#include "game/game_module.h"
#include "launcher/folders.h"
#include "launcher/render.h"
#include "launcher/screen_flow.h"
#include "pipeline/contract.h"
#include "screens/about.h"
#include "screens/backdrop.h"
#include "screens/look.h"
#include "screens/options.h"
#include "screens/widgets.h"

SplashPage splash_page = Menu;
bool menu_focus_set = false;

namespace {

// The library itself releases an active item when Escape is pressed, before the page is drawn;
// without this the same press would both end a slider drag and leave the page.
bool item_active_last_frame = false;

const ImVec4 title_band_colour(0.07f, 0.08f, 0.10f, 0.82f);
const ImVec4 page_shade_colour(0.07f, 0.08f, 0.10f, 0.90f);

// Focus given from code leaves the navigation cursor hidden, and while it is hidden Enter, Space
// and the gamepad's activate button do nothing; show it so that the first press acts.
void show_nav_cursor() {
#if IMGUI_VERSION_NUM >= 19140
    ImGui::SetNavCursorVisible(true);
#else
    ImGui::GetCurrentContext()->NavDisableHighlight = false;
#endif
}

bool menu_button(const char* label) { return centered_button(label, 320.0f, 58.0f); }

void return_to_menu() {
    splash_page = Menu;
    menu_focus_set = false;
    item_active_last_frame = false;
}

// The next launch finds no finished build and builds again; failures are ignored because a
// missing ready marker alone is enough for that.
void forget_build() {
    DeleteFileW(folders.ready_path.c_str());
    // With no work folder the stamp's path would be relative to the current folder.
    if (!folders.work_dir.empty())
        DeleteFileW(path_join(folders.work_dir, contract::build_stamp_relative).c_str());
}

void draw_title_band() {
    const ImGuiViewport* viewport = ImGui::GetMainViewport();
    const float y0 = ImGui::GetCursorScreenPos().y;
    ImGui::GetWindowDrawList()->AddRectFilled(
        ImVec2(viewport->Pos.x, y0 - 16.0f * ui_scale),
        ImVec2(viewport->Pos.x + viewport->Size.x, y0 + 170.0f * ui_scale),
        ImGui::GetColorU32(title_band_colour), 0.0f, 0);
}

// The first button of the menu: "Play Game", or the reason it cannot be played and the way out.
// Returns true when a rebuild was asked for.
bool draw_first_button() {
    if (game_run) {
        if (menu_button("Play Game")) play_requested = true;
        return false;
    }
    ImGui::PushFont(fonts.small);
    centered_text(game_message.c_str(), col_error, nullptr);
    ImGui::PopFont();
    vertical_gap(10.0f);
    return menu_button("Rebuild the game");
}

void draw_bottom_lines(float window_height) {
    ImGui::SetCursorPosY(window_height - 70.0f * ui_scale);
    const std::string version = launcher_version;
    const std::string issue = "Known issue in " + version +
                              ": in some rooms the background music plays a short repeating "
                              "fragment.";
    centered_text(issue.c_str(), col_warning, fonts.small);
    const std::string line =
        "v" + version + "  -  rebuilt from your own disc; no game data is included.";
    centered_text(line.c_str(), col_muted, fonts.small);
}

bool draw_menu(float window_height) {
    ImGui::SetCursorPosY(0.14f * window_height);
    draw_title_band();
    title_banner(col_accent);
    vertical_gap(30.0f);

    ImGui::PushFont(fonts.button);
    const bool rebuild = draw_first_button();
    if (!menu_focus_set) {
        // Keyboard and gamepad players start on the first button without touching the mouse.
        ImGui::SetItemDefaultFocus();
        ImGui::SetKeyboardFocusHere(-1);
        show_nav_cursor();
        menu_focus_set = true;
    }
    vertical_gap(8.0f);
    if (menu_button("Options")) splash_page = Options;
    vertical_gap(8.0f);
    if (menu_button("About")) splash_page = About;
    vertical_gap(8.0f);
    if (menu_button("Exit")) PostQuitMessage(0);
    ImGui::PopFont();

    draw_bottom_lines(window_height);
    return rebuild;
}

bool back_pressed() {
    const bool active_now = ImGui::IsAnyItemActive();
    const bool was_active = item_active_last_frame;
    item_active_last_frame = active_now;
    if (active_now || was_active) return false;
    return ImGui::IsKeyPressed(ImGuiKey_Escape, false) ||
           ImGui::IsKeyPressed(ImGuiKey_GamepadFaceRight, false);
}

void draw_sub_page() {
    const ImGuiViewport* viewport = ImGui::GetMainViewport();
    ImGui::GetWindowDrawList()->AddRectFilled(
        viewport->Pos, ImVec2(viewport->Pos.x + viewport->Size.x, viewport->Pos.y + viewport->Size.y),
        ImGui::GetColorU32(page_shade_colour), 0.0f, 0);
    ImGui::SetCursorPosY(40.0f * ui_scale);
    if (splash_page == Options)
        draw_options_panel();
    else
        draw_about_panel();
    draw_back_button();
    if (back_pressed()) return_to_menu();
}

}  // namespace

void draw_back_button() {
    vertical_gap(18.0f);
    ImGui::PushFont(fonts.button);
    if (centered_button("Back", 200.0f, 46.0f)) return_to_menu();
    ImGui::PopFont();
}

void draw_splash_screen() {
    bool rebuild = false;
    if (begin_screen("##splash")) {
        const ImGuiViewport* viewport = ImGui::GetMainViewport();
        draw_hex_backdrop(hex_backdrop, ImGui::GetWindowDrawList(), viewport->Pos, viewport->Size);
        const float window_height = ImGui::GetWindowHeight();
        if (splash_page == Menu)
            rebuild = draw_menu(window_height);
        else
            draw_sub_page();
    }
    ImGui::End();
    // The screen changes only once its window is closed for the frame.
    if (rebuild) {
        forget_build();
        current_screen = Restart;
    }
}
