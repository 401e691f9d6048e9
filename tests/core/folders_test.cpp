#include <gtest/gtest.h>

#include <cwchar>
#include <memory>
#include <string>

#include "launcher/folders.h"
#include "pipeline/build_runner.h"
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

// A path of `length` characters in full form, given with a detour the full form leaves out.
std::wstring detour_to_length(size_t length) {
    std::wstring full = L"C:";
    while (full.size() + 201 <= length) full += L"\\" + std::wstring(200, L'a');
    full += L"\\" + std::wstring(length - full.size() - 1, L'b');
    return L"C:\\x\\..\\" + full.substr(3);
}

TEST(FullPath, ResolvesAgainstCurrentDirectoryUnlessTooLong) {
    EXPECT_EQ(full_path(L"D:\\x\\y\\..\\kit"), L"D:\\x\\kit");
    EXPECT_EQ(full_path(L"E:\\data\\"), L"E:\\data\\");
    // The buffer holds 1040 characters with the terminating zero.
    const std::wstring fits = detour_to_length(1039);
    const std::wstring too_long = detour_to_length(1040);
    ASSERT_EQ(fits.size(), 1039u + 5u);
    ASSERT_EQ(too_long.size(), 1040u + 5u);
    EXPECT_EQ(full_path(fits), L"C:\\" + fits.substr(8));
    EXPECT_EQ(full_path(fits).size(), 1039u);
    EXPECT_EQ(full_path(too_long), too_long);
    const std::wstring longer = L"C:\\" + std::wstring(1100, L'a');
    EXPECT_EQ(full_path(longer), longer);
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
    // The test program's folder, found apart from the launcher: the process image's full name
    // less this program's known file name.
    wchar_t image[2048];
    DWORD size = 2048;
    ASSERT_TRUE(QueryFullProcessImageNameW(GetCurrentProcess(), 0, image, &size));
    const std::wstring name = L"\\core_tests.exe";
    const std::wstring exe = image;
    ASSERT_GT(exe.size(), name.size());
    ASSERT_EQ(_wcsicmp(exe.substr(exe.size() - name.size()).c_str(), name.c_str()), 0) << to_utf8(exe);
    const std::wstring exe_dir = exe.substr(0, exe.size() - name.size());
    EXPECT_EQ(folders.exe_dir, exe_dir);
    EXPECT_EQ(folders.tools_dir, exe_dir + L"\\tools");
    const std::wstring data_dir = dir + L"\\Local\\VarnisRecomp";
    EXPECT_EQ(folders.data_dir, data_dir);
    EXPECT_EQ(folders.work_dir, data_dir + L"\\work");
    EXPECT_EQ(folders.logs_dir, data_dir + L"\\logs");
    EXPECT_EQ(folders.settings_path, data_dir + L"\\settings.ini");
    EXPECT_EQ(folders.ready_path, data_dir + L"\\work\\ready.txt");
    EXPECT_EQ(folders.game_module_path, data_dir + L"\\work\\build\\varnis_game.dll");
    EXPECT_EQ(folders.python_path, exe_dir + L"\\tools\\python\\python.exe");
    EXPECT_EQ(folders.build_script_path, exe_dir + L"\\tools\\project\\tools\\build_from_iso.py");
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

// A fixed local time for the per-run log names.
SYSTEMTIME fixed_time;
void fixed_clock(SYSTEMTIME* t) { *t = fixed_time; }

struct LogNames : testing::Test {
    std::wstring dir = ts::make_temp_dir(L"lognames");
    void TearDown() override {
        log_name_clock = GetLocalTime;
        ts::remove_tree(dir);
    }
};

TEST_F(LogNames, BuildLogIsNamedFromTheLocalTimeWhenTheBuildStarts) {
    const struct {
        SYSTEMTIME time;  // year, month, day of week, day, hour, minute, second, ms
        const wchar_t* name;
    } cases[] = {
        {{2026, 3, 6, 7, 4, 5, 9, 999}, L"build-20260307-040509.log"},
        {{1999, 12, 5, 31, 23, 59, 58, 0}, L"build-19991231-235958.log"},
        {{2031, 1, 3, 2, 0, 0, 0, 0}, L"build-20310102-000000.log"},
    };
    folders = Folders{};
    folders.tools_dir = dir + L"\\no tools";  // the start fails at once, after naming the log
    folders.data_dir = dir;
    derive_folder_paths(folders);
    log_name_clock = fixed_clock;
    for (const auto& c : cases) {
        fixed_time = c.time;
        const auto job = std::make_shared<BuildJob>();
        run_build_script(job);
        EXPECT_EQ(job->log_path, dir + L"\\logs\\" + c.name);
    }
}

TEST_F(LogNames, DefaultClockIsTheLocalTime) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        SYSTEMTIME before, after;
        GetLocalTime(&before);
        const std::wstring name = timestamped_log_name(L"game");
        GetLocalTime(&after);
        if (before.wSecond != after.wSecond) continue;  // the second turned over meanwhile
        wchar_t expected[64];
        swprintf(expected, 64, L"game-%04u%02u%02u-%02u%02u%02u.log", before.wYear, before.wMonth,
                 before.wDay, before.wHour, before.wMinute, before.wSecond);
        EXPECT_EQ(name, expected);
        return;
    }
    ADD_FAILURE() << "the clock turned over a second in every attempt";
}

}  // namespace
