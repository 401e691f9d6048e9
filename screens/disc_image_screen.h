#pragma once
#include <cstddef>
#include <string>

extern char isopath_buffer[2048];
extern std::string screen_message;

// The open-file dialog, replaceable so tests can answer it without a modal window.
struct tagOFNW;
using OpenFileDialogFn = int (*)(tagOFNW*);
extern OpenFileDialogFn open_file_dialog_fn;

void draw_disc_image_screen();
// Removes tabs, line feeds, carriage returns, spaces and double quotes from both ends.
std::wstring trim_text(const std::wstring& text);
// Copies `text` into `buffer` (capacity bytes, zero-terminated), never splitting a UTF-8 character.
void copy_utf8_bounded(char* buffer, size_t capacity, const std::string& text);
