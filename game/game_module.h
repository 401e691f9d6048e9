#pragma once
#include <string>

using GameApiFn = int (*)();
using GamePrepareFn = int (*)(const wchar_t* work_dir, const wchar_t* log_path);
using GameRunFn = int (*)(void* window);

extern GameRunFn game_run;
extern std::string game_message;
extern std::wstring game_log_path;

void bind_game_module();
