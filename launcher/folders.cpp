#include "launcher/folders.h"

#include <windows.h>

#include <cwchar>

#include "launcher/files.h"
#include "pipeline/contract.h"

Folders folders;
const char* const launcher_version = "0.2.2";

std::string to_utf8(const std::wstring& wide) {
    if (wide.empty()) return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                         nullptr, 0, nullptr, nullptr);
    if (size <= 0) return {};
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), out.data(), size,
                        nullptr, nullptr);
    return out;
}

std::wstring to_wide(const std::string& narrow) {
    if (narrow.empty()) return {};
    const int size =
        MultiByteToWideChar(CP_UTF8, 0, narrow.data(), static_cast<int>(narrow.size()), nullptr, 0);
    if (size <= 0) return {};
    std::wstring out(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, narrow.data(), static_cast<int>(narrow.size()), out.data(),
                        size);
    return out;
}

std::wstring path_join(const std::wstring& left, const std::wstring& right) {
    if (left.empty()) return right;
    const wchar_t last = left.back();
    if (last == L'\\' || last == L'/') return left + right;
    return left + L'\\' + right;
}

std::wstring get_env(const wchar_t* name) {
    wchar_t buffer[4096];
    const DWORD n = GetEnvironmentVariableW(name, buffer, 4096);
    if (n < 1 || n > 4095) return {};
    return std::wstring(buffer, n);
}

std::wstring full_path(const std::wstring& path) {
    wchar_t buffer[1040];
    const DWORD n = GetFullPathNameW(path.c_str(), 1040, buffer, nullptr);
    if (n < 1 || n > 1039) return path;
    return std::wstring(buffer, n);
}

void derive_folder_paths(Folders& f) {
    f.work_dir = path_join(f.data_dir, contract::work_folder);
    f.logs_dir = path_join(f.data_dir, contract::logs_folder);
    f.settings_path = path_join(f.data_dir, contract::settings_file);
    f.ready_path = path_join(f.work_dir, contract::ready_file);
    f.game_module_path = path_join(f.work_dir, contract::game_module_relative);
    f.python_path = path_join(f.tools_dir, contract::python_relative);
    f.build_script_path = path_join(f.tools_dir, contract::build_script_relative);
}

void resolve_folders() {
    wchar_t module[1040];
    const DWORD n = GetModuleFileNameW(nullptr, module, 1040);
    const std::wstring exe(module, n < 1040 ? n : 1039);
    const size_t cut = exe.find_last_of(L"/\\");
    folders.exe_dir = cut == std::wstring::npos ? exe : exe.substr(0, cut);

    const std::wstring tools = get_env(L"VARNIS_TOOLS");
    folders.tools_dir = tools.empty() ? path_join(folders.exe_dir, contract::tools_folder_name)
                                      : full_path(tools);

    std::wstring data = get_env(L"VARNIS_DATA");
    if (data.empty()) data = path_join(get_env(L"LOCALAPPDATA"), contract::data_folder_name);
    folders.data_dir = full_path(data);

    derive_folder_paths(folders);
    // VARNIS_DATA may name a drive without a medium: no system box, the folders are just missing.
    QuietErrorMode quiet;
    CreateDirectoryW(folders.data_dir.c_str(), nullptr);
    CreateDirectoryW(folders.logs_dir.c_str(), nullptr);
}

LocalTimeFn log_name_clock = GetLocalTime;

std::wstring timestamped_log_name(const wchar_t* prefix) {
    SYSTEMTIME t;
    log_name_clock(&t);
    wchar_t name[64];
    swprintf(name, 64, L"%ls-%04d%02d%02d-%02d%02d%02d.log", prefix, t.wYear, t.wMonth, t.wDay,
             t.wHour, t.wMinute, t.wSecond);
    return name;
}
