// The output worker against a reference model of the line rules, written here from the
// description of the protocol: random byte streams, cut into random read sizes.
#include <gtest/gtest.h>
#include <windows.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "fuzz.h"
#include "pipeline/build_output.h"
#include "test_support.h"

namespace {

struct Fields {
    std::string stage, status = "Starting", detail;
    float progress = 0;
    std::vector<std::string> errors, stages_seen;
    bool done = false, failed = false;
};

// The part of a line that counts: the first 64 KiB of it.
const size_t kept_per_line = 64 * 1024;

bool begins(const std::string& line, const char* prefix) {
    return line.compare(0, std::strlen(prefix), prefix) == 0;
}

// "<head> <tail>" at the first space; no space: all head, no tail.
void split_at_space(const std::string& rest, std::string& head, std::string* tail) {
    const size_t space = rest.find(' ');
    head = rest.substr(0, space);
    if (tail) *tail = space == std::string::npos ? std::string() : rest.substr(space + 1);
}

void model_line(Fields& f, const std::string& line) {
    if (line.empty()) return;
    if (begins(line, "STAGE ")) {
        const std::string rest = line.substr(6);
        split_at_space(rest, f.stage, nullptr);
        f.status = rest.find(' ') == std::string::npos ? f.stage : rest.substr(rest.find(' ') + 1);
        f.stages_seen.push_back(f.stage);
        f.progress = 0;
        f.detail.clear();
    } else if (begins(line, "PROGRESS ")) {
        std::string number;
        split_at_space(line.substr(9), number, &f.detail);
        f.progress = static_cast<float>(std::atof(number.c_str())) / 100.0f;
    } else if (begins(line, "DONE ")) {
        f.done = true;
    } else if (begins(line, "ERROR ")) {
        f.failed = true;
        f.errors.push_back(line.substr(6));
    } else if (f.failed && begins(line, "  ")) {
        f.errors.push_back(line.substr(2));
        if (f.errors.size() >= 15) f.errors.erase(f.errors.begin() + 1);
    }
}

Fields model(const std::string& stream, bool ended, DWORD exit_code) {
    Fields f;
    for (size_t pos = 0, feed; (feed = stream.find('\n', pos)) != std::string::npos; pos = feed + 1) {
        std::string line = stream.substr(pos, feed - pos);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.size() > kept_per_line) line.resize(kept_per_line);
        model_line(f, line);
    }
    if (ended && !f.done && !f.failed) {
        f.failed = true;
        f.errors.push_back("The build stopped unexpectedly (exit " + std::to_string(exit_code) + ").");
    }
    return f;
}

std::string short_text(const std::string& s) {
    if (s.size() <= 40) return fuzz::show(s);
    return fuzz::show(s.substr(0, 20)) + " ... " + fuzz::show(s.substr(s.size() - 20)) + " of " +
           std::to_string(s.size()) + " bytes";
}

// Empty when the job holds what the model says, otherwise the first difference.
std::string difference(BuildJob& job, const Fields& want) {
    std::lock_guard<std::mutex> lock(job.mutex);
    if (job.stage != want.stage) return "stage " + short_text(job.stage) + " not " + short_text(want.stage);
    if (job.status != want.status) return "status " + short_text(job.status) + " not " + short_text(want.status);
    if (job.detail != want.detail) return "detail " + short_text(job.detail) + " not " + short_text(want.detail);
    const bool same_progress = job.progress == want.progress ||
                               (std::isnan(job.progress) && std::isnan(want.progress));
    if (!same_progress)
        return "progress " + std::to_string(job.progress) + " not " + std::to_string(want.progress);
    if (job.errors != want.errors)
        return "errors: " + std::to_string(job.errors.size()) + " entries, model " +
               std::to_string(want.errors.size());
    if (job.stages_seen != want.stages_seen) return "stages_seen differ";
    if (job.done != want.done) return "done differs";
    if (job.failed != want.failed) return "failed differs";
    return {};
}

const char* const keywords[] = {"STAGE ", "PROGRESS ", "DONE ", "ERROR ", "  ", "DONE", "STAGE",
                                "stage ", " STAGE ", "PROGRESS 42.5 ", "STAGE fix Apply fixes",
                                "ERROR x\n  cont\n", "PROGRESS -1e3", "PROGRESS nan "};
const char* const numbers[] = {"12.5", "-3", " 50 ", "1e2", "x", "+7", "0x10", "  "};

std::string random_stream(fuzz::Rng& r) {
    std::string s;
    const size_t target = r.chance(12) ? 66000 + r.below(140000) : r.below(3000);
    while (s.size() < target) {
        const bool line_start = s.empty() || s.back() == '\n';
        switch (r.below(line_start ? 12 : 10)) {
        case 0: s.append(1 + r.below(4), '\r'); break;
        case 1: s.append(1 + r.below(3), '\n'); break;
        case 2: s += "\r\n"; break;
        case 3: s.append(1 + r.below(3), '\0'); break;
        case 4:
            for (size_t n = 1 + r.below(16); n > 0; --n) s += r.byte();
            break;
        case 5: s += numbers[r.below(std::size(numbers))]; break;
        case 6: s.append(1 + r.below(3), ' '); break;
        case 7:
            // A line right around the limit, with or without a carriage return at its end.
            if (r.chance(20)) {
                const size_t length = kept_per_line - 3 + r.below(7);
                std::string line = keywords[r.below(std::size(keywords))];
                line.resize(length, r.chance(50) ? 'a' : '\r');
                s += line;
                if (r.chance(50)) s += '\r';
                s += '\n';
            }
            break;
        default: s += keywords[r.below(std::size(keywords))]; break;
        }
    }
    return s;
}

// Feeds the stream in random read sizes straight into the worker's line cutter.
std::string check_direct(const std::string& stream, uint64_t seed) {
    fuzz::Rng r(seed);
    BuildJob job;
    std::string pending;
    for (size_t at = 0; at < stream.size();) {
        const size_t n = std::min(stream.size() - at, r.chance(30) ? 1 + r.below(16) : 1 + r.below(9000));
        feed_build_output(job, pending, stream.data() + at, n);
        at += n;
    }
    const std::string diff = difference(job, model(stream, false, 0));
    return diff.empty() ? diff : "fed in blocks: " + diff;
}

// A process that has already ended with code 7, as the worker's process to wait for.
HANDLE ended_process() {
    static HANDLE process = [] {
        wchar_t system[MAX_PATH];
        GetSystemDirectoryW(system, MAX_PATH);
        std::wstring line = L"\"" + std::wstring(system) + L"\\cmd.exe\" /c exit 7";
        STARTUPINFOW si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                            nullptr, &si, &pi))
            return HANDLE(nullptr);
        WaitForSingleObject(pi.hProcess, 20000);
        CloseHandle(pi.hThread);
        return pi.hProcess;
    }();
    HANDLE copy = nullptr;
    DuplicateHandle(GetCurrentProcess(), process, GetCurrentProcess(), &copy, 0, FALSE,
                    DUPLICATE_SAME_ACCESS);
    return copy;
}

// The whole worker: the stream written into a pipe in random pieces, the log file, the end.
std::string check_worker(const std::string& stream, uint64_t seed, const std::wstring& dir) {
    auto job = std::make_shared<BuildJob>();
    job->log_path = dir + L"\\build.log";
    HANDLE read_end = nullptr, write_end = nullptr;
    if (!CreatePipe(&read_end, &write_end, nullptr, 0)) return "no pipe";
    const HANDLE process = ended_process();
    if (!process) return "no ended process";
    std::thread writer([&] {
        fuzz::Rng r(seed ^ 0x77);
        for (size_t at = 0; at < stream.size();) {
            DWORD n = static_cast<DWORD>(std::min<size_t>(stream.size() - at, 1 + r.below(6000)));
            if (!WriteFile(write_end, stream.data() + at, n, &n, nullptr)) break;
            at += n;
        }
        CloseHandle(write_end);
    });
    build_worker(job, read_end, process);
    writer.join();
    const std::string diff = difference(*job, model(stream, true, 7));
    if (!diff.empty()) return "through the worker: " + diff;
    if (ts::read_file(job->log_path) != stream) return "the build log differs from the output";
    return {};
}

TEST(WorkerFuzz, JobFollowsTheLineRulesAndTheLogHoldsEveryByte) {
    const std::wstring dir = ts::make_temp_dir(L"fuzz-worker");
    const HANDLE probe = ended_process();
    ASSERT_NE(probe, nullptr) << "no process to stand for the build";
    CloseHandle(probe);
    for (int i = 0; i < fuzz::worker_streams; ++i) {
        const uint64_t seed = fuzz::case_seed("worker", i);
        fuzz::Rng r(seed);
        const std::string stream = random_stream(r);
        auto check = [&](const std::string& s) {
            std::string diff = check_direct(s, seed);
            return diff.empty() ? check_worker(s, seed, dir) : diff;
        };
        if (check(stream).empty()) continue;
        const std::string smallest =
            fuzz::shrink(stream, [&](const std::string& s) { return !check(s).empty(); });
        ADD_FAILURE() << "case " << i << ", seed " << seed << ": " << check(smallest)
                      << "\nsmallest failing output: " << fuzz::show(smallest);
        break;
    }
    ts::remove_tree(dir);
}

}  // namespace
