#pragma once
#include <cstdint>
#include <string>

extern const uint64_t disc_image_offsets[4];

// Empty when `path` is an Xbox disc image, otherwise a sentence for the player.
std::string check_disc_image(const std::wstring& path);

// How the check reads a path's attributes: GetFileAttributesW, replaceable so tests can see the
// thread's error mode at that moment.
using DiscImageAttributesFn = unsigned long(__stdcall*)(const wchar_t*);
extern DiscImageAttributesFn disc_image_attributes_fn;
