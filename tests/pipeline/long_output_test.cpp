// A build that writes 512 MiB without a line feed, measured against the same bytes as ordinary
// lines, each in a fresh launcher-like process (pipeline_host) so that the peaks compare.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <sstream>
#include <string>

#include "build_env.h"
#include "launcher/folders.h"
#include "launcher/settings.h"
#include "test_support.h"

namespace {

const unsigned long long output_bytes = 512ull << 20;
const double allowed_extra_mib = 4.0;

struct HostRun {
    double seconds = 0;
    bool done = false;
    unsigned long long peak_working_set = 0, peak_pagefile = 0;
    size_t errors = 0, errors_left_out = 0, stages = 0;
};

// 64-bit FNV-1a of the file, the hash the stand-in keeps of what it wrote.
std::string file_hash(const std::wstring& path) {
    FILE* f = _wfopen(path.c_str(), L"rb");
    if (!f) return "missing";
    static char block[1 << 20];
    unsigned long long hash = 0xcbf29ce484222325ull, bytes = 0;
    for (size_t n; (n = fread(block, 1, sizeof block, f)) > 0; bytes += n)
        for (size_t i = 0; i < n; ++i) hash = (hash ^ (unsigned char)block[i]) * 0x100000001b3ull;
    fclose(f);
    char text[64];
    snprintf(text, sizeof text, "%llu %016llx", bytes, hash);
    return text;
}

class LongOutputTest : public BuildTest {
protected:
    // Runs the scenario in pipeline_host; the build log must hold exactly what was written.
    HostRun measure(const std::string& scenario, const wchar_t* name) {
        write_scenario(scenario);
        const std::wstring result = root + L"\\" + name + L".txt";
        const std::wstring line = L"\"" + ts::exe_dir() + L"\\pipeline_host.exe\" \"" +
                                  folders.tools_dir + L"\" \"" + folders.data_dir + L"\" \"" +
                                  settings.iso + L"\" \"" + result + L"\"";
        const ts::ProcessResult host = ts::run_process(line, 500000);
        EXPECT_TRUE(host.started && !host.timed_out && host.exit_code == 0) << to_utf8(name);
        HostRun run;
        int done = 0;
        std::istringstream(ts::read_file(result)) >> run.seconds >> done >> run.peak_working_set >>
            run.peak_pagefile >> run.errors >> run.errors_left_out >> run.stages;
        run.done = done == 1;

        const std::wstring log = newest_build_log();
        EXPECT_EQ(file_hash(log), ts::read_file(work_file(L"written.txt"))) << to_utf8(name);
        DeleteFileW(log.c_str());
        printf("[ figures  ] %ls: %.1f s, peak working set %.1f MiB, peak pagefile use %.1f MiB\n",
               name, run.seconds, run.peak_working_set / 1048576.0, run.peak_pagefile / 1048576.0);
        return run;
    }

    std::wstring newest_build_log() {
        WIN32_FIND_DATAW data;
        const HANDLE find = FindFirstFileW((folders.logs_dir + L"\\build-*.log").c_str(), &data);
        if (find == INVALID_HANDLE_VALUE) return {};
        std::wstring name = data.cFileName;
        FindClose(find);  // each run's log is deleted after it, so there is only one
        return folders.logs_dir + L"\\" + name;
    }
};

TEST_F(LongOutputTest, EndlessLineKeepsMemoryBoundedAndTheLogWhole) {
    const std::string size = std::to_string(output_bytes);
    const HostRun lines = measure("blob " + size + " 80\nout \\nDONE\\s\nhash written.txt\n", L"lines");
    const HostRun endless = measure("blob " + size + " 0\nout \\nDONE\\s\nhash written.txt\n", L"endless");
    EXPECT_TRUE(lines.done);
    EXPECT_TRUE(endless.done) << "the DONE line after the endless one was not seen";
    // The working set peak is the one Wine tracks (its pagefile figure is the current use).
    const double extra = (double(endless.peak_working_set) - double(lines.peak_working_set)) / 1048576.0;
    EXPECT_LT(extra, allowed_extra_mib) << "peak working set grew with the line";
}

// Error and stage lines long enough that each kept one costs a heap block of its own.
const char* const error_text = "ERROR this stands for one failing file of a compile that fails everywhere, number ";
const char* const stage_text = "STAGE a-stage-key-long-enough-to-live-outside-the-string-itself-";

TEST_F(LongOutputTest, EndlessErrorAndStageLinesKeepMemoryBounded) {
    std::string plain_stage(stage_text);
    plain_stage.replace(0, 6, "plain ");
    std::string plain_error(error_text);
    plain_error.replace(0, 6, "plain ");
    const HostRun plain = measure("lines 100000 " + plain_error + "\nlines 10000 " + plain_stage +
                                      "\nhash written.txt\n",
                                  L"plain");
    const HostRun protocol = measure("lines 100000 " + std::string(error_text) + "\nlines 10000 " +
                                         stage_text + "\nhash written.txt\n",
                                     L"errors and stages");
    EXPECT_EQ(protocol.errors, 100u);
    EXPECT_EQ(protocol.errors_left_out, 99900u);
    EXPECT_EQ(protocol.stages, 64u);
    EXPECT_EQ(plain.errors, 1u);  // only the unexpected end
    const double extra = (double(protocol.peak_working_set) - double(plain.peak_working_set)) / 1048576.0;
    printf("[ figures  ] 100,000 error and 10,000 stage lines: %.1f MiB above plain lines\n", extra);
    EXPECT_LT(extra, allowed_extra_mib) << "peak working set grew with the error and stage lines";
}

}  // namespace
