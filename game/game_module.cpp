// PLACEHOLDER: replaced by the real implementation
#include "game/game_module.h"
GameRunFn game_run = nullptr;
std::string game_message;
std::wstring game_log_path;
void bind_game_module() {}
