// PLACEHOLDER: replaced by the real implementation
#include "screens/look.h"
LauncherFonts fonts;
const ImVec4 col_text(0.93f, 0.94f, 0.96f, 1.00f);
const ImVec4 col_muted(0.62f, 0.66f, 0.72f, 1.00f);
const ImVec4 col_accent(1.00f, 0.58f, 0.18f, 1.00f);
const ImVec4 col_outline(0.86f, 0.08f, 0.08f, 1.00f);
const ImVec4 col_error(1.00f, 0.42f, 0.38f, 1.00f);
const ImVec4 col_warning(1.00f, 0.76f, 0.30f, 1.00f);
const wchar_t* const font_candidates[4] = {L"segoeuib.ttf", L"arialbd.ttf", L"tahomabd.ttf", L"tahoma.ttf"};
void load_fonts(float) {}
void load_fonts_from(const wchar_t*, float) {}
void push_launcher_style() {}
void pop_launcher_style() {}
