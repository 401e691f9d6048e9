#pragma once
#include <imgui.h>

void centered_text(const char* text, const ImVec4& colour, ImFont* font);
bool centered_button(const char* label, float width, float height);
void outlined_title(const char* text, const ImVec4& fill, const ImVec4& outline, ImFont* font,
                    float thickness);
void title_banner(const ImVec4& subtitle_colour);
void vertical_gap(float height);
