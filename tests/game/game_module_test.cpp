#include <string>
#include <vector>

#include "game/game_module.h"
#include "game_sandbox.h"

namespace {

const char* const mismatch = "The built game does not match this launcher. Rebuild it.";

struct BindGameModule : GameSandbox {
    void bind(const char* fixture, const std::wstring& folder) {
        install_module(fixture, folder);
        game_run = nullptr;
        game_message = "stale";
        game_log_path.clear();
        bind_game_module();
    }
};

SYSTEMTIME fixed_time = {2026, 3, 6, 7, 4, 5, 9, 0};
void fixed_clock(SYSTEMTIME* t) { *t = fixed_time; }

TEST_F(BindGameModule, GoodModuleIsPreparedWithTheWorkFolderAndANewGameLog) {
    log_name_clock = fixed_clock;
    bind("fixture_game_good", L"w\u00e9rk");
    log_name_clock = GetLocalTime;
    ASSERT_NE(game_run, nullptr);
    EXPECT_EQ(game_message, "");
    EXPECT_EQ(calls("fixture_api_calls"), 1);
    EXPECT_EQ(calls("fixture_prepare_calls"), 1);
    EXPECT_EQ(calls("fixture_run_calls"), 0);

    EXPECT_EQ(game_log_path, folders.logs_dir + L"\\game-20260307-040509.log");

    const std::string prepared = record(L"fixture-prepare.txt");
    EXPECT_TRUE(has_line(prepared, "work_dir=" + to_utf8(folders.work_dir))) << prepared;
    EXPECT_TRUE(has_line(prepared, "log_path=" + to_utf8(game_log_path))) << prepared;
    EXPECT_EQ(ts::read_file(game_log_path), "fixture prepared\n");
    EXPECT_EQ(log_messages(),
              std::vector<std::string>{"game prepared; log " + to_utf8(game_log_path)});
}

TEST_F(BindGameModule, EveryRefusalBecomesTheMessageAndOneLogLine) {
    const struct {
        const char* fixture;
        const char* message;  // nullptr: the preparation message naming the game log
        long api_calls;       // -1: the module is not loaded at all
        long prepare_calls;
    } cases[] = {
        {"fixture_game_v2", mismatch, 1, 0},
        {"fixture_game_no_run", mismatch, 0, 0},
        {"fixture_game_prepare_fails", nullptr, 1, 1},
        {"fixture_game_missing_dep", "The game could not be loaded (error 126).", -1, -1},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fixture);
        const std::wstring folder = L"case" + std::to_wstring(n++);
        const size_t lines_before = log_messages().size();
        bind(c.fixture, folder);
        EXPECT_EQ(game_run, nullptr);
        const std::string expected =
            c.message ? c.message : "The game could not start. Details: " + to_utf8(game_log_path);
        EXPECT_EQ(game_message, expected);
        EXPECT_EQ(calls("fixture_api_calls"), c.api_calls);
        EXPECT_EQ(calls("fixture_prepare_calls"), c.prepare_calls);
        if (!c.message) {
            EXPECT_FALSE(game_log_path.empty());
            EXPECT_FALSE(ts::file_exists(game_log_path)) << "the launcher made the game log";
        }
        const std::vector<std::string> lines = log_messages();
        ASSERT_EQ(lines.size(), lines_before + 1);
        EXPECT_EQ(lines.back(), "prepare failed: " + expected);
    }
}

TEST_F(BindGameModule, PfifoAsyncDefaultsToOneUnlessTheUserSetAUsableValue) {
    const std::wstring longest(4095, L'x');
    const std::wstring too_long(4096, L'x');
    const struct {
        const char* name;
        const wchar_t* before;  // nullptr: absent
        std::wstring after;
    } cases[] = {
        {"absent", nullptr, L"1"},
        {"empty", L"", L"1"},
        {"user's 0", L"0", L"0"},
        {"user's other text", L"yes please", L"yes please"},
        {"4095 characters", longest.c_str(), longest},
        {"4096 characters", too_long.c_str(), L"1"},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ts::ScopedEnv env(L"DRAVIK_PFIFO_ASYNC", c.before);
        bind("fixture_game_good", L"pfifo" + std::to_wstring(n++));
        ASSERT_NE(game_run, nullptr) << game_message;
        std::wstring now(8192, L'\0');
        now.resize(GetEnvironmentVariableW(L"DRAVIK_PFIFO_ASYNC", &now[0], 8192));
        EXPECT_EQ(now, c.after);
        // The module itself saw the value while it was being prepared.
        EXPECT_TRUE(has_line(record(L"fixture-prepare.txt"), "DRAVIK_PFIFO_ASYNC=" + to_utf8(c.after)));
    }
}

}  // namespace
