#include <gtest/gtest.h>

#include <string>

#include "launcher/folders.h"
#include "test_support.h"

namespace {

TEST(PathJoin, JoinsWithOneSeparator) {
    struct Case { const wchar_t* left; const wchar_t* right; const wchar_t* expected; };
    const Case cases[] = {
        {L"", L"b", L"b"},
        {L"C:\\a", L"b", L"C:\\a\\b"},
        {L"C:\\a\\", L"b", L"C:\\a\\b"},
        {L"C:/a/", L"b", L"C:/a/b"},
        {L"C:\\a", L"\\b", L"C:\\a\\\\b"},  // the right piece is never inspected
    };
    for (const Case& c : cases)
        EXPECT_EQ(path_join(c.left, c.right), c.expected) << "left " << to_utf8(c.left);
}

TEST(Utf, ConvertsBothWaysAndReplacesInvalidInput) {
    const std::wstring wide = L"C:\\M\u00edas \u03a9\\\U0001F3AE.iso";
    EXPECT_EQ(to_utf8(wide), "C:\\M\xC3\xAD" "as \xCE\xA9\\\xF0\x9F\x8E\xAE.iso");
    EXPECT_EQ(to_wide(to_utf8(wide)), wide);
    EXPECT_EQ(to_utf8(L""), "");
    EXPECT_EQ(to_wide(""), L"");
    EXPECT_EQ(to_wide("a\xFF" "b"), L"a\uFFFDb");
    EXPECT_EQ(to_utf8(std::wstring(L"a") + wchar_t(0xD800) + L"b"), "a\xEF\xBF\xBD" "b");
}

TEST(GetEnv, ValuesThatDoNotFitCountAsUnset) {
    ts::ScopedEnv fits(L"VARNIS_TEST_VALUE", std::wstring(4095, L'x').c_str());
    EXPECT_EQ(get_env(L"VARNIS_TEST_VALUE").size(), 4095u);
    ts::ScopedEnv too_long(L"VARNIS_TEST_VALUE", std::wstring(4096, L'x').c_str());
    EXPECT_EQ(get_env(L"VARNIS_TEST_VALUE"), L"");
    ts::ScopedEnv empty(L"VARNIS_TEST_VALUE", L"");
    EXPECT_EQ(get_env(L"VARNIS_TEST_VALUE"), L"");
    ts::ScopedEnv unset(L"VARNIS_TEST_VALUE", nullptr);
    EXPECT_EQ(get_env(L"VARNIS_TEST_VALUE"), L"");
}

TEST(FullPath, ResolvesAgainstCurrentDirectoryUnlessTooLong) {
    EXPECT_EQ(full_path(L"D:\\x\\y\\..\\kit"), L"D:\\x\\kit");
    EXPECT_EQ(full_path(L"E:\\data\\"), L"E:\\data\\");
    const std::wstring long_path = L"C:\\" + std::wstring(1100, L'a');
    EXPECT_EQ(full_path(long_path), long_path);
}

struct ResolveFolders : testing::Test {
    std::wstring dir;
    wchar_t old_cwd[1040] = {};
    void SetUp() override {
        dir = ts::make_temp_dir(L"folders");
        GetCurrentDirectoryW(1040, old_cwd);
    }
    void TearDown() override {
        SetCurrentDirectoryW(old_cwd);
        ts::remove_tree(dir);
    }
};

TEST_F(ResolveFolders, DefaultsFollowExeAndLocalAppData) {
    ts::ScopedEnv tools(L"VARNIS_TOOLS", nullptr);
    ts::ScopedEnv data(L"VARNIS_DATA", L"");  // empty counts as unset
    ts::ScopedEnv local(L"LOCALAPPDATA", (dir + L"\\Local").c_str());
    CreateDirectoryW((dir + L"\\Local").c_str(), nullptr);
    resolve_folders();
    EXPECT_EQ(folders.exe_dir, ts::exe_dir());
    EXPECT_EQ(folders.tools_dir, ts::exe_dir() + L"\\tools");
    const std::wstring data_dir = dir + L"\\Local\\VarnisRecomp";
    EXPECT_EQ(folders.data_dir, data_dir);
    EXPECT_EQ(folders.work_dir, data_dir + L"\\work");
    EXPECT_EQ(folders.logs_dir, data_dir + L"\\logs");
    EXPECT_EQ(folders.settings_path, data_dir + L"\\settings.ini");
    EXPECT_EQ(folders.ready_path, data_dir + L"\\work\\ready.txt");
    EXPECT_EQ(folders.game_module_path, data_dir + L"\\work\\build\\varnis_game.dll");
    EXPECT_EQ(folders.python_path, ts::exe_dir() + L"\\tools\\python\\python.exe");
    EXPECT_EQ(folders.build_script_path,
              ts::exe_dir() + L"\\tools\\project\\tools\\build_from_iso.py");
    // Data and logs folders are created; the work folder is left to the build script.
    EXPECT_NE(GetFileAttributesW(folders.logs_dir.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetFileAttributesW(folders.work_dir.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(ResolveFolders, OverridesAreMadeAbsoluteAndKeepTrailingSeparator) {
    ts::make_dirs(dir + L"\\x\\y");
    SetCurrentDirectoryW((dir + L"\\x\\y").c_str());
    ts::ScopedEnv tools(L"VARNIS_TOOLS", L"..\\kit");
    ts::ScopedEnv data(L"VARNIS_DATA", (dir + L"\\data\\").c_str());
    resolve_folders();
    EXPECT_EQ(folders.tools_dir, dir + L"\\x\\kit");
    EXPECT_EQ(folders.data_dir, dir + L"\\data\\");
    EXPECT_EQ(folders.logs_dir, dir + L"\\data\\logs");
    EXPECT_EQ(folders.python_path, dir + L"\\x\\kit\\python\\python.exe");
}

TEST_F(ResolveFolders, MissingParentCreatesNothing) {
    ts::ScopedEnv data(L"VARNIS_DATA", (dir + L"\\no\\such\\data").c_str());
    resolve_folders();
    EXPECT_EQ(GetFileAttributesW((dir + L"\\no").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(LogNames, CarryThePrefixAndLocalTime) {
    SYSTEMTIME before;
    GetLocalTime(&before);
    const std::wstring name = timestamped_log_name(L"build");
    ASSERT_EQ(name.size(), std::wstring(L"build-YYYYMMDD-HHMMSS.log").size());
    EXPECT_EQ(name.substr(0, 6), L"build-");
    EXPECT_EQ(name.substr(6, 4), std::to_wstring(before.wYear));
    EXPECT_EQ(name.substr(name.size() - 4), L".log");
}

}  // namespace
