#pragma once
// Start-up folders and the string/path helpers the whole launcher uses.
#include <string>

struct Folders {
    std::wstring exe_dir;
    std::wstring tools_dir;
    std::wstring data_dir;
    std::wstring work_dir;
    std::wstring logs_dir;
    std::wstring settings_path;
    std::wstring ready_path;
    std::wstring game_module_path;
    std::wstring python_path;
    std::wstring build_script_path;
};

extern Folders folders;
extern const char* const launcher_version;  // "0.2.2"

std::string to_utf8(const std::wstring& wide);
std::wstring to_wide(const std::string& narrow);
std::wstring path_join(const std::wstring& left, const std::wstring& right);
std::wstring get_env(const wchar_t* name);
std::wstring full_path(const std::wstring& path);

// Fills `folders` from the environment and the program's own path; creates the data and logs folders.
void resolve_folders();
// The derived paths of `folders` from exe_dir, tools_dir and data_dir (split out so it can be tested).
void derive_folder_paths(Folders& f);
// Local time as "<prefix>-YYYYMMDD-HHMMSS.log", the name of a per-run log.
std::wstring timestamped_log_name(const wchar_t* prefix);
// The clock behind those names (GetLocalTime), replaceable so tests can fix the time.
struct _SYSTEMTIME;
using LocalTimeFn = void (*)(_SYSTEMTIME*);
extern LocalTimeFn log_name_clock;
