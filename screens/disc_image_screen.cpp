#include "screens/disc_image_screen.h"

#include <windows.h>
#include <commdlg.h>

#include <imgui.h>

#include <algorithm>
#include <cstring>

#include "launcher/folders.h"
#include "launcher/log.h"
#include "launcher/render.h"
#include "launcher/screen_flow.h"
#include "launcher/settings.h"
#include "launcher/windows.h"
#include "pipeline/build_runner.h"
#include "pipeline/disc_image.h"
#include "screens/look.h"
#include "screens/widgets.h"

char isopath_buffer[2048];
std::string screen_message;
OpenFileDialogFn open_file_dialog_fn = GetOpenFileNameW;

std::wstring trim_text(const std::wstring& text) {
    const wchar_t* const blanks = L"\t\n\r \"";
    const size_t first = text.find_first_not_of(blanks);
    if (first == std::wstring::npos) return {};
    const size_t last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}

void copy_utf8_bounded(char* buffer, size_t capacity, const std::string& text) {
    if (capacity == 0) return;
    const size_t length = std::min(text.size(), std::strlen(text.c_str()));
    size_t n = std::min(length, capacity - 1);
    // Cut before the lead byte of a character that does not fit whole.
    if (n < length)
        while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
}

static void browse_for_disc_image() {
    wchar_t file[1040] = {};
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = frame_window;
    dialog.lpstrFilter = L"Xbox disc image (*.iso)\0*.iso\0All files\0*.*\0";
    dialog.lpstrFile = file;
    dialog.nMaxFile = 1040;
    dialog.lpstrTitle = L"Choose your Varnis disc image";
    dialog.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
    if (!open_file_dialog_fn(&dialog)) return;
    file[1039] = L'\0';
    copy_utf8_bounded(isopath_buffer, sizeof isopath_buffer, to_utf8(file));
    screen_message.clear();
}

// Validates the field; true when the image was accepted and saved, so a build must start.
static bool confirm_disc_image() {
    const std::string typed(isopath_buffer, strnlen(isopath_buffer, sizeof isopath_buffer));
    const std::wstring path = trim_text(to_wide(typed));
    screen_message = check_disc_image(path);
    if (!screen_message.empty()) return false;
    settings.iso = full_path(path);
    save_settings();
    launcher_log("disc image chosen: %s", to_utf8(settings.iso).c_str());
    return true;
}

void draw_disc_image_screen() {
    bool browse = false;
    bool accepted = false;
    if (begin_screen("##iso")) {
        const float s = ui_scale;
        const float width = ImGui::GetWindowWidth();
        ImGui::SetCursorPosY(ImGui::GetWindowHeight() * 0.2f);
        title_banner(col_muted);
        vertical_gap(36);
        centered_text("To begin, choose your Varnis (USA) Xbox disc image (.iso).", col_text, nullptr);
        centered_text("The game is rebuilt from your own disc on this computer. Nothing is downloaded.",
                      col_muted, fonts.small);
        vertical_gap(20);
        const float row = std::min(640.0f * s, width - 80.0f * s);
        ImGui::SetCursorPosX((width - row) * 0.5f);
        ImGui::SetNextItemWidth(row - 130.0f * s);
        ImGui::InputTextWithHint("##isopath", "C:\\path\\to\\Varnis (USA).iso", isopath_buffer,
                                 sizeof isopath_buffer);
        ImGui::SameLine(0.0f, -1.0f);
        browse = ImGui::Button("Browse...", ImVec2(120.0f * s, 0.0f));
        vertical_gap(14);
        if (centered_button("Continue", 220, 0)) accepted = confirm_disc_image();
        if (!screen_message.empty()) {
            vertical_gap(8);
            centered_text(screen_message.c_str(), col_error, nullptr);
        }
    }
    ImGui::End();
    // The modal dialog and the screen change wait until this frame's window is closed.
    if (browse) browse_for_disc_image();
    if (accepted) start_build();
}
