#pragma once
#include <windows.h>

int runtime_brightness(int picture);
void hand_off_to_game();
void export_runtime_options();
void shutdown_ui();
DWORD WINAPI game_thread_main(LPVOID parameter);
