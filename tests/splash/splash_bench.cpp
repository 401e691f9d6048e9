// Frame cost of the splash screen's pages and of the hexagon backdrop alone, headless.
// Prints one table row per case: median wall time of a whole frame (NewFrame to Render) on this
// otherwise idle thread, and the size of what the frame drew.
#include <windows.h>

#include <imgui.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "game/game_module.h"
#include "imgui_harness.h"
#include "launcher/folders.h"
#include "launcher/screen_flow.h"
#include "screens/backdrop.h"
#include "screens/splash.h"

namespace {

constexpr int warm_up_frames = 360;  // six seconds of animation, so sparks are alive
constexpr int measured_frames = 600;

int bench_game_run(void*) { return 0; }

double now_ms() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

struct Size {
    float width, height, scale;
    const char* name;
};

void print_row(const char* screen, const char* size, double ms, int vertices, int draw_calls) {
    printf("%-18s %-16s %10.3f %10d %11d\n", screen, size, ms, vertices, draw_calls);
}

void bench_page(const char* name, SplashPage page, const Size& size) {
    ui::Headless h(size.width, size.height, size.scale);
    splash_page = page;
    const ui::DrawFn draw = ui::screen(Splash);
    for (int i = 0; i < warm_up_frames; ++i) h.frame(draw);
    std::vector<double> times;
    times.reserve(measured_frames);
    for (int i = 0; i < measured_frames; ++i) {
        const double start = now_ms();
        h.frame(draw);
        times.push_back(now_ms() - start);
    }
    print_row(name, size.name, median(times), ui::vertex_count(), ui::draw_call_count());
}

// The backdrop by itself: only the draw_hex_backdrop call is timed, inside an ordinary frame.
void bench_backdrop(const Size& size) {
    ui::Headless h(size.width, size.height, size.scale);
    double elapsed = 0.0;
    int vertices = 0;
    int commands = 0;
    const ui::DrawFn draw = ui::styled([&] {
        const ImGuiViewport* viewport = ImGui::GetMainViewport();
        begin_screen("##splash");
        ImDrawList* list = ImGui::GetWindowDrawList();
        const int vtx_before = list->VtxBuffer.Size;
        const int cmd_before = list->CmdBuffer.Size;
        const double start = now_ms();
        draw_hex_backdrop(hex_backdrop, list, viewport->Pos, viewport->Size);
        elapsed = now_ms() - start;
        vertices = list->VtxBuffer.Size - vtx_before;
        commands = list->CmdBuffer.Size - cmd_before;
        ImGui::End();
    });
    for (int i = 0; i < warm_up_frames; ++i) h.frame(draw);
    std::vector<double> times;
    times.reserve(measured_frames);
    for (int i = 0; i < measured_frames; ++i) {
        h.frame(draw);
        times.push_back(elapsed);
    }
    print_row("backdrop alone", size.name, median(times), vertices, commands);
}

}  // namespace

int main() {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    folders.data_dir = folders.work_dir = folders.settings_path = L"";
    game_run = bench_game_run;
    const Size sizes[] = {{960, 720, 1.0f, "960x720 x1"}, {1440, 1080, 1.5f, "1440x1080 x1.5"}};
    printf("%-18s %-16s %10s %10s %11s\n", "screen", "size", "median ms", "vertices", "draw calls");
    for (const Size& size : sizes) {
        bench_page("splash menu", Menu, size);
        bench_page("splash options", Options, size);
        bench_page("splash about", About, size);
        bench_backdrop(size);
    }
    printf("(%d frames measured after %d frames of animation; wall time on an idle thread)\n",
           measured_frames, warm_up_frames);
    return 0;
}
