#pragma once
#include <windows.h>
#include <shlobj.h>

#include <string>

void draw_options_panel();
std::wstring effective_saves_folder();

// The folder dialog and the shell's open, replaceable so tests can answer without a window.
using BrowseForFolderFn = PIDLIST_ABSOLUTE(WINAPI*)(LPBROWSEINFOW);
using ShellExecuteFn = HINSTANCE(WINAPI*)(HWND, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, INT);
extern BrowseForFolderFn browse_for_folder_fn;
extern ShellExecuteFn shell_execute_fn;
