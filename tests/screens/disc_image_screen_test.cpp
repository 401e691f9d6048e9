#include <gtest/gtest.h>

#include <windows.h>
#include <commdlg.h>

#include <imgui.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "imgui_harness.h"
#include "launcher/windows.h"
#include "screen_fixture.h"
#include "screens/disc_image_screen.h"
#include "screens/look.h"

namespace {

const ui::DrawFn draw = ui::screen(Iso);
const char* const hint = "C:\\path\\to\\Varnis (USA).iso";

void set_field(const std::string& utf8) { copy_utf8_bounded(isopath_buffer, sizeof isopath_buffer, utf8); }

void click_item(ui::Headless& h, const char* label) {
    h.frame(draw);
    const ui::Rect r = h.item_rect("##iso", label, draw);
    ASSERT_GT(r.width(), 0.0f) << label;
    h.click(r.centre(), draw);
}

int count_lines_with(const std::string& text, const std::string& needle) {
    int n = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) ++n;
    return n;
}

using DiscImageScreen = ScreenTest;

struct LayoutCase {
    float width, height, scale;
    float row;  // expected width of the field row
};

TEST_F(DiscImageScreen, LaysOutTheCentredColumnAndTheFieldRow) {
    const LayoutCase cases[] = {{960, 720, 1.0f, 640}, {1440, 1080, 1.5f, 960},
                                {600, 450, 1.0f, 520}, {900, 675, 1.5f, 780}};
    settings.iso = L"C:\\refused at start-up.iso";  // never shown in the field
    for (const LayoutCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " scale " << c.scale);
        ui::Headless h(c.width, c.height, c.scale);
        h.frame(draw);
        const ui::Rect field = h.item_rect("##iso", "##isopath", draw);
        const ui::Rect browse = h.item_rect("##iso", "Browse...", draw);
        const ui::Rect next = h.item_rect("##iso", "Continue", draw);
        const float s = c.scale;
        EXPECT_NEAR(field.min.x, (c.width - c.row) * 0.5f, 1.0f);
        EXPECT_NEAR(field.width(), c.row - 130 * s, 1.0f);
        EXPECT_NEAR(browse.min.x, field.max.x + ImGui::GetStyle().ItemSpacing.x, 1.0f);
        EXPECT_FLOAT_EQ(browse.width(), 120 * s);
        EXPECT_FLOAT_EQ(browse.min.y, field.min.y);
        EXPECT_NEAR(next.centre().x, c.width * 0.5f, 0.5f);
        EXPECT_FLOAT_EQ(next.width(), 220 * s);
        EXPECT_GT(next.min.y, field.max.y);

        const auto runs = ui::text_runs();
        const ui::TextRun* title = nullptr;
        for (const ui::TextRun& run : runs)
            if (run.text == "VARNIS" && run.colour == ui::u32(pal::text)) title = &run;
        ASSERT_NE(title, nullptr);
        EXPECT_FLOAT_EQ(title->pos.y, std::floor(c.height * 0.2f));
        const ui::TextRun* subtitle = ui::find_run(runs, "Recompilation");
        ASSERT_NE(subtitle, nullptr);
        EXPECT_EQ(subtitle->colour, ui::u32(pal::muted));
        ASSERT_NE(ui::find_run(runs, hint), nullptr);  // the field is empty
        EXPECT_EQ(isopath_buffer[0], '\0');
        if (c.width >= 960) {
            const ui::TextRun* line = ui::find_run(runs, "To begin, choose your Varnis (USA) Xbox disc image (.iso).");
            ASSERT_NE(line, nullptr);
            EXPECT_EQ(line->colour, ui::u32(pal::text));
            EXPECT_EQ(line->font, fonts.body);
            const ui::TextRun* note = ui::find_run(
                runs, "The game is rebuilt from your own disc on this computer. Nothing is downloaded.");
            ASSERT_NE(note, nullptr);
            EXPECT_EQ(note->colour, ui::u32(pal::muted));
            EXPECT_EQ(note->font, fonts.small);
        }
    }
}

struct ContinueCase {
    const char* what;
    std::wstring typed;    // field content; $ stands for the test folder
    const char* message;   // nullptr: accepted
    std::wstring stored;   // the absolute path saved when accepted; $ as above
};

std::wstring expand(std::wstring text, const std::wstring& dir) {
    for (size_t at = text.find(L'$'); at != std::wstring::npos; at = text.find(L'$', at + dir.size()))
        text.replace(at, 1, dir);
    return text;
}

TEST_F(DiscImageScreen, ContinueValidatesSavesAndStartsTheBuild) {
    const ContinueCase cases[] = {
        {"empty", L"", "Choose a file.", L""},
        {"only blanks and quotes", L" \t\"\" \r\n", "Choose a file.", L""},
        {"missing file", L"$\\missing.iso", "That file does not exist.", L""},
        {"folder", L"$", "That file does not exist.", L""},
        {"not a disc image", L"$\\notes.iso", "That is not an Xbox disc image.", L""},
        {"pasted with quotes and a space", L"\"$\\M\u00edas disc.iso\" ", nullptr, L"$\\M\u00edas disc.iso"},
        {"relative to the current folder", L"M\u00edas disc.iso", nullptr, L"$\\M\u00edas disc.iso"},
    };
    wchar_t old_dir[1040];
    GetCurrentDirectoryW(1040, old_dir);
    for (const ContinueCase& c : cases) {
        SCOPED_TRACE(c.what);
        TearDown();
        SetUp();
        make_disc_image(L"M\u00edas disc.iso");
        ts::write_file(dir + L"\\notes.iso", std::string(0x20000, 'x'));
        SetCurrentDirectoryW(dir.c_str());
        set_field(to_utf8(expand(c.typed, dir)));
        const std::string typed = isopath_buffer;
        screen_message = "an earlier message";
        ui::Headless h(960, 720, 1.0f);
        click_item(h, "Continue");
        SetCurrentDirectoryW(old_dir);
        EXPECT_EQ(isopath_buffer, typed);  // the field keeps what was typed
        const auto runs = ui::text_runs();
        if (c.message) {
            EXPECT_EQ(screen_message, c.message);
            const ui::TextRun* shown = ui::find_run(runs, c.message);
            ASSERT_NE(shown, nullptr);  // in the frame of the click
            EXPECT_EQ(shown->colour, ui::u32(pal::error));
            EXPECT_EQ(shown->font, fonts.body);
            // Centred, one gap of 8 below "Continue".
            const float shown_y = shown->pos.y, shown_x = ui::centre(*shown).x;
            const ui::Rect next = h.item_rect("##iso", "Continue", draw);
            const float spacing = ImGui::GetStyle().ItemSpacing.y;
            EXPECT_NEAR(shown_y, next.max.y + spacing + 8.0f + spacing, 1.0f);
            EXPECT_NEAR(shown_x, 480.0f, 1.0f);
            EXPECT_EQ(current_screen, Iso);
            EXPECT_EQ(current_build, nullptr);
            EXPECT_TRUE(settings.iso.empty());
            EXPECT_FALSE(ts::file_exists(folders.settings_path));
            EXPECT_EQ(launcher_log_text().find("disc image chosen"), std::string::npos);
        } else {
            const std::wstring stored = expand(c.stored, dir);
            EXPECT_EQ(screen_message, "");
            EXPECT_EQ(ui::find_run(runs, "an earlier message"), nullptr);
            EXPECT_EQ(settings.iso, stored);
            EXPECT_NE(settings_file().find("iso=" + to_utf8(stored) + "\n"), std::string::npos);
            EXPECT_EQ(count_lines_with(launcher_log_text(), "disc image chosen: " + to_utf8(stored) + "\n"), 1);
            EXPECT_EQ(current_screen, Build);
            EXPECT_NE(current_build, nullptr);
        }
    }
}

TEST_F(DiscImageScreen, RefusalStaysWhileTheFieldIsEditedUntilTheNextContinue) {
    make_disc_image(L"disc.iso");
    ui::Headless h(960, 720, 1.0f);
    set_field(to_utf8(dir) + "\\disc.is");
    click_item(h, "Continue");
    ASSERT_EQ(screen_message, "That file does not exist.");
    click_item(h, "##isopath");
    h.press_key(ImGuiKey_End, draw);
    h.type("o", draw);
    h.frame(draw);
    EXPECT_EQ(std::string(isopath_buffer), to_utf8(dir) + "\\disc.iso");
    EXPECT_NE(ui::find_run(ui::text_runs(), "That file does not exist."), nullptr);
    EXPECT_EQ(current_screen, Iso);
    click_item(h, "Continue");
    EXPECT_EQ(screen_message, "");
    EXPECT_EQ(current_screen, Build);
}

// A stand-in for the open-file dialog: records what it was asked, answers as told.
struct DialogRecord {
    int calls = 0;
    OPENFILENAMEW seen{};
    std::wstring filter;
    bool buffer_was_empty = false;
    std::wstring answer;  // empty: cancel
};
DialogRecord dialog;

int fake_dialog(tagOFNW* record) {
    ++dialog.calls;
    dialog.seen = *record;
    const wchar_t* f = record->lpstrFilter;
    size_t n = 0;
    while (f[n] || f[n + 1]) ++n;
    dialog.filter.assign(f, n + 2);
    dialog.buffer_was_empty = std::all_of(record->lpstrFile, record->lpstrFile + record->nMaxFile,
                                          [](wchar_t c) { return c == 0; });
    if (dialog.answer.empty()) return 0;
    const size_t len = std::min<size_t>(dialog.answer.size(), record->nMaxFile - 1);
    dialog.answer.copy(record->lpstrFile, len);
    record->lpstrFile[len] = 0;
    return 1;
}

struct DiscImageBrowse : ScreenTest {
    void SetUp() override {
        ScreenTest::SetUp();
        dialog = DialogRecord{};
        open_file_dialog_fn = fake_dialog;
    }
    void TearDown() override {
        open_file_dialog_fn = GetOpenFileNameW;
        ScreenTest::TearDown();
    }
};

TEST_F(DiscImageBrowse, AsksForAnIsoOverTheFrameWindow) {
    ui::Headless h(960, 720, 1.0f);
    click_item(h, "Browse...");
    ASSERT_EQ(dialog.calls, 1);
    EXPECT_EQ(dialog.seen.lStructSize, 152u);
    EXPECT_EQ(dialog.seen.hwndOwner, frame_window);
    EXPECT_EQ(dialog.filter, std::wstring(L"Xbox disc image (*.iso)\0*.iso\0All files\0*.*\0\0", 45));
    EXPECT_EQ(dialog.seen.nFilterIndex, 0u);
    EXPECT_EQ(dialog.seen.lpstrCustomFilter, nullptr);
    EXPECT_EQ(dialog.seen.nMaxFile, 1040u);
    EXPECT_TRUE(dialog.buffer_was_empty);
    EXPECT_STREQ(dialog.seen.lpstrTitle, L"Choose your Varnis disc image");
    EXPECT_EQ(dialog.seen.Flags, 0x1808u);
    EXPECT_EQ(dialog.seen.lpstrInitialDir, nullptr);
}

TEST_F(DiscImageBrowse, CancelChangesNothingAndAChoiceReplacesTheFieldUnchecked) {
    ui::Headless h(960, 720, 1.0f);
    set_field("typed");
    screen_message = "That file does not exist.";
    click_item(h, "Browse...");
    EXPECT_STREQ(isopath_buffer, "typed");
    EXPECT_EQ(screen_message, "That file does not exist.");

    dialog.answer = L"C:\\games\\M\u00edas \u03a9\\not checked.iso";
    click_item(h, "Browse...");
    EXPECT_EQ(std::string(isopath_buffer), to_utf8(dialog.answer));
    EXPECT_EQ(screen_message, "");
    h.frame(draw);
    EXPECT_EQ(ui::find_run(ui::text_runs(), "That file does not exist."), nullptr);
    EXPECT_EQ(current_screen, Iso);
    EXPECT_FALSE(ts::file_exists(folders.settings_path));
}

TEST_F(DiscImageBrowse, LongChoiceIsCutAtAWholeCharacter) {
    ui::Headless h(960, 720, 1.0f);
    dialog.answer = L"C:\\" + std::wstring(1030, L'\u20ac');  // 3 + 3090 bytes in UTF-8
    click_item(h, "Browse...");
    const std::string field = isopath_buffer;
    EXPECT_EQ(field.size(), 2046u);  // 3 + 681 whole characters; byte 2047 would split one
    EXPECT_EQ(to_wide(field), dialog.answer.substr(0, 3 + 681));
}

TEST(CopyUtf8Bounded, CutsOnlyBetweenCharacters) {
    const struct {
        std::string text;
        size_t capacity;
        std::string expected;
    } cases[] = {
        {"abc", 8, "abc"},
        {"abc", 4, "abc"},
        {"abcdef", 4, "abc"},
        {"a\xC3\xA9", 3, "a"},
        {"a\xC3\xA9", 4, "a\xC3\xA9"},
        {"a\xE2\x82\xAC", 3, "a"},
        {"a\xE2\x82\xAC", 4, "a"},
        {"a\xE2\x82\xAC", 5, "a\xE2\x82\xAC"},
        {"a\xF0\x9F\x98\x80z", 5, "a"},
        {"a\xF0\x9F\x98\x80z", 6, "a\xF0\x9F\x98\x80"},
        {"\xC3\xA9", 2, ""},
        {"abc", 1, ""},
        {std::string("ab\0cd", 5), 8, "ab"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << '"' << c.text << "\" into " << c.capacity);
        char buffer[16];
        std::memset(buffer, '#', sizeof buffer);
        copy_utf8_bounded(buffer, c.capacity, c.text);
        EXPECT_EQ(std::string(buffer), c.expected);
        for (size_t i = c.capacity; i < sizeof buffer; ++i) EXPECT_EQ(buffer[i], '#') << "wrote past the end";
    }
}

TEST(TrimText, StripsBlanksAndQuotesFromBothEndsOnly) {
    const struct {
        std::wstring text, expected;
    } cases[] = {
        {L"", L""},
        {L" \t\r\n\"\"", L""},
        {L"\"C:\\a b\\x.iso\" ", L"C:\\a b\\x.iso"},
        {L"\t\n x \r", L"x"},
        {L"C:\\say \"hi\"\\x.iso", L"C:\\say \"hi\"\\x.iso"},
        {L"\"\"\"a\"\"\"", L"a"},
        {L"'a'", L"'a'"},
        {L"\u00a0a\u3000", L"\u00a0a\u3000"},  // only the five listed characters
    };
    for (const auto& c : cases) EXPECT_EQ(trim_text(c.text), c.expected) << to_utf8(c.text);
}

}  // namespace
