#pragma once
// What the launcher and the build script agree on: file names, keys and stage keys.

namespace contract {
// Tools folder.
inline constexpr const wchar_t* tools_folder_name = L"tools";
inline constexpr const wchar_t* python_relative = L"python\\python.exe";
inline constexpr const wchar_t* build_script_relative = L"project\\tools\\build_from_iso.py";
inline constexpr const wchar_t* version_file = L"VERSION";

// Data and work folders.
inline constexpr const wchar_t* data_folder_name = L"VarnisRecomp";
inline constexpr const wchar_t* work_folder = L"work";
inline constexpr const wchar_t* logs_folder = L"logs";
inline constexpr const wchar_t* settings_file = L"settings.ini";
inline constexpr const wchar_t* launcher_log_file = L"launcher.log";
inline constexpr const wchar_t* ready_file = L"ready.txt";
inline constexpr const wchar_t* game_module_relative = L"build\\varnis_game.dll";
inline constexpr const wchar_t* build_stamp_relative = L"stamps\\build.json";

// Keys of the ready marker.
inline constexpr const wchar_t* ready_key_iso = L"iso";
inline constexpr const wchar_t* ready_key_version = L"version";

// Build script options.
inline constexpr const wchar_t* option_iso = L"--iso";
inline constexpr const wchar_t* option_work = L"--work";
inline constexpr const wchar_t* option_bundle = L"--bundle";

// Output line protocol keywords (each includes its trailing space).
inline constexpr const char* line_stage = "STAGE ";
inline constexpr const char* line_progress = "PROGRESS ";
inline constexpr const char* line_done = "DONE ";
inline constexpr const char* line_error = "ERROR ";
inline constexpr const char* line_continuation = "  ";

// Stage keys in the order the build screen lists them.
inline constexpr const char* stage_keys[7] = {"extract", "stage", "analyse", "lift",
                                              "fix",     "compile", "ready"};

// Log names.
inline constexpr const wchar_t* build_log_prefix = L"build";
inline constexpr const wchar_t* game_log_prefix = L"game";

// Game module exports and the interface version the launcher speaks.
inline constexpr const char* export_api = "varnis_game_api";
inline constexpr const char* export_prepare = "varnis_game_prepare";
inline constexpr const char* export_run = "varnis_game_run";
inline constexpr int game_interface_version = 1;
}  // namespace contract
