// vorn::testing::waitUntil: waits for a condition with a deadline, never for a fixed time.
//
//     ASSERT_TRUE(vorn::testing::waitUntil([&] { return calls == 3; }));
#pragma once

#include <chrono>
#include <functional>
#include <thread>

namespace vorn::testing {

// Long enough for what takes milliseconds on a quiet machine to happen on a loaded one.
inline constexpr std::chrono::milliseconds kWaitDeadline{10000};

// Polls the condition until it holds (true) or the limit has passed (false).
inline bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit = kWaitDeadline)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}

} // namespace vorn::testing
