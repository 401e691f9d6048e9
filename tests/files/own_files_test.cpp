// The files the launcher opens for itself: never inheritable, opened with classic mode strings.
#include <gtest/gtest.h>
#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <io.h>
#include <mutex>
#include <string>
#include <vector>

#include "build_env.h"
#include "launcher/files.h"
#include "launcher/folders.h"
#include "launcher/log.h"
#include "launcher/settings.h"
#include "pipeline/disc_image.h"
#include "test_support.h"

namespace {

// The Win32 handle behind a stream and whether a child process would inherit it.
struct HandleState {
    bool known = false;
    bool inheritable = false;
};

HandleState handle_state(FILE* file) {
    HandleState state;
    DWORD flags = 0;
    const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
    if (handle == INVALID_HANDLE_VALUE || !GetHandleInformation(handle, &flags)) return state;
    state.known = true;
    state.inheritable = (flags & HANDLE_FLAG_INHERIT) != 0;
    return state;
}

struct Opened {
    std::wstring path;
    HandleState state;
};
std::mutex opened_mutex;
std::vector<Opened> opened;

// Runs inside the real code, right after it opened a file (the build log on the worker thread).
void record_open(FILE* file, const std::wstring& path) {
    const HandleState state = handle_state(file);
    std::lock_guard<std::mutex> lock(opened_mutex);
    opened.push_back({path, state});
}

struct ObservedOpens {
    ObservedOpens() {
        opened.clear();
        own_file_observer = record_open;
    }
    ~ObservedOpens() { own_file_observer = nullptr; }
};

bool same_path(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

class OwnFilesTest : public BuildTest {};

TEST_F(OwnFilesTest, EveryFileTheLauncherOpensIsNotInheritable) {
    // Control: the check sees inheritance where there is some. A plain C runtime open is
    // inheritable, which is what the launcher's files must not be.
    const std::wstring plain = root + L"\\plain.txt";
    ts::write_file(plain, "x");
    FILE* const crt = _wfopen(plain.c_str(), L"rb");
    ASSERT_NE(crt, nullptr);
    const HandleState crt_state = handle_state(crt);
    fclose(crt);
    ASSERT_TRUE(crt_state.known);
    EXPECT_TRUE(crt_state.inheritable) << "the check cannot tell an inheritable handle";

    ObservedOpens observe;
    fclose(launcher_log_file);  // opened by the fixture before the observer was in place
    launcher_log_file = nullptr;
    open_launcher_log();
    ASSERT_NE(launcher_log_file, nullptr);
    const HandleState log_state = handle_state(launcher_log_file);
    EXPECT_TRUE(log_state.known);
    EXPECT_FALSE(log_state.inheritable) << "launcher.log, as kept open";

    folders.settings_path = path_join(folders.data_dir, L"settings.ini");
    ts::write_file(folders.settings_path, "picture=7\n");
    load_settings();
    EXPECT_EQ(settings.picture, 7);
    save_settings();
    EXPECT_NE(ts::read_file(folders.settings_path).find("picture=7\n"), std::string::npos);

    const std::wstring image = root + L"\\disc.iso";
    ts::write_file(image, std::string(0x10000, '\0') + "MICROSOFT*XBOX*MEDIA");
    EXPECT_EQ(check_disc_image(image), "");

    const auto job = run_build("out DONE\\s\n");
    EXPECT_TRUE(job->done);

    const std::wstring expected[] = {path_join(folders.logs_dir, L"launcher.log"),
                                     folders.settings_path, folders.settings_path + L".tmp",
                                     image, job->log_path};
    std::lock_guard<std::mutex> lock(opened_mutex);
    for (const std::wstring& path : expected) {
        SCOPED_TRACE(to_utf8(path));
        bool seen = false;
        for (const Opened& o : opened) {
            if (!same_path(o.path, path)) continue;
            seen = true;
            EXPECT_TRUE(o.state.known);
            EXPECT_FALSE(o.state.inheritable);
        }
        EXPECT_TRUE(seen) << "never opened";
    }
    for (const Opened& o : opened) {
        SCOPED_TRACE(to_utf8(o.path));
        EXPECT_FALSE(o.state.inheritable);
    }
}

struct ModeTest : testing::Test {
    void SetUp() override { dir = ts::make_temp_dir(L"modes"); }
    void TearDown() override { ts::remove_tree(dir); }
    std::wstring dir;
};

// What Wine's runtime lets through and a Windows runtime may refuse is refused everywhere.
TEST_F(ModeTest, OnlyClassicModeCharactersAreAccepted) {
    const char* const refused[] = {"rbN", "wbN", "abN", "wx", "wbx", "rbe", "re", "rt", "rbb",
                                   "r++", "rS",  "rbD", "ab,ccs=UTF-8", "b", "+", "", "x", "N"};
    for (const char* mode : refused) {
        SCOPED_TRACE(std::string("mode \"") + mode + "\"");
        const std::wstring path = dir + L"\\refused.txt";
        errno = 0;
        FILE* const file = open_own_file(path, mode);
        EXPECT_EQ(file, nullptr);
        if (file) fclose(file);
        EXPECT_EQ(errno, EINVAL);
        EXPECT_FALSE(ts::file_exists(path)) << "created all the same";
    }
    errno = 0;
    EXPECT_EQ(open_own_file(dir + L"\\none.txt", nullptr), nullptr);
    EXPECT_EQ(errno, EINVAL);
}

// Each mode as the C standard defines it, on a file that held "abcdef".
TEST_F(ModeTest, ClassicModesKeepTheirMeaning) {
    const struct {
        const char* mode;
        bool existing;        // the file exists beforehand
        const char* write;    // written after seeking to the start (null: nothing)
        const char* read;     // read from the start after the write (null: nothing)
        const char* content;  // the file afterwards (null: not there)
    } cases[] = {
        {"rb", true, nullptr, "abcdef", "abcdef"},
        {"rb", false, nullptr, nullptr, nullptr},
        {"wb", true, "XY", nullptr, "XY"},
        {"wb", false, "XY", nullptr, "XY"},
        {"ab", true, "XY", nullptr, "abcdefXY"},
        {"ab", false, "XY", nullptr, "XY"},
        {"r+b", true, "XY", "XYcdef", "XYcdef"},
        {"rb+", true, "XY", "XYcdef", "XYcdef"},
        {"r+b", false, nullptr, nullptr, nullptr},
        {"w+b", true, "XY", "XY", "XY"},
        {"a+b", true, "XY", "abcdefXY", "abcdefXY"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.mode) + (c.existing ? " on an existing file" : " on no file"));
        const std::wstring path = dir + L"\\mode.txt";
        ts::remove_tree(path);
        if (c.existing) ts::write_file(path, "abcdef");
        FILE* const file = open_own_file(path, c.mode);
        if (!c.content) {
            EXPECT_EQ(file, nullptr);
            if (file) fclose(file);
            EXPECT_EQ(errno, ENOENT);
            EXPECT_FALSE(ts::file_exists(path));
            continue;
        }
        ASSERT_NE(file, nullptr);
        if (c.write) {
            ASSERT_EQ(fseek(file, 0, SEEK_SET), 0);
            EXPECT_EQ(fwrite(c.write, 1, strlen(c.write), file), strlen(c.write));
        }
        if (c.read) {
            ASSERT_EQ(fseek(file, 0, SEEK_SET), 0);
            char buffer[32] = {};
            const size_t n = fread(buffer, 1, sizeof buffer - 1, file);
            EXPECT_EQ(std::string(buffer, n), c.read);
        }
        EXPECT_EQ(fclose(file), 0);
        EXPECT_EQ(ts::read_file(path), c.content);
    }
}

// "b" keeps bytes as they are; without it line feeds become CR LF on the way out, as in fopen.
TEST_F(ModeTest, TextModeOnlyWithoutB) {
    const std::wstring path = dir + L"\\text.txt";
    for (const char* mode : {"wb", "w"}) {
        FILE* const file = open_own_file(path, mode);
        ASSERT_NE(file, nullptr) << mode;
        fputs("a\nb\n", file);
        fclose(file);
        EXPECT_EQ(ts::read_file(path), mode[1] == 'b' ? "a\nb\n" : "a\r\nb\r\n") << mode;
    }
}

// Others may read a file while the launcher writes it (a log), and the other way round.
TEST_F(ModeTest, OpenFilesAreSharedForReadingAndWriting) {
    const std::wstring path = dir + L"\\shared.txt";
    FILE* const writer = open_own_file(path, "ab");
    ASSERT_NE(writer, nullptr);
    fputs("line\n", writer);
    fflush(writer);
    EXPECT_EQ(ts::read_file(path), "line\n");
    FILE* const second = open_own_file(path, "ab");
    EXPECT_NE(second, nullptr);
    if (second) fclose(second);
    fclose(writer);
    // Held without sharing by another program: the open fails instead of waiting or asking.
    const HANDLE exclusive = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                         FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(exclusive, INVALID_HANDLE_VALUE);
    errno = 0;
    EXPECT_EQ(open_own_file(path, "rb"), nullptr);
    EXPECT_EQ(errno, EACCES);
    CloseHandle(exclusive);
}

}  // namespace
