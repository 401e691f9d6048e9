// load_settings on random and damaged settings.ini files.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz.h"
#include "launcher/folders.h"
#include "launcher/settings.h"
#include "test_support.h"

namespace {

const char* const fullscreen_values[] = {"1", "01", "1 ", "true", " 1", "1\r", "", "0", "1\r\r"};
const char* const picture_values[] = {"999", "-80", "+7", " 7", "7x", "x", "2147483648",
                                      "-99999999999", "1e3", "-50", "50", "\t-3"};
const char* const broken_utf8[] = {"\xc0\x80", "\xff", "\xed\xa0\x80", "\xf4\x90\x80\x80", "\xe2\x82",
                                   "\xef\xbb\xbf", "\xc3"};

std::string random_bytes(fuzz::Rng& r, size_t n) {
    const char alphabet[] = "=\n\r isopicturesavesfullscreen01-+\\:\xc3\xa9";
    std::string s;
    for (size_t i = 0; i < n; ++i)
        s += r.chance(50) ? alphabet[r.below(sizeof alphabet - 1)] : r.byte();
    return s;
}

std::string valid_file(fuzz::Rng& r) {
    LauncherSettings s;
    s.iso = L"C:\\Discs\\M\u00edas " + std::to_wstring(r.below(1000)) + L".iso";
    s.picture = static_cast<int>(r.below(101)) - 50;
    if (r.chance(50)) s.saves = L"D:\\Saves = \u0412\u0430\u0440";
    s.fullscreen = r.chance(50);
    return format_settings(s);
}

void insert_at_random(fuzz::Rng& r, std::string& text, const std::string& piece) {
    text.insert(r.below(text.size() + 1), piece);
}

void mutate(fuzz::Rng& r, std::string& text) {
    switch (r.below(9)) {
    case 0: text.insert(0, "\xef\xbb\xbf"); break;
    case 1: insert_at_random(r, text, std::string(1 + r.below(50), '\r')); break;
    case 2: text.resize(r.below(text.size() + 1)); break;
    case 3: insert_at_random(r, text, "saves=" + random_bytes(r, 70000 + r.below(60000)) + "\n"); break;
    case 4: insert_at_random(r, text, broken_utf8[r.below(std::size(broken_utf8))]); break;
    case 5:
        text += std::string("fullscreen=") + fullscreen_values[r.below(std::size(fullscreen_values))];
        if (r.chance(70)) text += "\n";
        break;
    case 6: text += std::string("picture=") + picture_values[r.below(std::size(picture_values))] + "\n"; break;
    case 7:
        if (!text.empty()) text[r.below(text.size())] = r.byte();
        break;
    default: insert_at_random(r, text, random_bytes(r, r.below(40))); break;
    }
}

std::string random_file(fuzz::Rng& r) {
    if (r.chance(25)) return random_bytes(r, r.below(400));
    std::string text = valid_file(r);
    for (size_t n = 1 + r.below(4); n > 0; --n) mutate(r, text);
    return text;
}

// What the four fields must read, worked out from the file's bytes by the reading rules: the
// whole file decoded from UTF-8 by Windows, split at LF, one trailing CR dropped, the key before
// the first "=", the last line of a key wins; picture is _wtoi of its value clamped to -50..50,
// fullscreen is true only for the value 1.
LauncherSettings expected_settings(const std::string& text) {
    std::wstring wide;
    if (!text.empty()) {
        const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                          nullptr, 0);
        wide.resize(n);
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
    }
    std::wstring iso, picture, saves, fullscreen;
    for (size_t at = 0; at < wide.size();) {
        const size_t lf = wide.find(L'\n', at);
        std::wstring line = wide.substr(at, lf == std::wstring::npos ? std::wstring::npos : lf - at);
        at = lf == std::wstring::npos ? wide.size() : lf + 1;
        if (!line.empty() && line.back() == L'\r') line.pop_back();
        const size_t eq = line.find(L'=');
        if (eq == std::wstring::npos) continue;
        const std::wstring key = line.substr(0, eq), value = line.substr(eq + 1);
        if (key == L"iso") iso = value;
        if (key == L"picture") picture = value;
        if (key == L"saves") saves = value;
        if (key == L"fullscreen") fullscreen = value;
    }
    LauncherSettings s;
    s.iso = iso;
    s.picture = std::clamp(_wtoi(picture.c_str()), -50, 50);
    s.saves = saves;
    s.fullscreen = fullscreen == L"1";
    return s;
}

// fullscreen once more straight from the bytes, without any decoding.
bool expected_fullscreen(const std::string& text) {
    std::string value;
    return fuzz::last_value(text, "fullscreen", value) && value == "1";
}

bool same(const LauncherSettings& a, const LauncherSettings& b) {
    return a.iso == b.iso && a.picture == b.picture && a.saves == b.saves &&
           a.fullscreen == b.fullscreen;
}

std::string describe(const LauncherSettings& s) {
    return "iso " + fuzz::show(to_utf8(s.iso)) + ", picture " + std::to_string(s.picture) + ", saves " +
           fuzz::show(to_utf8(s.saves)) + ", fullscreen " + (s.fullscreen ? "1" : "0");
}

// Empty when loading `text` gives the expected fields and a save loads back the same settings.
std::string check(const std::string& text) {
    ts::write_file(folders.settings_path, text);
    settings = LauncherSettings{};
    load_settings();
    const LauncherSettings loaded = settings;
    const LauncherSettings expected = expected_settings(text);
    if (!same(loaded, expected))
        return "loaded " + describe(loaded) + ", expected " + describe(expected);
    if (loaded.fullscreen != expected_fullscreen(text)) return "fullscreen from a value other than 1";
    save_settings();
    settings = LauncherSettings{};
    load_settings();
    if (!same(settings, loaded))
        return "saved and loaded again, it reads " + fuzz::show(ts::read_file(folders.settings_path));
    return {};
}

TEST(SettingsFuzz, DamagedFilesLoadWithinTheRulesAndSaveRoundTrips) {
    const std::wstring dir = ts::make_temp_dir(L"fuzz-settings");
    folders = Folders{};
    folders.data_dir = dir;
    derive_folder_paths(folders);
    for (int i = 0; i < fuzz::settings_files; ++i) {
        const uint64_t seed = fuzz::case_seed("settings", i);
        fuzz::Rng r(seed);
        const std::string text = random_file(r);
        if (check(text).empty()) continue;
        const std::string smallest =
            fuzz::shrink(text, [](const std::string& t) { return !check(t).empty(); });
        ADD_FAILURE() << "case " << i << ", seed " << seed << ": " << check(smallest)
                      << "\nsmallest failing settings.ini: " << fuzz::show(smallest);
        break;
    }
    settings = LauncherSettings{};
    ts::remove_tree(dir);
}

}  // namespace
