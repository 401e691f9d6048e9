#pragma once
// The launcher's colours (RGBA, each channel 0..1), written out here once so that screen tests
// compare what is drawn with these numbers, never with the product's own constants.
#include <imgui.h>

namespace pal {

// Text colours the screens pass to the widgets.
const ImVec4 text(0.93f, 0.94f, 0.96f, 1.00f);
const ImVec4 muted(0.62f, 0.66f, 0.72f, 1.00f);
const ImVec4 accent(1.00f, 0.58f, 0.18f, 1.00f);
const ImVec4 outline(0.86f, 0.08f, 0.08f, 1.00f);
const ImVec4 error(1.00f, 0.42f, 0.38f, 1.00f);
const ImVec4 warning(1.00f, 0.76f, 0.30f, 1.00f);

// Behind the splash menu's title, and over the whole window on its sub-pages.
const ImVec4 title_band(0.07f, 0.08f, 0.10f, 0.82f);
const ImVec4 page_shade(0.07f, 0.08f, 0.10f, 0.90f);

#if IMGUI_VERSION_NUM < 19140
constexpr ImGuiCol nav_cursor = ImGuiCol_NavHighlight;
#else
constexpr ImGuiCol nav_cursor = ImGuiCol_NavCursor;
#endif

struct StyleColour {
    ImGuiCol id;
    ImVec4 value;
};

// The nine colours pushed around every frame.
const StyleColour frame_style[] = {
    {ImGuiCol_WindowBg, {0.07f, 0.08f, 0.10f, 1.00f}},
    {ImGuiCol_Text, {0.93f, 0.94f, 0.96f, 1.00f}},
    {ImGuiCol_Button, {0.22f, 0.24f, 0.27f, 1.00f}},
    {ImGuiCol_ButtonHovered, {0.34f, 0.37f, 0.41f, 1.00f}},
    {ImGuiCol_ButtonActive, {0.48f, 0.52f, 0.57f, 1.00f}},
    {ImGuiCol_Border, {0.45f, 0.48f, 0.52f, 1.00f}},
    {ImGuiCol_FrameBg, {0.22f, 0.24f, 0.27f, 1.00f}},
    {ImGuiCol_PlotHistogram, {1.00f, 0.58f, 0.18f, 1.00f}},
    {nav_cursor, {0.86f, 0.08f, 0.08f, 1.00f}},
};

}  // namespace pal
