// The ready test and the disc image check on random and truncated files: no crash, the right
// answer, and no handle left open afterwards.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>

#include "fuzz.h"
#include "launcher/folders.h"
#include "launcher/screen_flow.h"
#include "launcher/settings.h"
#include "pipeline/disc_image.h"
#include "test_support.h"

namespace {

// Nobody holds the file: it opens with no sharing at all.
bool nobody_holds(const std::wstring& path) {
    const HANDLE h = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    CloseHandle(h);
    return true;
}

void damage(fuzz::Rng& r, std::string& text) {
    switch (r.below(5)) {
    case 0: text.resize(r.below(text.size() + 1)); break;
    case 1: text.insert(r.below(text.size() + 1), std::string(1 + r.below(20), '\r')); break;
    case 2: text.insert(0, "\xef\xbb\xbf"); break;
    case 3:
        if (!text.empty()) text[r.below(text.size())] = r.byte();
        break;
    default:
        for (size_t n = r.below(300); n > 0; --n) text += r.byte();
        break;
    }
}

std::string trimmed_version(const std::string& text) {
    const char* blanks = "\t\n\r \"";
    const size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

std::string non_ascii() {
    std::string bytes;
    for (int c = 0x80; c < 0x100; ++c) bytes += static_cast<char>(c);
    return bytes;
}

TEST(FilesFuzz, ReadyTestOnDamagedMarkersAndVersions) {
    const std::wstring dir = ts::make_temp_dir(L"fuzz-ready");
    folders = Folders{};
    folders.data_dir = dir + L"\\data";
    folders.tools_dir = dir + L"\\tools";
    derive_folder_paths(folders);
    ts::make_dirs(folders.work_dir + L"\\build");
    ts::make_dirs(folders.tools_dir);
    ts::write_file(folders.game_module_path, "module");
    settings = LauncherSettings{};
    settings.iso = L"C:\\Discs\\game.iso";
    const std::wstring version_path = folders.tools_dir + L"\\VERSION";
    for (int i = 0; i < fuzz::ready_files; ++i) {
        const uint64_t seed = fuzz::case_seed("ready", i);
        fuzz::Rng r(seed);
        std::string version = r.chance(50) ? "0.9-test\r\n" : "\"1.0\" \n";
        std::string marker = "iso=C:\\Discs\\game.iso\nversion=" + trimmed_version(version) + "\n";
        if (r.chance(60)) damage(r, marker);
        if (r.chance(30)) damage(r, version);
        ts::write_file(folders.ready_path, marker);
        ts::write_file(version_path, version);

        // Beyond ASCII, distinct damaged bytes can decode to the same replacement character.
        const bool ascii = (marker + version).find_first_of(non_ascii()) == std::string::npos;
        std::string iso, stamped;
        const bool want = fuzz::last_value(marker, "iso", iso) && iso == "C:\\Discs\\game.iso" &&
                          fuzz::last_value(marker, "version", stamped) &&
                          stamped == trimmed_version(version);
        const bool ready = is_build_ready();
        if (ascii && ready != want)
            ADD_FAILURE() << "case " << i << ", seed " << seed << ": ready " << ready
                          << "\nmarker " << fuzz::show(marker) << "\nVERSION " << fuzz::show(version);
        EXPECT_TRUE(nobody_holds(folders.ready_path)) << "seed " << seed;
        EXPECT_TRUE(nobody_holds(version_path)) << "seed " << seed;
        if (HasFatalFailure() || HasNonfatalFailure()) break;
    }
    settings = LauncherSettings{};
    ts::remove_tree(dir);
}

const char magic[] = "MICROSOFT*XBOX*MEDIA";

// A file of zeros of length `size` with `content` at `at`: small random files put everything at
// 0, large images are sparse with the interesting bytes around one of the four offsets.
struct Image {
    uint64_t size = 0, at = 0;
    std::string content;
    char byte(uint64_t x) const {
        return x >= at && x - at < content.size() ? content[static_cast<size_t>(x - at)] : 0;
    }
    bool accepted() const {
        for (const uint64_t offset : {0x10000ull, 0x18310000ull, 0x0FDA0000ull, 0x02090000ull}) {
            if (offset + 20 > size) continue;
            bool all = true;
            for (int k = 0; k < 20; ++k) all = all && byte(offset + k) == magic[k];
            if (all) return true;
        }
        return false;
    }
};

Image random_image(fuzz::Rng& r) {
    Image image;
    if (r.chance(60)) {
        image.content.resize(r.below(0x10030));
        for (char& c : image.content) c = r.byte();
        if (r.chance(60) && image.content.size() > 0x10000)
            image.content.replace(0x10000, 20, magic, std::min<size_t>(20, image.content.size() - 0x10000));
        image.size = image.content.size();
    } else {
        const uint64_t offsets[] = {0x10000, 0x18310000, 0x0FDA0000, 0x02090000};
        const uint64_t offset = offsets[r.below(4)];
        image.at = offset - 8;
        image.content = std::string(8, 'x') + magic + std::string(8, 'y');
        if (r.chance(30)) image.content[8 + r.below(20)] ^= 1;  // one byte of the magic wrong
        if (r.chance(20)) image.at += r.chance(50) ? 1 : -1;     // one byte away from the offset
        image.size = offset + 20 - 10 + r.below(20);              // cut around the end of the magic
    }
    return image;
}

bool write_image(const std::wstring& path, const Image& image) {
    const HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(image.at);
    DWORD wrote = 0;
    bool ok = SetFilePointerEx(h, at, nullptr, FILE_BEGIN) &&
              WriteFile(h, image.content.data(), static_cast<DWORD>(image.content.size()), &wrote, nullptr);
    at.QuadPart = static_cast<LONGLONG>(image.size);
    ok = ok && SetFilePointerEx(h, at, nullptr, FILE_BEGIN) && SetEndOfFile(h);
    CloseHandle(h);
    return ok;
}

TEST(FilesFuzz, DiscImageCheckOnRandomAndTruncatedFiles) {
    const std::wstring dir = ts::make_temp_dir(L"fuzz-disc");
    const std::wstring path = dir + L"\\image.iso";
    for (int i = 0; i < fuzz::disc_images; ++i) {
        const uint64_t seed = fuzz::case_seed("disc", i);
        fuzz::Rng r(seed);
        const Image image = random_image(r);
        ASSERT_TRUE(write_image(path, image)) << "seed " << seed;
        const std::string want = image.accepted() ? "" : "That is not an Xbox disc image.";
        EXPECT_EQ(check_disc_image(path), want)
            << "case " << i << ", seed " << seed << ": " << image.size << " bytes, content at "
            << image.at << ": " << fuzz::show(image.content.substr(0, 64));
        EXPECT_TRUE(nobody_holds(path)) << "seed " << seed;
        EXPECT_TRUE(DeleteFileW(path.c_str())) << "seed " << seed;
        if (HasNonfatalFailure()) break;
    }
    ts::remove_tree(dir);
}

}  // namespace
