#include <gtest/gtest.h>

#include "game/game_module.h"
#include "launcher/folders.h"
#include "launcher/screen_flow.h"
#include "launcher/settings.h"
#include "test_support.h"

namespace {

std::string disc_image_bytes() {
    std::string bytes(0x10000 + 4096, '\0');
    bytes.replace(0x10000, 20, "MICROSOFT*XBOX*MEDIA");
    return bytes;
}

struct ScreenFlow : testing::Test {
    std::wstring dir;
    std::wstring iso;
    void SetUp() override {
        dir = ts::make_temp_dir(L"flow");
        folders = Folders{};
        folders.data_dir = dir + L"\\data";
        folders.tools_dir = dir + L"\\tools";
        derive_folder_paths(folders);
        ts::make_dirs(folders.logs_dir);
        ts::make_dirs(folders.tools_dir);
        ts::make_dirs(folders.work_dir + L"\\build");
        iso = dir + L"\\Disc One.iso";
        ts::write_file(iso, disc_image_bytes());
        settings = LauncherSettings{};
        settings.iso = iso;
        game_message.clear();
        game_run = nullptr;
    }
    void TearDown() override { ts::remove_tree(dir); }
    void write_ready(const std::wstring& marker_iso, const std::string& version_line) {
        ts::write_file(folders.ready_path, "iso=" + to_utf8(marker_iso) + "\n" + version_line);
    }
    void write_module() { ts::write_file(folders.game_module_path, "not really a DLL"); }
};

TEST_F(ScreenFlow, ToolsVersionIsTrimmed) {
    struct Case { const char* file; const wchar_t* version; };
    const Case cases[] = {
        {"0.7\n", L"0.7"}, {"\"0.7\"", L"0.7"}, {" \t0.7 beta\r\n", L"0.7 beta"},
        {" \"\r\n\t", L""}, {"", L""},
    };
    for (const Case& c : cases) {
        ts::write_file(folders.tools_dir + L"\\VERSION", c.file);
        EXPECT_EQ(read_tools_version(), c.version) << c.file;
    }
    DeleteFileW((folders.tools_dir + L"\\VERSION").c_str());
    EXPECT_EQ(read_tools_version(), L"");
}

TEST_F(ScreenFlow, BuildIsReadyOnlyWhenMarkerVersionAndModuleAgree) {
    ts::write_file(folders.tools_dir + L"\\VERSION", "0.7\n");
    write_module();
    write_ready(iso, "version=0.7\n");
    EXPECT_TRUE(is_build_ready());

    std::wstring upper = iso;
    upper[upper.size() - 3] = L'I';
    write_ready(upper, "version=0.7\n");
    EXPECT_FALSE(is_build_ready()) << "letter case differs";
    std::wstring slashes = iso;
    for (auto& ch : slashes) if (ch == L'\\') ch = L'/';
    write_ready(slashes, "version=0.7\n");
    EXPECT_FALSE(is_build_ready()) << "separators differ";
    write_ready(iso, "version=0.8\n");
    EXPECT_FALSE(is_build_ready()) << "tools changed";
    write_ready(iso, "");
    EXPECT_FALSE(is_build_ready()) << "marker without a version";

    DeleteFileW((folders.tools_dir + L"\\VERSION").c_str());
    EXPECT_TRUE(is_build_ready()) << "no version on either side";

    DeleteFileW(folders.game_module_path.c_str());
    EXPECT_FALSE(is_build_ready()) << "module missing";
    CreateDirectoryW(folders.game_module_path.c_str(), nullptr);
    EXPECT_FALSE(is_build_ready()) << "a folder in the module's place";
}

TEST_F(ScreenFlow, FirstScreen) {
    settings.iso.clear();
    choose_first_screen();
    EXPECT_EQ(current_screen, Iso);

    settings.iso = dir + L"\\missing.iso";
    ts::write_file(folders.settings_path, "iso=" + to_utf8(settings.iso) + "\n");
    choose_first_screen();
    EXPECT_EQ(current_screen, Iso);
    EXPECT_EQ(settings.iso, L"") << "a refused image is forgotten in memory";
    EXPECT_NE(ts::read_file(folders.settings_path).find("missing.iso"), std::string::npos)
        << "but the file keeps it until the next save";

    settings.iso = iso;
    choose_first_screen();
    EXPECT_EQ(current_screen, Build) << "no ready marker";

    write_ready(iso, "");
    write_module();  // not a loadable module: binding fails, the screen is still the menu
    choose_first_screen();
    EXPECT_EQ(current_screen, Splash);
    EXPECT_EQ(game_run, nullptr);
    EXPECT_FALSE(game_message.empty());
}

}  // namespace
