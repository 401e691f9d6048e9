#pragma once

enum SplashPage : int { Menu = 0, Options = 1, About = 2 };

extern SplashPage splash_page;
extern bool menu_focus_set;

void draw_splash_screen();
void draw_back_button();
