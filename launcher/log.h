#pragma once
#include <cstdio>

extern FILE* launcher_log_file;

// Opens logs_dir\launcher.log for appending; a failure leaves the log closed, silently.
void open_launcher_log();
// One timestamped, flushed line; callable from any thread; a no-op while the log is closed.
void launcher_log(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(gnu_printf, 1, 2)))
#endif
    ;
