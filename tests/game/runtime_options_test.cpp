#include <cstdlib>
#include <string>

#include "game/game_module.h"
#include "game/game_thread.h"
#include "game_sandbox.h"
#include "launcher/render.h"
#include "launcher/screen_flow.h"
#include "launcher/settings.h"

namespace {

TEST(RuntimeBrightness, FollowsThePictureLevelTable) {
    const int table[][2] = {{-50, -72}, {-40, -67}, {-30, -62}, {-25, -60}, {-20, -57},
                            {-10, -50}, {0, -43},   {10, -35},  {20, -25},  {25, -19},
                            {30, -14},  {40, -1},   {50, 14}};
    for (const auto& row : table) EXPECT_EQ(runtime_brightness(row[0]), row[1]) << row[0];
}

// The variable as the process environment and as the C runtime's copy hold it.
struct EnvValue {
    bool present;
    std::wstring value;
};
EnvValue process_env(const wchar_t* name) {
    std::wstring buf(32768, L'\0');
    SetLastError(0);
    const DWORD n = GetEnvironmentVariableW(name, &buf[0], 32768);
    buf.resize(n);
    return {n > 0 || GetLastError() != ERROR_ENVVAR_NOT_FOUND, buf};
}
EnvValue crt_env(const wchar_t* name) {
    const wchar_t* value = _wgetenv(name);
    return {value != nullptr, value ? value : L""};
}

struct ExportRuntimeOptions : GameSandbox {
    void SetUp() override {
        GameSandbox::SetUp();
        settings = LauncherSettings{};
    }
};

TEST_F(ExportRuntimeOptions, NoChosenFolderRemovesTheUsersSaveDir) {
    _wputenv_s(L"DRAVIK_SAVE_DIR", L"C:\\the user's own");
    settings.picture = 0;
    export_runtime_options();
    EXPECT_FALSE(process_env(L"DRAVIK_SAVE_DIR").present);
    EXPECT_FALSE(crt_env(L"DRAVIK_SAVE_DIR").present);
    EXPECT_EQ(process_env(L"DRAVIK_BRIGHTNESS").value, L"-43");
    const std::string fallback = to_utf8(path_join(get_env(L"LOCALAPPDATA"), L"dravik"));
    EXPECT_EQ(log_messages(), std::vector<std::string>{
                                  "options: brightness 0 (runtime -43), saves " + fallback});
}

TEST_F(ExportRuntimeOptions, ChosenFolderIsCarriedIntact) {
    const std::wstring folder = L"D:\\Spielst\u00e4nde\\M\u00edas \u5b58\u6863 100%";
    const struct {
        int picture;
        const wchar_t* runtime;
    } cases[] = {{-50, L"-72"}, {50, L"14"}, {-7, L"-48"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.picture);
        settings.picture = c.picture;
        settings.saves = folder;
        export_runtime_options();
        for (const EnvValue& v : {process_env(L"DRAVIK_SAVE_DIR"), crt_env(L"DRAVIK_SAVE_DIR")}) {
            EXPECT_TRUE(v.present);
            EXPECT_EQ(v.value, folder);
        }
        for (const EnvValue& v : {process_env(L"DRAVIK_BRIGHTNESS"), crt_env(L"DRAVIK_BRIGHTNESS")})
            EXPECT_EQ(v.value, c.runtime);
        EXPECT_EQ(log_messages().back(), "options: brightness " + std::to_string(c.picture) +
                                             " (runtime " + to_utf8(c.runtime) + "), saves " +
                                             to_utf8(folder));
    }
}

// A request without a bound game is dropped: the interface stays and no game thread starts.
TEST_F(ExportRuntimeOptions, HandOffWithoutABoundGameKeepsTheInterface) {
    game_run = nullptr;
    play_requested = true;
    ui_ready = true;  // stands for a live interface; nothing may be released
    hand_off_to_game();
    const bool kept = ui_ready;
    ui_ready = false;
    EXPECT_TRUE(kept);
    EXPECT_FALSE(play_requested);
    EXPECT_FALSE(game_running);
    EXPECT_TRUE(log_messages().empty());
}

}  // namespace
