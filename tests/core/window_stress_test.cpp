// Full-screen toggles, display changes and resizes (from this thread and from another process)
// beside the real loop with a live swap chain that presents. Wine 8 once froze for good here (the
// main thread handling a window change while a Present was still executed), so every case runs in
// a child process under a watchdog: a hang is reported as a hang, with that case's name and the
// backtraces of the child's threads, never as a time-out of the whole run.
#include <gtest/gtest.h>

#include <imgui.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <memory>
#include <string>

#include "launcher/folders.h"
#include "launcher/log.h"
#include "launcher/render.h"
#include "launcher/screen_flow.h"
#include "launcher/settings.h"
#include "launcher/windows.h"
#include "pipeline/build_runner.h"
#include "test_support.h"
#include "watchdog.h"

namespace {

constexpr int outside_resizes = 60;
constexpr int toggles = 60;
constexpr int own_resizes = 60;

// --- The resizing process: SetWindowPos on another process's frame, as a window manager does.

int resize_from_outside(HWND frame, int count) {
    int answered = 0;
    for (int i = 0; i < count; ++i) {
        const int w = 500 + (i * 37) % 400;
        const int h = 380 + (i * 53) % 300;
        // Blocks until the launcher's thread has handled it, as SetWindowPos from a window manager.
        if (!SetWindowPos(frame, nullptr, 20 + i % 7, 20 + i % 5, w, h,
                          SWP_NOZORDER | SWP_NOACTIVATE))
            break;
        ++answered;
        Sleep(5);
    }
    std::printf("outside resizes answered: %d of %d\n", answered, count);
    return answered;
}

// --- The launcher side, in a child process.

HANDLE start_resizer(HWND frame) {
    wchar_t command[600];
    swprintf(command, 600, L"\"%ls\" --child resize %llx %d", self_path().c_str(),
             static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(frame)), outside_resizes);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
        return nullptr;
    CloseHandle(process.hThread);
    return process.hProcess;
}

void set_up_screen(const char* screen) {
    if (std::strcmp(screen, "build") == 0) {
        auto job = std::make_shared<BuildJob>();
        job->stage = "lift";
        job->status = "Recompile the game code";
        job->progress = 0.42f;
        current_build = job;
        current_screen = Build;
    } else if (std::strcmp(screen, "splash") == 0) {
        current_screen = Splash;
    } else {
        current_screen = Iso;
    }
}

// Returns 0 when every toggle, resize and display change was answered and frames were drawn.
int run_child(const char* screen) {
    const std::wstring dir = ts::make_temp_dir(L"stress");
    folders = Folders{};
    folders.data_dir = dir;
    derive_folder_paths(folders);
    folders.logs_dir = dir;
    settings = LauncherSettings{};
    open_launcher_log();
    if (!create_windows(GetModuleHandleW(nullptr)) || !create_device()) {
        std::printf("no window or device\n");
        return 4;
    }
    show_frame_window();
    measure_ui_scale();
    init_ui();
    set_up_screen(screen);

    HANDLE resizer = start_resizer(frame_window);
    if (!resizer) {
        std::printf("could not start the resizing process\n");
        return 4;
    }
    int toggled = 0, own = 0, display_changes = 0, iterations = 0;
    bool was_full = is_fullscreen();
    const int first_frame = ImGui::GetFrameCount();
    bool resizer_done = false;
    while (!resizer_done || toggled < toggles || own < own_resizes) {
        if (!run_one_iteration()) break;
        ++iterations;
        resizer_done = WaitForSingleObject(resizer, 0) == WAIT_OBJECT_0;
        if (is_fullscreen() != was_full) {
            was_full = !was_full;
            ++toggled;
        }
        // F11 and Alt+Enter through the queue, as a key press arrives.
        if (iterations % 3 == 0 && toggled < toggles) {
            const bool alt = iterations % 2 == 0;
            PostMessageW(child_window, alt ? WM_SYSKEYDOWN : WM_KEYDOWN, alt ? VK_RETURN : VK_F11,
                         alt ? 1 | (1 << 29) : 1);
        }
        if (iterations % 5 == 0 && own < own_resizes && !is_fullscreen()) {
            SetWindowPos(frame_window, nullptr, 0, 0, 480 + (own * 29) % 500,
                         400 + (own * 31) % 300, SWP_NOMOVE | SWP_NOZORDER);
            ++own;
        }
        if (iterations % 7 == 0) {
            SendMessageW(frame_window, WM_DISPLAYCHANGE, 24, MAKELPARAM(1280, 1024));
            ++display_changes;
        }
    }
    DWORD answered = 0;
    GetExitCodeProcess(resizer, &answered);
    CloseHandle(resizer);
    const int frames = ImGui::GetFrameCount() - first_frame;
    std::printf("%s: %d iterations, %d frames, %d toggles, %d own resizes, %lu of %d outside "
                "resizes, %d display changes\n",
                screen, iterations, frames, toggled, own, answered, outside_resizes,
                display_changes);
    std::fflush(stdout);
    const bool ok = toggled >= toggles && own >= own_resizes &&
                    answered == static_cast<DWORD>(outside_resizes) && frames >= 50;
    ExitProcess(ok ? 0 : 2);  // no teardown: the process ends here
}

// --- The tests: each screen in a child process under the watchdog.

void run_watched(const char* screen) {
    const std::wstring name(screen, screen + std::strlen(screen));
    const WatchedChild child = run_watched_child(name, 150000);
    ASSERT_TRUE(child.started);
    ASSERT_FALSE(child.hung) << "HANG: the launcher on the " << screen
                             << " screen stopped answering toggles and resizes within 150 s\n"
                             << child.trace;
    EXPECT_EQ(child.exit_code, 0u) << "the " << screen << " screen missed toggles, resizes or frames";
}

TEST(WindowStress, DiscImageScreenAnswersTogglesAndResizes) { run_watched("iso"); }
TEST(WindowStress, BuildScreenAnswersTogglesAndResizes) { run_watched("build"); }
TEST(WindowStress, SplashMenuAnswersTogglesAndResizes) { run_watched("splash"); }

int child_main(int argc, char** argv) {
    if (argc == 5 && std::strcmp(argv[2], "resize") == 0)
        return resize_from_outside(
            reinterpret_cast<HWND>(static_cast<UINT_PTR>(std::strtoull(argv[3], nullptr, 16))),
            std::atoi(argv[4]));
    return run_child(argv[2]);
}

}  // namespace

int main(int argc, char** argv) { return watched_test_main(argc, argv, child_main); }
