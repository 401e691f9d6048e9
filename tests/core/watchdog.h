#pragma once
// Test cases that may hang inside Wine run in a child copy of the test program under a time
// limit, so that a hang is reported as a hang, with the child's backtraces, and the run goes on.
#include <windows.h>

#include <string>

struct WatchedChild {
    bool started = false;
    bool hung = false;
    DWORD exit_code = 0;
    std::string trace;  // backtraces of the hung child's threads
};

// This program again with the given arguments, killed after limit_ms (backtraces taken first).
WatchedChild run_watched_child(const std::wstring& arguments, DWORD limit_ms);
std::wstring self_path();
// The entry point of such a program: `child` when argv[1] is "--child", else the tests.
int watched_test_main(int argc, char** argv, int (*child)(int argc, char** argv));
