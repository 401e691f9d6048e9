// PLACEHOLDER: replaced by the real implementation
#include "screens/options.h"
void draw_options_panel() {}
std::wstring effective_saves_folder() { return {}; }
