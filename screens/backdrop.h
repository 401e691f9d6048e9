#pragma once
#include <imgui.h>

#include <cstdint>
#include <map>
#include <random>
#include <utility>
#include <vector>

struct HexCell {
    int32_t col;
    int32_t row;
    float age;
    float strength;
};

struct HexBackdrop {
    std::vector<HexCell> cells;
    std::mt19937 rng;
    float spawn_timer = 0.4f;
};

// Seeded once from the system's random source before start-up runs.
extern HexBackdrop hex_backdrop;

using HexGlow = std::map<std::pair<int, int>, float>;

struct HexGrid {
    float radius;  // circumradius R
    float pitch_x;
    float pitch_y;
    int cols;
    int rows;
};

// One uniform number in [0, 1] from one engine output.
float hex_uniform(std::mt19937& rng);
int hex_distance(int c1, int r1, int c2, int r2);
HexGrid hex_grid(ImVec2 size, float scale);
ImVec2 hex_centre(const HexGrid& grid, ImVec2 origin, int col, int row);
// Advances the animation by the clamped time step and returns the glow of this frame
// (the parts of draw_hex_backdrop that do not draw, split out for tests).
HexGlow advance_hex_backdrop(HexBackdrop& backdrop, float delta_time, int cols, int rows);
void draw_hex_backdrop(HexBackdrop& backdrop, ImDrawList* draw_list, ImVec2 origin, ImVec2 size);
