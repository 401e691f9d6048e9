#include "test_support.h"

#include <cstdio>
#include <vector>

namespace ts {

std::wstring exe_dir() {
    wchar_t path[2048];
    const DWORD n = GetModuleFileNameW(nullptr, path, 2048);
    std::wstring s(path, n);
    return s.substr(0, s.find_last_of(L"\\/"));
}

std::wstring make_temp_dir(const wchar_t* tag) {
    static LONG counter = 0;
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring base = std::wstring(temp) + L"varnis-tests";
    CreateDirectoryW(base.c_str(), nullptr);
    wchar_t name[128];
    swprintf(name, 128, L"\\%ls-%lu-%ld-%llu", tag, GetCurrentProcessId(),
             InterlockedIncrement(&counter), GetTickCount64());
    std::wstring dir = base + name;
    remove_tree(dir);
    CreateDirectoryW(dir.c_str(), nullptr);
    return dir;
}

void remove_tree(const std::wstring& path) {
    const DWORD attrs = GetFileAttributesW(path.c_str());
    if (attrs == INVALID_FILE_ATTRIBUTES) return;
    if (!(attrs & FILE_ATTRIBUTE_DIRECTORY)) {
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(path.c_str());
        return;
    }
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = data.cFileName;
            if (name == L"." || name == L"..") continue;
            remove_tree(path + L"\\" + name);
        } while (FindNextFileW(find, &data));
        FindClose(find);
    }
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveDirectoryW(path.c_str());
}

void write_file(const std::wstring& path, const std::string& bytes) {
    FILE* f = _wfopen(path.c_str(), L"wb");
    if (!f) return;
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
}

std::string read_file(const std::wstring& path) {
    FILE* f = _wfopen(path.c_str(), L"rb");
    if (!f) return {};
    std::string out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
    fclose(f);
    return out;
}

bool file_exists(const std::wstring& path) {
    const DWORD attrs = GetFileAttributesW(path.c_str());
    return attrs != INVALID_FILE_ATTRIBUTES && !(attrs & FILE_ATTRIBUTE_DIRECTORY);
}

void make_dirs(const std::wstring& path) {
    for (size_t i = 3; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == L'\\' || path[i] == L'/')
            CreateDirectoryW(path.substr(0, i).c_str(), nullptr);
    }
}

bool copy_file(const std::wstring& from, const std::wstring& to) {
    return CopyFileW(from.c_str(), to.c_str(), FALSE) != 0;
}

ProcessResult run_process(const std::wstring& command_line, DWORD timeout_ms,
                          const wchar_t* current_dir) {
    ProcessResult result;
    std::vector<wchar_t> buffer(command_line.begin(), command_line.end());
    buffer.push_back(L'\0');
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, current_dir,
                        &si, &pi)) {
        result.error = GetLastError();
        return result;
    }
    result.started = true;
    if (WaitForSingleObject(pi.hProcess, timeout_ms) != WAIT_OBJECT_0) {
        result.timed_out = true;
        TerminateProcess(pi.hProcess, 255);
        WaitForSingleObject(pi.hProcess, 5000);
    }
    GetExitCodeProcess(pi.hProcess, &result.exit_code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return result;
}

ScopedEnv::ScopedEnv(const wchar_t* n, const wchar_t* value) : name(n) {
    std::vector<wchar_t> buf(32768);
    SetLastError(0);
    const DWORD len = GetEnvironmentVariableW(n, buf.data(), 32768);
    had = len > 0 || GetLastError() != ERROR_ENVVAR_NOT_FOUND;
    old.assign(buf.data(), len);
    SetEnvironmentVariableW(n, value);
}

ScopedEnv::~ScopedEnv() { SetEnvironmentVariableW(name.c_str(), had ? old.c_str() : nullptr); }

}  // namespace ts
