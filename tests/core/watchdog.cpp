#include "watchdog.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "test_support.h"

std::wstring self_path() {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return path;
}

// Wine's debugger prints every process's threads; only the child's are kept.
static std::string threads_of(const std::string& all, DWORD pid) {
    char mark[40];
    std::snprintf(mark, sizeof mark, "in process %04lx ", pid);
    std::istringstream lines(all);
    std::string line, kept;
    bool keep = false;
    while (std::getline(lines, line)) {
        if (line.rfind("Backtracing for thread", 0) == 0) keep = line.find(mark) != std::string::npos;
        if (keep) kept += line + "\n";
    }
    return kept;
}

static std::string backtraces_of(DWORD pid) {
    const std::wstring dir = ts::make_temp_dir(L"watchdog");
    const std::wstring commands = dir + L"\\bt.txt";
    char text[80];
    std::snprintf(text, sizeof text, "attach 0x%lx\nbt all\ndetach\nquit\n", pid);
    ts::write_file(commands, text);
    const std::wstring out = dir + L"\\out.txt";
    const ts::ProcessResult r =
        ts::run_process(L"cmd /c winedbg --file \"" + commands + L"\" > \"" + out + L"\" 2>&1", 90000);
    const std::string trace = r.started ? threads_of(ts::read_file(out), pid) : "";
    ts::remove_tree(dir);
    return trace.empty() ? "(no backtrace: no winedbg here)\n" : trace;
}

WatchedChild run_watched_child(const std::wstring& arguments, DWORD limit_ms) {
    WatchedChild result;
    std::wstring command = L"\"" + self_path() + L"\" --child " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        return result;
    result.started = true;
    CloseHandle(process.hThread);
    if (WaitForSingleObject(process.hProcess, limit_ms) == WAIT_TIMEOUT) {
        result.hung = true;
        result.trace = backtraces_of(process.dwProcessId);
        TerminateProcess(process.hProcess, 99);
        WaitForSingleObject(process.hProcess, 10000);
    }
    GetExitCodeProcess(process.hProcess, &result.exit_code);
    CloseHandle(process.hProcess);
    return result;
}

static void on_abort(int) {
    std::fputs("test program aborted\n", stderr);
    _exit(3);
}

int watched_test_main(int argc, char** argv, int (*child)(int argc, char** argv)) {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    signal(SIGABRT, on_abort);
    if (argc >= 3 && std::strcmp(argv[1], "--child") == 0) return child(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
