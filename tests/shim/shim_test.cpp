// arshim as a black box: a kit folder <root>\bin\arshim.exe + <root>\zig\zig.exe (a recorder).
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "test_support.h"

namespace {

std::string utf8(const std::wstring& wide) {
    if (wide.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                      nullptr, 0, nullptr, nullptr);
    std::string out(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), &out[0], n,
                        nullptr, nullptr);
    return out;
}

struct ShimRun {
    bool started = false;
    bool timed_out = false;
    DWORD exit_code = 0;
    std::string out;
    std::string err;
};

HANDLE inheritable_file(const std::wstring& path, DWORD access, DWORD disposition) {
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    return CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa, disposition,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

class ShimTest : public testing::Test {
protected:
    void SetUp() override {
        root = ts::make_temp_dir(L"shim kit \u00e9");
        ts::make_dirs(root + L"\\bin");
        ts::make_dirs(root + L"\\zig");
        shim = root + L"\\bin\\arshim.exe";
        ASSERT_TRUE(ts::copy_file(ts::exe_dir() + L"\\arshim.exe", shim));
        ASSERT_TRUE(ts::copy_file(ts::exe_dir() + L"\\zig_fixture.exe", zig()));
    }
    void TearDown() override { ts::remove_tree(root); }

    std::wstring zig() const { return root + L"\\zig\\zig.exe"; }
    std::wstring recorded_path() const { return root + L"\\zig\\command-line.txt"; }
    std::string child_prefix() const { return "\"" + utf8(zig()) + "\" ranlib "; }

    // Starts the shim with exactly `command_line`; the program is named apart from it, so the
    // first token may be anything (an unclosed quote included).
    ShimRun run(const std::wstring& command_line) {
        ShimRun result;
        const std::wstring out_path = root + L"\\stdout.txt";
        const std::wstring err_path = root + L"\\stderr.txt";
        HANDLE in = inheritable_file(L"NUL", GENERIC_READ, OPEN_EXISTING);
        HANDLE out = inheritable_file(out_path, GENERIC_WRITE, CREATE_ALWAYS);
        HANDLE err = inheritable_file(err_path, GENERIC_WRITE, CREATE_ALWAYS);
        STARTUPINFOW si{};
        si.cb = sizeof si;
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdInput = in;
        si.hStdOutput = out;
        si.hStdError = err;
        std::wstring buffer = command_line;
        buffer.push_back(L'\0');
        PROCESS_INFORMATION pi{};
        result.started = CreateProcessW(shim.c_str(), &buffer[0], nullptr, nullptr, TRUE, 0,
                                        nullptr, nullptr, &si, &pi) != 0;
        CloseHandle(in);
        CloseHandle(out);
        CloseHandle(err);
        if (!result.started) return result;
        if (WaitForSingleObject(pi.hProcess, 15000) != WAIT_OBJECT_0) {
            result.timed_out = true;
            TerminateProcess(pi.hProcess, 255);
            WaitForSingleObject(pi.hProcess, 5000);
        }
        GetExitCodeProcess(pi.hProcess, &result.exit_code);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
        result.out = ts::read_file(out_path);
        result.err = ts::read_file(err_path);
        return result;
    }

    std::wstring root;
    std::wstring shim;
};

struct TailCase {
    const char* name;
    std::wstring command_line;  // "%S" stands for the shim's full path
    std::wstring tail;          // expected after "<zig>" ranlib<space>
};

std::wstring expand(std::wstring line, const std::wstring& shim) {
    const size_t at = line.find(L"%S");
    if (at != std::wstring::npos) line.replace(at, 2, shim);
    return line;
}

TEST_F(ShimTest, PassesTheArgumentTailOnUnchanged) {
    const TailCase cases[] = {
        {"plain", L"arshim libx.a", L"libx.a"},
        {"quoted name and quoted arguments", L"\"%S\" \"my lib.a\" \"-D x\"  y",
         L"\"my lib.a\" \"-D x\"  y"},
        {"tabs after the name", L"\"%S\"\t \tlibx.a\t", L"libx.a\t"},
        {"tabs after an unquoted name", L"arshim.exe\t\tlibx.a", L"libx.a"},
        {"no arguments", L"\"%S\"", L""},
        {"only blanks after the name", L"\"%S\" \t ", L""},
        {"unclosed quote", L"\"%S libx.a", L""},
        {"text right after the closing quote", L"\"%S\"x  y", L"x  y"},
        {"non-ASCII argument", L"arshim \"M\u00edas lib.a\"", L"\"M\u00edas lib.a\""},
    };
    for (const TailCase& c : cases) {
        SCOPED_TRACE(c.name);
        DeleteFileW(recorded_path().c_str());
        const ShimRun r = run(expand(c.command_line, shim));
        ASSERT_TRUE(r.started);
        EXPECT_FALSE(r.timed_out);
        EXPECT_EQ(r.exit_code, 0u);
        EXPECT_EQ(ts::read_file(recorded_path()), child_prefix() + utf8(c.tail));
        EXPECT_EQ(r.out, "zig fixture output\n");
        EXPECT_EQ(r.err, "");
    }
}

TEST_F(ShimTest, EndsWithTheChildsFullExitCode) {
    const struct {
        const wchar_t* code;
        DWORD expected;
    } cases[] = {{L"0", 0}, {L"1", 1}, {L"3", 3}, {L"258", 258}, {L"0xC0000005", 0xC0000005u}};
    for (const auto& c : cases) {
        SCOPED_TRACE(utf8(c.code));
        ts::ScopedEnv code(L"ZIG_FIXTURE_EXIT", c.code);
        const ShimRun r = run(L"arshim libx.a");
        ASSERT_TRUE(r.started);
        EXPECT_EQ(r.exit_code, c.expected);
        EXPECT_EQ(r.err, "");
    }
}

TEST_F(ShimTest, MissingZigIsReportedWithTheRootAndTheSystemError) {
    ASSERT_TRUE(DeleteFileW(zig().c_str()));
    const ShimRun r = run(L"arshim libx.a");
    ASSERT_TRUE(r.started);
    EXPECT_EQ(r.exit_code, 1u);
    EXPECT_EQ(r.err, "zig shim: cannot start " + utf8(root) + "\\zig\\zig.exe (error 2)\n");
    EXPECT_EQ(r.out, "");
}

TEST_F(ShimTest, TailTooLongForTheChildCommandLineStartsNothing) {
    // The child line is the prefix plus the tail. CreateProcessW takes at most 32,767
    // characters counting the terminating zero: 32,766 is the longest line that can start.
    const size_t prefix = (L"\"" + zig() + L"\" ranlib ").size();

    const std::wstring fits(32766 - prefix, L'a');
    ShimRun r = run(L"a " + fits);
    ASSERT_TRUE(r.started);
    EXPECT_EQ(r.exit_code, 0u);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(ts::read_file(recorded_path()), child_prefix() + std::string(fits.size(), 'a'));

    for (const size_t length : {32767u, 32768u}) {
        SCOPED_TRACE(length);
        DeleteFileW(recorded_path().c_str());
        r = run(L"a " + std::wstring(length - prefix, L'a'));
        ASSERT_TRUE(r.started);
        EXPECT_EQ(r.exit_code, 1u);
        EXPECT_EQ(r.err, "zig shim: command line too long\n");
        EXPECT_FALSE(ts::file_exists(recorded_path()));
    }
}

}  // namespace
