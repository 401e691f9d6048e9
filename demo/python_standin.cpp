// A stand-in for the build interpreter, started exactly like it:
//   python.exe -u <script> --iso <iso> --work <work> --bundle <bundle>
// The "script" is a scenario: one command per line, the command word, one space, its argument.
// Empty lines and lines starting with '#' are skipped.
//
//   out TEXT          TEXT and a line feed to standard output      err TEXT     the same to stderr
//   rawout TEXT       TEXT alone to standard output, no line feed  rawerr TEXT  the same to stderr
//   emptyout          one WriteFile of zero bytes to standard output, as some tools do
//   lines N TEXT      N lines at full speed, each TEXT followed by its number (from 1) and a line
//                     feed
//   sleep MS          pause
//   file PATH TEXT    write TEXT to <work>\PATH (folders created)
//   ready             write <work>\ready.txt: iso=<--iso as passed>, version=<bundle's VERSION>
//   copy FROM TO      copy <bundle>\FROM to <work>\TO (folders created)
//   filler N EVERY    N lines of 80 bytes at full speed; with EVERY > 0 every EVERY-th is a
//                     PROGRESS line
//   spawn SCENARIO    start this program again on SCENARIO (relative to this scenario's folder)
//                     with the same options; it inherits the output handles and is not waited for
//   pid PATH          write this process's id in decimal to <work>\PATH
//   cmdline PATH      write the raw command line (GetCommandLineW as UTF-8) to <work>\PATH
//   args PATH         write each argument as CommandLineToArgvW splits it, one per line
//   blob N EVERY      N pseudo-random bytes (a fixed sequence) at full speed, with a line feed as
//                     every EVERY-th byte when EVERY > 0 and none at all otherwise
//   hash PATH         write "<bytes> <hash>" of everything written to stdout and stderr so far
//                     (64-bit FNV-1a, 16 hex digits) to <work>\PATH
//   handles PATH      write to <work>\PATH "job 1" when this process was in a job at its entry
//                     (else "job 0"), "std IN OUT" (its standard handle values), then one line per
//                     handle it holds (it keeps none open of its own between commands):
//                     "file VALUE PATH", "dir VALUE PATH", "pipe VALUE" or "other VALUE"
//   exit CODE         end now with CODE (decimal or 0x hex); the end of the scenario exits with 0
//
// TEXT knows the escapes \n \r \t \s (space) \\ and \xHH (any byte). Output goes straight to the
// handles, unbuffered. A command that fails prints "ERROR <reason>" and exits with 1.
#include <windows.h>
#include <shellapi.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Options {
    std::wstring self, scenario, iso, work, bundle;
    std::vector<std::wstring> args;
};
Options options;
unsigned long long written_bytes = 0;
unsigned long long written_hash = 0xcbf29ce484222325ull;
std::string entry_record;

std::string utf8(const std::wstring& wide) {
    if (wide.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), (int)wide.size(), nullptr, 0,
                                      nullptr, nullptr);
    std::string out(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), (int)wide.size(), &out[0], n, nullptr, nullptr);
    return out;
}

std::wstring wide(const std::string& text) {
    if (text.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), (int)text.size(), nullptr, 0);
    std::wstring out(n, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), (int)text.size(), &out[0], n);
    return out;
}

void add_to_hash(const char* data, size_t size) {
    unsigned long long h = written_hash;
    for (size_t i = 0; i < size; ++i) h = (h ^ (unsigned char)data[i]) * 0x100000001b3ull;
    written_hash = h;
    written_bytes += size;
}

void write_handle(DWORD which, const std::string& bytes) {
    const HANDLE h = GetStdHandle(which);
    add_to_hash(bytes.data(), bytes.size());
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD wrote = 0;
        if (!WriteFile(h, bytes.data() + done, (DWORD)(bytes.size() - done), &wrote, nullptr)) return;
        done += wrote;
    }
}

[[noreturn]] void fail(const std::string& reason) {
    write_handle(STD_OUTPUT_HANDLE, "ERROR " + reason + "\n");
    ExitProcess(1);
}

std::string unescape(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const char c = text[++i];
        if (c == 'n') out += '\n';
        else if (c == 'r') out += '\r';
        else if (c == 't') out += '\t';
        else if (c == 's') out += ' ';
        else if (c == 'x' && i + 2 < text.size()) {
            out += (char)strtol(text.substr(i + 1, 2).c_str(), nullptr, 16);
            i += 2;
        } else out += c;
    }
    return out;
}

std::wstring parent_of(const std::wstring& path) {
    const size_t cut = path.find_last_of(L"\\/");
    return cut == std::wstring::npos ? std::wstring() : path.substr(0, cut);
}

std::wstring join(const std::wstring& dir, const std::string& relative) {
    std::wstring rel = wide(relative);
    for (wchar_t& c : rel)
        if (c == L'/') c = L'\\';
    if (dir.empty() || dir.back() == L'\\') return dir + rel;
    return dir + L'\\' + rel;
}

void make_parent_dirs(const std::wstring& path) {
    const std::wstring dir = parent_of(path);
    for (size_t i = 3; i <= dir.size(); ++i)
        if (i == dir.size() || dir[i] == L'\\') CreateDirectoryW(dir.substr(0, i).c_str(), nullptr);
}

// Through a temporary name and a rename, so that a reader never sees a half-written file.
void write_work_file(const std::string& relative, const std::string& bytes) {
    const std::wstring path = join(options.work, relative);
    const std::wstring temp = path + L".part";
    make_parent_dirs(path);
    FILE* f = _wfopen(temp.c_str(), L"wb");
    if (!f) fail("cannot write " + utf8(path));
    const bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    if (fclose(f) != 0 || !ok) fail("cannot write " + utf8(path));
    if (!MoveFileExW(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) fail("cannot write " + utf8(path));
}

std::string read_whole(const std::wstring& path, bool& ok) {
    std::string out;
    FILE* f = _wfopen(path.c_str(), L"rb");
    ok = f != nullptr;
    if (!f) return out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
    fclose(f);
    return out;
}

std::string bundle_version() {
    bool ok = false;
    const std::string text = read_whole(join(options.bundle, "VERSION"), ok);
    const char* trim = " \t\r\n\"";
    const size_t first = text.find_first_not_of(trim);
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(trim) - first + 1);
}

// Doubles the backslashes before the closing quote so they stay literal for the child.
std::wstring quoted(const std::wstring& s) {
    size_t trailing = 0;
    while (trailing < s.size() && s[s.size() - 1 - trailing] == L'\\') ++trailing;
    return L"\"" + s + std::wstring(trailing, L'\\') + L"\"";
}

void spawn(const std::string& scenario) {
    std::wstring line = quoted(options.self) + L" -u " +
                        quoted(join(parent_of(options.scenario), scenario)) + L" --iso " +
                        quoted(options.iso) + L" --work " + quoted(options.work) + L" --bundle " +
                        quoted(options.bundle);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                        nullptr, &si, &pi))
        fail("cannot spawn " + scenario + " (error " + std::to_string(GetLastError()) + ")");
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
}

void filler(const std::string& argument) {
    char* end = nullptr;
    const unsigned long long count = strtoull(argument.c_str(), &end, 10);
    const unsigned long every = strtoul(end, nullptr, 10);
    std::string block;
    block.reserve(64 * 1024);
    char line[81];
    for (unsigned long long i = 1; i <= count; ++i) {
        const bool progress = every > 0 && i % every == 0;
        const int n = progress ? snprintf(line, sizeof line, "PROGRESS %llu filler %llu ",
                                          (i * 100) / (count ? count : 1), i)
                               : snprintf(line, sizeof line, "filler line %llu ", i);
        std::memset(line + n, progress ? '-' : '.', 79 - n);
        line[79] = '\n';
        block.append(line, 80);
        if (block.size() + 80 > 64 * 1024) {
            write_handle(STD_OUTPUT_HANDLE, block);
            block.clear();
        }
    }
    write_handle(STD_OUTPUT_HANDLE, block);
}

void empty_write() {
    DWORD wrote = 0;
    if (!WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), "", 0, &wrote, nullptr))
        fail("zero-length write refused (error " + std::to_string(GetLastError()) + ")");
}

void numbered_lines(const std::string& argument) {
    char* end = nullptr;
    const unsigned long long count = strtoull(argument.c_str(), &end, 10);
    const std::string text = unescape(*end == ' ' ? std::string(end + 1) : std::string(end));
    std::string block;
    block.reserve(64 * 1024);
    for (unsigned long long i = 1; i <= count; ++i) {
        block += text + std::to_string(i) + "\n";
        if (block.size() >= 60 * 1024) {
            write_handle(STD_OUTPUT_HANDLE, block);
            block.clear();
        }
    }
    write_handle(STD_OUTPUT_HANDLE, block);
}

void blob(const std::string& argument) {
    char* end = nullptr;
    const unsigned long long count = strtoull(argument.c_str(), &end, 10);
    const unsigned long long every = strtoull(end, nullptr, 10);
    unsigned long long state = 0x9e3779b97f4a7c15ull;
    std::string block;
    block.reserve(64 * 1024);
    for (unsigned long long i = 1; i <= count; ++i) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        char c = (char)(state >> 56);
        if (c == '\n') c = '\r';  // line feeds only where EVERY puts them
        if (every > 0 && i % every == 0) c = '\n';
        block += c;
        if (block.size() == 64 * 1024) {
            write_handle(STD_OUTPUT_HANDLE, block);
            block.clear();
        }
    }
    write_handle(STD_OUTPUT_HANDLE, block);
}

std::string hash_text() {
    char text[64];
    snprintf(text, sizeof text, "%llu %016llx", written_bytes, written_hash);
    return text;
}

// Every handle value the process holds; the values of a child's inherited handles are the ones
// they had in its parent, and those stay small.
std::string handle_report() {
    std::string out;
    for (uintptr_t value = 4; value < 0x10000; value += 4) {
        const HANDLE h = (HANDLE)value;
        DWORD flags = 0;
        if (!GetHandleInformation(h, &flags)) continue;
        const DWORD type = GetFileType(h);
        char number[32];
        snprintf(number, sizeof number, "%llu", (unsigned long long)value);
        if (type == FILE_TYPE_DISK) {
            wchar_t path[2048];
            const DWORD n = GetFinalPathNameByHandleW(h, path, 2048, FILE_NAME_NORMALIZED);
            BY_HANDLE_FILE_INFORMATION info{};
            const bool dir = GetFileInformationByHandle(h, &info) &&
                             (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
            const std::string name = n && n < 2048 ? utf8(std::wstring(path, n)) : "?";
            out += std::string(dir ? "dir " : "file ") + number + " " + name + "\n";
        } else if (type == FILE_TYPE_PIPE) {
            out += std::string("pipe ") + number + "\n";
        } else {
            out += std::string("other ") + number + "\n";
        }
    }
    return out;
}

// Taken before main does anything else: whether the launcher had put us into its job already.
void record_entry() {
    BOOL in_job = FALSE;
    IsProcessInJob(GetCurrentProcess(), nullptr, &in_job);
    char std_line[96];
    snprintf(std_line, sizeof std_line, "std %llu %llu\n",
             (unsigned long long)(uintptr_t)GetStdHandle(STD_INPUT_HANDLE),
             (unsigned long long)(uintptr_t)GetStdHandle(STD_OUTPUT_HANDLE));
    entry_record = std::string("job ") + (in_job ? "1" : "0") + "\n" + std_line;
}

std::string args_text() {
    std::string out;
    for (const std::wstring& a : options.args) out += utf8(a) + "\n";
    return out;
}

void copy_from_bundle(const std::string& argument) {
    const size_t space = argument.find(' ');
    if (space == std::string::npos) fail("copy needs FROM and TO");
    const std::wstring from = join(options.bundle, argument.substr(0, space));
    const std::wstring to = join(options.work, argument.substr(space + 1));
    make_parent_dirs(to);
    if (!CopyFileW(from.c_str(), to.c_str(), FALSE))
        fail("cannot copy " + utf8(from) + " (error " + std::to_string(GetLastError()) + ")");
}

void run_command(const std::string& command, const std::string& argument) {
    if (command == "out") write_handle(STD_OUTPUT_HANDLE, unescape(argument) + "\n");
    else if (command == "err") write_handle(STD_ERROR_HANDLE, unescape(argument) + "\n");
    else if (command == "rawout") write_handle(STD_OUTPUT_HANDLE, unescape(argument));
    else if (command == "rawerr") write_handle(STD_ERROR_HANDLE, unescape(argument));
    else if (command == "emptyout") empty_write();
    else if (command == "lines") numbered_lines(argument);
    else if (command == "sleep") Sleep(strtoul(argument.c_str(), nullptr, 10));
    else if (command == "file") {
        const size_t space = argument.find(' ');
        write_work_file(argument.substr(0, space),
                        space == std::string::npos ? "" : unescape(argument.substr(space + 1)));
    } else if (command == "ready")
        write_work_file("ready.txt", "iso=" + utf8(options.iso) + "\nversion=" + bundle_version() + "\n");
    else if (command == "copy") copy_from_bundle(argument);
    else if (command == "filler") filler(argument);
    else if (command == "blob") blob(argument);
    else if (command == "hash") write_work_file(argument, hash_text());
    else if (command == "handles") write_work_file(argument, entry_record + handle_report());
    else if (command == "spawn") spawn(argument);
    else if (command == "pid") write_work_file(argument, std::to_string(GetCurrentProcessId()));
    else if (command == "cmdline") write_work_file(argument, utf8(GetCommandLineW()));
    else if (command == "args") write_work_file(argument, args_text());
    else if (command == "exit") ExitProcess((UINT)strtoul(argument.c_str(), nullptr, 0));
    else fail("unknown scenario command: " + command);
}

void parse_arguments() {
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!argv) fail("cannot read the command line");
    for (int i = 0; i < count; ++i) options.args.push_back(argv[i]);
    LocalFree(argv);
    wchar_t self[2048];
    options.self.assign(self, GetModuleFileNameW(nullptr, self, 2048));
    for (size_t i = 1; i + 1 < options.args.size(); ++i) {
        const std::wstring& name = options.args[i];
        std::wstring* target = name == L"-u"         ? &options.scenario
                               : name == L"--iso"    ? &options.iso
                               : name == L"--work"   ? &options.work
                               : name == L"--bundle" ? &options.bundle
                                                     : nullptr;
        if (target) *target = options.args[++i];
    }
}

}  // namespace

int main() {
    // First, before this program opens anything of its own.
    record_entry();
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    parse_arguments();
    bool ok = false;
    const std::string script = read_whole(options.scenario, ok);
    if (!ok) fail("cannot read the scenario " + utf8(options.scenario));
    size_t pos = 0;
    while (pos < script.size()) {
        size_t feed = script.find('\n', pos);
        if (feed == std::string::npos) feed = script.size();
        std::string line = script.substr(pos, feed - pos);
        pos = feed + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        const size_t space = line.find(' ');
        run_command(line.substr(0, space), space == std::string::npos ? "" : line.substr(space + 1));
    }
    return 0;
}
