#pragma once
#include <cstdint>
#include <string>

extern const uint64_t disc_image_offsets[4];

// Empty when `path` is an Xbox disc image, otherwise a sentence for the player.
std::string check_disc_image(const std::wstring& path);
