#include <windows.h>

#include "launcher/folders.h"
#include "launcher/log.h"
#include "launcher/render.h"
#include "launcher/screen_flow.h"
#include "launcher/settings.h"
#include "launcher/windows.h"

static void set_dpi_awareness() {
    using SetContextFn = BOOL(WINAPI*)(HANDLE);
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    auto set_context = user32 ? reinterpret_cast<SetContextFn>(reinterpret_cast<void*>(
                                    GetProcAddress(user32, "SetProcessDpiAwarenessContext")))
                              : nullptr;
    // Per monitor v2 came with Windows 10 1703; 1607 has the function but refuses it, and older
    // systems lack the function. Both then get system DPI awareness rather than a blurred picture.
    if (set_context && set_context(reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-4)))) return;
    SetProcessDPIAware();
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    set_dpi_awareness();
    resolve_folders();
    open_launcher_log();
    launcher_log("Varnis launcher %s; tools %s; data %s", launcher_version,
                 to_utf8(folders.tools_dir).c_str(), to_utf8(folders.data_dir).c_str());
    load_settings();
    choose_first_screen();
    if (!create_windows(instance) || !create_device()) {
        report_device_failure();
        return 1;
    }
    show_frame_window();
    measure_ui_scale();
    init_ui();
    run_launcher();
}
