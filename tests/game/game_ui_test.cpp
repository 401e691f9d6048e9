// The hand-off on a real interface: windows, Direct3D 11 device and Dear ImGui under the test display.
#include <imgui.h>

#include <string>

#include "game/game_module.h"
#include "game/game_thread.h"
#include "game_sandbox.h"
#include "launcher/render.h"
#include "launcher/screen_flow.h"
#include "launcher/settings.h"
#include "launcher/windows.h"

namespace {

struct LiveInterface : GameSandbox {
    void SetUp() override {
        GameSandbox::SetUp();
        settings = LauncherSettings{};
        ASSERT_TRUE(create_windows(GetModuleHandleW(nullptr)));
        ASSERT_TRUE(create_device());
        init_ui();
        ASSERT_TRUE(ui_ready);
        // One drawn frame, so the renderer backend has made its own device objects too.
        begin_ui_frame();
        ImGui::Text("%s", "frame");
        render_frame();
    }
    void TearDown() override {
        if (ui_ready) shutdown_ui();
        if (IsWindow(frame_window)) DestroyWindow(frame_window);
        frame_window = child_window = nullptr;
        MSG m;
        while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
        GameSandbox::TearDown();
    }
};

TEST_F(LiveInterface, ShutdownReleasesEveryInterfaceObject) {
    ID3D11Device* held = device;
    held->AddRef();
    shutdown_ui();
    EXPECT_FALSE(ui_ready);
    EXPECT_EQ(ImGui::GetCurrentContext(), nullptr);
    EXPECT_EQ(render_target_view, nullptr);
    EXPECT_EQ(swap_chain, nullptr);
    EXPECT_EQ(device_context, nullptr);
    EXPECT_EQ(device, nullptr);
    // Nothing of the launcher or of the backends still holds the device: ours was the last.
    EXPECT_EQ(held->Release(), 0u);
    shutdown_ui();  // a second call finds nothing left to release
    EXPECT_FALSE(ui_ready);
}

TEST_F(LiveInterface, HandOffRunsTheGameOnItsOwnThreadInTheChildWindow) {
    install_module("fixture_game_good", L"work");
    bind_game_module();
    ASSERT_NE(game_run, nullptr) << game_message;
    settings.picture = 10;
    settings.saves = root + L"\\saves";
    play_requested = true;

    hand_off_to_game();
    EXPECT_FALSE(play_requested);
    EXPECT_TRUE(game_running);
    EXPECT_FALSE(ui_ready);
    EXPECT_EQ(device, nullptr);

    const std::wstring run_record = folders.work_dir + L"\\fixture-run.txt";
    ASSERT_TRUE(ts::wait_until([&] { return ts::file_exists(run_record); }, 10000));
    const std::string run = ts::read_file(run_record);
    char window[32];
    snprintf(window, sizeof window, "window=%llx",
             static_cast<unsigned long long>(reinterpret_cast<ULONG_PTR>(child_window)));
    EXPECT_TRUE(has_line(run, window)) << run;
    EXPECT_TRUE(has_line(run, "launcher_child=1")) << run;
    EXPECT_TRUE(has_line(run, "other_thread=1")) << run;
    EXPECT_TRUE(has_line(run, "stack_reserve=16777216")) << run;
    EXPECT_TRUE(has_line(run, "DRAVIK_BRIGHTNESS=-35")) << run;
    EXPECT_TRUE(has_line(run, "DRAVIK_SAVE_DIR=" + to_utf8(settings.saves))) << run;

    const std::vector<std::string> lines = log_messages();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].rfind("game prepared; log ", 0), 0u);
    EXPECT_EQ(lines[1], "options: brightness 10 (runtime -35), saves " + to_utf8(settings.saves));
    EXPECT_EQ(lines[2], "game started");
}

}  // namespace
