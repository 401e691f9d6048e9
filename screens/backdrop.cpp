#include "screens/backdrop.h"

#include <algorithm>
#include <cmath>

#include "launcher/render.h"

namespace {

HexBackdrop seeded_backdrop() {
    HexBackdrop backdrop;
    std::random_device source;
    backdrop.rng.seed(static_cast<std::mt19937::result_type>(source()));
    return backdrop;
}

constexpr float time_step_max = 0.1f;
constexpr float spark_lifetime = 2.06f;
constexpr float ring_delay = 0.07f;
constexpr float fade_in = 0.05f;
constexpr int ring_count = 3;

// A cell count from an extent; a degenerate pitch or area gives no cells rather than an
// undefined conversion and an endless drawing loop.
int grid_count(float extent, float pitch) {
    const float n = extent / pitch;
    if (!std::isfinite(n) || n > 65536.0f || n < -65536.0f) return 0;
    return static_cast<int>(n);
}

float clamp_time_step(float dt) {
    if (!(dt > 0.0f)) return 0.0f;  // also catches NaN, which would freeze the animation
    return dt > time_step_max ? time_step_max : dt;
}

void age_cells(HexBackdrop& backdrop, float dt) {
    for (HexCell& cell : backdrop.cells) cell.age += dt;
    backdrop.cells.erase(std::remove_if(backdrop.cells.begin(), backdrop.cells.end(),
                                        [](const HexCell& c) { return c.age > spark_lifetime; }),
                         backdrop.cells.end());
}

void maybe_spawn(HexBackdrop& backdrop, float dt, int cols, int rows) {
    backdrop.spawn_timer -= dt;
    if (backdrop.spawn_timer > 0.0f || cols + 2 <= 0 || rows + 2 <= 0) return;
    const float u1 = hex_uniform(backdrop.rng);
    const float u2 = hex_uniform(backdrop.rng);
    const float u3 = hex_uniform(backdrop.rng);
    const float u4 = hex_uniform(backdrop.rng);
    HexCell cell;
    cell.col = static_cast<int32_t>(u1 * static_cast<float>(cols + 2));
    cell.row = static_cast<int32_t>(u2 * static_cast<float>(rows + 2));
    cell.age = 0.0f;
    cell.strength = 0.75f + 0.25f * u3;
    backdrop.cells.push_back(cell);
    backdrop.spawn_timer = 0.55f + 1.05f * u4;
}

float ring_alpha(float w) {
    if (w <= 0.0f) return 0.0f;
    if (w < fade_in) return w / fade_in;
    return expf(((w - fade_in) / -0.9f) * 3.0f);
}

void add_glow(HexGlow& glow, const HexCell& cell) {
    for (int dc = -ring_count; dc <= ring_count; ++dc) {
        for (int dr = -ring_count; dr <= ring_count; ++dr) {
            const int c = cell.col + dc;
            const int r = cell.row + dr;
            const int d = hex_distance(cell.col, cell.row, c, r);
            if (d > ring_count) continue;
            const float a = ring_alpha(cell.age - ring_delay * static_cast<float>(d));
            if (a <= 0.0f) continue;
            const float contribution = a * (cell.strength * powf(0.45f, static_cast<float>(d)));
            float& g = glow[{c, r}];
            g = std::min(1.0f, g + contribution);
        }
    }
}

struct HexShape {
    float cos_k[6];
    float sin_k[6];
};

const HexShape& hex_shape() {
    static const HexShape shape = [] {
        HexShape s{};
        for (int k = 0; k < 6; ++k) {
            const float theta = static_cast<float>(k * 60 - 30) * 0.017453292f;
            s.cos_k[k] = cosf(theta);
            s.sin_k[k] = sinf(theta);
        }
        return s;
    }();
    return shape;
}

void hex_vertices(ImVec2 centre, float radius, ImVec2 (&p)[6]) {
    const HexShape& shape = hex_shape();
    for (int k = 0; k < 6; ++k)
        p[k] = ImVec2(centre.x + shape.cos_k[k] * radius, centre.y + shape.sin_k[k] * radius);
}

void hex_outline(ImDrawList* list, ImVec2 centre, float radius, ImU32 colour, float thickness) {
    ImVec2 p[6];
    hex_vertices(centre, radius, p);
    for (int k = 1; k < 6; ++k) list->AddLine(p[k - 1], p[k], colour, thickness);
    list->AddLine(p[5], p[0], colour, thickness);
}

void hex_fill(ImDrawList* list, ImVec2 centre, float radius, ImU32 colour) {
    ImVec2 p[6];
    hex_vertices(centre, radius, p);
    for (int k = 1; k < 6; ++k) list->AddTriangleFilled(centre, p[k - 1], p[k], colour);
    list->AddTriangleFilled(centre, p[5], p[0], colour);
}

void draw_lit_hex(ImDrawList* list, ImVec2 centre, float radius, float scale, float g) {
    const float d = std::min(1.0f, 1.3f * g);
    hex_fill(list, centre, 0.9f * radius,
             ImGui::GetColorU32(ImVec4(1.00f, 0.58f + 0.34f * d, 0.18f + 0.54f * d, 0.55f * g)));
    hex_fill(list, centre, (0.9f - 0.25f * g) * radius,
             ImGui::GetColorU32(ImVec4(0.07f, 0.08f, 0.10f, 0.45f * g)));
    hex_outline(list, centre, 0.94f * radius,
                ImGui::GetColorU32(ImVec4(1.00f, 0.58f, 0.18f, std::min(1.0f, 1.4f * g))),
                2.2f * scale);
}

}  // namespace

HexBackdrop hex_backdrop = seeded_backdrop();

float hex_uniform(std::mt19937& rng) {
    const uint32_t x = static_cast<uint32_t>(rng());
    return static_cast<float>(x) / 4294967296.0f;
}

int hex_distance(int c1, int r1, int c2, int r2) {
    const int q1 = c1 - (r1 >> 1);
    const int q2 = c2 - (r2 >> 1);
    const int dq = q2 - q1;
    const int dr = r2 - r1;
    return (std::abs(dq) + std::abs(dr) + std::abs(dq + dr)) / 2;
}

HexGrid hex_grid(ImVec2 size, float scale) {
    HexGrid grid;
    grid.radius = 34.0f * scale;
    grid.pitch_x = 1.7320508f * grid.radius;
    grid.pitch_y = 1.5f * grid.radius;
    grid.cols = grid_count(size.x, grid.pitch_x);
    grid.rows = grid_count(size.y, grid.pitch_y);
    return grid;
}

ImVec2 hex_centre(const HexGrid& grid, ImVec2 origin, int col, int row) {
    const float shift = (row & 1) ? grid.pitch_x * 0.5f : 0.0f;
    return ImVec2(origin.x + static_cast<float>(col) * grid.pitch_x + shift,
                  origin.y + static_cast<float>(row) * grid.pitch_y);
}

HexGlow advance_hex_backdrop(HexBackdrop& backdrop, float delta_time, int cols, int rows) {
    const float dt = clamp_time_step(delta_time);
    age_cells(backdrop, dt);
    maybe_spawn(backdrop, dt, cols, rows);
    HexGlow glow;
    for (const HexCell& cell : backdrop.cells) add_glow(glow, cell);
    return glow;
}

void draw_hex_backdrop(HexBackdrop& backdrop, ImDrawList* draw_list, ImVec2 origin, ImVec2 size) {
    const float scale = ui_scale;
    const HexGrid grid = hex_grid(size, scale);
    const HexGlow glow = advance_hex_backdrop(backdrop, ImGui::GetIO().DeltaTime, grid.cols,
                                              grid.rows);
    if (!draw_list) return;
    const ImU32 faint = ImGui::GetColorU32(ImVec4(0.40f, 0.48f, 0.58f, 0.10f));
    const float outline_radius = 0.94f * grid.radius;
    const float faint_thickness = 1.4f * scale;
    for (int r = -1; r <= grid.rows + 1; ++r) {
        for (int c = -1; c <= grid.cols + 1; ++c) {
            const ImVec2 centre = hex_centre(grid, origin, c, r);
            hex_outline(draw_list, centre, outline_radius, faint, faint_thickness);
            const auto lit = glow.find({c, r});
            if (lit == glow.end() || !(lit->second > 0.01f)) continue;
            draw_lit_hex(draw_list, centre, grid.radius, scale, lit->second);
        }
    }
}
