#include "screens/options.h"

#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

#include <imgui.h>

#include "launcher/files.h"
#include "launcher/folders.h"
#include "launcher/log.h"
#include "launcher/render.h"
#include "launcher/settings.h"
#include "launcher/windows.h"
#include "screens/look.h"
#include "screens/widgets.h"

BrowseForFolderFn browse_for_folder_fn = SHBrowseForFolderW;
ShellExecuteFn shell_execute_fn = ShellExecuteW;

namespace {

constexpr int picture_min = -50;
constexpr int picture_max = 50;

struct Column {
    float left;
    float width;
};

Column options_column() {
    const float w = ImGui::GetWindowWidth();
    const float wide = 640.0f * ui_scale;
    const float narrow = w - 80.0f * ui_scale;
    // A comparison with NaN is false, so a broken scale falls back to the narrow column.
    const float c = wide < narrow ? wide : narrow;
    return {(w - c) * 0.5f, c};
}

void wrapped_text(const Column& column, const ImVec4& colour, const char* text) {
    ImGui::SetCursorPosX(column.left);
    ImGui::PushTextWrapPos(column.left + column.width);
    ImGui::TextColored(colour, "%s", text);
    ImGui::PopTextWrapPos();
}

void draw_brightness(const Column& column) {
    ImGui::SetCursorPosX(column.left);
    ImGui::TextColored(col_text, "%s", "Brightness");
    ImGui::SetCursorPosX(column.left);
    ImGui::SetNextItemWidth(column.width);
    const char* format = settings.picture == 0 ? "Original" : "%+d";
    if (ImGui::SliderInt("##brightness", &settings.picture, picture_min, picture_max, format, 0)) {
        // Ctrl+click or Enter turns the slider into a text field that accepts any number.
        if (settings.picture < picture_min) settings.picture = picture_min;
        if (settings.picture > picture_max) settings.picture = picture_max;
        save_settings();
    }
    wrapped_text(column, col_muted,
                 "Original, in the middle, matches the original game. Move left for a darker "
                 "picture, right to brighten the dark parts.");
}

void draw_fullscreen(const Column& column) {
    ImGui::SetCursorPosX(column.left);
    if (ImGui::Checkbox("Full screen", &settings.fullscreen)) {
        set_fullscreen(settings.fullscreen);
        save_settings();
    }
    ImGui::SetCursorPosX(column.left);
    ImGui::TextColored(col_muted, "%s", "F11 or Alt+Enter switches at any time, in the game as well.");
}

void choose_saves_folder() {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    BROWSEINFOW info{};
    info.hwndOwner = frame_window;
    info.lpszTitle = L"Choose the folder for your Varnis saved games";
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    PIDLIST_ABSOLUTE item = browse_for_folder_fn(&info);
    if (!item) return;
    wchar_t path[MAX_PATH + 1] = {};
    if (SHGetPathFromIDListW(item, path)) {
        settings.saves = full_path(path);
        save_settings();
        launcher_log("save folder chosen: %s", to_utf8(settings.saves).c_str());
    }
    CoTaskMemFree(item);
}

void open_saves_folder() {
    const std::wstring folder = effective_saves_folder();
    {
        QuietErrorMode quiet;  // the player's folder may be on a drive without a medium
        CreateDirectoryW(folder.c_str(), nullptr);
    }
    shell_execute_fn(nullptr, L"open", folder.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void draw_saves(const Column& column) {
    ImGui::SetCursorPosX(column.left);
    ImGui::TextColored(col_text, "%s", "Saved games folder");

    const bool custom = !settings.saves.empty();
    ImGui::SetCursorPosX(column.left);
    ImGui::PushTextWrapPos(column.left + column.width);
    ImGui::TextColored(custom ? col_text : col_muted, "%s%s",
                       to_utf8(effective_saves_folder()).c_str(), custom ? "" : "  (default)");
    ImGui::PopTextWrapPos();
    vertical_gap(6.0f);

    ImGui::SetCursorPosX(column.left);
    if (ImGui::Button("Choose folder...")) choose_saves_folder();
    ImGui::SameLine();
    if (ImGui::Button("Open folder")) open_saves_folder();
    if (!settings.saves.empty()) {
        ImGui::SameLine();
        if (ImGui::Button("Use default")) {
            settings.saves.clear();
            save_settings();
        }
    }
    wrapped_text(column, col_muted,
                 "Saves already made are not moved. To keep them, copy the contents of the old "
                 "folder into the new one.");
}

}  // namespace

std::wstring effective_saves_folder() {
    if (!settings.saves.empty()) return settings.saves;
    return path_join(get_env(L"LOCALAPPDATA"), L"dravik");
}

void draw_options_panel() {
    const Column column = options_column();
    centered_text("Options", col_accent, nullptr);
    vertical_gap(18.0f);
    draw_brightness(column);
    vertical_gap(26.0f);
    draw_fullscreen(column);
    vertical_gap(26.0f);
    draw_saves(column);
}
