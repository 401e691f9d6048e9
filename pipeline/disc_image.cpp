// PLACEHOLDER: replaced by the real implementation
#include "pipeline/disc_image.h"
const uint64_t disc_image_offsets[4] = {0x10000, 0x18310000, 0x0FDA0000, 0x02090000};
std::string check_disc_image(const std::wstring&) { return "PLACEHOLDER"; }
