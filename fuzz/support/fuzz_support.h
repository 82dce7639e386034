// What every fuzz target shares: the set-up that makes the code under test run its log statements and
// assertion reports without writing them, and a reader that splits the fuzzer's bytes into the choices
// and the data of one run.
//
// Each target defines LLVMFuzzerTestOneInput and calls prepare() first:
//
//     extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
//     {
//         vorn::fuzz::FuzzInput input(data, size);
//         vorn::fuzz::prepare(/*assertionAnswer*/ input.takeBool());
//         parseSomething(input.rest());
//         return 0;
//     }
//
// Log statements run at every level and build their texts (a hostile byte in a message must not break
// the formatter either), but the logger drops them, so a run stays fast and quiet. Failed assertions
// are counted and answered with the run's choice: the code under test must survive both answers,
// since a caller's assertion handler decides whether it goes on after a failed check.
//
// The same sources build the libFuzzer programs (clang, -fsanitize=fuzzer) and the corpus replay
// programs of the normal build (replay_main.cpp), which CTest runs over every corpus file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vorn::fuzz {

/** Installs the silent logger at the most detailed level and the assertion handler; cheap to repeat. */
void prepare(bool assertionAnswer);

/** Assertions reported since the program started. */
std::uint64_t assertionCount();

/** Takes choices from the front of the fuzzer's bytes; the rest is the data of the run. */
class FuzzInput
{
public:
    FuzzInput(const std::uint8_t* data, std::size_t size)
        : m_bytes(reinterpret_cast<const char*>(data), size)
    {}

    /** Bit 0 of the next byte; false when the input is used up. */
    bool takeBool() { return (takeByte() & 1) != 0; }

    /** The next byte, or 0 when the input is used up. */
    std::uint8_t takeByte()
    {
        if (m_bytes.empty())
            return 0;
        const auto byte = static_cast<std::uint8_t>(m_bytes.front());
        m_bytes.remove_prefix(1);
        return byte;
    }

    /** The next two bytes, little-endian, or what is left of them. */
    std::uint16_t takeUint16()
    {
        const std::uint16_t low = takeByte();
        return static_cast<std::uint16_t>(low | (takeByte() << 8));
    }

    /** The bytes not taken yet. */
    std::string_view rest() const { return m_bytes; }

private:
    std::string_view m_bytes;
};

} // namespace vorn::fuzz
