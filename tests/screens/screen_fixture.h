#pragma once
// Launcher state for a screen test: every folder in a fresh temporary folder (tools empty, so a
// real build start fails at once), the launcher log open there, screens and settings reset.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "launcher/folders.h"
#include "launcher/log.h"
#include "launcher/screen_flow.h"
#include "launcher/settings.h"
#include "pipeline/build_runner.h"
#include "screens/disc_image_screen.h"
#include "test_support.h"

struct ScreenTest : testing::Test {
    std::wstring dir;
    void SetUp() override {
        dir = ts::make_temp_dir(L"screen");
        folders = Folders{};
        folders.exe_dir = dir;
        folders.tools_dir = dir + L"\\tools";
        folders.data_dir = dir + L"\\data";
        ts::make_dirs(folders.tools_dir);
        ts::make_dirs(folders.data_dir);
        derive_folder_paths(folders);
        ts::make_dirs(folders.logs_dir);
        open_launcher_log();
        settings = LauncherSettings{};
        std::memset(isopath_buffer, 0, sizeof isopath_buffer);
        screen_message.clear();
        current_screen = Iso;
        current_build.reset();
    }
    void TearDown() override {
        current_build.reset();
        if (launcher_log_file) fclose(launcher_log_file);
        launcher_log_file = nullptr;
        ts::remove_tree(dir);
    }
    std::string settings_file() { return ts::read_file(folders.settings_path); }
    std::string launcher_log_text() {
        if (launcher_log_file) fflush(launcher_log_file);
        return ts::read_file(folders.logs_dir + L"\\launcher.log");
    }
    // A file that is an Xbox disc image: the volume descriptor magic at 0x10000.
    std::wstring make_disc_image(const std::wstring& name) {
        const std::wstring path = dir + L"\\" + name;
        ts::write_file(path, std::string(0x10000, '\0') + "MICROSOFT*XBOX*MEDIA" + std::string(2028, '\0'));
        return path;
    }
};
