#include "screens/widgets.h"

#include <imgui.h>

#include <cmath>

#include "launcher/render.h"
#include "screens/look.h"

void centered_text(const char* text, const ImVec4& colour, ImFont* font) {
    if (font) ImGui::PushFont(font);
    const float width = ImGui::GetWindowWidth();
    const float margin = 24.0f * ui_scale;
    const float available = width - 2.0f * margin;
    const float text_width = ImGui::CalcTextSize(text, nullptr, false, -1.0f).x;
    if (available >= text_width) {
        ImGui::SetCursorPosX((width - text_width) * 0.5f);
        ImGui::TextColored(colour, "%s", text);
    } else {
        ImGui::SetCursorPosX(margin);
        ImGui::PushTextWrapPos(margin + available);
        ImGui::TextColored(colour, "%s", text);
        ImGui::PopTextWrapPos();
    }
    if (font) ImGui::PopFont();
}

bool centered_button(const char* label, float width, float height) {
    ImGui::SetCursorPosX((ImGui::GetWindowWidth() - width * ui_scale) * 0.5f);
    return ImGui::Button(label, ImVec2(width * ui_scale, height * ui_scale));
}

void outlined_title(const char* text, const ImVec4& fill, const ImVec4& outline, ImFont* font,
                    float thickness) {
    ImGui::PushFont(font);
    const ImVec2 size = ImGui::CalcTextSize(text, nullptr, false, -1.0f);
    const float x = (ImGui::GetWindowWidth() - size.x) * 0.5f;
    ImGui::SetCursorPosX(x > 0.0f ? x : 0.0f);
    const ImVec2 origin = ImGui::GetCursorScreenPos();
    ImDrawList* draw_list = ImGui::GetWindowDrawList();
    const ImU32 outline_colour = ImGui::GetColorU32(outline);
    const float radius = thickness * ui_scale;
    const float two_pi = 6.28318530717958647692f;
    for (int r = 1; static_cast<float>(r) <= radius; ++r) {
        for (int i = 0; i < 16; ++i) {
            const float a = static_cast<float>(i) * two_pi / 16.0f;
            const ImVec2 at(origin.x + std::cos(a) * static_cast<float>(r),
                            origin.y + std::sin(a) * static_cast<float>(r));
            draw_list->AddText(at, outline_colour, text);
        }
    }
    draw_list->AddText(origin, ImGui::GetColorU32(fill), text);
    ImGui::Dummy(size);
    ImGui::PopFont();
}

void title_banner(const ImVec4& subtitle_colour) {
    outlined_title("VARNIS", col_text, col_outline, fonts.banner, 3.0f);
    ImGui::SetCursorPosY(ImGui::GetCursorPosY() - 14.0f * ui_scale);
    centered_text("Recompilation", subtitle_colour, fonts.subtitle);
}

void vertical_gap(float height) { ImGui::Dummy(ImVec2(0.0f, height * ui_scale)); }
