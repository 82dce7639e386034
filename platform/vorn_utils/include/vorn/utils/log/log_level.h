// vorn::utils::log::Level and the process-wide maximum level.
//
// Levels are signed 32-bit numbers; a larger number is more detailed. Messages use 1 to 6. A message
// of level N is wanted only while maxLevel() >= N, so the log statements compare first and build
// nothing otherwise. Level::none as the maximum turns logging off.
#pragma once

#include <cstdint>

namespace vorn::utils::log {

enum class Level : std::int32_t {
    none = 0,
    always = 1,
    error = 2,
    warning = 3,
    info = 4,
    debug = 5,
    verbose = 6,
};

// The environment variable that gives every library instance its starting level (a digit 0 to 6).
inline constexpr char kMaxLevelVariable[] = "VORN_LOG_LEVEL";

// The most detailed level wanted in this library instance; until set, the level of kMaxLevelVariable
// as read at the first call, or Level::info.
Level maxLevel();
void setMaxLevel(Level level);

namespace detail {

// The starting level that a text of kMaxLevelVariable asks for: one digit from 0 to 6. Anything else,
// and no text at all, gives Level::info.
Level maxLevelFromText(const char* text);

} // namespace detail

} // namespace vorn::utils::log
