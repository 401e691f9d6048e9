#pragma once
// Shared by the end-to-end helper programs, which pass the rest of their own command line on
// unchanged (Wine has already joined their arguments into it).
#include <windows.h>

// The raw tail of our own command line after the first `skip` arguments.
inline const wchar_t* command_tail(int skip) {
    const wchar_t* p = GetCommandLineW();
    for (int i = 0; i < skip; ++i) {
        bool quoted = false;
        while (*p && (quoted || (*p != L' ' && *p != L'\t'))) {
            if (*p == L'"') quoted = !quoted;
            ++p;
        }
        while (*p == L' ' || *p == L'\t') ++p;
    }
    return p;
}
