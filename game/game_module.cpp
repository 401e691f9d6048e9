#include "game/game_module.h"

#include <windows.h>

#include "launcher/folders.h"
#include "launcher/log.h"
#include "pipeline/contract.h"

GameRunFn game_run = nullptr;
std::string game_message;
std::wstring game_log_path;

static const char* const mismatch_message =
    "The built game does not match this launcher. Rebuild it.";

// The game runtime reads this at load time; only a usable value of the user's own is kept.
static void default_pfifo_async() {
    if (get_env(L"DRAVIK_PFIFO_ASYNC").empty()) _putenv_s("DRAVIK_PFIFO_ASYNC", "1");
}

template <typename Fn>
static Fn find_export(HMODULE module, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// Loads without any system error box (a missing dependency, a drive without media).
static HMODULE load_module(DWORD& error) {
    DWORD old_mode = 0;
    SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &old_mode);
    HMODULE module = LoadLibraryExW(folders.game_module_path.c_str(), nullptr,
                                    LOAD_WITH_ALTERED_SEARCH_PATH);
    error = GetLastError();
    SetThreadErrorMode(old_mode, nullptr);
    return module;
}

static void refuse(const std::string& message) {
    game_run = nullptr;
    game_message = message;
    launcher_log("prepare failed: %s", game_message.c_str());
}

void bind_game_module() {
    default_pfifo_async();
    DWORD error = 0;
    HMODULE module = load_module(error);
    if (!module) {
        refuse("The game could not be loaded (error " + std::to_string(error) + ").");
        return;
    }
    // The module stays loaded for the life of the process, whatever follows.
    const auto api = find_export<GameApiFn>(module, contract::export_api);
    const auto prepare = find_export<GamePrepareFn>(module, contract::export_prepare);
    game_run = find_export<GameRunFn>(module, contract::export_run);
    if (!api || !prepare || !game_run || api() != contract::game_interface_version) {
        refuse(mismatch_message);
        return;
    }
    game_log_path =
        path_join(folders.logs_dir, timestamped_log_name(contract::game_log_prefix));
    if (prepare(folders.work_dir.c_str(), game_log_path.c_str()) != 0) {
        refuse("The game could not start. Details: " + to_utf8(game_log_path));
        return;
    }
    game_message.clear();
    launcher_log("game prepared; log %s", to_utf8(game_log_path).c_str());
}
