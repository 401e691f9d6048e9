#pragma once
// The one way the launcher opens a file for itself, and the error mode for paths the player chose.
#include <cstdio>
#include <string>

// Opens `path` as a C stream that no child process can inherit (the build and whatever it
// starts never hold the launcher's files). `mode` is "r", "w" or "a", then any of "+" and "b"
// and nothing else: a character that some C runtime would refuse ("N", "x", "e", "t", ...) is
// refused here too, under Wine as on Windows (errno EINVAL). Creation and sharing are those of
// the C runtime's own fopen: "r" opens an existing file, "w" creates or empties, "a" creates or
// appends at the end of each write; others may read and write the file while it is open.
// Runs with system error boxes off (see QuietErrorMode). Null on failure, with GetLastError and
// errno set.
FILE* open_own_file(const std::wstring& path, const char* mode);

// Called with each stream open_own_file opened, on the opening thread, before it is returned;
// null in the product. Tests set it to look at the real handle of every file the launcher opens.
using OwnFileObserver = void (*)(FILE* file, const std::wstring& path);
extern OwnFileObserver own_file_observer;

// For its lifetime the calling thread shows no system error box for a drive without a medium
// (an empty card reader, a removed USB stick) or a file that cannot be opened: such a call just
// fails. The thread's previous mode, with whatever other bits it had, comes back at the end.
class QuietErrorMode {
public:
    QuietErrorMode();
    ~QuietErrorMode();
    QuietErrorMode(const QuietErrorMode&) = delete;
    QuietErrorMode& operator=(const QuietErrorMode&) = delete;

private:
    unsigned long previous_ = 0;
    bool changed_ = false;
};
