// Writes the first four outputs of the launcher's backdrop generator, as this process seeded it,
// to the file named by the only argument.
#include <cstdio>
#include <random>

#include "screens/backdrop.h"

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) return 2;
    FILE* out = _wfopen(argv[1], L"wb");
    if (!out) return 3;
    std::mt19937 rng = hex_backdrop.rng;
    for (int i = 0; i < 4; ++i) fprintf(out, "%lu\n", static_cast<unsigned long>(rng()));
    fclose(out);
    return 0;
}
