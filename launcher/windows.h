#pragma once
#include <windows.h>

extern HWND frame_window;
extern HWND child_window;
extern WINDOWPLACEMENT saved_placement;
extern float system_scale;

struct ClientSize { int width; int height; };
struct ChildRect { int x; int y; int width; int height; };

// Initial client size for a system scale and the primary work area's height.
ClientSize initial_client_size(float scale, int work_area_height);
// The largest centred 4:3 rectangle in a w x h client area.
ChildRect letterbox_rect(int w, int h);

bool create_windows(HINSTANCE instance);
void show_frame_window();
void letterbox_child();
void set_fullscreen(bool on);
bool is_fullscreen();
// A full-screen frame covers its monitor's whole rectangle (taskbar included).
void fit_frame_to_monitor();
LRESULT CALLBACK frame_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
LRESULT CALLBACK child_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
