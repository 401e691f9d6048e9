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
    std::string log() { return ts::read_file(dir + L"\\launcher.log"); }
};

TEST_F(SettingsTest, SaveThenLoadRoundTrips) {
    settings.iso = L"C:\\Spiele\\M\u00edas \u03a9\\disc=1.iso";
    settings.picture = -12;
    settings.saves = L"D:\\\u0421\u0435\u0439\u0432\u044b";
    settings.fullscreen = true;
    save_settings();
    EXPECT_EQ(ts::read_file(folders.settings_path),
              "iso=C:\\Spiele\\M\xC3\xAD" "as \xCE\xA9\\disc=1.iso\npicture=-12\n"
              "saves=D:\\\xD0\xA1\xD0\xB5\xD0\xB9\xD0\xB2\xD1\x8B\nfullscreen=1\n");
    const LauncherSettings saved = settings;
    settings = LauncherSettings{};
    load_settings();
    EXPECT_EQ(settings.iso, saved.iso);
    EXPECT_EQ(settings.picture, -12);
    EXPECT_EQ(settings.saves, saved.saves);
    EXPECT_TRUE(settings.fullscreen);
    EXPECT_FALSE(ts::file_exists(folders.settings_path + L".tmp"));
}

TEST_F(SettingsTest, LoadRules) {
    struct Case {
        const char* name;
        const char* file;
        const wchar_t* iso;
        int picture;
        bool fullscreen;
    };
    const Case cases[] = {
        {"missing keys take defaults", "", L"", 0, false},
        {"CR LF reads like LF", "iso=C:\\a.iso\r\npicture=5\r\nfullscreen=1\r\n", L"C:\\a.iso", 5, true},
        {"picture 999 clamps to 50", "picture=999\n", L"", 50, false},
        {"picture -80 clamps to -50", "picture=-80\n", L"", -50, false},
        {"picture +7", "picture=+7\n", L"", 7, false},
        {"picture with a leading space", "picture= 7\n", L"", 7, false},
        {"picture 7x", "picture=7x\n", L"", 7, false},
        {"picture x", "picture=x\n", L"", 0, false},
        {"fullscreen 01", "fullscreen=01\n", L"", 0, false},
        {"fullscreen 1 and a space", "fullscreen=1 \n", L"", 0, false},
        {"fullscreen true", "fullscreen=true\n", L"", 0, false},
        {"spaces around = make another key", "iso = C:\\a.iso\n", L"", 0, false},
        {"the later duplicate wins", "iso=C:\\a.iso\niso=C:\\b.iso\n", L"C:\\b.iso", 0, false},
        {"a byte-order mark spoils the first key only",
         "\xEF\xBB\xBFiso=C:\\a.iso\npicture=3\n", L"", 3, false},
        {"the value keeps every = after the first", "iso=C:\\x=y\\a.iso", L"C:\\x=y\\a.iso", 0, false},
        {"lines without = are skipped", "junk\n\niso=C:\\a.iso\n", L"C:\\a.iso", 0, false},
        {"keys are case-sensitive", "ISO=C:\\a.iso\n", L"", 0, false},
    };
    for (const Case& c : cases) {
        const LauncherSettings s = load(c.file);
        EXPECT_EQ(s.iso, c.iso) << c.name;
        EXPECT_EQ(s.picture, c.picture) << c.name;
        EXPECT_EQ(s.fullscreen, c.fullscreen) << c.name;
    }
}

TEST_F(SettingsTest, SaveWritesExactlyFourLinesWithTheClampedValue) {
    load("picture=999\nextra=kept?\nsaves=E:\\s\n");
    save_settings();
    EXPECT_EQ(ts::read_file(folders.settings_path),
              "iso=\npicture=50\nsaves=E:\\s\nfullscreen=0\n");
}

TEST_F(SettingsTest, FailedWriteKeepsTheOldFileWholeAndLogs) {
    const std::string old_file = "iso=C:\\games\\disc.iso\npicture=4\nsaves=\nfullscreen=0\n";
    ts::write_file(folders.settings_path, old_file);
    open_launcher_log();
    settings.iso = L"C:\\other.iso";

    // Another program holds the file open without sharing: it cannot be replaced.
    HANDLE lock = CreateFileW(folders.settings_path.c_str(), GENERIC_READ, 0, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    save_settings();
    CloseHandle(lock);
    EXPECT_EQ(ts::read_file(folders.settings_path), old_file);
    EXPECT_FALSE(ts::file_exists(folders.settings_path + L".tmp"));

    // A folder where the temporary file would go: nothing can be written at all.
    CreateDirectoryW((folders.settings_path + L".tmp").c_str(), nullptr);
    save_settings();
    EXPECT_EQ(ts::read_file(folders.settings_path), old_file);
    RemoveDirectoryW((folders.settings_path + L".tmp").c_str());

    const std::string text = log();
    size_t count = 0;
    for (size_t at = 0; (at = text.find("cannot write settings.ini\n", at)) != std::string::npos; ++at)
        ++count;
    EXPECT_EQ(count, 2u) << text;

    save_settings();  // once nothing is in the way, the values kept in memory land
    EXPECT_EQ(ts::read_file(folders.settings_path),
              "iso=C:\\other.iso\npicture=0\nsaves=\nfullscreen=0\n");
}

TEST_F(SettingsTest, MissingDataFolderLogsAndCreatesNothing) {
    folders.settings_path = dir + L"\\gone\\settings.ini";
    open_launcher_log();
    settings.picture = 9;
    save_settings();
    EXPECT_NE(log().find("cannot write settings.ini\n"), std::string::npos);
    EXPECT_EQ(GetFileAttributesW((dir + L"\\gone").c_str()), INVALID_FILE_ATTRIBUTES);
    // Once the folder is there, the next save writes what the failed one could not.
    CreateDirectoryW((dir + L"\\gone").c_str(), nullptr);
    save_settings();
    EXPECT_EQ(ts::read_file(folders.settings_path), "iso=\npicture=9\nsaves=\nfullscreen=0\n");
}

TEST(KeyValues, ReadTextFileConvertsUtf8AndKeepsTheMark) {
    const std::wstring dir = ts::make_temp_dir(L"kv");
    ts::write_file(dir + L"\\a.txt", "\xEF\xBB\xBFk=v\xFF");
    EXPECT_EQ(read_text_file(dir + L"\\a.txt"), L"\uFEFFk=v\uFFFD");
    EXPECT_EQ(read_text_file(dir + L"\\missing.txt"), L"");
    EXPECT_TRUE(read_key_values(dir + L"\\missing.txt").empty());
    std::string big(10000, 'x');
    ts::write_file(dir + L"\\big.txt", "k=" + big);
    EXPECT_EQ(read_key_values(dir + L"\\big.txt")[L"k"].size(), big.size());
    ts::remove_tree(dir);
}

}  // namespace
