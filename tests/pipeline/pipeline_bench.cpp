// Throughput of the build output worker next to a plain pipe copy of the same bytes.
// Usage: pipeline_bench [MiB per run, default 64] [rounds, default 3]
//        pipeline_bench --endless [MiB, default 512]
// Each round runs the interpreter stand-in twice per output kind: once read by a bare loop of
// 4 KiB reads that discards everything, once through start_build and the real worker (build log
// and parsing included). Reported: the best run of each and the median of the rounds' ratios.
// --endless: the worker's peak memory and throughput for output without any line feed, next to
// the same bytes as ordinary lines of 80 bytes; each build runs in a fresh pipeline_host process
// so that its peaks are its own.
#include <windows.h>

#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "launcher/folders.h"
#include "launcher/settings.h"
#include "pipeline/build_runner.h"

namespace {

// What a build leaves before its success line, so that the launcher takes the success.
const std::string finish_ready = "ready\nfile build/varnis_game.dll bench\n";

std::wstring temp_root() {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    wchar_t name[64];
    swprintf(name, 64, L"varnis-bench-%lu", GetCurrentProcessId());
    return path_join(temp, name);
}

void write_text(const std::wstring& path, const std::string& text) {
    FILE* f = _wfopen(path.c_str(), L"wb");
    if (!f) return;
    fwrite(text.data(), 1, text.size(), f);
    fclose(f);
}

void remove_tree(const std::wstring& path) {
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(path_join(path, L"*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = data.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring child = path_join(path, name);
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) remove_tree(child);
            else DeleteFileW(child.c_str());
        } while (FindNextFileW(find, &data));
        FindClose(find);
    }
    RemoveDirectoryW(path.c_str());
}

double seconds_since(const LARGE_INTEGER& start) {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return double(now.QuadPart - start.QuadPart) / double(frequency.QuadPart);
}

// The stand-in with the build's own command line, read by a bare loop; returns the seconds taken.
double plain_copy(unsigned long long& bytes) {
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE read_end = nullptr, write_end = nullptr;
    if (!CreatePipe(&read_end, &write_end, &inherit, 0)) return -1;
    SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
    std::wstring line = build_command_line();
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = write_end;
    si.hStdError = write_end;
    PROCESS_INFORMATION pi{};
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    const BOOL created = CreateProcessW(nullptr, &line[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                                        nullptr, nullptr, &si, &pi);
    CloseHandle(write_end);
    if (!created) {
        CloseHandle(read_end);
        return -1;
    }
    char buffer[4096];
    bytes = 0;
    DWORD got = 0;
    while (ReadFile(read_end, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes += got;
    CloseHandle(read_end);
    WaitForSingleObject(pi.hProcess, INFINITE);
    const double elapsed = seconds_since(start);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return elapsed;
}

double through_worker(std::wstring& log_path) {
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    start_build();
    log_path = current_build->log_path;
    const std::weak_ptr<BuildJob> job = current_build;
    current_build.reset();
    while (!job.expired()) Sleep(1);
    return seconds_since(start);
}

unsigned long long file_size(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    return (unsigned long long)data.nFileSizeHigh << 32 | data.nFileSizeLow;
}

std::wstring exe_dir() {
    wchar_t self[1040];
    const std::wstring path(self, GetModuleFileNameW(nullptr, self, 1040));
    return path.substr(0, path.find_last_of(L'\\'));
}

// One build in a fresh pipeline_host; false when it did not run or did not succeed.
bool host_build(const std::wstring& root, const char* name, double mib) {
    const std::wstring result = path_join(root, L"result.txt");
    std::wstring line = L"\"" + exe_dir() + L"\\pipeline_host.exe\" \"" + folders.tools_dir +
                        L"\" \"" + folders.data_dir + L"\" \"" + settings.iso + L"\" \"" + result + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return false;
    WaitForSingleObject(pi.hProcess, INFINITE);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    FILE* f = _wfopen(result.c_str(), L"rb");
    if (!f) return false;
    double seconds = 0;
    int done = 0;
    unsigned long long peak_ws = 0, peak_pf = 0;
    const int got = fscanf(f, "%lf %d %llu %llu", &seconds, &done, &peak_ws, &peak_pf);
    fclose(f);
    DeleteFileW(result.c_str());
    if (got != 4 || !done) return false;
    printf("%-28s %7.1f s  %7.1f MiB/s   peak working set %6.1f MiB   peak pagefile use %6.1f MiB\n",
           name, seconds, mib / seconds, peak_ws / 1048576.0, peak_pf / 1048576.0);
    return true;
}

int endless_line(const std::wstring& root, double mib) {
    const unsigned long long bytes = (unsigned long long)(mib * 1048576);
    struct Kind {
        const char* name;
        int every;
    };
    const Kind kinds[] = {{"ordinary lines of 80 bytes", 80}, {"no line feed at all", 0}};
    printf("%llu bytes (%.0f MiB) per build, each in a fresh launcher process\n", bytes, mib);
    for (const Kind& kind : kinds) {
        write_text(folders.build_script_path, "blob " + std::to_string(bytes) + " " +
                                                  std::to_string(kind.every) + "\n" + finish_ready + "out \\nDONE\\s\n");
        if (!host_build(root, kind.name, mib)) {
            fprintf(stderr, "the build of %s did not succeed\n", kind.name);
            return 1;
        }
        WIN32_FIND_DATAW data;
        const HANDLE find = FindFirstFileW(path_join(folders.logs_dir, L"build-*.log").c_str(), &data);
        if (find == INVALID_HANDLE_VALUE) continue;
        do DeleteFileW(path_join(folders.logs_dir, data.cFileName).c_str());
        while (FindNextFileW(find, &data));
        FindClose(find);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const bool endless = argc > 1 && strcmp(argv[1], "--endless") == 0;
    if (endless) {
        --argc;
        ++argv;
    }
    const double mib = argc > 1 ? atof(argv[1]) : endless ? 512.0 : 64.0;
    const int rounds = argc > 2 ? atoi(argv[2]) : 3;
    const unsigned long long lines = (unsigned long long)(mib * 1024 * 1024 / 80);

    const std::wstring root = temp_root();
    CreateDirectoryW(root.c_str(), nullptr);
    folders.tools_dir = path_join(root, L"tools");
    folders.data_dir = path_join(root, L"data");
    derive_folder_paths(folders);
    for (const wchar_t* dir : {L"tools", L"tools\\python", L"tools\\project",
                               L"tools\\project\\tools", L"data", L"data\\logs", L"data\\work"})
        CreateDirectoryW(path_join(root, dir).c_str(), nullptr);
    wchar_t self[1040];
    std::wstring standin(self, GetModuleFileNameW(nullptr, self, 1040));
    standin = standin.substr(0, standin.find_last_of(L'\\')) + L"\\standin\\python.exe";
    if (!CopyFileW(standin.c_str(), folders.python_path.c_str(), FALSE)) {
        fprintf(stderr, "stand-in not found next to the benchmark\n");
        return 1;
    }
    settings.iso = path_join(root, L"disc.iso");
    if (endless) {
        const int status = endless_line(root, mib);
        remove_tree(root);
        return status;
    }

    struct Kind {
        const char* name;
        int every;
    };
    const Kind kinds[] = {{"ordinary lines", 0}, {"one protocol line in ten", 10}};
    printf("%llu lines of 80 bytes (%.1f MiB) per run, best of %d rounds\n", lines,
           lines * 80 / 1048576.0, rounds);
    for (const Kind& kind : kinds) {
        write_text(folders.build_script_path,
                   "filler " + std::to_string(lines) + " " + std::to_string(kind.every) +
                       "\n" + finish_ready + "out DONE\\s\n");
        double best_plain = 1e9, best_worker = 1e9;
        std::vector<double> ratios;
        unsigned long long bytes = 0;
        for (int round = 0; round < rounds; ++round) {
            const double plain = plain_copy(bytes);
            std::wstring log_path;
            const double worker = through_worker(log_path);
            // A worker that lost bytes would look fast; its log must hold all of them.
            const unsigned long long logged = file_size(log_path);
            DeleteFileW(log_path.c_str());
            if (logged != bytes) {
                fprintf(stderr, "the build log holds %llu bytes of %llu\n", logged, bytes);
                return 1;
            }
            if (plain <= 0) continue;
            if (plain < best_plain) best_plain = plain;
            if (worker < best_worker) best_worker = worker;
            ratios.push_back(plain / worker);
        }
        if (ratios.empty()) {
            fprintf(stderr, "the stand-in could not be started\n");
            return 1;
        }
        // The machine's load drifts between rounds; a round's two runs share the same load.
        std::sort(ratios.begin(), ratios.end());
        const double size = bytes / 1048576.0;
        printf("%-26s plain copy %7.1f MiB/s   worker %7.1f MiB/s   ratio of bests %.2f   "
               "median round ratio %.2f\n",
               kind.name, size / best_plain, size / best_worker, best_plain / best_worker,
               ratios[ratios.size() / 2]);
    }
    remove_tree(root);
    return 0;
}
