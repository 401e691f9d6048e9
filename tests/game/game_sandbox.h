#pragma once
// A throw-away data folder for the game host tests: work and logs folders, the launcher log
// open in it, and a fresh copy of a fixture module at its own path (a loaded DLL never unloads).
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "launcher/folders.h"
#include "launcher/log.h"
#include "test_support.h"

struct GameSandbox : testing::Test {
    std::wstring root;

    void SetUp() override {
        root = ts::make_temp_dir(L"game");
        folders.work_dir = root + L"\\work";
        folders.logs_dir = root + L"\\logs";
        folders.game_module_path = folders.work_dir + L"\\build\\varnis_game.dll";
        ts::make_dirs(folders.work_dir + L"\\build");
        ts::make_dirs(folders.logs_dir);
        open_launcher_log();
        ASSERT_NE(launcher_log_file, nullptr);
    }
    void TearDown() override {
        if (launcher_log_file) fclose(launcher_log_file);
        launcher_log_file = nullptr;
        ts::remove_tree(root);
    }

    // Copies bin\<name>.dll to the module path of a fresh folder under the work folder.
    void install_module(const char* name, const std::wstring& folder) {
        folders.work_dir = root + L"\\" + folder;
        folders.game_module_path = folders.work_dir + L"\\build\\varnis_game.dll";
        ts::make_dirs(folders.work_dir + L"\\build");
        ASSERT_TRUE(ts::copy_file(ts::exe_dir() + L"\\" + to_wide(name) + L".dll",
                                  folders.game_module_path));
    }

    // How often the installed copy's export `counter` was called; -1 when it is not loaded.
    static long calls(const char* counter) {
        HMODULE module = GetModuleHandleW(folders.game_module_path.c_str());
        if (!module) return -1;
        using CountFn = LONG (*)();
        auto fn = reinterpret_cast<CountFn>(reinterpret_cast<void*>(GetProcAddress(module, counter)));
        return fn ? fn() : -1;
    }

    // The launcher log's messages without their "hh:mm:ss " stamps.
    std::vector<std::string> log_messages() const {
        const std::string text = ts::read_file(folders.logs_dir + L"\\launcher.log");
        std::vector<std::string> lines;
        size_t start = 0;
        for (size_t lf; (lf = text.find('\n', start)) != std::string::npos; start = lf + 1)
            lines.push_back(text.substr(start + 9, lf - start - 9));
        return lines;
    }

    std::string record(const wchar_t* name) const {
        return ts::read_file(folders.work_dir + L"\\" + name);
    }
};

inline bool has_line(const std::string& text, const std::string& line) {
    return ("\n" + text).find("\n" + line + "\n") != std::string::npos;
}
