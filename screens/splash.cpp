// PLACEHOLDER: replaced by the real implementation
#include "screens/splash.h"
SplashPage splash_page = Menu;
bool menu_focus_set = false;
void draw_splash_screen() {}
void draw_back_button() {}
