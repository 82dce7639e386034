#include <vorn/utils/base64.h>

#include <array>

namespace vorn::utils {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::uint8_t kInvalid = 0xFF;
constexpr std::uint8_t kSkip = 0xFE;
constexpr std::uint8_t kPad = 0xFD;

constexpr std::array<std::uint8_t, 256> makeDecodeTable()
{
    std::array<std::uint8_t, 256> table{};
    for (auto& value : table)
        value = kInvalid;
    for (std::uint8_t i = 0; i < 64; ++i)
        table[static_cast<unsigned char>(kAlphabet[i])] = i;
    table[' '] = kSkip;
    table['\t'] = kSkip;
    table['\r'] = kSkip;
    table['\n'] = kSkip;
    table['='] = kPad;
    return table;
}

constexpr std::array<std::uint8_t, 256> kDecode = makeDecodeTable();

// Decodes in one pass; writes only when `output` is set. -1 on invalid text.
std::int64_t decode(std::string_view text, char* output)
{
    std::int64_t written = 0;
    std::uint32_t bits = 0;
    int pending = 0; //< Characters in `bits` (0..3).
    int padding = 0;
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* const end = p + text.size();

    // The fast loop: four alphabet characters at a time, which is nearly all of a picture.
    if (output) {
        while (end - p >= 4) {
            const std::uint32_t a = kDecode[p[0]], b = kDecode[p[1]], c = kDecode[p[2]], d = kDecode[p[3]];
            if ((a | b | c | d) >= 64)
                break;
            const std::uint32_t group = a << 18 | b << 12 | c << 6 | d;
            output[written] = static_cast<char>(group >> 16);
            output[written + 1] = static_cast<char>(group >> 8);
            output[written + 2] = static_cast<char>(group);
            written += 3;
            p += 4;
        }
    }

    for (; p != end; ++p) {
        const std::uint8_t value = kDecode[*p];
        if (value == kSkip)
            continue;
        if (value == kInvalid)
            return -1;
        if (value == kPad) {
            ++padding;
            continue;
        }
        if (padding != 0)
            return -1; // data after padding
        bits = bits << 6 | value;
        if (++pending == 4) {
            if (output) {
                output[written] = static_cast<char>(bits >> 16);
                output[written + 1] = static_cast<char>(bits >> 8);
                output[written + 2] = static_cast<char>(bits);
            }
            written += 3;
            bits = 0;
            pending = 0;
        }
    }
    if (pending == 1 || padding > 2 || (padding != 0 && pending + padding != 4))
        return -1;
    if (pending == 2) {
        if (output)
            output[written] = static_cast<char>(bits >> 4);
        written += 1;
    } else if (pending == 3) {
        if (output) {
            output[written] = static_cast<char>(bits >> 10);
            output[written + 1] = static_cast<char>(bits >> 2);
        }
        written += 2;
    }
    return written;
}

} // namespace

std::int64_t fromBase64(std::string_view text, char* output)
{
    // Without an output buffer the size is counted by the same pass, so the two calls agree exactly.
    return decode(text, output);
}

std::string toBase64(std::string_view bytes)
{
    std::string text;
    text.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    const auto byte = [&](std::size_t index) {
        return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[index]));
    };
    for (; i + 3 <= bytes.size(); i += 3) {
        const std::uint32_t group = byte(i) << 16 | byte(i + 1) << 8 | byte(i + 2);
        text += kAlphabet[group >> 18 & 63];
        text += kAlphabet[group >> 12 & 63];
        text += kAlphabet[group >> 6 & 63];
        text += kAlphabet[group & 63];
    }
    if (bytes.size() - i == 1) {
        const std::uint32_t group = byte(i) << 16;
        text += kAlphabet[group >> 18 & 63];
        text += kAlphabet[group >> 12 & 63];
        text += "==";
    } else if (bytes.size() - i == 2) {
        const std::uint32_t group = byte(i) << 16 | byte(i + 1) << 8;
        text += kAlphabet[group >> 18 & 63];
        text += kAlphabet[group >> 12 & 63];
        text += kAlphabet[group >> 6 & 63];
        text += '=';
    }
    return text;
}

} // namespace vorn::utils
