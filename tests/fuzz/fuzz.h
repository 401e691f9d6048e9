#pragma once
// Shared pieces of the fuzz tests: the seeds and case counts, a small generator, and a shrink loop
// that turns a failing input into the smallest one that still fails.
#include <cstdint>
#include <functional>
#include <string>

namespace fuzz {

// Every seed and count of the fuzz tests. VARNIS_FUZZ_SEED (decimal) replaces the base seed.
inline constexpr uint64_t base_seed = 20261210;
inline constexpr int worker_streams = 160;
inline constexpr int settings_files = 400;
inline constexpr int ready_files = 200;
inline constexpr int disc_images = 120;
inline constexpr int shrink_attempts = 1500;

// The seed of case `index` of the test called `test`; printed with every failure.
uint64_t case_seed(const char* test, int index);

struct Rng {
    uint64_t state;
    explicit Rng(uint64_t seed) : state(seed ? seed : 1) {}
    uint64_t next() {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    }
    size_t below(size_t n) { return n ? static_cast<size_t>(next() % n) : 0; }
    bool chance(int percent) { return below(100) < static_cast<size_t>(percent); }
    char byte() { return static_cast<char>(next() >> 56); }
};

// Drops ever smaller pieces of `input` while `fails` still holds; at most shrink_attempts tries.
std::string shrink(std::string input, const std::function<bool(const std::string&)>& fails);
// Bytes as C-like escaped text, long runs of one byte folded, for a failure message.
std::string show(const std::string& bytes);

// The value of the last line of `text` whose key is `key`, by the reading rules (a model written
// from the description of settings.ini and ready.txt, not from the launcher's reader).
bool last_value(const std::string& text, const std::string& key, std::string& value);

}  // namespace fuzz
