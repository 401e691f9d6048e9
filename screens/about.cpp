#include "screens/about.h"

#include <imgui.h>

#include <string>

#include "launcher/folders.h"
#include "launcher/render.h"
#include "screens/look.h"
#include "screens/widgets.h"

namespace {

struct AboutEntry {
    const char* name;
    const char* description;
};

const AboutEntry recompilation_entries[] = {
    {"Dravik",
     "by the Dravik authors (MIT) -- the Xbox static recompiler and runtime this game is built "
     "on; this project uses a fork of it and is not affiliated with or endorsed by its authors."},
    {"Xbox emulator",
     "the open-source Xbox emulator (GPL-2.0-or-later). The runtime's graphics and audio "
     "hardware code is derived from it, and it is the reference this port is checked against."},
};

const AboutEntry game_entries[] = {
    {"Varnis",
     "by its original developer and publisher -- all game code, assets and trademarks belong to "
     "their respective owners; this launcher distributes none of them, but rebuilds the game "
     "from the disc you already own, on your own computer."},
};

const AboutEntry tool_entries[] = {
    {"Dear ImGui", "by Omar Cornut and contributors (MIT) -- this launcher's interface"},
    {"Capstone", "disassembly framework (BSD) -- reads the game's code during the build"},
    {"Python", "by the Python Software Foundation (PSF License) -- runs the build"},
    {"Zig", "by the Zig Software Foundation (MIT) -- the C compiler for the build"},
    {"CMake and Ninja", "by Kitware (BSD-3-Clause) and the Ninja authors (Apache-2.0)"},
};

void heading(const char* text) {
    vertical_gap(10.0f);
    ImGui::TextColored(col_accent, "%s", text);
    ImGui::Separator();
}

template <size_t N>
void entries(const AboutEntry (&list)[N]) {
    for (const AboutEntry& entry : list) {
        ImGui::TextColored(col_text, "%s", entry.name);
        ImGui::Indent(18.0f * ui_scale);
        ImGui::TextColored(col_muted, "%s", entry.description);
        ImGui::Unindent(18.0f * ui_scale);
        vertical_gap(4.0f);
    }
}

void draw_about_text(float panel_width) {
    ImGui::PushTextWrapPos(panel_width - 24.0f * ui_scale);
    heading("Work in progress");
    ImGui::TextColored(col_warning, "%s",
                       "This is an early recompilation and it has not been played through. "
                       "Expect problems, including ones that can block progress. Save often, "
                       "and keep more than one save.");
    heading("Recompilation");
    entries(recompilation_entries);
    heading("Original game");
    entries(game_entries);
    heading("Libraries and tools");
    entries(tool_entries);
    vertical_gap(8.0f);
    ImGui::TextColored(col_muted, "%s",
                       "Licenses differ between components. See each project's own license for "
                       "the terms that apply to it.");
    ImGui::PopTextWrapPos();
}

}  // namespace

void draw_about_panel() {
    centered_text("About Recompilation", col_accent, nullptr);
    const std::string version = std::string("v") + launcher_version;
    centered_text(version.c_str(), col_muted, fonts.small);
    vertical_gap(10.0f);

    const float w = ImGui::GetWindowWidth();
    const float wide = 760.0f * ui_scale;
    const float narrow = w - 60.0f * ui_scale;
    const float p = wide < narrow ? wide : narrow;  // NaN picks the narrow panel
    ImGui::SetCursorPosX((w - p) * 0.5f);
    float h = ImGui::GetContentRegionAvail().y - 90.0f * ui_scale;
    // Zero or less would mean "the remaining height" to the library and push "Back" away.
    if (h < 1.0f) h = 1.0f;
    if (ImGui::BeginChild("##about", ImVec2(p, h), 0, 0)) draw_about_text(p);
    ImGui::EndChild();
}
