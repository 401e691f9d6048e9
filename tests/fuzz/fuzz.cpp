#include "fuzz.h"

#include <cstdio>
#include <cstdlib>

namespace fuzz {

uint64_t case_seed(const char* test, int index) {
    uint64_t seed = base_seed;
    if (const char* text = std::getenv("VARNIS_FUZZ_SEED")) seed = std::strtoull(text, nullptr, 10);
    for (const char* c = test; *c; ++c) seed = (seed ^ static_cast<unsigned char>(*c)) * 0x100000001b3ull;
    return (seed ^ static_cast<uint64_t>(index)) * 0x9e3779b97f4a7c15ull;
}

std::string shrink(std::string input, const std::function<bool(const std::string&)>& fails) {
    int attempts = 0;
    for (size_t chunk = input.size() / 2; chunk >= 1 && attempts < shrink_attempts; chunk /= 2) {
        for (size_t at = 0; at + chunk <= input.size() && attempts < shrink_attempts; ++attempts) {
            std::string smaller = input.substr(0, at) + input.substr(at + chunk);
            if (fails(smaller)) input = std::move(smaller);
            else at += chunk;
        }
    }
    return input;
}

std::string show(const std::string& bytes) {
    std::string out = "\"";
    for (size_t i = 0; i < bytes.size();) {
        size_t run = 1;
        while (i + run < bytes.size() && bytes[i + run] == bytes[i]) ++run;
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        char piece[16];
        if (c == '\n') snprintf(piece, sizeof piece, "\\n");
        else if (c == '\r') snprintf(piece, sizeof piece, "\\r");
        else if (c == '\\' || c == '"') snprintf(piece, sizeof piece, "\\%c", c);
        else if (c < 32 || c >= 127) snprintf(piece, sizeof piece, "\\x%02x", c);
        else snprintf(piece, sizeof piece, "%c", c);
        if (run > 8) {
            out += std::string("\" + ") + std::to_string(run) + " x \"" + piece + "\" + \"";
            i += run;
        } else {
            out += piece;
            ++i;
        }
    }
    return out + "\" (" + std::to_string(bytes.size()) + " bytes)";
}

// The value of the last line of `text` whose key is `key`, by the reading rules.
bool last_value(const std::string& text, const std::string& key, std::string& value) {
    bool found = false;
    for (size_t pos = 0; pos < text.size();) {
        size_t feed = text.find('\n', pos);
        if (feed == std::string::npos) feed = text.size();
        std::string line = text.substr(pos, feed - pos);
        pos = feed + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const size_t eq = line.find('=');
        if (eq == std::string::npos || line.substr(0, eq) != key) continue;
        value = line.substr(eq + 1);
        found = true;
    }
    return found;
}

}  // namespace fuzz
