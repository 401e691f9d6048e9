#include "launcher/settings.h"

#include <windows.h>

#include <cstdio>
#include <cwchar>

#include "launcher/files.h"
#include "launcher/folders.h"
#include "launcher/log.h"

LauncherSettings settings;

std::wstring read_text_file(const std::wstring& path) {
    FILE* const file = open_own_file(path, "rb");  // never inherited by a build
    if (!file) return {};
    std::string bytes;
    char block[4096];
    size_t n;
    while ((n = fread(block, 1, sizeof block, file)) > 0) bytes.append(block, n);
    fclose(file);
    return to_wide(bytes);
}

std::map<std::wstring, std::wstring> read_key_values(const std::wstring& path) {
    std::map<std::wstring, std::wstring> values;
    const std::wstring text = read_text_file(path);
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t lf = text.find(L'\n', pos);
        std::wstring line = text.substr(pos, lf == std::wstring::npos ? std::wstring::npos : lf - pos);
        pos = lf == std::wstring::npos ? text.size() : lf + 1;
        if (!line.empty() && line.back() == L'\r') line.pop_back();
        const size_t eq = line.find(L'=');
        if (eq == std::wstring::npos) continue;
        values[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return values;
}

void load_settings() {
    auto values = read_key_values(folders.settings_path);
    settings.iso = values[L"iso"];
    int picture = _wtoi(values[L"picture"].c_str());
    if (picture < -50) picture = -50;
    if (picture > 50) picture = 50;
    settings.picture = picture;
    settings.saves = values[L"saves"];
    settings.fullscreen = values[L"fullscreen"] == L"1";
}

// The reader drops one carriage return before each line feed, so a value that itself ends in one
// (only a damaged file gives such a value) gets one more to read back unchanged.
static std::string value_line(const char* key, const std::wstring& value) {
    const std::string text = to_utf8(value);
    return key + text + (!text.empty() && text.back() == '\r' ? "\r\n" : "\n");
}

std::string format_settings(const LauncherSettings& s) {
    std::string out;
    out += value_line("iso=", s.iso);
    out += "picture=" + std::to_string(s.picture) + "\n";
    out += value_line("saves=", s.saves);
    out += std::string("fullscreen=") + (s.fullscreen ? "1" : "0") + "\n";
    return out;
}

// Writes beside the target and moves over it in one step, so a failed write never leaves a
// shortened settings.ini behind: the old file stays whole until the new one is complete.
void save_settings() {
    const std::wstring& target = folders.settings_path;
    const std::wstring temp = target + L".tmp";
    const std::string bytes = format_settings(settings);
    bool ok = false;
    if (FILE* const file = open_own_file(temp, "wb")) {
        ok = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
        ok = (fflush(file) == 0) && ok;
        ok = (fclose(file) == 0) && ok;
        if (ok)
            ok = MoveFileExW(temp.c_str(), target.c_str(),
                             MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
        if (!ok) DeleteFileW(temp.c_str());
    }
    if (!ok) launcher_log("cannot write settings.ini");
}
