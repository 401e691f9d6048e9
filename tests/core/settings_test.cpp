#include <gtest/gtest.h>

#include "launcher/folders.h"
#include "launcher/log.h"
#include "launcher/settings.h"
#include "test_support.h"

namespace {

struct SettingsTest : testing::Test {
    std::wstring dir;
    void SetUp() override {
        dir = ts::make_temp_dir(L"settings");
        folders.data_dir = dir;
        folders.logs_dir = dir;
        folders.settings_path = dir + L"\\settings.ini";
        settings = LauncherSettings{};
    }
    void TearDown() override {
        if (launcher_log_file) fclose(launcher_log_file);
        launcher_log_file = nullptr;
        ts::remove_tree(dir);
    }
    LauncherSettings load(const std::string& bytes) {
        ts::write_file(folders.settings_path, bytes);
        settings = LauncherSettings{};
        load_settings();
        return settings;
    }
};

TEST_F(SettingsTest, SaveThenLoadRoundTrips) {
    settings.iso = L"C:\\Spiele\\Mías Ω\\disc=1.iso";
    settings.picture = -12;
    settings.saves = L"D:\\Сохранения";
    settings.fullscreen = true;
    save_settings();
    EXPECT_EQ(ts::read_file(folders.settings_path),
              "iso=C:\\Spiele\\M\xC3\xAD" "as \xCE\xA9\\disc=1.iso\npicture=-12\n"
              "saves=D:\\\xD0\xA1\xD0\xBE\xD1\x85\xD1\x80\xD0\xB0\xD0\xBD\xD0\xB5\xD0\xBD\xD0\xB8\xD1\x8F\n"
              "fullscreen=1\n");
    const LauncherSettings saved = settings;
    settings = LauncherSettings{};
    load_settings();
    EXPECT_EQ(settings.iso, saved.iso);
    EXPECT_EQ(settings.picture, -12);
    EXPECT_EQ(settings.saves, saved.saves);
    EXPECT_TRUE(settings.fullscreen);
}

}  // namespace
