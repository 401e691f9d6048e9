#pragma once
#include <string>

void draw_options_panel();
std::wstring effective_saves_folder();
