#pragma once
// A throw-away tools folder (with the interpreter stand-in) and data folder for build tests.
#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "pipeline/build_runner.h"

class BuildTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Points folders.tools_dir at `dir` (created) and installs the stand-in and VERSION there.
    void use_tools(const std::wstring& dir);
    void write_scenario(const std::string& text);
    // The work folder as a finished build leaves it for settings.iso: ready marker and game module.
    void leave_ready_build();
    // Writes the scenario, starts a build and waits (bounded) until its worker has finished.
    std::shared_ptr<BuildJob> run_build(const std::string& scenario);
    // Waits until every worker whose process was started has logged its end.
    bool all_workers_finished(DWORD timeout_ms = 20000);
    std::string launcher_log_text() const;
    std::wstring work_file(const wchar_t* name) const;

    std::wstring root;
};

std::wstring standin_path();
size_t count_of(const std::string& text, const std::string& needle);
// Whether the log holds these lines (without their time) one after another, in this order.
bool in_order(const std::string& log, const std::vector<std::string>& lines);
