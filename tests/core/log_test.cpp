#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "launcher/folders.h"
#include "launcher/log.h"
#include "test_support.h"

namespace {

struct LogTest : testing::Test {
    std::wstring dir;
    void SetUp() override {
        dir = ts::make_temp_dir(L"log");
        folders.logs_dir = dir;
    }
    void TearDown() override {
        if (launcher_log_file) fclose(launcher_log_file);
        launcher_log_file = nullptr;
        ts::remove_tree(dir);
    }
    std::string contents() { return ts::read_file(dir + L"\\launcher.log"); }
};

// "hh:mm:ss " then the message, each line ended by a lone LF.
bool is_log_line(const std::string& line, const std::string& message) {
    if (line.size() != 9 + message.size()) return false;
    for (int i : {0, 1, 3, 4, 6, 7})
        if (line[i] < '0' || line[i] > '9') return false;
    return line[2] == ':' && line[5] == ':' && line[8] == ' ' && line.substr(9) == message;
}

std::vector<std::string> split_lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t lf; (lf = text.find('\n', start)) != std::string::npos; start = lf + 1)
        lines.push_back(text.substr(start, lf - start));
    EXPECT_EQ(start, text.size()) << "text after the last line feed";
    return lines;
}

TEST_F(LogTest, LinesAreTimestampedAppendedAndFlushed) {
    ts::write_file(dir + L"\\launcher.log", "earlier launch\n");
    open_launcher_log();
    ASSERT_NE(launcher_log_file, nullptr);
    launcher_log("build finished: exit %lu, %s", 3221225477ul, "failed");
    launcher_log("%s", "");
    launcher_log("disc image chosen: %s", "C:\\M\xC3\xAD" "as\\100%.iso");
    // Read while the stream is still open: every line must already be on disk.
    const auto lines = split_lines(contents());
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "earlier launch");
    EXPECT_TRUE(is_log_line(lines[1], "build finished: exit 3221225477, failed")) << lines[1];
    EXPECT_TRUE(is_log_line(lines[2], "")) << lines[2];
    EXPECT_TRUE(is_log_line(lines[3], "disc image chosen: C:\\M\xC3\xAD" "as\\100%.iso"));
    EXPECT_EQ(contents().find('\r'), std::string::npos);
}

TEST_F(LogTest, LinesFromManyThreadsStayWhole) {
    open_launcher_log();
    ASSERT_NE(launcher_log_file, nullptr);
    const std::string payload(300, 'p');
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 200; ++i) launcher_log("thread %d line %03d %s", t, i, payload.c_str());
        });
    for (auto& th : threads) th.join();
    const auto lines = split_lines(contents());
    ASSERT_EQ(lines.size(), 800u);
    for (const auto& line : lines) {
        ASSERT_GE(line.size(), 9u);
        const std::string message = line.substr(9);
        ASSERT_TRUE(is_log_line(line, message)) << line;
        ASSERT_EQ(message.size(), std::string("thread 0 line 000 ").size() + payload.size()) << line;
    }
}

TEST_F(LogTest, WithoutALogFolderNothingIsWrittenAndNothingFails) {
    folders.logs_dir = dir + L"\\missing";
    open_launcher_log();
    EXPECT_EQ(launcher_log_file, nullptr);
    launcher_log("restarting");
    EXPECT_FALSE(ts::file_exists(dir + L"\\missing\\launcher.log"));
}

}  // namespace
