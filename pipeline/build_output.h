#pragma once
#include <windows.h>

#include <memory>
#include <string>

#include "pipeline/build_runner.h"

// Thread body: copies the pipe into the build log, parses lines, waits for the process, closes both.
void build_worker(std::shared_ptr<BuildJob> job, HANDLE pipe, HANDLE process);
// Applies one line (without its line end) to the job under the job's mutex.
void parse_build_line(BuildJob& job, const std::string& line);
