#pragma once
#include <imgui.h>

struct LauncherFonts {
    ImFont* body = nullptr;
    ImFont* small = nullptr;
    ImFont* banner = nullptr;
    ImFont* subtitle = nullptr;
    ImFont* button = nullptr;
};

extern LauncherFonts fonts;

extern const ImVec4 col_text;
extern const ImVec4 col_muted;
extern const ImVec4 col_accent;
extern const ImVec4 col_outline;
extern const ImVec4 col_error;
extern const ImVec4 col_warning;

extern const wchar_t* const font_candidates[4];

// Loads the five fonts from the Windows fonts folder; never fails (falls back to the built-in font).
void load_fonts(float scale);
// Same, from an explicit fonts folder (tests point it at a folder of their own).
void load_fonts_from(const wchar_t* fonts_dir, float scale);
void push_launcher_style();
void pop_launcher_style();
