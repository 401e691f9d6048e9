// PLACEHOLDER: replaced by the real implementation
#include "screens/build_screen.h"
const StageRow stage_table[7] = {};
void draw_build_screen() {}
