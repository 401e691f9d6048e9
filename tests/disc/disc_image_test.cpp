// The disc image check against sparse images: only the few bytes written take disc space.
#include <gtest/gtest.h>
#include <windows.h>
#include <winioctl.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "launcher/files.h"
#include "pipeline/disc_image.h"
#include "test_support.h"

namespace {

const std::string magic = "MICROSOFT*XBOX*MEDIA";
const char* const accepted = "";
const char* const not_xbox = "That is not an Xbox disc image.";

struct Write {
    uint64_t offset;
    std::string bytes;
};

// Writes each block at its offset into a sparse file, so the gaps take no disc space. NTFS
// fills a gap with zeros on disc unless the file is marked sparse first; where marking is not
// supported the file is still right, only larger.
bool make_image(const std::wstring& path, const std::vector<Write>& writes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD returned = 0;
    DeviceIoControl(file, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
    bool ok = true;
    for (const Write& w : writes) {
        LARGE_INTEGER at;
        at.QuadPart = static_cast<LONGLONG>(w.offset);
        DWORD written = 0;
        ok = ok && SetFilePointerEx(file, at, nullptr, FILE_BEGIN) &&
             WriteFile(file, w.bytes.data(), static_cast<DWORD>(w.bytes.size()), &written,
                       nullptr) &&
             written == w.bytes.size();
    }
    CloseHandle(file);
    return ok;
}

class DiscImageTest : public testing::Test {
protected:
    void SetUp() override { dir = ts::make_temp_dir(L"disc"); }
    void TearDown() override { ts::remove_tree(dir); }
    std::wstring dir;
};

TEST_F(DiscImageTest, LooksForTheMagicOnlyAtTheFourOffsets) {
    const std::string off_by_one = magic.substr(0, 19) + "B";
    const struct {
        const char* name;
        const wchar_t* file;
        std::vector<Write> writes;
        const char* expected;
    } cases[] = {
        {"game partition alone", L"game.iso", {{0x10000, magic}}, accepted},
        {"other extension, other bytes around", L"disc.bin",
         {{0, std::string(4096, 'x')}, {0x10000, magic}, {0x10014, "tail"}}, accepted},
        {"first full layout", L"a.iso", {{0x18310000, magic}}, accepted},
        {"second full layout", L"b.iso", {{0x0FDA0000, magic}}, accepted},
        {"third full layout, after three misses", L"c.iso", {{0x02090000, magic}}, accepted},
        {"magic past every offset", L"d.iso", {{0x18310000 + 20, magic}}, not_xbox},
        {"19 bytes at the end of the file", L"e.iso", {{0x10000, magic.substr(0, 19)}}, not_xbox},
        {"19 bytes then a wrong one", L"f.iso", {{0x10000, off_by_one}}, not_xbox},
        {"magic one byte late", L"g.iso", {{0x10001, magic}}, not_xbox},
        {"magic one byte early", L"h.iso", {{0xFFFF, magic}}, not_xbox},
        {"magic one byte late at a full layout", L"i.iso", {{0x02090001, magic}}, not_xbox},
        {"short file", L"j.iso", {{0, magic}}, not_xbox},
        {"empty file", L"k.iso", {}, not_xbox},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::wstring path = dir + L"\\" + c.file;
        ASSERT_TRUE(make_image(path, c.writes));
        EXPECT_EQ(check_disc_image(path), c.expected);
    }
}

TEST_F(DiscImageTest, PathsThatNameNoReadableFile) {
    const std::wstring locked = dir + L"\\locked.iso";
    ASSERT_TRUE(make_image(locked, {{0x10000, magic}}));
    HANDLE exclusive = CreateFileW(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(exclusive, INVALID_HANDLE_VALUE);
    const struct {
        const char* name;
        std::wstring path;
        const char* expected;
    } cases[] = {
        {"empty path", L"", "Choose a file."},
        {"folder", dir, "That file does not exist."},
        {"missing file", dir + L"\\missing.iso", "That file does not exist."},
        {"missing folder on the way", dir + L"\\none\\game.iso", "That file does not exist."},
        {"held open exclusively", locked, "That file cannot be read."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(check_disc_image(c.path), c.expected);
    }
    CloseHandle(exclusive);
    EXPECT_EQ(check_disc_image(locked), accepted);
}

TEST_F(DiscImageTest, LeavesTheFileClosedAndGivesTheSameAnswerTwice) {
    const std::wstring path = dir + L"\\M\u00edas disc.iso";
    ASSERT_TRUE(make_image(path, {{0x02090000, magic}}));
    EXPECT_EQ(check_disc_image(path), accepted);
    EXPECT_EQ(check_disc_image(path), accepted);
    // No handle of the check survives: an exclusive open and a delete succeed at once.
    HANDLE exclusive = CreateFileW(path.c_str(), GENERIC_READ | DELETE, 0, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(exclusive, INVALID_HANDLE_VALUE);
    if (exclusive != INVALID_HANDLE_VALUE) CloseHandle(exclusive);
    EXPECT_TRUE(DeleteFileW(path.c_str()));
    EXPECT_EQ(check_disc_image(path), "That file does not exist.");
}

// The thread's error mode at each moment the check touches the player's path.
std::vector<DWORD> modes_seen;

DWORD WINAPI attributes_recording_mode(LPCWSTR path) {
    modes_seen.push_back(GetThreadErrorMode());
    return GetFileAttributesW(path);
}

void open_recording_mode(FILE*, const std::wstring&) { modes_seen.push_back(GetThreadErrorMode()); }

// A drive letter that names nothing here, as an unplugged stick's letter would.
std::wstring unused_drive_path() {
    const DWORD drives = GetLogicalDrives();
    for (int letter = 'Z'; letter >= 'D'; --letter)
        if (!(drives & (1u << (letter - 'A'))))
            return std::wstring(1, static_cast<wchar_t>(letter)) + L":\\game.iso";
    return {};
}

// Windows asks the player about a drive without a medium in a box of its own unless the thread
// has turned such boxes off; the check must run that way and give the caller's mode back.
TEST_F(DiscImageTest, RunsWithoutSystemErrorBoxesAndRestoresTheCallersMode) {
    const std::wstring image = dir + L"\\game.iso";
    ASSERT_TRUE(make_image(image, {{0x10000, magic}}));
    const std::wstring locked = dir + L"\\locked.iso";
    ASSERT_TRUE(make_image(locked, {{0x10000, magic}}));
    const HANDLE exclusive = CreateFileW(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                         FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(exclusive, INVALID_HANDLE_VALUE);
    const std::wstring no_drive = unused_drive_path();
    ASSERT_FALSE(no_drive.empty());

    const struct {
        const char* name;
        std::wstring path;
        const char* expected;
        size_t touches;  // attribute queries and successful opens
    } paths[] = {
        {"an image", image, accepted, 2},
        {"a folder", dir, "That file does not exist.", 1},
        {"a drive letter with nothing behind it", no_drive, "That file does not exist.", 1},
        {"a file held by another program", locked, "That file cannot be read.", 1},
    };
    const DWORD caller_modes[] = {0, SEM_NOGPFAULTERRORBOX, SEM_FAILCRITICALERRORS,
                                  SEM_NOOPENFILEERRORBOX | SEM_NOGPFAULTERRORBOX};
    const DWORD quiet = SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX;

    const DWORD original = GetThreadErrorMode();
    const auto saved_attributes = disc_image_attributes_fn;
    disc_image_attributes_fn = attributes_recording_mode;
    own_file_observer = open_recording_mode;
    for (const DWORD caller : caller_modes) {
        for (const auto& p : paths) {
            SCOPED_TRACE(std::string(p.name) + ", caller's mode " + std::to_string(caller));
            ASSERT_TRUE(SetThreadErrorMode(caller, nullptr));
            modes_seen.clear();
            EXPECT_EQ(check_disc_image(p.path), p.expected);
            EXPECT_EQ(GetThreadErrorMode(), caller) << "the caller's mode was not restored";
            EXPECT_EQ(modes_seen.size(), p.touches);
            for (const DWORD seen : modes_seen) EXPECT_EQ(seen, caller | quiet);
        }
    }
    own_file_observer = nullptr;
    disc_image_attributes_fn = saved_attributes;
    SetThreadErrorMode(original, nullptr);
    CloseHandle(exclusive);
}

}  // namespace
