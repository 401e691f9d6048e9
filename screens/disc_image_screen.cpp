// PLACEHOLDER: replaced by the real implementation
#include "screens/disc_image_screen.h"
char isopath_buffer[2048];
std::string screen_message;
void draw_disc_image_screen() {}
std::wstring trim_text(const std::wstring& t) { return t; }
void copy_utf8_bounded(char*, size_t, const std::string&) {}
