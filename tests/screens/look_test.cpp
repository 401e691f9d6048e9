#include <gtest/gtest.h>

#include <windows.h>

#include <imgui.h>
#include <imgui_internal.h>

#include <cfloat>
#include <string>
#include <vector>

#include "imgui_harness.h"
#include "launcher/folders.h"
#include "launcher/screen_flow.h"
#include "screens/look.h"
#include "test_support.h"

namespace {

std::wstring system_fonts() {
    wchar_t dir[260];
    GetWindowsDirectoryW(dir, 260);
    return std::wstring(dir) + L"\\Fonts";
}

// The file a font was read from, by the name the loader gives it ("file.ttf, 20px").
std::string source_of(ImFont* font) {
    const std::string name = font->GetDebugName();
    return name.substr(0, name.find(','));
}

bool atlas_built() {
    unsigned char* pixels = nullptr;
    int w = 0, h = 0;
    ImGui::GetIO().Fonts->GetTexDataAsRGBA32(&pixels, &w, &h);
    return pixels && ImGui::GetIO().Fonts->IsBuilt();
}

// What a fonts folder holds: a file copied from the system's Tahoma, or made up.
enum class Kind { Tahoma, TahomaBold, Empty, Garbage, Truncated, Folder };

struct FontFixture {
    const wchar_t* name;
    Kind kind;
};

void make_font(const std::wstring& dir, const FontFixture& f) {
    const std::wstring path = dir + L"\\" + f.name;
    switch (f.kind) {
        case Kind::Tahoma: ASSERT_TRUE(ts::copy_file(system_fonts() + L"\\tahoma.ttf", path)); break;
        case Kind::TahomaBold: ASSERT_TRUE(ts::copy_file(system_fonts() + L"\\tahomabd.ttf", path)); break;
        case Kind::Empty: ts::write_file(path, ""); break;
        case Kind::Garbage: ts::write_file(path, std::string(4096, '\x5A')); break;
        case Kind::Truncated: {
            // A real header whose table directory points past the end of the file.
            ts::write_file(path, ts::read_file(system_fonts() + L"\\tahoma.ttf").substr(0, 600));
            break;
        }
        case Kind::Folder: ts::make_dirs(path); break;
    }
}

struct FontCase {
    const char* what;
    std::vector<FontFixture> files;
    const char* body;    // expected source of body/small/subtitle/button; nullptr: built-in
    const char* banner;  // expected source of banner
};

struct FontsTest : testing::TestWithParam<FontCase> {
    std::wstring dir = ts::make_temp_dir(L"fonts");
    void TearDown() override { ts::remove_tree(dir); }
};

TEST_P(FontsTest, PicksTheFirstUsableCandidate) {
    const FontCase& c = GetParam();
    for (const FontFixture& f : c.files) make_font(dir, f);
    ui::Headless h(960, 720, 1.0f, dir.c_str());
    ASSERT_TRUE(atlas_built());
    ImFont* const roles[4] = {fonts.body, fonts.small, fonts.subtitle, fonts.button};
    for (ImFont* font : roles) ASSERT_NE(font, nullptr);
    ASSERT_NE(fonts.banner, nullptr);
    if (!c.body) {
        for (ImFont* font : roles) EXPECT_EQ(font, fonts.banner);
        EXPECT_FLOAT_EQ(fonts.body->FontSize, 13.0f);
        return;
    }
    for (ImFont* font : roles) EXPECT_EQ(source_of(font), c.body);
    EXPECT_EQ(source_of(fonts.banner), c.banner);
    const float sizes[5] = {20, 15, 40, 26, 104};
    ImFont* const all[5] = {fonts.body, fonts.small, fonts.subtitle, fonts.button, fonts.banner};
    for (int i = 0; i < 5; ++i) EXPECT_FLOAT_EQ(all[i]->FontSize, sizes[i]);
    // Text actually renders with the chosen font: the atlas holds its glyphs.
    EXPECT_NE(fonts.body->FindGlyphNoFallback('A'), nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Candidates, FontsTest,
    testing::Values(
        FontCase{"AllPresent",
                 {{L"segoeuib.ttf", Kind::TahomaBold}, {L"arialbd.ttf", Kind::Tahoma},
                  {L"tahomabd.ttf", Kind::TahomaBold}, {L"timesbd.ttf", Kind::Tahoma}},
                 "segoeuib.ttf", "timesbd.ttf"},
        FontCase{"SecondCandidate",
                 {{L"arialbd.ttf", Kind::Tahoma}, {L"tahoma.ttf", Kind::Tahoma}, {L"timesbd.ttf", Kind::Tahoma}},
                 "arialbd.ttf", "timesbd.ttf"},
        FontCase{"NoBannerFile", {{L"tahoma.ttf", Kind::Tahoma}}, "tahoma.ttf", "tahoma.ttf"},
        FontCase{"FolderNamedLikeCandidate",
                 {{L"segoeuib.ttf", Kind::Folder}, {L"timesbd.ttf", Kind::Folder}, {L"tahomabd.ttf", Kind::TahomaBold}},
                 "tahomabd.ttf", "tahomabd.ttf"},
        FontCase{"EmptyCandidate", {{L"segoeuib.ttf", Kind::Empty}, {L"arialbd.ttf", Kind::Tahoma}}, "arialbd.ttf", "arialbd.ttf"},
        FontCase{"GarbageCandidate", {{L"segoeuib.ttf", Kind::Garbage}, {L"tahoma.ttf", Kind::Tahoma}}, "tahoma.ttf", "tahoma.ttf"},
        FontCase{"TruncatedCandidate", {{L"segoeuib.ttf", Kind::Truncated}, {L"tahoma.ttf", Kind::Tahoma}}, "tahoma.ttf", "tahoma.ttf"},
        FontCase{"CorruptBannerFile", {{L"arialbd.ttf", Kind::Tahoma}, {L"timesbd.ttf", Kind::Garbage}}, "arialbd.ttf", "arialbd.ttf"},
        FontCase{"NothingUsable", {{L"segoeuib.ttf", Kind::Garbage}, {L"timesbd.ttf", Kind::Tahoma}}, nullptr, nullptr},
        FontCase{"EmptyFolder", {}, nullptr, nullptr}),
    [](const testing::TestParamInfo<FontCase>& info) { return std::string(info.param.what); });

TEST(Fonts, LockedCandidateIsSkipped) {
    const std::wstring dir = ts::make_temp_dir(L"fonts-locked");
    make_font(dir, {L"segoeuib.ttf", Kind::TahomaBold});
    make_font(dir, {L"tahoma.ttf", Kind::Tahoma});
    const std::wstring locked = dir + L"\\segoeuib.ttf";
    HANDLE file = CreateFileW(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    {
        ui::Headless h(960, 720, 1.0f, dir.c_str());
        EXPECT_TRUE(atlas_built());
        EXPECT_EQ(source_of(fonts.body), "tahoma.ttf");
    }
    CloseHandle(file);
    ts::remove_tree(dir);
}

TEST(Fonts, SystemFolderAt144Dpi) {
    ui::Headless h(1440, 1080, 1.5f);
    // The test prefix's Windows fonts folder holds Tahoma Bold and Tahoma, no Segoe UI or Arial.
    EXPECT_EQ(source_of(fonts.body), "tahomabd.ttf");
    EXPECT_FLOAT_EQ(fonts.body->FontSize, 30.0f);
    EXPECT_FLOAT_EQ(fonts.small->FontSize, 22.0f);  // the atlas rounds sizes down to whole pixels
    EXPECT_FLOAT_EQ(fonts.banner->FontSize, 156.0f);
    EXPECT_FLOAT_EQ(fonts.subtitle->FontSize, 60.0f);
    EXPECT_FLOAT_EQ(fonts.button->FontSize, 39.0f);
}

TEST(Fonts, FallbackScalesWithDpi) {
    const std::wstring dir = ts::make_temp_dir(L"fonts-none");
    {
        ui::Headless h(1440, 1080, 1.5f, dir.c_str());
        EXPECT_FLOAT_EQ(fonts.banner->FontSize, 19.0f);  // 13 x 1.5, rounded down by the atlas
        EXPECT_EQ(fonts.body, fonts.button);
    }
    ts::remove_tree(dir);
}

// The palette the screens hand to the widgets.
TEST(Style, PaletteHasTheDescribedColours) {
    const struct {
        const char* name;
        const ImVec4& product;
        ImVec4 expected;
    } cases[] = {
        {"text", col_text, pal::text},       {"muted", col_muted, pal::muted},
        {"accent", col_accent, pal::accent}, {"outline", col_outline, pal::outline},
        {"error", col_error, pal::error},    {"warning", col_warning, pal::warning},
    };
    for (const auto& c : cases) {
        EXPECT_FLOAT_EQ(c.product.x, c.expected.x) << c.name;
        EXPECT_FLOAT_EQ(c.product.y, c.expected.y) << c.name;
        EXPECT_FLOAT_EQ(c.product.z, c.expected.z) << c.name;
        EXPECT_FLOAT_EQ(c.product.w, c.expected.w) << c.name;
    }
}

// What a screen sees while it draws, taken from inside the main loop's own bracket: the
// library calls a window's size callback from within ImGui::Begin, that is from within the
// screen's begin_screen.
struct StyleSeen {
    bool called = false;
    ImVec4 colours[ImGuiCol_COUNT];
    float border = 0, rounding = 0;
    ImVec2 padding;
    int colour_stack = 0, var_stack = 0;
    ImFont* font = nullptr;
};

void record_style(ImGuiSizeCallbackData* data) {
    StyleSeen& seen = *static_cast<StyleSeen*>(data->UserData);
    const ImGuiStyle& style = ImGui::GetStyle();
    seen.called = true;
    for (int i = 0; i < ImGuiCol_COUNT; ++i) seen.colours[i] = style.Colors[i];
    seen.border = style.FrameBorderSize;
    seen.rounding = style.FrameRounding;
    seen.padding = style.FramePadding;
    seen.colour_stack = GImGui->ColorStack.Size;
    seen.var_stack = GImGui->StyleVarStack.Size;
    seen.font = ImGui::GetFont();
}

TEST(Style, PushedAroundEveryScreenAndBalanced) {
    for (const float scale : {1.0f, 1.5f}) {
        SCOPED_TRACE(scale);
        ui::Headless h(960, 720, scale);
        ImGui::GetIO().FontDefault = fonts.small;  // so that a missing body font shows
        StyleSeen seen;
        h.frame([&] {
            ImGui::SetNextWindowSizeConstraints(ImVec2(0, 0), ImVec2(FLT_MAX, FLT_MAX), record_style, &seen);
            draw_screen_in_style(Restart);
        });
        ASSERT_TRUE(seen.called);
        EXPECT_EQ(seen.font, fonts.body);
        EXPECT_EQ(seen.colour_stack, 9);
        EXPECT_EQ(seen.var_stack, 3);
        EXPECT_FLOAT_EQ(seen.border, 1.0f);
        EXPECT_FLOAT_EQ(seen.rounding, 3.0f * scale);
        EXPECT_FLOAT_EQ(seen.padding.x, 14.0f * scale);
        EXPECT_FLOAT_EQ(seen.padding.y, 9.0f * scale);
        for (const pal::StyleColour& e : pal::frame_style)
            EXPECT_EQ(ui::u32(seen.colours[e.id]), ui::u32(e.value)) << ImGui::GetStyleColorName(e.id);
        // Between frames the stacks are empty and the base style is the scaled dark default.
        EXPECT_EQ(GImGui->ColorStack.Size, 0);
        EXPECT_EQ(GImGui->StyleVarStack.Size, 0);
        ImGuiStyle dark;
        ImGui::StyleColorsDark(&dark);
        EXPECT_EQ(ui::u32(ImGui::GetStyle().Colors[ImGuiCol_Button]), ui::u32(dark.Colors[ImGuiCol_Button]));
        EXPECT_FLOAT_EQ(ImGui::GetStyle().ItemSpacing.x, dark.ItemSpacing.x * scale);
    }
}

// Widget tests draw outside any screen through the harness's own bracket; it must match the
// main loop's, or those tests would see another style.
TEST(Style, HarnessBracketForWidgetsMatchesTheMainLoops) {
    ui::Headless h(960, 720, 1.0f);
    StyleSeen real, harness;
    h.frame([&] {
        ImGui::SetNextWindowSizeConstraints(ImVec2(0, 0), ImVec2(FLT_MAX, FLT_MAX), record_style, &real);
        draw_screen_in_style(Restart);
    });
    h.frame(ui::styled([&] {
        ImGui::SetNextWindowSizeConstraints(ImVec2(0, 0), ImVec2(FLT_MAX, FLT_MAX), record_style, &harness);
        draw_restart_screen();
    }));
    ASSERT_TRUE(real.called && harness.called);
    EXPECT_EQ(harness.font, real.font);
    EXPECT_EQ(harness.colour_stack, real.colour_stack);
    EXPECT_EQ(harness.var_stack, real.var_stack);
    for (int i = 0; i < ImGuiCol_COUNT; ++i)
        EXPECT_EQ(ui::u32(harness.colours[i]), ui::u32(real.colours[i])) << ImGui::GetStyleColorName(i);
}

}  // namespace
