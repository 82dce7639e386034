// main() of the corpus replay programs: feeds every file named on the command line, or found in a
// folder named there, to the fuzz target's LLVMFuzzerTestOneInput, one at a time, in name order, as the
// libFuzzer program would. A crash or sanitizer report ends the program with a failure; otherwise it
// prints how many inputs ran. CTest runs one per target over its corpus, so a fixed crash stays fixed.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

namespace {

bool readFile(const std::filesystem::path& path, std::vector<std::uint8_t>* bytes)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return false;
    bytes->assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return !file.bad();
}

} // namespace

int main(int argc, char** argv)
{
    if (LLVMFuzzerInitialize)
        LLVMFuzzerInitialize(&argc, &argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FILE_OR_FOLDER...\n", argv[0]);
        return 2;
    }

    std::vector<std::filesystem::path> inputs;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path path(argv[i]);
        std::error_code error;
        if (std::filesystem::is_directory(path, error)) {
            for (const auto& entry : std::filesystem::directory_iterator(path, error)) {
                if (entry.is_regular_file())
                    inputs.push_back(entry.path());
            }
        } else if (std::filesystem::is_regular_file(path, error)) {
            inputs.push_back(path);
        }
        if (error) {
            std::fprintf(stderr, "%s: %s\n", argv[i], error.message().c_str());
            return 2;
        }
    }
    std::sort(inputs.begin(), inputs.end());
    if (inputs.empty()) {
        std::fprintf(stderr, "no inputs found\n");
        return 2;
    }

    std::vector<std::uint8_t> bytes;
    for (const auto& input : inputs) {
        if (!readFile(input, &bytes)) {
            std::fprintf(stderr, "cannot read %s\n", input.c_str());
            return 2;
        }
        // Announced first, so that the input of a crash is the last line printed.
        std::fprintf(stderr, "running %s (%zu bytes)\n", input.c_str(), bytes.size());
        // libFuzzer hands over a buffer of exactly the input's size; so does this, so that a read past
        // the end hits the sanitizers' redzone in both.
        std::vector<std::uint8_t> exact(bytes.begin(), bytes.end());
        LLVMFuzzerTestOneInput(exact.data(), exact.size());
    }
    std::printf("%zu inputs ran\n", inputs.size());
    return 0;
}
