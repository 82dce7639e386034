// Making, writing and reading track identifiers (Uuid).
//
//     const Uuid trackId = makeRandomUuid();                         // one per new track
//     formatUuid(trackId, kUuidHyphens | kUuidBraces);               // "{0f8e...-...}"
//     parseUuid("{0f8e...}") == trackId;                             // null Uuid when not an identifier
#pragma once

#include <cstdint>
#include <string>

#include <vorn/sdk/uuid.h>

namespace vorn::sdk {

/** Flags of formatUuid(), combinable. */
inline constexpr int32_t kUuidUpperCase = 1;
inline constexpr int32_t kUuidHyphens = 2; //< Groups of 8-4-4-4-12 digits.
inline constexpr int32_t kUuidBraces = 4;

/**
 * A random version-4, variant-1 identifier. All threads of the library draw from one generator, seeded
 * once, under a mutex.
 */
Uuid makeRandomUuid();

/** 32 hexadecimal digits in byte order, with hyphens and braces as the flags ask. */
std::string formatUuid(const Uuid& id, int32_t flags);

/**
 * The identifier written in text, or the null identifier when the text is not one: exactly 16 pairs of
 * hexadecimal digits, with any number of tabs, line breaks, spaces, hyphens and braces around or
 * between the pairs. Accepts every output of formatUuid().
 */
Uuid parseUuid(const std::string& text);

} // namespace vorn::sdk
