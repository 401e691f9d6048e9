#pragma once
#include <windows.h>

#include <memory>
#include <string>

#include "pipeline/build_runner.h"

// The most of one line that is kept for parsing; the rest of a longer line stands only in the log.
inline constexpr size_t build_line_limit = 64 * 1024;

// Reads the pipe; replaceable so that tests can bring the zero-byte reads that a writer's empty
// write gives on Windows (Wine drops such writes).
extern BOOL(WINAPI* read_build_pipe)(HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED);

// Thread body: copies the pipe into the build log, parses lines, waits for the process, closes both.
void build_worker(std::shared_ptr<BuildJob> job, HANDLE pipe, HANDLE process);
// Applies one line (without its line end) to the job under the job's mutex.
void parse_build_line(BuildJob& job, const std::string& line);
// Cuts a block of output into lines and parses each one that ends in it; `pending` carries the
// start of an unfinished line (at most build_line_limit + 1 bytes) to the next block.
void feed_build_output(BuildJob& job, std::string& pending, const char* data, size_t size);
