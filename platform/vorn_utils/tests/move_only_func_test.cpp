#include <vorn/utils/move_only_func.h>

#include <functional>
#include <memory>
#include <string>
#include <type_traits>

#include <gtest/gtest.h>

namespace vorn::utils {
namespace {

static_assert(!std::is_copy_constructible_v<MoveOnlyFunc<void()>>);
static_assert(!std::is_copy_assignable_v<MoveOnlyFunc<void()>>);
static_assert(std::is_nothrow_move_constructible_v<MoveOnlyFunc<void()>>);

TEST(MoveOnlyFunc, HoldsMoveOnlyCallablesAndPassesArguments)
{
    auto owned = std::make_unique<std::string>("prefix:");
    MoveOnlyFunc<std::string(const std::string&, int)> func = [owned = std::move(owned)](const std::string& text,
                                                                                         int number) {
        return *owned + text + std::to_string(number);
    };
    EXPECT_EQ(func("x", 7), "prefix:x7");

    MoveOnlyFunc<std::string(const std::string&, int)> moved = std::move(func);
    EXPECT_FALSE(func);
    ASSERT_TRUE(moved);
    EXPECT_EQ(moved("y", 8), "prefix:y8");

    // The callable keeps its own state between calls.
    MoveOnlyFunc<int()> counter = [count = 0]() mutable { return ++count; };
    counter();
    EXPECT_EQ(counter(), 2);

    // Unique ownership of a move-only argument passes through.
    MoveOnlyFunc<int(std::unique_ptr<int>)> take = [](std::unique_ptr<int> value) { return *value; };
    EXPECT_EQ(take(std::make_unique<int>(5)), 5);
}

TEST(MoveOnlyFunc, EmptyHolders)
{
    void (*nullFunction)() = nullptr;
    std::function<void()> emptyStdFunction;
    const MoveOnlyFunc<void()> empties[] = {MoveOnlyFunc<void()>(), MoveOnlyFunc<void()>(nullptr),
                                            MoveOnlyFunc<void()>(nullFunction), MoveOnlyFunc<void()>(emptyStdFunction)};
    for (const auto& empty : empties) {
        EXPECT_FALSE(empty);
        EXPECT_THROW(empty(), std::bad_function_call);
    }

    MoveOnlyFunc<void()> func = [] {};
    func = nullptr;
    EXPECT_FALSE(func);
}

TEST(MoveOnlyFunc, DestroysWhatItOwnsWithIt)
{
    auto tracker = std::make_shared<int>(0);
    std::weak_ptr<int> watch = tracker;
    {
        MoveOnlyFunc<void()> func = [tracker = std::move(tracker)] {};
        MoveOnlyFunc<void()> other = [] {};
        other.swap(func);
        EXPECT_FALSE(watch.expired());
        func = std::move(other); // Drops the empty-capture lambda, takes the owner back.
        EXPECT_FALSE(watch.expired());
    }
    EXPECT_TRUE(watch.expired());
}

} // namespace
} // namespace vorn::utils
