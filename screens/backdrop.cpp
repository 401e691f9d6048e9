// PLACEHOLDER: replaced by the real implementation
#include "screens/backdrop.h"
HexBackdrop hex_backdrop;
float hex_uniform(std::mt19937&) { return 0; }
int hex_distance(int, int, int, int) { return 0; }
HexGlow advance_hex_backdrop(HexBackdrop&, float, int, int) { return {}; }
void draw_hex_backdrop(HexBackdrop&, ImDrawList*, ImVec2, ImVec2) {}
