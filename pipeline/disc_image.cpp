#include "pipeline/disc_image.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

#include "launcher/files.h"

const uint64_t disc_image_offsets[4] = {0x10000, 0x18310000, 0x0FDA0000, 0x02090000};

static const char disc_magic[20] = {'M', 'I', 'C', 'R', 'O', 'S', 'O', 'F', 'T', '*',
                                    'X', 'B', 'O', 'X', '*', 'M', 'E', 'D', 'I', 'A'};

static bool magic_at(FILE* file, uint64_t offset) {
    if (_fseeki64(file, static_cast<__int64>(offset), SEEK_SET) != 0) return false;
    char block[sizeof disc_magic];
    if (fread(block, 1, sizeof block, file) != sizeof block) return false;
    return memcmp(block, disc_magic, sizeof block) == 0;
}

DiscImageAttributesFn disc_image_attributes_fn = GetFileAttributesW;

std::string check_disc_image(const std::wstring& path) {
    if (path.empty()) return "Choose a file.";
    // The path is the player's, saved from an earlier start: it may name an empty card reader,
    // a removed USB stick or an unmapped network drive. Windows would ask the player about it in
    // a box of its own (before the launcher's window exists); this way the check simply fails.
    QuietErrorMode quiet;
    const DWORD attributes = disc_image_attributes_fn(path.c_str());
    // INVALID_FILE_ATTRIBUTES has the directory bit too, so a missing path lands here as well.
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return "That file does not exist.";
    FILE* file = open_own_file(path, "rb");  // never inherited by a build
    if (!file) return "That file cannot be read.";
    bool found = false;
    for (const uint64_t offset : disc_image_offsets) {
        if (magic_at(file, offset)) {
            found = true;
            break;
        }
    }
    fclose(file);
    return found ? std::string() : std::string("That is not an Xbox disc image.");
}
