#include "pipeline/build_output.h"

#include <emmintrin.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "launcher/files.h"
#include "launcher/log.h"
#include "launcher/screen_flow.h"
#include "pipeline/contract.h"

BOOL(WINAPI* read_build_pipe)(HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED) = ReadFile;

static bool starts_with(const std::string& line, const char* prefix) {
    return line.compare(0, std::strlen(prefix), prefix) == 0;
}

// The protocol part after a keyword: "<head> <tail>" split at its first space, as offsets into
// the line so that ordinary build output costs no allocation.
struct Split {
    size_t head, head_length, tail;  // tail == npos when the rest holds no space
};

static Split split_rest(const std::string& line, size_t rest) {
    const size_t space = line.find(' ', rest);
    if (space == std::string::npos) return {rest, line.size() - rest, std::string::npos};
    return {rest, space - rest, space + 1};
}

static void apply_stage(BuildJob& job, const std::string& line) {
    const Split s = split_rest(line, std::strlen(contract::line_stage));
    job.stage.assign(line, s.head, s.head_length);
    if (s.tail == std::string::npos) job.status = job.stage;
    else job.status.assign(line, s.tail, std::string::npos);
    if (job.stages_seen.size() < kept_stages) job.stages_seen.push_back(job.stage);
    job.progress = 0.0f;
    job.detail.clear();
}

static void apply_progress(BuildJob& job, const std::string& line) {
    const Split s = split_rest(line, std::strlen(contract::line_progress));
    const std::string number(line, s.head, s.head_length);
    job.progress = static_cast<float>(std::atof(number.c_str())) / 100.0f;
    if (s.tail == std::string::npos) job.detail.clear();
    else job.detail.assign(line, s.tail, std::string::npos);
}

static void apply_error(BuildJob& job, const std::string& line) {
    job.failed = true;
    if (job.errors.size() >= kept_error_lines) {
        ++job.errors_left_out;
        return;
    }
    job.errors.push_back(line.substr(std::strlen(contract::line_error)));
}

static void apply_continuation(BuildJob& job, const std::string& line) {
    job.errors.push_back(line.substr(std::strlen(contract::line_continuation)));
    // Keep the error line that opened the report and the most recent lines after it.
    if (job.errors.size() >= 15) {
        job.errors.erase(job.errors.begin() + 1);
        ++job.errors_left_out;
    }
}

static const char* gap_message(BuildGap gap) {
    switch (gap) {
        case NoReadyMarker:
            return "The build reported success but left no ready marker (ready.txt) in the work folder.";
        case MarkerForOtherImage:
            return "The build reported success but its ready marker is for another disc image.";
        case MarkerForOtherVersion:
            return "The build reported success but its ready marker is for another version of the tools.";
        case NoGameModule:
            return "The build reported success but the game module (build\\varnis_game.dll) is missing.";
        case NothingMissing: break;
    }
    return "";
}

// The launcher relaunches on success, and the next start builds again unless it finds the build
// ready: a success that would not pass that test is a failure, or the two would loop for ever.
static void apply_done(BuildJob& job) {
    if (job.done) return;
    if (!job.ready_iso.empty()) {
        const BuildGap gap = missing_from_build(job.ready_iso);
        if (gap != NothingMissing) {
            // A script that repeats its success line gets one message, not one per line.
            const std::string message = gap_message(gap);
            if (job.errors.empty() || job.errors.back() != message) record_build_error(job, message);
            return;
        }
    }
    job.done = true;
}

// Every rule starts with one of these bytes; other lines never touch the job, so they need no lock.
static bool may_be_protocol(const std::string& line) {
    if (line.empty()) return false;
    const char c = line[0];
    return c == 'S' || c == 'P' || c == 'D' || c == 'E' || c == ' ';
}

void parse_build_line(BuildJob& job, const std::string& line) {
    if (!may_be_protocol(line)) return;
    std::lock_guard<std::mutex> lock(job.mutex);
    if (starts_with(line, contract::line_stage)) {
        apply_stage(job, line);
    } else if (starts_with(line, contract::line_progress)) {
        apply_progress(job, line);
    } else if (starts_with(line, contract::line_done)) {
        apply_done(job);
    } else if (starts_with(line, contract::line_error)) {
        apply_error(job, line);
    } else if (job.failed && starts_with(line, contract::line_continuation)) {
        apply_continuation(job, line);
    }
}

// The runtime's memchr is a byte loop here; build output is mostly long ordinary lines, so the
// line feed search goes 16 bytes at a time.
static const char* find_line_feed(const char* from, const char* end) {
    const __m128i feed = _mm_set1_epi8('\n');
    for (; end - from >= 16; from += 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
        const int hits = _mm_movemask_epi8(_mm_cmpeq_epi8(block, feed));
        if (hits) return from + __builtin_ctz(static_cast<unsigned>(hits));
    }
    for (; from < end; ++from)
        if (*from == '\n') return from;
    return nullptr;
}

// Keeps the start of the current line up to one byte past the limit: enough to tell whether a
// carriage return before the line feed falls inside the part that is parsed.
static void keep_line_start(std::string& pending, const char* data, size_t size) {
    const size_t room = build_line_limit + 1 - pending.size();
    pending.append(data, size < room ? size : room);
}

static void finish_line(BuildJob& job, std::string& pending) {
    if (!pending.empty() && pending.back() == '\r') pending.pop_back();
    if (pending.size() > build_line_limit) pending.resize(build_line_limit);
    parse_build_line(job, pending);
    pending.clear();
}

void feed_build_output(BuildJob& job, std::string& pending, const char* data, size_t size) {
    const char* const end = data + size;
    while (data < end) {
        const char* const feed = find_line_feed(data, end);
        keep_line_start(pending, data, static_cast<size_t>((feed ? feed : end) - data));
        if (!feed) return;
        finish_line(job, pending);
        data = feed + 1;
    }
}

static DWORD finish_process(HANDLE process) {
    WaitForSingleObject(process, INFINITE);
    DWORD code = 1;
    if (!GetExitCodeProcess(process, &code)) code = 1;
    CloseHandle(process);
    return code;
}

void build_worker(std::shared_ptr<BuildJob> job, HANDLE pipe, HANDLE process) {
    // Not inheritable: the build process and whatever it starts must not hold the log open.
    FILE* log = open_own_file(job->log_path, "wb");
    char buffer[4096];
    std::string pending;  // the start of a line not yet ended
    for (;;) {
        DWORD got = 0;
        // Only a failed read ends the output: a writer's zero-length write arrives as a
        // successful read of 0 bytes.
        if (!read_build_pipe(pipe, buffer, sizeof buffer, &got, nullptr)) break;
        if (got == 0) continue;
        if (log) {
            fwrite(buffer, 1, got, log);
            fflush(log);
        }
        feed_build_output(*job, pending, buffer, got);
    }
    CloseHandle(pipe);
    const DWORD code = finish_process(process);
    if (log) fclose(log);

    std::lock_guard<std::mutex> lock(job->mutex);
    const char* outcome = job->done ? "done" : "failed";
    if (!job->done && !job->failed) {
        job->failed = true;
        job->errors.push_back("The build stopped unexpectedly (exit " + std::to_string(code) + ").");
    }
    launcher_log("build finished: exit %lu, %s", code, outcome);
    job->worker_running = false;
    job->worker_ended.notify_all();
}
