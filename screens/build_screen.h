#pragma once

struct StageRow {
    const char* key;
    const char* label;
};

extern const StageRow stage_table[7];

void draw_build_screen();
