#pragma once
// Headless Dear ImGui for screen tests: a context with the launcher's fonts and style, frames
// between NewFrame and Render, input fed between frames, and what was drawn read back.
#include <imgui.h>

#include <functional>
#include <string>
#include <vector>

#include "launcher/screen_flow.h"
#include "palette.h"

namespace ui {

using DrawFn = std::function<void()>;

// A screen as the main loop draws it: through the launcher's own style and font bracket.
DrawFn screen(Screen which);
// Content that is not a screen (a widget on its own) inside the launcher's style and body font.
DrawFn styled(const DrawFn& body);

// One string drawn on one baseline: consecutive glyph quads of one font, size and colour.
struct TextRun {
    std::string text;
    ImVec2 pos;     // top-left of the text as passed to the draw list (whole pixels)
    float width;    // pen advance over the whole string
    float size;     // font height in pixels
    ImU32 colour;
    ImFont* font;
};

struct Rect {
    ImVec2 min, max;
    float width() const { return max.x - min.x; }
    float height() const { return max.y - min.y; }
    ImVec2 centre() const { return ImVec2((min.x + max.x) * 0.5f, (min.y + max.y) * 0.5f); }
};

// Creates the context (no ini file, keyboard and gamepad navigation), sets ui_scale, loads the
// fonts (from the Windows fonts folder, or fonts_dir), scales the style and builds the atlas.
// Destroys the context when it goes out of scope.
struct Headless {
    Headless(float width, float height, float scale, const wchar_t* fonts_dir = nullptr);
    ~Headless();
    Headless(const Headless&) = delete;
    Headless& operator=(const Headless&) = delete;

    // NewFrame, draw(), Render; the draw data stays readable afterwards.
    void frame(const DrawFn& draw);
    void resize(float width, float height);

    // Input, each over the frames it needs (the screen is drawn in every one of them).
    void click(ImVec2 at, const DrawFn& draw);         // press in one frame, release in the next
    void press_key(ImGuiKey key, const DrawFn& draw);  // down in one frame, up in the next
    void type(const char* utf8, const DrawFn& draw);   // characters in one frame

    // The rectangle (screen coordinates) of the item with this label at the root of the named
    // window, measured over one frame through the navigation focus; zero size when not drawn.
    Rect item_rect(const char* window, const char* label, const DrawFn& draw);

    ImGuiContext* context = nullptr;
};

// Read-back of the last frame's draw data.
std::vector<TextRun> text_runs();
const TextRun* find_run(const std::vector<TextRun>& runs, const std::string& text);
int count_runs(const std::vector<TextRun>& runs, const std::string& text);
int vertex_count();
int draw_call_count();
inline ImVec2 centre(const TextRun& run) {
    return ImVec2(run.pos.x + run.width * 0.5f, run.pos.y + run.size * 0.5f);
}
inline ImU32 u32(const ImVec4& colour) { return ImGui::ColorConvertFloat4ToU32(colour); }

}  // namespace ui
