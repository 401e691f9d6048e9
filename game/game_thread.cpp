// PLACEHOLDER: replaced by the real implementation
#include "game/game_thread.h"
int runtime_brightness(int) { return 0; }
void hand_off_to_game() {}
void export_runtime_options() {}
void shutdown_ui() {}
DWORD WINAPI game_thread_main(LPVOID) { return 0; }
