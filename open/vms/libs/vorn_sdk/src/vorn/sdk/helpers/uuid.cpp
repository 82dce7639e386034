#include "uuid.h"

#include <limits>
#include <mutex>
#include <random>

namespace vorn::sdk {

namespace {

constexpr size_t kUuidSize = 16;
constexpr size_t kUuidDigitCount = 2 * kUuidSize;

struct RandomSource
{
    std::mutex mutex; //< Guards engine and distribution.
    std::mt19937_64 engine{std::random_device()()};
    std::uniform_int_distribution<uint64_t> distribution{0, std::numeric_limits<uint64_t>::max()};
};

void putLittleEndian(uint64_t value, uint8_t* bytes)
{
    for (size_t i = 0; i < sizeof(value); ++i)
        bytes[i] = static_cast<uint8_t>(value >> (8 * i));
}

// Only ASCII hexadecimal digits; the runtime's number parsers would also take signs, spaces and "0x".
int hexDigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool isSkipped(char c)
{
    switch (c) {
    case '\t':
    case '\n':
    case '\r':
    case ' ':
    case '-':
    case '{':
    case '}':
        return true;
    default:
        return false;
    }
}

} // namespace

Uuid makeRandomUuid()
{
    static RandomSource source;

    uint64_t first = 0;
    uint64_t second = 0;
    {
        const std::lock_guard lock(source.mutex);
        first = source.distribution(source.engine);
        second = source.distribution(source.engine);
    }

    Uuid id;
    putLittleEndian(first, id.bytes.data());
    putLittleEndian(second, id.bytes.data() + 8);
    id.bytes[6] = static_cast<uint8_t>((id.bytes[6] & 0x0F) | 0x40); //< Version 4.
    id.bytes[8] = static_cast<uint8_t>((id.bytes[8] & 0x3F) | 0x80); //< Variant bits 10.
    return id;
}

std::string formatUuid(const Uuid& id, int32_t flags)
{
    const char* digits = (flags & kUuidUpperCase) ? "0123456789ABCDEF" : "0123456789abcdef";
    std::string text;
    text.reserve(kUuidDigitCount + 6);
    if (flags & kUuidBraces)
        text += '{';
    for (size_t i = 0; i < kUuidSize; ++i) {
        text += digits[id.bytes[i] >> 4];
        text += digits[id.bytes[i] & 0x0F];
        if ((flags & kUuidHyphens) && (i == 3 || i == 5 || i == 7 || i == 9))
            text += '-';
    }
    if (flags & kUuidBraces)
        text += '}';
    return text;
}

Uuid parseUuid(const std::string& text)
{
    if (text.size() < kUuidDigitCount)
        return {};

    Uuid id;
    size_t byteCount = 0;
    int pendingDigit = -1; //< The first digit of a pair, or -1.
    for (const char c : text) {
        if (isSkipped(c))
            continue;
        if (byteCount == kUuidSize)
            return {};
        const int value = hexDigitValue(c);
        if (value < 0)
            return {};
        if (pendingDigit < 0) {
            pendingDigit = value;
            continue;
        }
        id.bytes[byteCount++] = static_cast<uint8_t>(pendingDigit * 16 + value);
        pendingDigit = -1;
    }
    if (byteCount != kUuidSize || pendingDigit >= 0)
        return {};
    return id;
}

} // namespace vorn::sdk
