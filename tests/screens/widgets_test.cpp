#include <gtest/gtest.h>

#include <imgui.h>

#include <cmath>
#include <string>

#include "imgui_harness.h"
#include "launcher/screen_flow.h"
#include "screens/look.h"
#include "screens/widgets.h"

namespace {

// Draws `body` inside one full-window screen in the launcher's style, as every screen does.
ui::DrawFn in_screen(const ui::DrawFn& body) {
    return ui::styled([body] {
        if (begin_screen("##w")) body();
        ImGui::End();
    });
}

float text_width(const char* text, ImFont* font) {
    ImGui::PushFont(font);
    const float w = ImGui::CalcTextSize(text, nullptr, false, -1.0f).x;
    ImGui::PopFont();
    return w;
}

struct CentreCase {
    float scale;
    float extra;  // window width minus (text width + both margins)
    bool centred;
};

TEST(CenteredText, CentresWhatFitsAndWrapsTheRestBetweenMargins) {
    const char* text = "The game is rebuilt from your own disc on this computer.";
    const CentreCase cases[] = {{1.0f, 300, true}, {1.0f, 0, true}, {1.0f, -1, false},
                                {1.5f, 0, true},   {1.5f, -1, false}, {1.5f, -400, false}};
    for (const CentreCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "scale " << c.scale << " extra " << c.extra);
        ui::Headless h(960, 720, c.scale);
        float t = 0;
        h.frame([&] { t = text_width(text, fonts.small); });
        const float margin = 24.0f * c.scale;
        const float w = t + 2 * margin + c.extra;
        h.resize(w, 720);
        h.frame(in_screen([&] { centered_text(text, pal::muted, fonts.small); }));
        const auto runs = ui::text_runs();
        ASSERT_FALSE(runs.empty());
        for (const ui::TextRun& run : runs) {
            EXPECT_EQ(run.colour, ui::u32(pal::muted));
            EXPECT_FLOAT_EQ(run.size, std::floor(15.0f * c.scale));
        }
        if (c.centred) {
            ASSERT_EQ(runs.size(), 1u);
            EXPECT_EQ(runs[0].text, text);
            EXPECT_FLOAT_EQ(runs[0].pos.x, std::floor((w - t) * 0.5f));
        } else {
            ASSERT_GT(runs.size(), 1u);
            for (const ui::TextRun& run : runs) {
                EXPECT_FLOAT_EQ(run.pos.x, std::floor(margin));
                EXPECT_LE(run.pos.x + run.width, w - margin + 0.5f) << run.text;
            }
        }
    }
}

TEST(CenteredText, PercentSignsAndCurrentFont) {
    ui::Headless h(960, 720, 1.0f);
    const char* text = "100% of C:\\%TEMP%\\disc %s %d.iso";
    h.frame(in_screen([&] { centered_text(text, pal::error, nullptr); }));
    const auto runs = ui::text_runs();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].text, text);
    EXPECT_EQ(runs[0].font, fonts.body);  // no font given: the pushed body font
    EXPECT_EQ(runs[0].colour, ui::u32(pal::error));
}

struct RingCase {
    float thickness;
    float scale;
    int rings;
};

TEST(OutlinedTitle, DrawsSixteenCopiesPerRingUnderTheFill) {
    const RingCase cases[] = {{3, 1.0f, 3}, {3, 1.5f, 4}, {2, 1.25f, 2}, {1, 1.0f, 1}, {0.5f, 1.0f, 0},
                              {1, 0.75f, 0}, {0, 1.0f, 0}};
    for (const RingCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "thickness " << c.thickness << " scale " << c.scale);
        ui::Headless h(960, 720, c.scale);
        h.frame(in_screen([&] { outlined_title("VARNIS", pal::text, pal::outline, fonts.banner, c.thickness); }));
        const auto runs = ui::text_runs();
        ASSERT_EQ(static_cast<int>(runs.size()), c.rings * 16 + 1);
        const ui::TextRun& fill = runs.back();
        EXPECT_EQ(fill.text, "VARNIS");
        EXPECT_EQ(fill.colour, ui::u32(pal::text));
        EXPECT_FLOAT_EQ(fill.size, 104.0f * c.scale);
        EXPECT_NEAR(fill.pos.x, (960 - fill.width) * 0.5f, 1.0f);
        for (size_t i = 0; i + 1 < runs.size(); ++i) {
            EXPECT_EQ(runs[i].text, "VARNIS");
            EXPECT_EQ(runs[i].colour, ui::u32(pal::outline));
            const float dx = runs[i].pos.x - fill.pos.x, dy = runs[i].pos.y - fill.pos.y;
            EXPECT_LE(std::sqrt(dx * dx + dy * dy), c.thickness * c.scale + 1.5f);
        }
    }
}

TEST(OutlinedTitle, WiderThanTheWindowStartsAtTheLeftEdge) {
    ui::Headless h(200, 300, 1.0f);
    ImVec2 after;
    h.frame(in_screen([&] {
        const float y = ImGui::GetCursorPosY();
        outlined_title("VARNIS", pal::text, pal::outline, fonts.banner, 3);
        after = ImVec2(ImGui::GetCursorPosX(), ImGui::GetCursorPosY() - y);
    }));
    const auto runs = ui::text_runs();
    ASSERT_FALSE(runs.empty());
    EXPECT_EQ(runs.back().pos.x, 0.0f);
    EXPECT_GT(runs.back().width, 200.0f);  // not wrapped
    // Only the text's own height is reserved, not the outline.
    EXPECT_FLOAT_EQ(after.y, std::ceil(104.0f) + ImGui::GetStyle().ItemSpacing.y);
}

TEST(CenteredButton, ScaledWidthCentredAndDefaultHeight) {
    for (const float scale : {1.0f, 1.5f}) {
        SCOPED_TRACE(scale);
        ui::Headless h(960, 720, scale);
        ImVec2 min, size, tall;
        h.frame(in_screen([&] {
            centered_button("Continue", 220, 0);
            min = ImGui::GetItemRectMin();
            size = ImGui::GetItemRectSize();
            centered_button("Tall", 100, 50);
            tall = ImGui::GetItemRectSize();
        }));
        EXPECT_FLOAT_EQ(size.x, 220 * scale);
        EXPECT_FLOAT_EQ(min.x, (960 - 220 * scale) * 0.5f);
        EXPECT_FLOAT_EQ(size.y, 20 * scale + 2 * 9 * scale);  // body font plus the frame padding
        EXPECT_FLOAT_EQ(tall.x, 100 * scale);
        EXPECT_FLOAT_EQ(tall.y, 50 * scale);
    }
}

TEST(CenteredButton, ReportsTheClickOnlyInTheReleaseFrame) {
    ui::Headless h(960, 720, 1.0f);
    int clicks = 0, frames = 0;
    const ui::DrawFn draw = in_screen([&] {
        ++frames;
        clicks += centered_button("Continue", 220, 0);
    });
    h.frame(draw);
    const ui::Rect r = h.item_rect("##w", "Continue", draw);
    ASSERT_GT(r.width(), 0.0f);
    h.click(r.centre(), draw);
    EXPECT_EQ(clicks, 1);
    h.frame(draw);
    EXPECT_EQ(clicks, 1);
    h.click(ImVec2(r.min.x - 5, r.centre().y), draw);
    EXPECT_EQ(clicks, 1);
}

TEST(TitleBanner, TucksTheSubtitleUnderTheTitleAndLeavesTheCursorBelowIt) {
    for (const float scale : {1.0f, 1.5f}) {
        SCOPED_TRACE(scale);
        ui::Headless h(960, 720, scale);
        float start = 0, end = 0;
        h.frame(in_screen([&] {
            ImGui::SetCursorPosY(100);
            start = ImGui::GetCursorScreenPos().y;
            title_banner(pal::accent);
            end = ImGui::GetCursorScreenPos().y;
        }));
        const auto runs = ui::text_runs();
        EXPECT_EQ(ui::count_runs(runs, "VARNIS"), 49 + (scale > 1.0f ? 16 : 0));
        const ui::TextRun* sub = ui::find_run(runs, "Recompilation");
        ASSERT_NE(sub, nullptr);
        EXPECT_EQ(sub->colour, ui::u32(pal::accent));
        EXPECT_EQ(sub->font, fonts.subtitle);
        const float title_h = std::ceil(104 * scale);
        const float spacing = ImGui::GetStyle().ItemSpacing.y;
        EXPECT_NEAR(sub->pos.y, start + title_h + spacing - 14 * scale, 1.0f);
        EXPECT_NEAR(sub->pos.x, std::floor((960 - sub->width) * 0.5f), 1.0f);
        EXPECT_GE(end, sub->pos.y + sub->size);
    }
}

TEST(VerticalGap, MovesTheCursorByTheScaledHeightPlusSpacing) {
    ui::Headless h(960, 720, 1.5f);
    float moved = 0;
    h.frame(in_screen([&] {
        const float y = ImGui::GetCursorPosY();
        vertical_gap(26);
        moved = ImGui::GetCursorPosY() - y;
    }));
    EXPECT_FLOAT_EQ(moved, 26 * 1.5f + ImGui::GetStyle().ItemSpacing.y);
}

}  // namespace
