#include <gtest/gtest.h>

#include <imgui.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

#include "imgui_harness.h"
#include "screen_fixture.h"
#include "screens/build_screen.h"
#include "screens/look.h"

namespace {

const ui::DrawFn draw = ui::screen(Build);

struct BuildScreen : ScreenTest {
    std::shared_ptr<BuildJob> job;
    void SetUp() override {
        ScreenTest::SetUp();
        job = std::make_shared<BuildJob>();
        job->log_path = folders.logs_dir + L"\\build-20240101-120000.log";
        current_build = job;
        current_screen = Build;
    }
};

// Column width and left edge for a window width at a scale.
float column(float width, float scale) { return std::min(620 * scale, width - 80 * scale); }
float left(float width, float scale) { return (width - column(width, scale)) * 0.5f; }

// The seven build stages in display order: the key the build script names and the label shown.
const struct {
    const char* key;
    const char* label;
} stages[7] = {
    {"extract", "Extract the game from your disc"},
    {"stage", "Prepare the recompiler"},
    {"analyse", "Read the game executable"},
    {"lift", "Recompile the game code"},
    {"fix", "Apply fixes"},
    {"compile", "Compile"},
    {"ready", "Ready"},
};

// The seven rows as drawn: their runs, in table order.
std::vector<ui::TextRun> stage_rows(const std::vector<ui::TextRun>& runs) {
    std::vector<ui::TextRun> rows;
    for (const auto& stage : stages)
        for (const char* marker : {"-", "+", ">"}) {
            const ui::TextRun* run = ui::find_run(runs, std::string(marker) + "  " + stage.label);
            if (run) rows.push_back(*run);
        }
    return rows;
}

struct RowCase {
    const char* what;
    std::string stage;
    std::vector<std::string> seen;
    bool done, failed;
    const char* markers;
};

TEST_F(BuildScreen, MarksEachStageFinishedRunningOrPending) {
    const std::vector<std::string> to_lift = {"extract", "stage", "analyse", "lift"};
    const RowCase cases[] = {
        {"before the first stage", "", {}, false, false, "-------"},
        {"running lift", "lift", to_lift, false, false, "+++>---"},
        {"unknown stage key", "bogus", {"extract", "stage", "bogus"}, false, false, "++-----"},
        {"keys are case-sensitive", "Lift", {"extract", "Lift"}, false, false, "+------"},
        {"failed during lift", "lift", to_lift, false, true, "++++---"},
        {"done", "compile", {"extract", "compile"}, true, false, "+++++++"},
        {"done and failed", "lift", to_lift, true, true, "+++++++"},
    };
    for (const RowCase& c : cases) {
        SCOPED_TRACE(c.what);
        job->stage = c.stage;
        job->stages_seen = c.seen;
        job->done = c.done;
        job->failed = c.failed;
        current_screen = Build;
        ui::Headless h(960, 720, 1.0f);
        h.frame(draw);
        const auto runs = ui::text_runs();
        const auto rows = stage_rows(runs);
        ASSERT_EQ(rows.size(), 7u);
        float y = 0;
        for (size_t i = 0; i < 7; ++i) {
            const char marker = c.markers[i];
            EXPECT_EQ(rows[i].text[0], marker) << stages[i].label;
            const ImVec4& colour = marker == '>' ? pal::accent : marker == '+' ? pal::text : pal::muted;
            EXPECT_EQ(rows[i].colour, ui::u32(colour)) << stages[i].label;
            EXPECT_EQ(rows[i].font, fonts.body);
            EXPECT_FLOAT_EQ(rows[i].pos.x, std::floor(left(960, 1.0f)));
            EXPECT_GT(rows[i].pos.y, y);  // top to bottom in table order
            y = rows[i].pos.y;
        }
        const ui::TextRun* heading = ui::find_run(runs, c.failed ? "The build did not finish"
                                                                 : "Building the game from your disc");
        ASSERT_NE(heading, nullptr);
        EXPECT_EQ(heading->colour, ui::u32(c.failed ? pal::error : pal::muted));
        const ui::TextRun* note = ui::find_run(runs, "This happens once. Later launches go straight to the menu.");
        ASSERT_NE(note, nullptr);
        EXPECT_EQ(note->font, fonts.small);
        EXPECT_EQ(ui::count_runs(runs, "VARNIS"), 49);
        EXPECT_EQ(ui::find_run(runs, "Recompilation"), nullptr);
        EXPECT_EQ(current_screen, c.done ? Restart : Build);
    }
}

TEST_F(BuildScreen, EachStageKeyLightsItsOwnRow) {
    ui::Headless h(960, 720, 1.0f);
    for (size_t i = 0; i < 7; ++i) {
        SCOPED_TRACE(stages[i].key);
        job->stage = stages[i].key;
        job->stages_seen.clear();
        for (size_t seen = 0; seen <= i; ++seen) job->stages_seen.push_back(stages[seen].key);
        h.frame(draw);
        const auto rows = stage_rows(ui::text_runs());
        ASSERT_EQ(rows.size(), 7u);
        for (size_t r = 0; r < 7; ++r)
            EXPECT_EQ(rows[r].text[0], r < i ? '+' : r == i ? '>' : '-') << stages[r].label;
    }
}

TEST_F(BuildScreen, TitleStandsAtTwelvePercentOfTheHeight) {
    const struct {
        float width, height, scale;
    } cases[] = {{960, 720, 1.0f}, {700, 1400, 1.0f}, {1440, 1080, 1.5f}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height);
        ui::Headless h(c.width, c.height, c.scale);
        h.frame(draw);
        const ui::TextRun* title = nullptr;
        for (const ui::TextRun& run : ui::text_runs())
            if (run.text == "VARNIS" && run.colour == ui::u32(pal::text)) title = &run;
        ASSERT_NE(title, nullptr);
        EXPECT_FLOAT_EQ(title->pos.y, std::floor(0.12f * c.height));
        EXPECT_EQ(title->font, fonts.banner);
    }
}

TEST_F(BuildScreen, RunningViewShowsStatusAndTheDetailCutAfter90Bytes) {
    const std::string ninety(90, 'd');
    const struct {
        std::string detail, shown;
    } cases[] = {
        {"", ""},
        {"lifting function 0x0012a4f0", "lifting function 0x0012a4f0"},
        {ninety, ninety},
        {ninety + "X", ninety + "..."},
        {ninety + "XYZ 100% %s", ninety + "..."},
    };
    ui::Headless h(1280, 960, 1.0f);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.detail);
        job->status = "Recompiling";
        job->detail = c.detail;
        h.frame(draw);
        const auto runs = ui::text_runs();
        ASSERT_NE(ui::find_run(runs, "Recompiling"), nullptr);  // the bar's overlay
        std::vector<ui::TextRun> small;
        for (const ui::TextRun& run : runs)
            if (run.font == fonts.small && run.text.rfind("This happens once", 0) != 0) small.push_back(run);
        if (c.shown.empty()) {
            EXPECT_TRUE(small.empty());
            continue;
        }
        ASSERT_EQ(small.size(), 1u);
        EXPECT_EQ(small[0].text, c.shown);
        EXPECT_EQ(small[0].colour, ui::u32(pal::muted));
        EXPECT_FLOAT_EQ(small[0].pos.x, std::floor(left(1280, 1.0f)));
    }
}

// Horizontal extent of the bar's fill: vertices in the accent colour that are not text.
float fill_width() {
    float lo = 1e9f, hi = -1e9f;
    for (const ImDrawList* list : ImGui::GetDrawData()->CmdLists)
        for (const ImDrawVert& v : list->VtxBuffer)
            if (v.col == ui::u32(pal::accent)) {
                lo = std::min(lo, v.pos.x);
                hi = std::max(hi, v.pos.x);
            }
    return hi > lo ? hi - lo : 0.0f;
}

TEST_F(BuildScreen, ProgressBarSpansTheColumnAndKeepsItsFillInside) {
    const struct {
        float progress;
        bool done;
        float fraction;
        const char* overlay;
    } cases[] = {{0.0f, false, 0.0f, "Starting"}, {0.5f, false, 0.5f, "Starting"},
                 {1.7f, false, 1.0f, "Starting"}, {-0.3f, false, 0.0f, "Starting"},
                 {0.2f, true, 1.0f, "Done"}};
    for (const float scale : {1.0f, 1.5f}) {
        ui::Headless h(960 * scale, 720 * scale, scale);
        const float inner = column(960 * scale, scale) - 2.0f;  // less the 1 px frame border
        for (const auto& c : cases) {
            SCOPED_TRACE(testing::Message() << "scale " << scale << " progress " << c.progress);
            job->progress = c.progress;
            job->done = c.done;
            h.frame(draw);
            EXPECT_NE(ui::find_run(ui::text_runs(), c.overlay), nullptr);
            EXPECT_NEAR(fill_width(), inner * c.fraction, 1.5f);
        }
    }
}

TEST_F(BuildScreen, FailureViewListsErrorsTheLogAndTwoButtons) {
    job->failed = true;
    job->stage = "lift";
    job->errors = {"lift: unknown opcode at 0x0001f3a0", std::string(40, 'w') + " " + std::string(300, 'r'),
                   "100% %s %d"};
    job->log_path = folders.logs_dir + L"\\" + std::wstring(60, L'p') + L"\\build-20240101-120000.log";
    for (const float scale : {1.0f, 1.5f}) {
        SCOPED_TRACE(scale);
        const float width = 960 * scale;
        // Tall enough for every line: in a lower window the error lines scroll (tested below).
        ui::Headless h(width, 800 * scale, scale);
        h.frame(draw);
        const auto runs = ui::text_runs();
        const float l = std::floor(left(width, scale)), r = left(width, scale) + column(width, scale);
        std::vector<const ui::TextRun*> errors, log;
        for (const ui::TextRun& run : runs) {
            if (run.font != fonts.small) continue;
            if (run.colour == ui::u32(pal::error)) errors.push_back(&run);
            if (run.colour == ui::u32(pal::muted) && run.text.rfind("This happens", 0) != 0) log.push_back(&run);
        }
        ASSERT_GE(errors.size(), 4u);  // the long line wraps
        EXPECT_EQ(errors.front()->text, "lift: unknown opcode at 0x0001f3a0");
        EXPECT_EQ(errors.back()->text, "100% %s %d");
        ASSERT_GE(log.size(), 2u);  // the long path wraps too
        // Wrapping drops the space it breaks at, so compare without spaces.
        std::string log_text, expected = "Full log: " + to_utf8(job->log_path);
        for (const ui::TextRun* run : log) log_text += run->text;
        const auto no_spaces = [](std::string t) { t.erase(std::remove(t.begin(), t.end(), ' '), t.end()); return t; };
        EXPECT_EQ(no_spaces(log_text), no_spaces(expected));
        EXPECT_EQ(log.front()->text.rfind("Full log:", 0), 0u);
        for (const auto* run : errors) {
            EXPECT_FLOAT_EQ(run->pos.x, l) << run->text;
            EXPECT_LE(run->pos.x + run->width, r + 0.5f) << run->text;
        }
        for (const auto* run : log) EXPECT_LE(run->pos.x + run->width, r + 0.5f) << run->text;
        EXPECT_GT(log.front()->pos.y, errors.back()->pos.y);
        const ui::Rect again = h.item_rect("##build", "Try again", draw);
        const ui::Rect other = h.item_rect("##build", "Choose a different disc image", draw);
        EXPECT_FLOAT_EQ(again.width(), 340 * scale);
        EXPECT_FLOAT_EQ(other.width(), 340 * scale);
        EXPECT_GT(again.min.y, log.back()->pos.y);
        EXPECT_GT(other.min.y, again.max.y);
        EXPECT_EQ(ui::find_run(ui::text_runs(), "Starting"), nullptr);  // no bar
        EXPECT_EQ(current_screen, Build);
    }
}

TEST_F(BuildScreen, LongErrorListScrollsAndKeepsTheButtonsInTheWindow) {
    job->failed = true;
    job->stage = "compile";
    for (int i = 1; i <= 100; ++i)
        job->errors.push_back("compile: error " + std::to_string(i) + " in file_" + std::to_string(i) + ".c");
    struct Case {
        float width, height, scale;
        size_t left_out;
        const char* note;
    };
    const Case cases[] = {
        {960, 720, 1.0f, 99912, "... and 99912 more lines in the build log"},
        {1280, 720, 1.0f, 1, "... and 1 more line in the build log"},
        {1440, 1080, 1.5f, 99912, "... and 99912 more lines in the build log"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
        job->errors_left_out = c.left_out;
        ui::Headless h(c.width, c.height, c.scale);
        h.frame(draw);
        const auto runs = ui::text_runs();
        const ui::TextRun* first = ui::find_run(runs, "compile: error 1 in file_1.c");
        const ui::TextRun* note = ui::find_run(runs, c.note);
        ASSERT_NE(first, nullptr);
        ASSERT_NE(note, nullptr);
        EXPECT_EQ(note->colour, ui::u32(pal::muted));
        EXPECT_EQ(note->font, fonts.small);
        EXPECT_EQ(ui::find_run(runs, "compile: error 100 in file_100.c"), nullptr) << "below the region, not drawn";
        const ui::TextRun* log = nullptr;
        for (const ui::TextRun& run : runs)
            if (run.text.rfind("Full log:", 0) == 0) log = &run;
        ASSERT_NE(log, nullptr);
        EXPECT_GT(note->pos.y, first->pos.y);
        EXPECT_GT(log->pos.y, note->pos.y);
        for (const ui::TextRun& run : runs) {
            if (run.colour != ui::u32(pal::error) || run.font != fonts.small) continue;
            EXPECT_LT(run.pos.y, note->pos.y) << run.text;  // the region clips the last one
        }
        const ui::Rect again = h.item_rect("##build", "Try again", draw);
        const ui::Rect other = h.item_rect("##build", "Choose a different disc image", draw);
        ASSERT_GT(again.width(), 0.0f);
        ASSERT_GT(other.width(), 0.0f);
        EXPECT_GT(again.min.y, log->pos.y);
        EXPECT_LE(other.max.y, c.height) << "the last button is below the window";
    }
}

TEST_F(BuildScreen, ShortErrorListHasNoNote) {
    job->failed = true;
    job->errors = {"boom"};
    ui::Headless h(960, 720, 1.0f);
    h.frame(draw);
    for (const ui::TextRun& run : ui::text_runs())
        EXPECT_EQ(run.text.find("more line"), std::string::npos) << run.text;
}

TEST_F(BuildScreen, TryAgainStartsANewBuild) {
    job->failed = true;
    job->errors = {"The build stopped unexpectedly (exit 1)."};
    settings.iso = dir + L"\\disc.iso";
    ui::Headless h(960, 720, 1.0f);
    h.frame(draw);
    const ui::Rect again = h.item_rect("##build", "Try again", draw);
    ASSERT_GT(again.width(), 0.0f);
    h.click(again.centre(), draw);
    EXPECT_NE(current_build, nullptr);
    EXPECT_NE(current_build, job);
    EXPECT_EQ(current_screen, Build);
    EXPECT_EQ(settings.iso, dir + L"\\disc.iso");
}

TEST_F(BuildScreen, ChooseADifferentImageForgetsTheImageAndReturnsToTheDiscScreen) {
    job->failed = true;
    settings.iso = dir + L"\\disc.iso";
    settings.picture = 7;
    save_settings();
    screen_message = "That is not an Xbox disc image.";
    ui::Headless h(960, 720, 1.0f);
    h.frame(draw);
    const ui::Rect other = h.item_rect("##build", "Choose a different disc image", draw);
    ASSERT_GT(other.width(), 0.0f);
    h.click(other.centre(), draw);
    EXPECT_EQ(current_screen, Iso);
    EXPECT_TRUE(settings.iso.empty());
    EXPECT_EQ(settings_file(), "iso=\npicture=7\nsaves=\nfullscreen=0\n");
    EXPECT_EQ(screen_message, "");
    EXPECT_EQ(current_build, job);  // kept until the next build starts
}

TEST_F(BuildScreen, RunningViewHasNoButtons) {
    ui::Headless h(960, 720, 1.0f);
    h.frame(draw);
    EXPECT_EQ(h.item_rect("##build", "Try again", draw).width(), 0.0f);
    EXPECT_EQ(ui::find_run(ui::text_runs(), "Try again"), nullptr);
}

TEST_F(BuildScreen, WaitsForTheWorkerToFinishWritingBeforeItReads) {
    ui::Headless h(960, 720, 1.0f);
    h.frame(draw);
    std::atomic<bool> locked{false}, released{false};
    std::thread worker([&] {
        std::lock_guard<std::mutex> lock(job->mutex);
        locked = true;
        Sleep(200);
        job->detail = "written under the lock";
        released = true;
    });
    ASSERT_TRUE(ts::wait_until([&] { return locked.load(); }, 5000));
    h.frame(draw);
    EXPECT_TRUE(released);
    EXPECT_NE(ui::find_run(ui::text_runs(), "written under the lock"), nullptr);
    worker.join();
}

}  // namespace
