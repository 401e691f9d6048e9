#include <gtest/gtest.h>
#include <windows.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>

static void on_abort(int) {
    fputs("test program aborted\n", stderr);
    _exit(3);
}

// No test may ever wait on a dialog: crashes and aborts end the process instead.
int main(int argc, char** argv) {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    signal(SIGABRT, on_abort);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
