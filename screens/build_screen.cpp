#include "screens/build_screen.h"

#include <imgui.h>

#include <algorithm>
#include <mutex>
#include <string>

#include "launcher/folders.h"
#include "launcher/render.h"
#include "launcher/screen_flow.h"
#include "launcher/settings.h"
#include "pipeline/build_runner.h"
#include "screens/disc_image_screen.h"
#include "screens/look.h"
#include "screens/widgets.h"

const StageRow stage_table[7] = {
    {"extract", "Extract the game from your disc"},
    {"stage", "Prepare the recompiler"},
    {"analyse", "Read the game executable"},
    {"lift", "Recompile the game code"},
    {"fix", "Apply fixes"},
    {"compile", "Compile"},
    {"ready", "Ready"},
};

static const size_t detail_limit = 90;

static void draw_stage_rows(const BuildJob& job, bool done, bool failed, float left) {
    for (const StageRow& row : stage_table) {
        const bool active = !done && !failed && job.stage == row.key;
        const bool seen = std::find(job.stages_seen.begin(), job.stages_seen.end(), row.key) !=
                          job.stages_seen.end();
        const char* marker = "-";
        ImVec4 colour = col_muted;
        if (active) {
            marker = ">";
            colour = col_accent;
        } else if (done || seen) {
            marker = "+";
            colour = col_text;
        }
        ImGui::SetCursorPosX(left);
        ImGui::TextColored(colour, "%s  %s", marker, row.label);
    }
}

static void draw_running_view(const BuildJob& job, bool done, float left, float column) {
    if (done)
        ImGui::ProgressBar(1.0f, ImVec2(column, 0.0f), "Done");
    else
        ImGui::ProgressBar(job.progress, ImVec2(column, 0.0f), job.status.c_str());
    ImGui::SetCursorPosX(left);
    const std::string detail =
        job.detail.size() > detail_limit ? job.detail.substr(0, detail_limit) + "..." : job.detail;
    ImGui::PushFont(fonts.small);
    ImGui::TextColored(col_muted, "%s", detail.c_str());
    ImGui::PopFont();
}

static void draw_wrapped_line(const ImVec4& colour, const std::string& text, float left, float column) {
    ImGui::SetCursorPosX(left);
    ImGui::PushTextWrapPos(left + column);
    ImGui::TextColored(colour, "%s", text.c_str());
    ImGui::PopTextWrapPos();
}

struct FailureChoice {
    bool try_again = false;
    bool other_image = false;
};

static std::string left_out_note(size_t count) {
    return "... and " + std::to_string(count) + (count == 1 ? " more line" : " more lines") +
           " in the build log";
}

// Height of a line wrapped at `width` in the current font, with the spacing after it.
static float wrapped_height(const std::string& text, float width) {
    return ImGui::CalcTextSize(text.c_str(), nullptr, false, width).y + ImGui::GetStyle().ItemSpacing.y;
}

// The error lines in a region of their own that scrolls when they do not fit above the log line
// and the buttons, so that those always stay inside the window. `below` is what they need.
static void draw_error_region(const BuildJob& job, float left, float column, float below) {
    const float spacing = ImGui::GetStyle().ItemSpacing.y;
    float content = 0.0f;
    for (const std::string& line : job.errors) content += wrapped_height(line, column);
    content = std::max(content - spacing, 0.0f);
    const float room = ImGui::GetContentRegionAvail().y - below - spacing;
    const float height = std::max(std::min(content, room), ImGui::GetTextLineHeight());
    const bool scrolls = content > height;
    const float wrap = scrolls ? column - ImGui::GetStyle().ScrollbarSize : column;
    ImGui::SetCursorPosX(left);
    ImGui::BeginChild("##errors", ImVec2(column, height), ImGuiChildFlags_None, ImGuiWindowFlags_None);
    ImGui::PushTextWrapPos(wrap);
    for (const std::string& line : job.errors) ImGui::TextColored(col_error, "%s", line.c_str());
    ImGui::PopTextWrapPos();
    ImGui::EndChild();
}

static FailureChoice draw_failure_view(const BuildJob& job, float left, float column) {
    const float s = ui_scale;
    const float spacing = ImGui::GetStyle().ItemSpacing.y;
    const std::string log_line = "Full log: " + to_utf8(job.log_path);
    const std::string note = job.errors_left_out ? left_out_note(job.errors_left_out) : "";
    const float buttons = (14 + 6) * s + 2 * ImGui::GetFrameHeight() + 4 * spacing;
    ImGui::PushFont(fonts.small);
    float below = wrapped_height(log_line, column) + 8 * s + spacing + buttons;
    if (!note.empty()) below += wrapped_height(note, column);
    draw_error_region(job, left, column, below);
    if (!note.empty()) draw_wrapped_line(col_muted, note, left, column);
    vertical_gap(8);
    draw_wrapped_line(col_muted, log_line, left, column);
    ImGui::PopFont();
    vertical_gap(14);
    FailureChoice choice;
    choice.try_again = centered_button("Try again", 340, 0);
    vertical_gap(6);
    choice.other_image = centered_button("Choose a different disc image", 340, 0);
    return choice;
}

void draw_build_screen() {
    // Our own reference: the job whose mutex we lock stays alive until we unlock it.
    const std::shared_ptr<BuildJob> job = current_build;
    bool done = false;
    FailureChoice choice;
    if (begin_screen("##build") && job) {
        std::lock_guard<std::mutex> lock(job->mutex);
        done = job->done;
        const bool failed = job->failed;
        const float s = ui_scale;
        const float width = ImGui::GetWindowWidth();
        const float column = std::min(620.0f * s, width - 80.0f * s);
        const float left = (width - column) * 0.5f;
        ImGui::SetCursorPosY(ImGui::GetWindowHeight() * 0.12f);
        outlined_title("VARNIS", col_text, col_outline, fonts.banner, 3);
        if (failed)
            centered_text("The build did not finish", col_error, nullptr);
        else
            centered_text("Building the game from your disc", col_muted, nullptr);
        centered_text("This happens once. Later launches go straight to the menu.", col_muted, fonts.small);
        vertical_gap(26);
        draw_stage_rows(*job, done, failed, left);
        vertical_gap(18);
        ImGui::SetCursorPosX(left);
        if (failed)
            choice = draw_failure_view(*job, left, column);
        else
            draw_running_view(*job, done, left, column);
    }
    ImGui::End();
    if (done) {
        end_current_build();  // the relaunch would end it too, but the new launcher would not wait
        current_screen = Restart;
    } else if (choice.try_again) {
        start_build();
    } else if (choice.other_image) {
        end_current_build();
        settings.iso.clear();
        save_settings();
        screen_message.clear();
        current_screen = Iso;
    }
}
