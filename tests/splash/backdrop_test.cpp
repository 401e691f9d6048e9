#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "launcher/render.h"
#include "screens/backdrop.h"
#include "test_support.h"

namespace {

// A backdrop that will not spark on its own, with one hand-placed spark.
HexBackdrop quiet_backdrop() {
    HexBackdrop b;
    b.spawn_timer = 1000.0f;
    return b;
}

HexCell spark(int col, int row, float age, float strength) { return HexCell{col, row, age, strength}; }

float glow_at(const HexGlow& glow, int c, int r) {
    const auto it = glow.find({c, r});
    return it == glow.end() ? 0.0f : it->second;
}

TEST(HexBackdrop, TimeStepIsClampedToZeroToOneTenth) {
    struct Case { float dt; float advanced; } cases[] = {
        {0.016f, 0.016f}, {0.1f, 0.1f}, {0.5f, 0.1f}, {-0.2f, 0.0f}, {NAN, 0.0f}, {INFINITY, 0.1f},
    };
    for (const Case& c : cases) {
        HexBackdrop b = quiet_backdrop();
        b.cells.push_back(spark(5, 5, 1.0f, 1.0f));
        advance_hex_backdrop(b, c.dt, 20, 20);
        ASSERT_EQ(b.cells.size(), 1u) << c.dt;
        EXPECT_FLOAT_EQ(b.cells[0].age, 1.0f + c.advanced) << c.dt;
        EXPECT_FLOAT_EQ(b.spawn_timer, 1000.0f - c.advanced) << c.dt;
    }
}

// Expected numbers of the 32-bit Mersenne Twister with its standard seeding, and of u = x / 2^32
// rounded to a float, worked out apart from the launcher (a few lines of Python).
TEST(HexBackdrop, FirstSparkIsBornAfterFourTenthsFromFourNumbers) {
    // Seed 77: outputs 3947543255, 139010655, 2758209108, 1517742036, then 3237169387.
    HexBackdrop b;
    b.rng.seed(77);
    for (int i = 0; i < 4; ++i) advance_hex_backdrop(b, 0.0999f, 21, 18);
    EXPECT_TRUE(b.cells.empty()) << "no spark before 0.4 s";

    const HexGlow glow = advance_hex_backdrop(b, 0.001f, 21, 18);
    ASSERT_EQ(b.cells.size(), 1u);
    const HexCell& c = b.cells[0];
    EXPECT_EQ(c.col, 21);  // u1 = 0x1.d69576p-1 of 23 columns
    EXPECT_EQ(c.row, 0);   // u2 = 0x1.09244cp-5 of 20 rows
    EXPECT_EQ(c.age, 0.0f);
    EXPECT_EQ(c.strength, 0x1.d23378p-1f);  // 0.75 + 0.25 * 0x1.48cddcp-1
    // 0.55 + 1.05 * 0x1.69dba0p-2; the remainder below zero is dropped.
    EXPECT_EQ(b.spawn_timer, 0x1.d7934cp-1f);
    EXPECT_EQ(b.rng(), 3237169387u) << "exactly four engine outputs per spark";
    EXPECT_EQ(glow_at(glow, c.col, c.row), 0.0f) << "invisible in the frame of its birth";
}

TEST(HexBackdrop, UniformIsOneEngineOutputOverTwoToThe32) {
    // The default seed 5489 gives 3499211612, 581869302, 3890346734, 3586334585.
    std::mt19937 rng(5489u);
    const float expected[] = {0x1.a12376p-1f, 0x1.1574f8p-3f, 0x1.cfc3f6p-1f, 0x1.ab863ep-1f};
    for (const float u : expected) EXPECT_EQ(hex_uniform(rng), u);
}

TEST(HexBackdrop, NoSparkWhileTheAreaHasNoCells) {
    HexBackdrop b;
    b.spawn_timer = 0.0f;
    advance_hex_backdrop(b, 0.05f, -2, 10);
    advance_hex_backdrop(b, 0.05f, 10, -3);
    EXPECT_TRUE(b.cells.empty());
    advance_hex_backdrop(b, 0.0f, -1, -1);
    EXPECT_EQ(b.cells.size(), 1u) << "the overdue spark comes once the area allows it";
}

TEST(HexBackdrop, SparksExpireAfterTheirLifetimeInOrder) {
    HexBackdrop b = quiet_backdrop();
    b.cells = {spark(1, 1, 2.0f, 1.0f), spark(2, 2, 0.5f, 1.0f), spark(3, 3, 2.05f, 1.0f),
               spark(4, 4, 0.1f, 1.0f)};
    advance_hex_backdrop(b, 0.02f, 20, 20);
    ASSERT_EQ(b.cells.size(), 3u);
    EXPECT_EQ(b.cells[0].col, 1);
    EXPECT_EQ(b.cells[1].col, 2);
    EXPECT_EQ(b.cells[2].col, 4);
    advance_hex_backdrop(b, 0.05f, 20, 20);
    ASSERT_EQ(b.cells.size(), 2u);
    EXPECT_EQ(b.cells[0].col, 2);
}

TEST(HexBackdrop, DistanceMatchesTheGeometryOfOffsetRows) {
    const HexGrid grid = hex_grid(ImVec2(1000, 1000), 1.0f);
    const ImVec2 o(0, 0);
    for (const auto& [c0, r0] : {std::pair{4, 4}, std::pair{4, 5}, std::pair{0, -1}, std::pair{-3, -2}}) {
        int rings[4] = {};
        const ImVec2 p0 = hex_centre(grid, o, c0, r0);
        for (int c = c0 - 3; c <= c0 + 3; ++c) {
            for (int r = r0 - 3; r <= r0 + 3; ++r) {
                const int d = hex_distance(c0, r0, c, r);
                EXPECT_EQ(d, hex_distance(c, r, c0, r0));
                if (d <= 3) ++rings[d];
                const ImVec2 p = hex_centre(grid, o, c, r);
                const float apart = std::hypot(p.x - p0.x, p.y - p0.y);
                EXPECT_EQ(d == 1, std::fabs(apart - grid.pitch_x) < 0.01f)
                    << "(" << c0 << "," << r0 << ")-(" << c << "," << r << ")";
            }
        }
        EXPECT_EQ(rings[0], 1);
        EXPECT_EQ(rings[1], 6);
        EXPECT_EQ(rings[2], 12);
        EXPECT_EQ(rings[3], 18);
    }
}

TEST(HexBackdrop, RingsLightOneAfterAnother) {
    // (10 + ring, 10) lies on ring `ring` around (10, 10).
    const float s = 0.8f;
    struct Case { float age; int ring; float expected; } cases[] = {
        {0.025f, 0, 0.5f * s},                     // half way through the fade-in
        {0.05f, 0, s},                             // full glow 0.05 s after birth
        {0.95f, 0, s * expf(-3.0f)},               // faded over 0.9 s
        {0.07f, 1, 0.0f},                          // ring 1 starts 0.07 s later
        {0.12f, 1, s * 0.45f},
        {0.14f, 2, 0.0f},
        {0.19f, 2, s * 0.45f * 0.45f},
        {0.21f, 3, 0.0f},
        {0.26f, 3, s * 0.45f * 0.45f * 0.45f},
        {0.5f, 4, 0.0f},                           // nothing beyond three rings
    };
    for (const Case& c : cases) {
        HexBackdrop b = quiet_backdrop();
        b.cells.push_back(spark(10, 10, c.age, s));
        const HexGlow glow = advance_hex_backdrop(b, 0.0f, 30, 30);
        ASSERT_EQ(hex_distance(10, 10, 10 + c.ring, 10), c.ring);
        EXPECT_NEAR(glow_at(glow, 10 + c.ring, 10), c.expected, 1e-4f)
            << "age " << c.age << " ring " << c.ring;
        EXPECT_LE(glow.size(), 37u);
    }
}

TEST(HexBackdrop, GlowOfNearbySparksAddsUpToAtMostOne) {
    HexBackdrop b = quiet_backdrop();
    b.cells = {spark(6, 6, 0.05f, 1.0f), spark(6, 6, 0.05f, 0.9f),  // same hexagon: capped
               spark(9, 6, 0.12f, 1.0f), spark(7, 6, 0.12f, 0.5f)};  // (8, 6) is ring 1 of both
    const HexGlow glow = advance_hex_backdrop(b, 0.0f, 30, 30);
    EXPECT_EQ(glow_at(glow, 6, 6), 1.0f);
    EXPECT_NEAR(glow_at(glow, 8, 6), 0.45f + 0.5f * 0.45f, 1e-4f);
    for (const auto& [cell, g] : glow) EXPECT_LE(g, 1.0f);
}

TEST(HexBackdrop, SameSeedGivesTheSameSparks) {
    HexBackdrop a;
    HexBackdrop b;
    a.rng.seed(20240611u);
    b.rng.seed(20240611u);
    HexBackdrop other;
    other.rng.seed(7u);
    size_t most = 0;
    for (int frame = 0; frame < 1200; ++frame) {
        const HexGlow ga = advance_hex_backdrop(a, 1.0f / 60.0f, 21, 18);
        const HexGlow gb = advance_hex_backdrop(b, 1.0f / 60.0f, 21, 18);
        advance_hex_backdrop(other, 1.0f / 60.0f, 21, 18);
        ASSERT_EQ(a.cells.size(), b.cells.size());
        for (size_t i = 0; i < a.cells.size(); ++i) {
            EXPECT_EQ(a.cells[i].col, b.cells[i].col);
            EXPECT_EQ(a.cells[i].row, b.cells[i].row);
            EXPECT_EQ(a.cells[i].age, b.cells[i].age);
            EXPECT_EQ(a.cells[i].strength, b.cells[i].strength);
            EXPECT_GE(a.cells[i].col, 0);
            EXPECT_LE(a.cells[i].col, 23);
            EXPECT_GE(a.cells[i].row, 0);
            EXPECT_LE(a.cells[i].row, 20);
            EXPECT_GE(a.cells[i].strength, 0.75f);
            EXPECT_LE(a.cells[i].strength, 1.0f);
        }
        EXPECT_EQ(ga, gb);
        most = std::max(most, a.cells.size());
    }
    EXPECT_GE(most, 2u);
    EXPECT_LE(most, 4u) << "sparks are at least 0.55 s apart and live 2.06 s";
    EXPECT_NE(a.rng, other.rng);
}

// Each launch of the launcher is a process of its own; the probe prints the first outputs of the
// launcher's backdrop generator as a launch has it.
std::string launch_sequence(const std::wstring& file) {
    const ts::ProcessResult r =
        ts::run_process(L"\"" + ts::exe_dir() + L"\\backdrop_probe.exe\" \"" + file + L"\"", 30000);
    EXPECT_TRUE(r.started && !r.timed_out && r.exit_code == 0);
    return ts::read_file(file);
}

TEST(HexBackdrop, EveryLaunchSeedsItsOwnSequence) {
    EXPECT_TRUE(hex_backdrop.cells.empty());
    EXPECT_EQ(hex_backdrop.spawn_timer, 0.4f);
    const std::wstring dir = ts::make_temp_dir(L"backdrop");
    const std::string first = launch_sequence(dir + L"\\first.txt");
    const std::string second = launch_sequence(dir + L"\\second.txt");
    ts::remove_tree(dir);
    ASSERT_EQ(std::count(first.begin(), first.end(), '\n'), 4);
    ASSERT_EQ(std::count(second.begin(), second.end(), '\n'), 4);
    EXPECT_NE(first, second);
    EXPECT_NE(first, "3499211612\n581869302\n3890346734\n3586334585\n") << "the library's default seed";
}

// Drawing, in a bare context with anti-aliasing off so that every line is 4 vertices and every
// triangle 3.
struct DrawnBackdrop : testing::Test {
    ImGuiContext* context = nullptr;
    void SetUp() override {
        context = ImGui::CreateContext();
        ImGuiIO& io = ImGui::GetIO();
        io.IniFilename = nullptr;
        io.DisplaySize = ImVec2(1280, 960);
        io.DeltaTime = 0.0f;
        unsigned char* pixels = nullptr;
        int w = 0, h = 0;
        io.Fonts->GetTexDataAsRGBA32(&pixels, &w, &h);
        ImGui::GetStyle().AntiAliasedLines = false;
        ImGui::GetStyle().AntiAliasedFill = false;
        ui_scale = 1.0f;
    }
    void TearDown() override {
        ImGui::DestroyContext(context);
        ui_scale = 1.0f;
    }
    struct Drawn { int vertices; ImVec2 min; ImVec2 max; };
    Drawn draw(HexBackdrop& b, float dt, ImVec2 origin, ImVec2 size) {
        ImGui::GetIO().DeltaTime = dt > 0 ? dt : 1e-6f;
        ImGui::NewFrame();
        ImGui::GetIO().DeltaTime = dt;  // draw_hex_backdrop reads it after NewFrame
        ImDrawList* list = ImGui::GetForegroundDrawList();
        const int before = list->VtxBuffer.Size;
        draw_hex_backdrop(b, list, origin, size);
        Drawn d{list->VtxBuffer.Size - before, ImVec2(1e9f, 1e9f), ImVec2(-1e9f, -1e9f)};
        for (int i = before; i < list->VtxBuffer.Size; ++i) {
            const ImVec2 p = list->VtxBuffer[i].pos;
            d.min = ImVec2(std::min(d.min.x, p.x), std::min(d.min.y, p.y));
            d.max = ImVec2(std::max(d.max.x, p.x), std::max(d.max.y, p.y));
        }
        ImGui::EndFrame();
        return d;
    }
};

constexpr int faint_vertices = 6 * 4;
constexpr int lit_vertices = 2 * 6 * 3 + 6 * 4;

TEST_F(DrawnBackdrop, FieldReachesPastEveryEdge) {
    const HexGrid grid = hex_grid(ImVec2(1280, 960), 1.0f);
    EXPECT_EQ(grid.cols, 21);
    EXPECT_EQ(grid.rows, 18);
    HexBackdrop b = quiet_backdrop();
    const ImVec2 origin(10, 20);
    const Drawn d = draw(b, 0.0f, origin, ImVec2(1280, 960));
    EXPECT_EQ(d.vertices, 24 * 21 * faint_vertices) << "columns -1..22, rows -1..19";
    // Outermost centres worked out from the described grid (R 34, pitches sqrt(3) R across and
    // 1.5 R down, odd rows half a pitch right): column -1 of an even row, column 22 of an odd
    // row, rows -1 and 19.
    const double radius = 34.0, across = std::sqrt(3.0) * radius, down = 1.5 * radius;
    const double half_width = 0.94 * radius * std::sqrt(3.0) / 2.0;
    const double half_height = 0.94 * radius;
    const double line = 1.4;
    EXPECT_NEAR(d.min.x, 10.0 - across - half_width, line);
    EXPECT_NEAR(d.max.x, 10.0 + 22.5 * across + half_width, line);
    EXPECT_NEAR(d.min.y, 20.0 - down - half_height, line);
    EXPECT_NEAR(d.max.y, 20.0 + 19.0 * down + half_height, line);
}

TEST_F(DrawnBackdrop, LitHexagonsAboveThresholdGetFillCoreAndOutline) {
    HexBackdrop b = quiet_backdrop();
    b.cells.push_back(spark(5, 5, 0.12f, 1.0f));  // centre and ring 1 lit, ring 2 just starting
    b.cells.push_back(spark(-1, -1, 0.05f, 1.0f));  // partly outside the drawn field
    b.cells.push_back(spark(15, 10, 2.0f, 1.0f));   // faded below the threshold
    const HexGlow glow = advance_hex_backdrop(b, 0.0f, 21, 18);
    int lit = 0;
    for (const auto& [cell, g] : glow) {
        const bool drawn = cell.first >= -1 && cell.first <= 22 && cell.second >= -1 &&
                           cell.second <= 19;
        if (drawn && g > 0.01f) ++lit;
    }
    ASSERT_EQ(lit, 7 + 1);
    const Drawn d = draw(b, 0.0f, ImVec2(0, 0), ImVec2(1280, 960));
    EXPECT_EQ(d.vertices, 24 * 21 * faint_vertices + lit * lit_vertices);
}

TEST_F(DrawnBackdrop, ScaleAndDegenerateAreas) {
    HexBackdrop b = quiet_backdrop();
    ui_scale = 1.5f;
    const HexGrid grid = hex_grid(ImVec2(1920, 1440), 1.5f);
    EXPECT_EQ(grid.cols, 21);
    EXPECT_EQ(grid.rows, 18);
    EXPECT_EQ(draw(b, 0.0f, ImVec2(0, 0), ImVec2(1920, 1440)).vertices, 24 * 21 * faint_vertices);
    EXPECT_EQ(draw(b, 0.0f, ImVec2(0, 0), ImVec2(0, 0)).vertices, 3 * 3 * faint_vertices);
    ui_scale = 0.0f;  // no pitch: no endless loop, no undefined conversion
    EXPECT_EQ(draw(b, 0.0f, ImVec2(0, 0), ImVec2(800, 600)).vertices, 3 * 3 * faint_vertices);
}

}  // namespace
