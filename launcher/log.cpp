#include "launcher/log.h"

#include <windows.h>

#include <cstdarg>
#include <string>

#include "launcher/files.h"
#include "launcher/folders.h"
#include "pipeline/contract.h"

FILE* launcher_log_file = nullptr;

// Not inheritable: a build process, and whatever it starts, must not keep the launcher's files open.
void open_launcher_log() {
    launcher_log_file = open_own_file(path_join(folders.logs_dir, contract::launcher_log_file), "ab");
}

void launcher_log(const char* format, ...) {
    FILE* const file = launcher_log_file;
    if (!file) return;
    SYSTEMTIME t;
    GetLocalTime(&t);
    // The whole line goes out in one write, so lines of different threads never interleave.
    char prefix[16];
    snprintf(prefix, sizeof prefix, "%02d:%02d:%02d ", t.wHour, t.wMinute, t.wSecond);
    std::string line = prefix;
    va_list args;
    va_start(args, format);
    va_list measure;
    va_copy(measure, args);
    const int size = vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    if (size > 0) {
        const size_t start = line.size();
        line.resize(start + static_cast<size_t>(size) + 1);
        vsnprintf(&line[start], static_cast<size_t>(size) + 1, format, args);
        line.resize(start + static_cast<size_t>(size));
    }
    va_end(args);
    line += '\n';
    fwrite(line.data(), 1, line.size(), file);
    fflush(file);
}
