// SPDX-License-Identifier: GPL-3.0-or-later
// Runs saved inputs through a fuzz target without the fuzzing engine, so that the corpus kept with the sources is
// replayed by every test run, under whatever compiler and sanitizers the build uses.

#include "fuzztarget.h"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <vector>

namespace {

int replay(const std::filesystem::path& file)
{
    std::ifstream stream(file, std::ios::binary);
    if (!stream) {
        std::cerr << "cannot read " << file << '\n';
        return 1;
    }
    const std::vector<char> bytes((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    int failures = 0;
    int inputs = 0;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path path(argv[i]);
        if (std::filesystem::is_directory(path)) {
            for (const auto& entry : std::filesystem::directory_iterator(path)) {
                if (entry.is_regular_file()) {
                    failures += replay(entry.path());
                    ++inputs;
                }
            }
        } else {
            failures += replay(path);
            ++inputs;
        }
    }
    std::cout << "replayed " << inputs << " inputs\n";
    // An empty corpus would make the replay prove nothing.
    return failures == 0 && inputs > 0 ? 0 : 1;
}
