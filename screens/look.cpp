#include "screens/look.h"

#include <windows.h>

#include <imgui.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "launcher/folders.h"
#include "launcher/render.h"

LauncherFonts fonts;

const ImVec4 col_text(0.93f, 0.94f, 0.96f, 1.00f);
const ImVec4 col_muted(0.62f, 0.66f, 0.72f, 1.00f);
const ImVec4 col_accent(1.00f, 0.58f, 0.18f, 1.00f);
const ImVec4 col_outline(0.86f, 0.08f, 0.08f, 1.00f);
const ImVec4 col_error(1.00f, 0.42f, 0.38f, 1.00f);
const ImVec4 col_warning(1.00f, 0.76f, 0.30f, 1.00f);

const wchar_t* const font_candidates[4] = {L"segoeuib.ttf", L"arialbd.ttf", L"tahomabd.ttf",
                                           L"tahoma.ttf"};

static const wchar_t* const banner_font_file = L"timesbd.ttf";

#if IMGUI_VERSION_NUM < 19140
static const ImGuiCol nav_cursor_colour = ImGuiCol_NavHighlight;
#else
static const ImGuiCol nav_cursor_colour = ImGuiCol_NavCursor;
#endif

static bool is_usable_path(const std::wstring& path) {
    return !(GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY);
}

static std::vector<unsigned char> read_whole_file(const std::wstring& path) {
    std::vector<unsigned char> bytes;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return bytes;
    LARGE_INTEGER size{};
    // Font files are small; anything near the atlas's int size limit is not a font.
    if (GetFileSizeEx(file, &size) && size.QuadPart > 0 && size.QuadPart < (64 << 20)) {
        bytes.resize(static_cast<size_t>(size.QuadPart));
        DWORD got = 0;
        if (!ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) ||
            got != bytes.size())
            bytes.clear();
    }
    CloseHandle(file);
    return bytes;
}

static uint32_t read_be32(const unsigned char* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

// The atlas's TrueType reader trusts its input: a garbage file makes the whole atlas build fail
// (or reads past the buffer). So check the sfnt header and that every table it will look up
// lies inside the file before the bytes are handed over.
static bool looks_like_truetype(const std::vector<unsigned char>& data) {
    if (data.size() < 12) return false;
    const unsigned char* p = data.data();
    const uint32_t tag = read_be32(p);
    if (tag != 0x00010000u && tag != 0x74727565u /* 'true' */ && tag != 0x4F54544Fu /* 'OTTO' */)
        return false;
    const uint32_t tables = (uint32_t(p[4]) << 8) | p[5];
    if (tables == 0 || 12 + size_t(tables) * 16 > data.size()) return false;
    bool cmap = false, head = false, hhea = false, hmtx = false, glyf = false, loca = false,
         cff = false;
    for (uint32_t i = 0; i < tables; ++i) {
        const unsigned char* entry = p + 12 + size_t(i) * 16;
        const uint64_t offset = read_be32(entry + 8);
        const uint64_t length = read_be32(entry + 12);
        if (offset + length > data.size()) return false;
        const std::string name(reinterpret_cast<const char*>(entry), 4);
        if (name == "head") {
            // head carries a fixed magic number at byte 12: a cheap sign the table is real.
            if (length < 54 || read_be32(p + offset + 12) != 0x5F0F3CF5u) return false;
            head = true;
        }
        cmap |= name == "cmap";
        hhea |= name == "hhea";
        hmtx |= name == "hmtx";
        glyf |= name == "glyf";
        loca |= name == "loca";
        cff |= name == "CFF ";
    }
    return cmap && head && hhea && hmtx && ((glyf && loca) || cff);
}

// A font file read and checked once, then added at several sizes.
struct FontFile {
    std::wstring path;
    std::vector<unsigned char> data;
};

static bool read_font_file(const std::wstring& path, FontFile& out) {
    out.path = path;
    out.data.clear();
    if (!is_usable_path(path)) return false;
    out.data = read_whole_file(path);
    if (!looks_like_truetype(out.data)) out.data.clear();
    return !out.data.empty();
}

static ImFont* add_font(const FontFile& file, float pixels) {
    if (file.data.empty()) return nullptr;
    ImFontConfig config;
    config.FontDataOwnedByAtlas = false;  // the atlas copies the bytes and owns its copy
    const std::string name = to_utf8(file.path.substr(file.path.find_last_of(L'\\') + 1));
    snprintf(config.Name, sizeof config.Name, "%s, %.0fpx", name.c_str(), pixels);
    return ImGui::GetIO().Fonts->AddFontFromMemoryTTF(
        const_cast<unsigned char*>(file.data.data()), static_cast<int>(file.data.size()), pixels,
        &config);
}

void load_fonts(float scale) {
    wchar_t windows_dir[260] = {};
    const UINT n = GetWindowsDirectoryW(windows_dir, 260);
    const std::wstring dir = (n > 0 && n < 260) ? std::wstring(windows_dir, n) : std::wstring();
    load_fonts_from(path_join(dir, L"Fonts").c_str(), scale);
}

void load_fonts_from(const wchar_t* fonts_dir, float scale) {
    const std::wstring folder = fonts_dir ? fonts_dir : L"";
    FontFile banner_file;
    const bool banner_ok = read_font_file(path_join(folder, banner_font_file), banner_file);
    for (const wchar_t* candidate : font_candidates) {
        FontFile file;
        if (!read_font_file(path_join(folder, candidate), file)) continue;
        fonts.body = add_font(file, 20.0f * scale);
        fonts.small = add_font(file, 15.0f * scale);
        fonts.subtitle = add_font(file, 40.0f * scale);
        fonts.button = add_font(file, 26.0f * scale);
        fonts.banner = add_font(banner_ok ? banner_file : file, 104.0f * scale);
        if (fonts.body && fonts.small && fonts.subtitle && fonts.button && fonts.banner) return;
    }
    ImFontConfig config;
    config.SizePixels = 13.0f * scale;
    ImFont* builtin = ImGui::GetIO().Fonts->AddFontDefault(&config);
    fonts = LauncherFonts{builtin, builtin, builtin, builtin, builtin};
}

void push_launcher_style() {
    const float s = ui_scale;
    ImGui::PushStyleColor(ImGuiCol_WindowBg, ImVec4(0.07f, 0.08f, 0.10f, 1.00f));
    ImGui::PushStyleColor(ImGuiCol_Text, col_text);
    ImGui::PushStyleColor(ImGuiCol_Button, ImVec4(0.22f, 0.24f, 0.27f, 1.00f));
    ImGui::PushStyleColor(ImGuiCol_ButtonHovered, ImVec4(0.34f, 0.37f, 0.41f, 1.00f));
    ImGui::PushStyleColor(ImGuiCol_ButtonActive, ImVec4(0.48f, 0.52f, 0.57f, 1.00f));
    ImGui::PushStyleColor(ImGuiCol_Border, ImVec4(0.45f, 0.48f, 0.52f, 1.00f));
    ImGui::PushStyleColor(ImGuiCol_FrameBg, ImVec4(0.22f, 0.24f, 0.27f, 1.00f));
    ImGui::PushStyleColor(ImGuiCol_PlotHistogram, col_accent);
    ImGui::PushStyleColor(nav_cursor_colour, col_outline);
    ImGui::PushStyleVar(ImGuiStyleVar_FrameBorderSize, 1.0f);
    ImGui::PushStyleVar(ImGuiStyleVar_FrameRounding, 3.0f * s);
    ImGui::PushStyleVar(ImGuiStyleVar_FramePadding, ImVec2(14.0f * s, 9.0f * s));
}

void pop_launcher_style() {
    ImGui::PopStyleVar(3);
    ImGui::PopStyleColor(9);
}
