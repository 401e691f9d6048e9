// A stand-in game module. Variants come from compile definitions:
//   FIXTURE_API=<n>            what varnis_game_api returns (default 1)
//   FIXTURE_NO_RUN             no varnis_game_run export
//   FIXTURE_PREPARE_RESULT=<n> what varnis_game_prepare returns (default 0; non-zero writes nothing)
//   FIXTURE_MISSING_DEP        imports from fixture_dep.dll, which is never beside it
// Preparation writes <work_dir>\fixture-prepare.txt; the run writes <work_dir>\fixture-run.txt.
// Both are UTF-8 "key=value" lines; every DRAVIK_ variable present appears under its own name.
// With VARNIS_FIXTURE_STAY=1 the run stays until its window is gone (at most about 60 s).
#include <windows.h>

#include <cstdio>
#include <cwchar>

#ifndef FIXTURE_API
#define FIXTURE_API 1
#endif
#ifndef FIXTURE_PREPARE_RESULT
#define FIXTURE_PREPARE_RESULT 0
#endif

#define EXPORT extern "C" __declspec(dllexport)

#ifdef FIXTURE_MISSING_DEP
extern "C" __declspec(dllimport) int fixture_dep_value();
#endif

namespace {

LONG api_calls = 0;
LONG prepare_calls = 0;
LONG run_calls = 0;
wchar_t work_dir[1040];
DWORD prepare_thread = 0;

void put_utf8(FILE* out, const wchar_t* text) {
    char bytes[8192];
    const int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, bytes, sizeof bytes, nullptr, nullptr);
    if (n > 1) fwrite(bytes, 1, static_cast<size_t>(n - 1), out);
}

void put_line(FILE* out, const char* key, const wchar_t* value) {
    fprintf(out, "%s=", key);
    put_utf8(out, value);
    fputc('\n', out);
}

void put_dravik_environment(FILE* out) {
    wchar_t* block = GetEnvironmentStringsW();
    if (!block) return;
    for (const wchar_t* entry = block; *entry; entry += wcslen(entry) + 1) {
        if (wcsncmp(entry, L"DRAVIK_", 7) != 0) continue;
        put_utf8(out, entry);
        fputc('\n', out);
    }
    FreeEnvironmentStringsW(block);
}

// Written beside the work folder under a temporary name, then renamed, so readers never see half.
FILE* open_record(const wchar_t* name, wchar_t* final_path, wchar_t* temp_path) {
    _snwprintf(final_path, 1100, L"%ls\\%ls", work_dir, name);
    _snwprintf(temp_path, 1100, L"%ls.tmp", final_path);
    return _wfopen(temp_path, L"wb");
}

void close_record(FILE* out, const wchar_t* final_path, const wchar_t* temp_path) {
    fclose(out);
    MoveFileExW(temp_path, final_path, MOVEFILE_REPLACE_EXISTING);
}

#ifndef FIXTURE_NO_RUN
bool has_class(HWND window, const wchar_t* name) {
    wchar_t found[64] = L"";
    return window && GetClassNameW(window, found, 64) > 0 && wcscmp(found, name) == 0;
}

// The whole reserved range of the calling thread's stack; 0 where the system cannot tell.
ULONG_PTR stack_reservation() {
    using LimitsFn = void(WINAPI*)(PULONG_PTR, PULONG_PTR);
    const auto limits = reinterpret_cast<LimitsFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetCurrentThreadStackLimits")));
    if (!limits) return 0;
    ULONG_PTR low = 0, high = 0;
    limits(&low, &high);
    return high - low;
}
#endif

}  // namespace

EXPORT int varnis_game_api() {
    InterlockedIncrement(&api_calls);
#ifdef FIXTURE_MISSING_DEP
    return fixture_dep_value();
#else
    return FIXTURE_API;
#endif
}

EXPORT int varnis_game_prepare(const wchar_t* work, const wchar_t* log_path) {
    InterlockedIncrement(&prepare_calls);
    prepare_thread = GetCurrentThreadId();
    _snwprintf(work_dir, 1040, L"%ls", work);
    work_dir[1039] = L'\0';
    wchar_t final_path[1100], temp_path[1100];
    FILE* out = open_record(L"fixture-prepare.txt", final_path, temp_path);
    if (out) {
        put_line(out, "work_dir", work);
        put_line(out, "log_path", log_path);
        put_dravik_environment(out);
        close_record(out, final_path, temp_path);
    }
    if (FIXTURE_PREPARE_RESULT != 0) return FIXTURE_PREPARE_RESULT;
    FILE* log = _wfopen(log_path, L"ab");
    if (log) {
        fputs("fixture prepared\n", log);
        fclose(log);
    }
    return 0;
}

#ifndef FIXTURE_NO_RUN
EXPORT int varnis_game_run(void* parameter) {
    InterlockedIncrement(&run_calls);
    HWND window = static_cast<HWND>(parameter);
    HWND parent = window ? GetParent(window) : nullptr;
    const bool child = IsWindow(window) && (GetWindowLongPtrW(window, GWL_STYLE) & WS_CHILD);
    const bool launcher_child =
        child && has_class(window, L"VarnisLauncher") && has_class(parent, L"VarnisFrame");
    wchar_t final_path[1100], temp_path[1100];
    FILE* out = open_record(L"fixture-run.txt", final_path, temp_path);
    if (out) {
        fprintf(out, "window=%llx\n", static_cast<unsigned long long>(
                                           reinterpret_cast<ULONG_PTR>(window)));
        fprintf(out, "launcher_child=%d\n", launcher_child ? 1 : 0);
        fprintf(out, "other_thread=%d\n", GetCurrentThreadId() != prepare_thread ? 1 : 0);
        fprintf(out, "stack_reserve=%llu\n", static_cast<unsigned long long>(stack_reservation()));
        put_dravik_environment(out);
        close_record(out, final_path, temp_path);
    }
    wchar_t stay[8];
    const DWORD n = GetEnvironmentVariableW(L"VARNIS_FIXTURE_STAY", stay, 8);
    if (n == 1 && stay[0] == L'1') {
        const ULONGLONG end = GetTickCount64() + 60000;
        while (IsWindow(window) && GetTickCount64() < end) Sleep(50);
    }
    return 0;
}
#endif

// For the tests only: how often the launcher called each export.
EXPORT LONG fixture_api_calls() { return api_calls; }
EXPORT LONG fixture_prepare_calls() { return prepare_calls; }
EXPORT LONG fixture_run_calls() { return run_calls; }
