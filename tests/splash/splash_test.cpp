#include <gtest/gtest.h>
#include <imgui.h>
#include <imgui_internal.h>

#include <string>

#include "game/game_module.h"
#include "imgui_harness.h"
#include "launcher/folders.h"
#include "launcher/render.h"
#include "launcher/screen_flow.h"
#include "launcher/settings.h"
#include "screens/look.h"
#include "screens/options.h"
#include "screens/splash.h"
#include "test_support.h"

namespace {

int dummy_game_run(void*) { return 0; }

const ui::DrawFn draw = ui::screen(Splash);

// A splash screen over a temporary data folder, with the game bound unless a test says otherwise.
struct SplashScreen : testing::Test {
    std::wstring dir;
    void SetUp() override {
        dir = ts::make_temp_dir(L"splash");
        folders = Folders{};
        folders.data_dir = dir;
        folders.logs_dir = dir;
        folders.settings_path = dir + L"\\settings.ini";
        folders.work_dir = dir + L"\\work";
        folders.ready_path = folders.work_dir + L"\\ready.txt";
        settings = LauncherSettings{};
        splash_page = Menu;
        menu_focus_set = false;
        play_requested = false;
        current_screen = Splash;
        game_run = dummy_game_run;
        game_message.clear();
    }
    void TearDown() override {
        game_run = nullptr;
        game_message.clear();
        play_requested = false;
        splash_page = Menu;
        ts::remove_tree(dir);
    }
};

const ui::TextRun* run_in(const std::vector<ui::TextRun>& runs, const std::string& text,
                          const ImVec4& colour) {
    for (const ui::TextRun& run : runs)
        if (run.text == text && run.colour == ui::u32(colour)) return &run;
    return nullptr;
}

ImGuiWindow* about_child() {
    for (ImGuiWindow* w : ImGui::GetCurrentContext()->Windows)
        if (std::string(w->Name).find("##about") != std::string::npos && w->ParentWindow) return w;
    return nullptr;
}

// --- Menu ---------------------------------------------------------------------------------------

TEST_F(SplashScreen, BoundGameShowsFourButtonsAndPlaysOnEnter) {
    ui::Headless h(960, 720, 1.0f);
    h.frame(draw);
    const auto runs = ui::text_runs();
    for (const char* label : {"Play Game", "Options", "About", "Exit"})
        EXPECT_NE(ui::find_run(runs, label), nullptr) << label;
    EXPECT_EQ(ui::find_run(runs, "Rebuild the game"), nullptr);
    EXPECT_TRUE(menu_focus_set);

    h.press_key(ImGuiKey_Enter, draw);
    EXPECT_TRUE(play_requested) << "the first button has the focus without any mouse input";
    EXPECT_EQ(current_screen, Splash);
}

TEST_F(SplashScreen, UnboundGameExplainsAndOffersARebuildWithFocus) {
    game_run = nullptr;
    game_message = "The game module could not be loaded (error 126).";
    const std::wstring stamp = folders.work_dir + L"\\stamps\\build.json";
    const std::wstring module = folders.work_dir + L"\\build\\varnis_game.dll";
    ts::make_dirs(folders.work_dir + L"\\stamps");
    ts::make_dirs(folders.work_dir + L"\\build");
    ts::write_file(folders.ready_path, "iso=x\nversion=1\n");
    ts::write_file(stamp, "{}");
    ts::write_file(module, "MZ");

    ui::Headless h(960, 720, 1.0f);
    h.frame(draw);
    const auto runs = ui::text_runs();
    const ui::TextRun* message = run_in(runs, game_message, pal::error);
    const ui::TextRun* rebuild = ui::find_run(runs, "Rebuild the game");
    ASSERT_NE(message, nullptr);
    ASSERT_NE(rebuild, nullptr);
    EXPECT_LT(message->pos.y, rebuild->pos.y);
    EXPECT_EQ(ui::find_run(runs, "Play Game"), nullptr);
    EXPECT_NE(ui::find_run(runs, "Options"), nullptr);

    h.press_key(ImGuiKey_Space, draw);
    EXPECT_EQ(current_screen, Restart);
    EXPECT_FALSE(play_requested);
    EXPECT_FALSE(ts::file_exists(folders.ready_path));
    EXPECT_FALSE(ts::file_exists(stamp));
    EXPECT_TRUE(ts::file_exists(module)) << "only the marker and the stamp go";
}

TEST_F(SplashScreen, RebuildRestartsEvenWhenThereIsNothingToDelete) {
    game_run = nullptr;
    game_message = "x";
    ui::Headless h(960, 720, 1.0f);
    h.frame(draw);
    h.click(h.item_rect("##splash", "Rebuild the game", draw).centre(), draw);
    EXPECT_EQ(current_screen, Restart);
}

TEST_F(SplashScreen, LongGameMessageWrapsBetweenMargins) {
    game_run = nullptr;
    game_message = "The built game was made for a different version of this launcher; rebuild it "
                   "from your disc image so that the two match again.";
    ui::Headless h(640, 480, 1.0f);
    h.frame(draw);
    int lines = 0;
    for (const ui::TextRun& run : ui::text_runs()) {
        if (run.colour != ui::u32(pal::error)) continue;
        ++lines;
        EXPECT_NEAR(run.pos.x, 24.0f, 1.0f) << run.text;
        EXPECT_LE(run.pos.x + run.width, 640.0f - 24.0f + 1.0f) << run.text;
    }
    EXPECT_GE(lines, 2);
}

TEST_F(SplashScreen, LayoutFollowsTheWindowHeight) {
    struct Case { float w, h, scale; } cases[] = {{960, 720, 1.0f}, {700, 1400, 1.0f}, {1440, 1080, 1.5f}};
    for (const Case& c : cases) {
        ui::Headless h(c.w, c.h, c.scale);
        h.frame(draw);
        const auto runs = ui::text_runs();
        const ui::TextRun* title = run_in(runs, "VARNIS", pal::text);
        ASSERT_NE(title, nullptr);
        EXPECT_NEAR(title->pos.y, 0.14f * c.h, 1.0f) << c.w << "x" << c.h;
        const std::string issue = std::string("Known issue in ") + launcher_version +
                                  ": in some rooms the background music plays a short repeating fragment.";
        const std::string version = std::string("v") + launcher_version +
                                    "  -  rebuilt from your own disc; no game data is included.";
        const ui::TextRun* issue_run = run_in(runs, issue, pal::warning);
        const ui::TextRun* version_run = run_in(runs, version, pal::muted);
        ASSERT_NE(issue_run, nullptr);
        ASSERT_NE(version_run, nullptr);
        EXPECT_NEAR(issue_run->pos.y, c.h - 70.0f * c.scale, 1.0f);
        EXPECT_GT(version_run->pos.y, issue_run->pos.y);
        EXPECT_NEAR(ui::centre(*version_run).x, c.w * 0.5f, 2.0f);
        const ui::Rect play = h.item_rect("##splash", "Play Game", draw);
        EXPECT_NEAR(play.width(), 320.0f * c.scale, 0.5f);
        EXPECT_NEAR(play.height(), 58.0f * c.scale, 0.5f);
        EXPECT_NEAR(play.centre().x, c.w * 0.5f, 0.5f);
    }
}

TEST_F(SplashScreen, PagesAndTheWayBack) {
    ui::Headless h(960, 720, 1.0f);
    ImGui::GetIO().BackendFlags |= ImGuiBackendFlags_HasGamepad;  // as with a pad connected
    h.frame(draw);
    h.press_key(ImGuiKey_Escape, draw);
    EXPECT_EQ(splash_page, Menu) << "Escape does nothing on the menu";

    struct Case { const char* button; SplashPage page; const char* heading; ImGuiKey back; } cases[] = {
        {"Options", Options, "Options", ImGuiKey_Escape},
        {"About", About, "About Recompilation", ImGuiKey_GamepadFaceRight},
        {"Options", Options, "Options", ImGuiKey_None},  // the "Back" button
    };
    for (const Case& c : cases) {
        h.click(h.item_rect("##splash", c.button, draw).centre(), draw);
        ASSERT_EQ(splash_page, c.page) << c.button;
        h.frame(draw);
        const auto runs = ui::text_runs();
        EXPECT_NE(run_in(runs, c.heading, pal::accent), nullptr);
        EXPECT_EQ(ui::find_run(runs, "Play Game"), nullptr);
        EXPECT_NE(ui::find_run(runs, "Back"), nullptr);

        if (c.back == ImGuiKey_None)
            h.click(h.item_rect("##splash", "Back", draw).centre(), draw);
        else
            h.press_key(c.back, draw);
        EXPECT_EQ(splash_page, Menu) << c.button;
        // Back on the menu, the first button has the focus again.
        h.frame(draw);
        play_requested = false;
        h.press_key(ImGuiKey_Enter, draw);
        EXPECT_TRUE(play_requested) << c.button;
    }
}

TEST_F(SplashScreen, EscapeWhileDraggingTheSliderStaysOnThePage) {
    ui::Headless h(960, 720, 1.0f);
    splash_page = Options;
    h.frame(draw);
    const ui::Rect slider = h.item_rect("##splash", "##brightness", draw);
    ASSERT_GT(slider.width(), 0.0f);
    ImGuiIO& io = ImGui::GetIO();
    io.AddMousePosEvent(slider.centre().x, slider.centre().y);
    io.AddMouseButtonEvent(0, true);
    h.frame(draw);
    ASSERT_TRUE(ImGui::IsAnyItemActive());
    h.press_key(ImGuiKey_Escape, draw);
    EXPECT_EQ(splash_page, Options);
    io.AddMouseButtonEvent(0, false);
    h.frame(draw);
    h.press_key(ImGuiKey_Escape, draw);
    EXPECT_EQ(splash_page, Menu);
    EXPECT_TRUE(menu_focus_set) << "refocused on the frame after the return";
}

// --- Options ------------------------------------------------------------------------------------

TEST_F(SplashScreen, SliderShowsOriginalOrSignedLevel) {
    ui::Headless h(960, 720, 1.0f);
    splash_page = Options;
    struct Case { int picture; const char* shown; } cases[] = {{0, "Original"}, {12, "+12"}, {-7, "-7"}, {50, "+50"}};
    for (const Case& c : cases) {
        settings.picture = c.picture;
        h.frame(draw);
        EXPECT_NE(ui::find_run(ui::text_runs(), c.shown), nullptr) << c.picture;
    }
    EXPECT_FALSE(ts::file_exists(folders.settings_path)) << "drawing alone saves nothing";
}

TEST_F(SplashScreen, OptionsColumnAndAboutPanelWidths) {
    struct Case { float w, scale, column, panel; } cases[] = {
        {960, 1.0f, 640, 760}, {700, 1.0f, 620, 640}, {800, 1.0f, 640, 740}, {1440, 1.5f, 960, 1140},
    };
    for (const Case& c : cases) {
        ui::Headless h(c.w, c.w * 0.75f, c.scale);
        splash_page = Options;
        h.frame(draw);
        const ui::Rect slider = h.item_rect("##splash", "##brightness", draw);
        EXPECT_NEAR(slider.width(), c.column, 0.5f) << c.w;
        EXPECT_NEAR(slider.min.x, (c.w - c.column) * 0.5f, 0.5f) << c.w;
        const ui::TextRun* label = run_in(ui::text_runs(), "Brightness", pal::text);
        ASSERT_NE(label, nullptr);
        EXPECT_NEAR(label->pos.x, (c.w - c.column) * 0.5f, 1.0f);

        splash_page = About;
        h.frame(draw);
        const ImGuiWindow* child = about_child();
        ASSERT_NE(child, nullptr);
        EXPECT_NEAR(child->Size.x, c.panel, 0.5f) << c.w;
        EXPECT_NEAR(child->Pos.x, (c.w - c.panel) * 0.5f, 0.5f) << c.w;
    }
}

TEST_F(SplashScreen, OptionChangesAreSavedAtOnce) {
    ui::Headless h(960, 720, 1.0f);
    splash_page = Options;
    h.frame(draw);
    const ui::Rect slider = h.item_rect("##splash", "##brightness", draw);
    h.click(ImVec2(slider.max.x - 2, slider.centre().y), draw);
    EXPECT_EQ(settings.picture, 50);
    EXPECT_EQ(ts::read_file(folders.settings_path), format_settings(settings));

    h.click(h.item_rect("##splash", "Full screen", draw).centre(), draw);
    EXPECT_TRUE(settings.fullscreen);
    EXPECT_EQ(ts::read_file(folders.settings_path), format_settings(settings));
    EXPECT_NE(ts::read_file(folders.settings_path).find("fullscreen=1"), std::string::npos);
}

TEST_F(SplashScreen, TypedBrightnessIsKeptInRange) {
    ui::Headless h(960, 720, 1.0f);
    splash_page = Options;
    h.frame(draw);
    const ui::Rect slider = h.item_rect("##splash", "##brightness", draw);
    ImGuiIO& io = ImGui::GetIO();
    io.AddKeyEvent(ImGuiMod_Ctrl, true);
    h.click(slider.centre(), draw);  // Ctrl+click turns the slider into a text field
    io.AddKeyEvent(ImGuiMod_Ctrl, false);
    h.type("999", draw);
    h.press_key(ImGuiKey_Enter, draw);
    h.frame(draw);
    EXPECT_EQ(settings.picture, 50);
    EXPECT_NE(ts::read_file(folders.settings_path).find("picture=50\n"), std::string::npos);
}

TEST_F(SplashScreen, SavesFolderLineAndUseDefault) {
    // Short enough to stay on one line (the folder line wraps in the column).
    ts::ScopedEnv local(L"LOCALAPPDATA", L"C:\\Local");
    ui::Headless h(960, 720, 1.0f);
    splash_page = Options;
    h.frame(draw);
    auto runs = ui::text_runs();
    const std::string fallback = "C:\\Local\\dravik  (default)";
    EXPECT_NE(run_in(runs, fallback, pal::muted), nullptr) << fallback;
    EXPECT_EQ(ui::find_run(runs, "Use default"), nullptr);

    settings.saves = L"D:\\Saved games\\Varnis";
    h.frame(draw);
    runs = ui::text_runs();
    EXPECT_NE(run_in(runs, "D:\\Saved games\\Varnis", pal::text), nullptr);
    ASSERT_NE(ui::find_run(runs, "Use default"), nullptr);

    h.click(h.item_rect("##splash", "Use default", draw).centre(), draw);
    h.frame(draw);
    EXPECT_TRUE(settings.saves.empty());
    EXPECT_EQ(ts::read_file(folders.settings_path), format_settings(settings));
    EXPECT_EQ(ui::find_run(ui::text_runs(), "Use default"), nullptr);
}

TEST(EffectiveSavesFolder, ChosenFolderOrDravikUnderLocalAppData) {
    const std::wstring long_value(5000, L'x');
    struct Case { const wchar_t* saves; const wchar_t* local; std::wstring expected; } cases[] = {
        {L"E:\\Saves", L"C:\\Users\\p\\AppData\\Local", L"E:\\Saves"},
        {L"", L"C:\\Users\\p\\AppData\\Local", L"C:\\Users\\p\\AppData\\Local\\dravik"},
        {L"", L"C:\\Local\\", L"C:\\Local\\dravik"},
        {L"", nullptr, L"dravik"},
        {L"", L"", L"dravik"},
        {L"", long_value.c_str(), L"dravik"},
    };
    for (const Case& c : cases) {
        ts::ScopedEnv local(L"LOCALAPPDATA", c.local);
        settings = LauncherSettings{};
        settings.saves = c.saves;
        EXPECT_EQ(effective_saves_folder(), c.expected);
    }
    settings = LauncherSettings{};
}

// --- About --------------------------------------------------------------------------------------

TEST_F(SplashScreen, AboutTextScrollsInsideItsPanel) {
    ui::Headless h(960, 600, 1.0f);
    splash_page = About;
    h.frame(draw);
    h.frame(draw);
    ImGuiWindow* child = about_child();
    ASSERT_NE(child, nullptr);
    ASSERT_GT(child->ScrollMax.y, 0.0f) << "the text is taller than the panel";
    auto runs = ui::text_runs();
    const ui::TextRun* title = run_in(runs, "About Recompilation", pal::accent);
    ASSERT_NE(title, nullptr);
    const float title_y = title->pos.y;
    const ui::Rect back = h.item_rect("##splash", "Back", draw);
    EXPECT_GE(back.min.y, child->Pos.y + child->Size.y) << "Back stays below the panel";
    EXPECT_LE(back.max.y, 600.0f);

    // Descriptions sit 18 under their name and wrap 24 short of the panel's right edge.
    const float right = child->Pos.x + child->Size.x - 24.0f;
    int wrapped = 0;
    for (const ui::TextRun& run : runs) {
        if (run.colour != ui::u32(pal::muted) || run.pos.y < child->Pos.y) continue;
        if (run.pos.y > child->Pos.y + child->Size.y) continue;
        EXPECT_LE(run.pos.x + run.width, right + 1.0f) << run.text;
        wrapped += std::fabs(run.pos.x - (child->Pos.x + child->WindowPadding.x + 18.0f)) < 1.0f;
    }
    EXPECT_GT(wrapped, 3);

    ImGuiIO& io = ImGui::GetIO();
    io.AddMousePosEvent(child->Pos.x + 50, child->Pos.y + 50);
    h.frame(draw);
    io.AddMouseWheelEvent(0.0f, -2.0f);
    h.frame(draw);
    h.frame(draw);
    EXPECT_GT(child->Scroll.y, 0.0f);
    runs = ui::text_runs();
    title = run_in(runs, "About Recompilation", pal::accent);
    ASSERT_NE(title, nullptr);
    EXPECT_EQ(title->pos.y, title_y) << "the title lines do not scroll";
    EXPECT_NEAR(h.item_rect("##splash", "Back", draw).min.y, back.min.y, 0.5f);
}

TEST_F(SplashScreen, AboutTextFitsATallWindow) {
    ui::Headless h(960, 2200, 1.0f);
    splash_page = About;
    h.frame(draw);
    h.frame(draw);
    const ImGuiWindow* child = about_child();
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(child->ScrollMax.y, 0.0f);
    const auto runs = ui::text_runs();
    for (const char* heading : {"Work in progress", "Recompilation", "Original game", "Libraries and tools"})
        EXPECT_NE(run_in(runs, heading, pal::accent), nullptr) << heading;
    for (const char* name : {"Dravik", "Xbox emulator", "Varnis", "Dear ImGui", "Capstone", "Python",
                             "Zig", "CMake and Ninja"})
        EXPECT_NE(run_in(runs, name, pal::text), nullptr) << name;
    EXPECT_NE(run_in(runs, std::string("v") + launcher_version, pal::muted), nullptr);
}

}  // namespace
