#pragma once
#include <map>
#include <string>

struct LauncherSettings {
    std::wstring iso;
    int picture = 0;  // -50..50
    std::wstring saves;
    bool fullscreen = false;
};

extern LauncherSettings settings;

std::wstring read_text_file(const std::wstring& path);
std::map<std::wstring, std::wstring> read_key_values(const std::wstring& path);
void load_settings();
void save_settings();
// The exact bytes save_settings writes for `s`.
std::string format_settings(const LauncherSettings& s);
