#include "launcher/files.h"

#include <windows.h>

#include <cerrno>
#include <fcntl.h>
#include <io.h>

OwnFileObserver own_file_observer = nullptr;

QuietErrorMode::QuietErrorMode() {
    DWORD previous = GetThreadErrorMode();
    // The caller's other bits stay; only the two that make Windows ask the player are added.
    changed_ = SetThreadErrorMode(previous | SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX,
                                  &previous) != FALSE;
    previous_ = previous;
}

QuietErrorMode::~QuietErrorMode() {
    if (changed_) SetThreadErrorMode(previous_, nullptr);
}

namespace {

struct OpenMode {
    DWORD access = 0;
    DWORD creation = 0;
    int fd_flags = 0;       // for _open_osfhandle
    wchar_t stream[5] = {};  // for _wfdopen: the same mode, rebuilt from what was understood
};

// Only r, w, a, then + and b: what every Windows C runtime has accepted for decades.
bool parse_mode(const char* mode, OpenMode& out) {
    if (!mode) return false;
    bool plus = false, binary = false;
    switch (mode[0]) {
        case 'r': out.access = GENERIC_READ; out.creation = OPEN_EXISTING; break;
        case 'w': out.access = GENERIC_WRITE; out.creation = CREATE_ALWAYS; break;
        case 'a': out.access = GENERIC_WRITE; out.creation = OPEN_ALWAYS; break;
        default: return false;
    }
    for (const char* c = mode + 1; *c; ++c) {
        if (*c == '+' && !plus) plus = true;
        else if (*c == 'b' && !binary) binary = true;
        else return false;
    }
    if (plus) out.access = GENERIC_READ | GENERIC_WRITE;
    // _O_NOINHERIT keeps the descriptor out of what the C runtime's own spawn functions pass on.
    out.fd_flags = _O_NOINHERIT | (binary ? _O_BINARY : _O_TEXT) | (mode[0] == 'a' ? _O_APPEND : 0);
    int n = 0;
    out.stream[n++] = static_cast<wchar_t>(mode[0]);
    if (plus) out.stream[n++] = L'+';
    if (binary) out.stream[n++] = L'b';
    return true;
}

int errno_of(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
        case ERROR_BAD_NETPATH:
        case ERROR_BAD_NET_NAME:
        case ERROR_NOT_READY:
            return ENOENT;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
        case ERROR_WRITE_PROTECT:
            return EACCES;
        case ERROR_TOO_MANY_OPEN_FILES:
            return EMFILE;
        default:
            return EINVAL;
    }
}

}  // namespace

// Why CreateFileW and not _wfopen followed by SetHandleInformation: the handle is never
// inheritable, not even for the moment between the open and the flag change, in which another
// thread of the launcher may start the build process; no C runtime mode extension is involved
// ("N" is Microsoft's newer runtimes' own, msvcrt.dll may refuse it, Wine ignores it); and the
// creation and sharing rules are written here rather than left to one runtime's reading.
FILE* open_own_file(const std::wstring& path, const char* mode) {
    OpenMode how;
    if (!parse_mode(mode, how)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        errno = EINVAL;
        return nullptr;
    }
    HANDLE handle;
    {
        QuietErrorMode quiet;
        // Null security attributes: the handle cannot be inherited. The C runtime's fopen shares
        // for reading and writing; so does this, so a log can be read while it is written.
        handle = CreateFileW(path.c_str(), how.access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             how.creation, FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        errno = errno_of(error);
        SetLastError(error);
        return nullptr;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), how.fd_flags);
    if (fd == -1) {
        CloseHandle(handle);
        SetLastError(ERROR_TOO_MANY_OPEN_FILES);
        errno = EMFILE;
        return nullptr;
    }
    FILE* const file = _wfdopen(fd, how.stream);
    if (!file) {
        const int saved = errno;
        _close(fd);  // closes the handle too
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        errno = saved;
        return nullptr;
    }
    if (own_file_observer) own_file_observer(file, path);
    return file;
}
