// PLACEHOLDER: replaced by the real implementation
#include "screens/about.h"
void draw_about_panel() {}
