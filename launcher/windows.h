#pragma once
#include <windows.h>

extern HWND frame_window;
extern HWND child_window;
extern WINDOWPLACEMENT saved_placement;
extern float system_scale;

struct ClientSize { int width; int height; };
struct ChildRect { int x; int y; int width; int height; };
// The child's client size from its last WM_SIZE (0 x 0 before the first).
extern ClientSize child_size;

// Initial client size for a system scale and the primary work area's height.
ClientSize initial_client_size(float scale, int work_area_height);
// The largest centred 4:3 rectangle in a w x h client area.
ChildRect letterbox_rect(int w, int h);

bool create_windows(HINSTANCE instance);
void show_frame_window();
void letterbox_child();
void set_fullscreen(bool on);
bool is_fullscreen();
// A full-screen frame covers its monitor's whole rectangle (taskbar included); raise brings it
// to the top and activates it (the player asked), otherwise order and focus stay.
void fit_frame_to_monitor(bool raise);
// F11 or Alt+Enter for the frame or any window inside it, taken from the queue before dispatch
// so that no window procedure (a game's, or its DXGI's) sees them; true when taken.
bool take_fullscreen_key(const MSG& message);
LRESULT CALLBACK frame_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
LRESULT CALLBACK child_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
