#include "imgui_harness.h"

#include <imgui.h>
#include <imgui_internal.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <map>
#include <utility>

#include "launcher/render.h"
#include "screens/look.h"

namespace ui {

Headless::Headless(float width, float height, float scale, const wchar_t* fonts_dir) {
    context = ImGui::CreateContext();
    ImGui::SetCurrentContext(context);
    ImGuiIO& io = ImGui::GetIO();
    io.IniFilename = nullptr;
    io.ConfigFlags |= ImGuiConfigFlags_NavEnableKeyboard | ImGuiConfigFlags_NavEnableGamepad;
    io.DisplaySize = ImVec2(width, height);
    io.DeltaTime = 1.0f / 60.0f;
    ui_scale = scale;
    fonts = LauncherFonts{};
    if (fonts_dir)
        load_fonts_from(fonts_dir, scale);
    else
        load_fonts(scale);
    ImGui::GetStyle().ScaleAllSizes(scale);
    unsigned char* pixels = nullptr;
    int w = 0, h = 0;
    io.Fonts->GetTexDataAsRGBA32(&pixels, &w, &h);
    io.Fonts->SetTexID((ImTextureID)(intptr_t)1);  // a pointer before 1.91.4, an integer after
}

Headless::~Headless() {
    ImGui::DestroyContext(context);
    fonts = LauncherFonts{};
}

DrawFn screen(Screen which) {
    return [which] { draw_screen_in_style(which); };
}

DrawFn styled(const DrawFn& body) {
    return [body] {
        push_launcher_style();
        ImGui::PushFont(fonts.body);
        body();
        ImGui::PopFont();
        pop_launcher_style();
    };
}

void Headless::frame(const DrawFn& draw) {
    ImGui::GetIO().DeltaTime = 1.0f / 60.0f;
    ImGui::NewFrame();
    if (draw) draw();
    ImGui::Render();
}

void Headless::resize(float width, float height) { ImGui::GetIO().DisplaySize = ImVec2(width, height); }

void Headless::click(ImVec2 at, const DrawFn& draw) {
    ImGuiIO& io = ImGui::GetIO();
    io.AddMousePosEvent(at.x, at.y);
    io.AddMouseButtonEvent(0, true);
    frame(draw);
    io.AddMouseButtonEvent(0, false);
    frame(draw);
}

void Headless::press_key(ImGuiKey key, const DrawFn& draw) {
    ImGuiIO& io = ImGui::GetIO();
    io.AddKeyEvent(key, true);
    frame(draw);
    io.AddKeyEvent(key, false);
    frame(draw);
}

void Headless::type(const char* utf8, const DrawFn& draw) {
    ImGui::GetIO().AddInputCharactersUTF8(utf8);
    frame(draw);
}

Rect Headless::item_rect(const char* window_name, const char* label, const DrawFn& draw) {
    ImGuiWindow* window = ImGui::FindWindowByName(window_name);
    if (!window) return {};
    const ImGuiID id = window->GetID(label);
    // The navigation code stores the focused item's rectangle when that item is submitted. A
    // window that only now gets the focus may first move it to its default item, so retry.
    const ImRect sentinel(FLT_MAX, FLT_MAX, FLT_MAX, FLT_MAX);
    ImRect rel = sentinel;
    for (int attempt = 0; attempt < 3 && rel.Min.x == FLT_MAX; ++attempt) {
        window->NavRectRel[0] = sentinel;
        ImGui::SetFocusID(id, window);
        frame(draw);
        if (GImGui->NavId == id) rel = window->NavRectRel[0];
    }
    if (rel.Min.x == FLT_MAX) return {};
    const ImRect abs = ImGui::WindowRectRelToAbs(window, rel);
    return Rect{abs.Min, abs.Max};
}

namespace {

struct GlyphRef {
    ImFont* font;
    const ImFontGlyph* glyph;
};

using UvKey = std::pair<uint32_t, uint32_t>;

uint32_t bits(float f) {
    uint32_t u;
    std::memcpy(&u, &f, sizeof u);
    return u;
}

std::map<UvKey, GlyphRef> glyph_index() {
    std::map<UvKey, GlyphRef> index;
    for (ImFont* font : ImGui::GetIO().Fonts->Fonts)
        for (const ImFontGlyph& glyph : font->Glyphs)
            if (glyph.Visible) index.emplace(UvKey(bits(glyph.U0), bits(glyph.V0)), GlyphRef{font, &glyph});
    return index;
}

void append_utf8(std::string& out, unsigned c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

bool is_glyph_quad(const ImDrawVert* v, const ImFontGlyph& g) {
    return v[1].uv.x == g.U1 && v[1].uv.y == g.V0 && v[2].uv.x == g.U1 && v[2].uv.y == g.V1 &&
           v[3].uv.x == g.U0 && v[3].uv.y == g.V1;
}

}  // namespace

std::vector<TextRun> text_runs() {
    std::vector<TextRun> runs;
    const ImDrawData* data = ImGui::GetDrawData();
    if (!data) return runs;
    const std::map<UvKey, GlyphRef> index = glyph_index();
    for (const ImDrawList* list : data->CmdLists) {
        const ImDrawVert* vtx = list->VtxBuffer.Data;
        const int count = list->VtxBuffer.Size;
        bool open = false;  // whether runs.back() may still grow
        float pen_end = 0.0f;
        for (int i = 0; i + 3 < count;) {
            const auto found = index.find(UvKey(bits(vtx[i].uv.x), bits(vtx[i].uv.y)));
            if (found == index.end() || !is_glyph_quad(vtx + i, *found->second.glyph)) {
                open = false;
                ++i;
                continue;
            }
            ImFont* font = found->second.font;
            const ImFontGlyph& g = *found->second.glyph;
            const float glyph_w = g.X1 - g.X0;
            const float scale = glyph_w > 0.0f ? (vtx[i + 1].pos.x - vtx[i].pos.x) / glyph_w : 1.0f;
            const float pen_x = vtx[i].pos.x - g.X0 * scale;
            const float pen_y = vtx[i].pos.y - g.Y0 * scale;
            const float size = font->FontSize * scale;
            const float space = font->FindGlyph(' ')->AdvanceX * scale;
            bool joined = false;
            if (open) {
                TextRun& run = runs.back();
                const float gap = pen_x - pen_end;
                if (run.font == font && run.colour == vtx[i].col && std::fabs(run.pos.y - pen_y) < 0.5f &&
                    std::fabs(run.size - size) < 0.01f && gap > -0.5f && gap < 3.5f * space) {
                    for (int s = static_cast<int>(std::lround(gap / space)); s > 0; --s) run.text += ' ';
                    joined = true;
                }
            }
            if (!joined) {
                runs.push_back(TextRun{std::string(), ImVec2(pen_x, pen_y), 0.0f, size, vtx[i].col, font});
                open = true;
            }
            TextRun& run = runs.back();
            append_utf8(run.text, g.Codepoint);
            pen_end = pen_x + g.AdvanceX * scale;
            run.width = pen_end - run.pos.x;
            i += 4;
        }
    }
    return runs;
}

const TextRun* find_run(const std::vector<TextRun>& runs, const std::string& text) {
    for (const TextRun& run : runs)
        if (run.text == text) return &run;
    return nullptr;
}

int count_runs(const std::vector<TextRun>& runs, const std::string& text) {
    int n = 0;
    for (const TextRun& run : runs) n += run.text == text;
    return n;
}

int vertex_count() {
    const ImDrawData* data = ImGui::GetDrawData();
    return data ? data->TotalVtxCount : 0;
}

int draw_call_count() {
    const ImDrawData* data = ImGui::GetDrawData();
    if (!data) return 0;
    int n = 0;
    for (const ImDrawList* list : data->CmdLists)
        for (const ImDrawCmd& cmd : list->CmdBuffer) n += cmd.UserCallback == nullptr && cmd.ElemCount > 0;
    return n;
}

}  // namespace ui
