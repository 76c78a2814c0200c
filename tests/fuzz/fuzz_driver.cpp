// A stand-in for libFuzzer's main where it is not available (g++, MinGW):
// feeds the target seeded random inputs of random length.
//
//   movix_boundary_fuzz [-runs=N] [-seconds=S] [-seed=K] [-max_len=L]
//
// Stops after N inputs or S seconds, whichever comes first (defaults: 100000
// inputs, no time limit, seed 1, inputs of up to 64 bytes), and prints how
// many inputs it ran. A failing input aborts inside the target.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

bool Option(const char* arg, const char* name, unsigned long long& value) {
    const std::size_t n = std::strlen(name);
    if (std::strncmp(arg, name, n) != 0)
        return false;
    char* end = nullptr;
    value = std::strtoull(arg + n, &end, 10);
    return end && *end == '\0' && end != arg + n;
}

}  // namespace

int main(int argc, char** argv) {
    unsigned long long runs = 100000, seconds = 0, seed = 1, maxLen = 64;
    for (int i = 1; i < argc; ++i) {
        if (!Option(argv[i], "-runs=", runs) && !Option(argv[i], "-seconds=", seconds) &&
            !Option(argv[i], "-seed=", seed) && !Option(argv[i], "-max_len=", maxLen)) {
            std::fprintf(stderr, "unknown argument: %s\n", argv[i]);
            return 2;
        }
    }
    std::mt19937_64 random(seed);
    std::vector<std::uint8_t> input;
    const auto start = std::chrono::steady_clock::now();
    unsigned long long done = 0;
    for (; done < runs; ++done) {
        if (seconds && (done & 1023) == 0 && std::chrono::steady_clock::now() - start >= std::chrono::seconds(seconds))
            break;
        input.resize(static_cast<std::size_t>(random() % (maxLen + 1)));
        for (std::uint8_t& b : input)
            b = static_cast<std::uint8_t>(random());
        LLVMFuzzerTestOneInput(input.data(), input.size());
    }
    std::printf("%s: %llu executions (seed %llu)\n", argv[0], done, seed);
    return 0;
}
