#include "build_env.h"

#include <cstdio>

#include "launcher/folders.h"
#include "launcher/log.h"
#include "launcher/settings.h"
#include "test_support.h"

std::wstring standin_path() { return ts::exe_dir() + L"\\standin\\python.exe"; }

size_t count_of(const std::string& text, const std::string& needle) {
    size_t count = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1))
        ++count;
    return count;
}

bool in_order(const std::string& log, const std::vector<std::string>& lines) {
    size_t at = 0;
    for (const std::string& line : lines) {
        at = log.find(" " + line + "\n", at);
        if (at == std::string::npos) return false;
        at += line.size();
    }
    return true;
}

void BuildTest::SetUp() {
    root = ts::make_temp_dir(L"pipeline");
    folders = Folders{};
    folders.data_dir = root + L"\\data";
    use_tools(root + L"\\tools");
    ts::make_dirs(folders.logs_dir);
    ts::make_dirs(folders.work_dir);
    settings = LauncherSettings{};
    settings.iso = root + L"\\disc.iso";
    // So that a success line counts; the tests of the ready test take parts of it away.
    leave_ready_build();
    open_launcher_log();
    ASSERT_NE(launcher_log_file, nullptr);
}

void BuildTest::TearDown() {
    // A worker still running would write into the closed log and the removed folders.
    EXPECT_TRUE(all_workers_finished());
    current_build.reset();
    if (launcher_log_file) fclose(launcher_log_file);
    launcher_log_file = nullptr;
    ts::remove_tree(root);
}

void BuildTest::use_tools(const std::wstring& dir) {
    folders.tools_dir = dir;
    derive_folder_paths(folders);
    ts::make_dirs(path_join(dir, L"python"));
    ts::make_dirs(path_join(dir, L"project\\tools"));
    ASSERT_TRUE(ts::copy_file(standin_path(), folders.python_path)) << to_utf8(standin_path());
    ts::write_file(path_join(dir, L"VERSION"), "0.9-test\r\n");
}

void BuildTest::leave_ready_build() {
    ts::make_dirs(path_join(folders.work_dir, L"build"));
    ts::write_file(folders.ready_path, "iso=" + to_utf8(settings.iso) + "\nversion=0.9-test\n");
    ts::write_file(folders.game_module_path, "module");
}

void BuildTest::write_scenario(const std::string& text) {
    ts::write_file(folders.build_script_path, text);
}

std::shared_ptr<BuildJob> BuildTest::run_build(const std::string& scenario) {
    write_scenario(scenario);
    start_build();
    std::shared_ptr<BuildJob> job = current_build;
    EXPECT_TRUE(all_workers_finished()) << "the build did not end in time";
    return job;
}

bool BuildTest::all_workers_finished(DWORD timeout_ms) {
    return ts::wait_until(
        [&] {
            const std::string log = launcher_log_text();
            return count_of(log, "build started: ") ==
                   count_of(log, "build finished: ") + count_of(log, "build worker not started");
        },
        timeout_ms);
}

std::string BuildTest::launcher_log_text() const {
    return ts::read_file(path_join(folders.logs_dir, L"launcher.log"));
}

std::wstring BuildTest::work_file(const wchar_t* name) const {
    return path_join(folders.work_dir, name);
}
