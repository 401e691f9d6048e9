#pragma once
#include <cstdint>
#include <string>

enum Screen : int32_t { Iso = 0, Build = 1, Splash = 2, Restart = 3 };

extern Screen current_screen;
extern bool play_requested;  // raised by the splash menu, consumed by the main loop
extern bool game_running;    // set once by the hand-off, never cleared

void choose_first_screen();
// What the finished-build test finds missing in the work folder for a build of `iso`.
enum BuildGap : int32_t {
    NothingMissing,
    NoReadyMarker,
    MarkerForOtherImage,
    MarkerForOtherVersion,
    NoGameModule,
};
BuildGap missing_from_build(const std::wstring& iso);
bool is_build_ready();
bool begin_screen(const char* name);
void draw_restart_screen();
// One screen inside the launcher's style and body font, as the main loop draws it.
void draw_screen_in_style(Screen screen);
void relaunch_self();
// What the main loop calls to relaunch and to hand the window to the game (replaceable in tests).
extern void (*relaunch_fn)();
extern void (*hand_off_fn)();
// Dispatches every queued message; true when WM_QUIT was among them.
bool dispatch_queued_messages();
// After a drawn frame: the relaunch (after a Restart frame) wins over a pending hand-off.
// False when the loop must end.
bool act_on_requests(Screen drawn);
// One iteration of the main loop; false when the loop must end.
bool run_one_iteration();
[[noreturn]] void exit_launcher();
// Start-up step 9: first build, autoplay switch, then the main loop; never returns.
[[noreturn]] void run_launcher();
// The tools' version: VERSION's text with tabs, line ends, spaces and double quotes trimmed.
std::wstring read_tools_version();
