// PLACEHOLDER: replaced by the real implementation
#include "screens/widgets.h"
void centered_text(const char*, const ImVec4&, ImFont*) {}
bool centered_button(const char*, float, float) { return false; }
void outlined_title(const char*, const ImVec4&, const ImVec4&, ImFont*, float) {}
void title_banner(const ImVec4&) {}
void vertical_gap(float) {}
