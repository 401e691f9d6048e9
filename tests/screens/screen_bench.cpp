// Headless frame cost of the launcher's screens: median CPU time from NewFrame to Render.
// Prints a table; not a test. Run under Wine: wine screen_bench.exe [frames]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "imgui_harness.h"
#include "launcher/screen_flow.h"
#include "pipeline/build_runner.h"
#include "screens/build_screen.h"
#include "screens/disc_image_screen.h"

namespace {

struct Figures {
    double median_ms;
    int vertices;
    int draw_calls;
};

Figures measure(float width, float height, float scale, const ui::DrawFn& draw, int frames) {
    ui::Headless h(width, height, scale);
    for (int i = 0; i < 60; ++i) h.frame(draw);
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    std::vector<double> times;
    times.reserve(frames);
    for (int i = 0; i < frames; ++i) {
        QueryPerformanceCounter(&start);
        h.frame(draw);
        QueryPerformanceCounter(&end);
        times.push_back(1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) /
                        static_cast<double>(frequency.QuadPart));
    }
    std::nth_element(times.begin(), times.begin() + frames / 2, times.end());
    return Figures{times[frames / 2], ui::vertex_count(), ui::draw_call_count()};
}

std::shared_ptr<BuildJob> running_job() {
    auto job = std::make_shared<BuildJob>();
    job->stage = "lift";
    job->stages_seen = {"extract", "stage", "analyse", "lift"};
    job->status = "Recompiling the game code";
    job->progress = 0.42f;
    job->detail = "lifting function 0x0012a4f0 of 0x0030ffff (sub_12A4F0, 312 instructions)";
    job->log_path = L"C:\\Users\\player\\AppData\\Local\\VarnisRecomp\\logs\\build-20240101-120000.log";
    return job;
}

std::shared_ptr<BuildJob> failed_job() {
    auto job = running_job();
    job->failed = true;
    job->errors = {"lift: unknown opcode 0x0f 0x38 at 0x0001f3a0 in sub_1F390",
                   "  the recompiler cannot continue past this function; the rest of the output "
                   "was not written, and the build stopped here",
                   "The build stopped unexpectedly (exit 1)."};
    return job;
}

}  // namespace

int main(int argc, char** argv) {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    const int frames = argc > 1 ? std::max(11, std::atoi(argv[1])) : 300;
    std::snprintf(isopath_buffer, sizeof isopath_buffer, "%s", "D:\\Games\\Varnis (USA).iso");
    screen_message = "That is not an Xbox disc image.";
    const std::shared_ptr<BuildJob> running = running_job(), failed = failed_job();
    const struct {
        const char* name;
        ui::DrawFn draw;
    } screens[] = {
        {"disc image", ui::screen(Iso)},
        {"build (running)", [&] { current_build = running; current_screen = Build; draw_screen_in_style(Build); }},
        {"build (failure)", [&] { current_build = failed; current_screen = Build; draw_screen_in_style(Build); }},
        {"restart", ui::screen(Restart)},
    };
    const struct {
        float width, height, scale;
    } sizes[] = {{960, 720, 1.0f}, {1440, 1080, 1.5f}};
    std::printf("%d frames after 60 warm-up frames\n", frames);
    std::printf("%-18s %-16s %10s %10s %11s\n", "screen", "size", "median ms", "vertices", "draw calls");
    for (const auto& screen : screens)
        for (const auto& size : sizes) {
            const Figures f = measure(size.width, size.height, size.scale, screen.draw, frames);
            char label[32];
            std::snprintf(label, sizeof label, "%.0fx%.0f @%.1f", size.width, size.height, size.scale);
            std::printf("%-18s %-16s %10.3f %10d %11d\n", screen.name, label, f.median_ms, f.vertices,
                        f.draw_calls);
        }
    current_build.reset();
    return 0;
}
