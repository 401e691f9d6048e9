#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pipeline/build_output.h"

namespace {

using Lines = std::vector<std::string>;

struct Case {
    const char* name;
    Lines lines;
    // What the job holds afterwards.
    std::string stage, status, detail;
    float progress;
    Lines errors, stages_seen;
    bool done, failed;
};

Lines continuation_report() {
    Lines lines = {"ERROR link failed"};
    for (int i = 1; i <= 20; ++i) lines.push_back("  line " + std::to_string(i));
    return lines;
}

Lines last_continuations() {
    Lines kept = {"link failed"};
    for (int i = 8; i <= 20; ++i) kept.push_back("line " + std::to_string(i));
    return kept;
}

const Case cases[] = {
    {"stage with title", {"STAGE lift Recompile the game code"},
     "lift", "Recompile the game code", "", 0, {}, {"lift"}, false, false},
    {"stage without title", {"STAGE lift"}, "lift", "lift", "", 0, {}, {"lift"}, false, false},
    {"stage keyword alone", {"STAGE "}, "", "", "", 0, {}, {""}, false, false},
    {"stage title keeps its spaces", {"STAGE fix  two  spaces "},
     "fix", " two  spaces ", "", 0, {}, {"fix"}, false, false},
    {"repeated stages are all kept", {"STAGE a", "STAGE b", "STAGE a"},
     "a", "a", "", 0, {}, {"a", "b", "a"}, false, false},
    {"progress with detail", {"STAGE fix Apply fixes", "PROGRESS 50 Patching frame pacing"},
     "fix", "Apply fixes", "Patching frame pacing", 0.5f, {}, {"fix"}, false, false},
    {"next stage resets progress and detail",
     {"STAGE fix Apply fixes", "PROGRESS 50 Patching", "STAGE compile"},
     "compile", "compile", "", 0, {}, {"fix", "compile"}, false, false},
    {"fractional progress", {"PROGRESS 42.5 Lifting"}, "", "Starting", "Lifting", 0.425f, {}, {},
     false, false},
    {"progress is not clamped above", {"PROGRESS 150"}, "", "Starting", "", 1.5f, {}, {}, false, false},
    {"progress is not clamped below", {"PROGRESS -10 back"}, "", "Starting", "back", -0.1f, {}, {},
     false, false},
    {"progress without a number", {"PROGRESS abc"}, "", "Starting", "", 0, {}, {}, false, false},
    {"progress number ends at first space", {"PROGRESS  7 late"}, "", "Starting", "7 late", 0, {}, {},
     false, false},
    {"progress number read like atof", {"PROGRESS \t12.5kb tail text"}, "", "Starting", "tail text",
     0.125f, {}, {}, false, false},
    {"progress keeps a carriage return inside", {"PROGRESS 5 a\rb"}, "", "Starting", "a\rb", 0.05f,
     {}, {}, false, false},
    {"done with its space", {"DONE "}, "", "Starting", "", 0, {}, {}, true, false},
    {"done with text", {"DONE everything built"}, "", "Starting", "", 0, {}, {}, true, false},
    {"done without the space is ordinary", {"DONE"}, "", "Starting", "", 0, {}, {}, false, false},
    {"lower case keywords are ordinary", {"stage lift", "done ", "error x"},
     "", "Starting", "", 0, {}, {}, false, false},
    {"a leading space makes a line ordinary", {" STAGE lift", " DONE ", " ERROR x"},
     "", "Starting", "", 0, {}, {}, false, false},
    {"empty line", {""}, "", "Starting", "", 0, {}, {}, false, false},
    {"error line", {"ERROR The disc could not be read"}, "", "Starting", "", 0,
     {"The disc could not be read"}, {}, false, true},
    {"error keyword alone", {"ERROR "}, "", "Starting", "", 0, {""}, {}, false, true},
    {"continuations only count after an error",
     {"  before", "ERROR boom", "  after", "   deeper", "\tnot indented"},
     "", "Starting", "", 0, {"boom", "after", " deeper"}, {}, false, true},
    {"one space is not a continuation", {"ERROR boom", " single"}, "", "Starting", "", 0, {"boom"},
     {}, false, true},
    {"twenty continuations keep the first and the last 13", continuation_report(), "", "Starting",
     "", 0, last_continuations(), {}, false, true},
    {"error lines are not capped",
     {"ERROR 1", "ERROR 2", "ERROR 3", "ERROR 4", "ERROR 5", "ERROR 6", "ERROR 7", "ERROR 8",
      "ERROR 9", "ERROR 10", "ERROR 11", "ERROR 12", "ERROR 13", "ERROR 14", "ERROR 15", "ERROR 16"},
     "", "Starting", "", 0,
     {"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12", "13", "14", "15", "16"}, {},
     false, true},
    {"error then done: both flags", {"ERROR boom", "DONE "}, "", "Starting", "", 0, {"boom"}, {},
     true, true},
    {"lines after an error still update the job", {"ERROR boom", "STAGE fix", "PROGRESS 20 x"},
     "fix", "fix", "x", 0.2f, {"boom"}, {"fix"}, false, true},
    {"ordinary output leaves the job alone", {"compiling foo.c", "STAGE", "PROGRESS", "ERROR"},
     "", "Starting", "", 0, {}, {}, false, false},
};

TEST(ParseBuildLine, AppliesTheLineProtocol) {
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BuildJob job;
        for (const std::string& line : c.lines) parse_build_line(job, line);
        EXPECT_EQ(job.stage, c.stage);
        EXPECT_EQ(job.status, c.status);
        EXPECT_EQ(job.detail, c.detail);
        EXPECT_FLOAT_EQ(job.progress, c.progress);
        EXPECT_EQ(job.errors, c.errors);
        EXPECT_EQ(job.stages_seen, c.stages_seen);
        EXPECT_EQ(job.done, c.done);
        EXPECT_EQ(job.failed, c.failed);
    }
}

TEST(ParseBuildLine, KeepsAFixedNumberOfErrorLinesAndStages) {
    struct Limits {
        const char* name;
        Lines lines;
        size_t errors, left_out, stages;
        std::string last_error, last_stage;
    };
    Lines errors_then_report, many_errors, many_stages;
    for (int i = 1; i <= 150; ++i) many_errors.push_back("ERROR e" + std::to_string(i));
    for (int i = 1; i <= 100; ++i) many_stages.push_back("STAGE s" + std::to_string(i));
    errors_then_report = many_errors;
    for (int i = 1; i <= 5; ++i) errors_then_report.push_back("  detail " + std::to_string(i));
    const Limits cases[] = {
        {"150 error lines: the first 100", many_errors, 100, 50, 0, "e100", ""},
        {"100 stage lines: the first 64", many_stages, 0, 0, 64, "", "s64"},
        // Past the limit a continuation still takes the place of the second entry.
        {"continuations after the limit", errors_then_report, 100, 55, 0, "detail 5", ""},
    };
    for (const Limits& c : cases) {
        SCOPED_TRACE(c.name);
        BuildJob job;
        for (const std::string& line : c.lines) parse_build_line(job, line);
        EXPECT_EQ(job.errors.size(), c.errors);
        EXPECT_EQ(job.errors_left_out, c.left_out);
        EXPECT_EQ(job.stages_seen.size(), c.stages);
        if (c.errors) {
            EXPECT_EQ(job.errors.front(), "e1");
            EXPECT_EQ(job.errors.back(), c.last_error);
        }
        if (c.stages) {
            EXPECT_EQ(job.stages_seen.back(), c.last_stage);
            EXPECT_EQ(job.stage, "s100") << "the current stage still follows the script";
        }
    }
}

}  // namespace
