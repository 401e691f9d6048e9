#pragma once
#include <windows.h>

#include <memory>
#include <string>

#include "pipeline/build_runner.h"

// The most of one line that is kept for parsing; the rest of a longer line stands only in the log.
inline constexpr size_t build_line_limit = 64 * 1024;

// A line not yet ended by a line feed: its first bytes (bounded) and whether more arrived.
struct BuildLineCutter {
    std::string pending;
    bool overflow = false;
};

// Thread body: copies the pipe into the build log, parses lines, waits for the process, closes both.
void build_worker(std::shared_ptr<BuildJob> job, HANDLE pipe, HANDLE process);
// Applies one line (without its line end) to the job under the job's mutex.
void parse_build_line(BuildJob& job, const std::string& line);
// Cuts a block of output into lines and parses each one that ends in it; the worker's own path.
void feed_build_output(BuildJob& job, BuildLineCutter& cut, const char* data, size_t size);
