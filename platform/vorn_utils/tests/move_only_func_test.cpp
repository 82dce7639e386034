#include <vorn/utils/move_only_func.h>

#include <array>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

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

// The same lifetime rules whether the callable lives inside the holder or on the heap: a capture
// bigger than the inline room sends the callable to the heap.
template <std::size_t PaddingBytes>
struct Owner
{
    explicit Owner(std::shared_ptr<int> owned)
        : tracker(std::move(owned))
    {
        ++live;
    }
    Owner(Owner&& other) noexcept
        : tracker(std::move(other.tracker))
        , padding(other.padding)
    {
        ++live;
    }
    Owner(const Owner&) = delete;
    ~Owner() { --live; }

    int operator()() const { return *tracker + static_cast<int>(padding.size()); }

    static inline int live = 0; //< Objects of the type alive now, moved-from ones included.
    std::shared_ptr<int> tracker;
    std::array<char, PaddingBytes> padding{};
};

template <typename Callable>
class MoveOnlyFuncStorage : public ::testing::Test
{
};

using Storages = ::testing::Types<Owner<1>, Owner<MoveOnlyFunc<int()>::kInlineSize>>;
TYPED_TEST_SUITE(MoveOnlyFuncStorage, Storages);

TYPED_TEST(MoveOnlyFuncStorage, MovesSwapsAndDestroysTheCallableOnce)
{
    auto tracker = std::make_shared<int>(40);
    const std::weak_ptr<int> watch = tracker;
    const int expected = TypeParam{tracker}();
    {
        MoveOnlyFunc<int()> func = TypeParam{std::move(tracker)};
        EXPECT_EQ(watch.use_count(), 1);
        EXPECT_EQ(TypeParam::live, 1);
        MoveOnlyFunc<int()> moved = std::move(func);
        EXPECT_FALSE(func);
        EXPECT_EQ(TypeParam::live, 1);
        EXPECT_EQ(moved(), expected);

        MoveOnlyFunc<int()> other = [] { return 1; };
        moved.swap(other);
        EXPECT_EQ(moved(), 1);
        EXPECT_EQ(other(), expected);
        EXPECT_EQ(watch.use_count(), 1);
        EXPECT_EQ(TypeParam::live, 1);

        moved = std::move(other);          // Drops the small lambda, takes the owner back.
        MoveOnlyFunc<int()>& self = moved; // Through a reference, as a container's element move would.
        moved = std::move(self);           // Keeps it.
        EXPECT_EQ(moved(), expected);
        EXPECT_EQ(watch.use_count(), 1);

        MoveOnlyFunc<int()> emptied = std::move(moved);
        emptied = nullptr;
        EXPECT_TRUE(watch.expired());
        EXPECT_EQ(TypeParam::live, 0);
    }
}

// A handler that may re-arm the holder it is kept in (a read handler that starts the next read) is moved
// out first and called from there, as every holder of a handler does; it then finds its holder empty and
// arms it anew, while what it captured stays its own until its call returns. Captures that a move leaves
// empty (a vector, a unique_ptr) show a callable that was moved or destroyed under its own call: the
// vector reads as empty, the unique_ptr as null. One row for each storage of the callable.
constexpr int kNext = -1; //< What a handler that re-arms its holder leaves there.

void reArm(MoveOnlyFunc<int()>& holder)
{
    holder = [] { return kNext; };
}

template <typename F>
MoveOnlyFunc<int()> keptInside(F func)
{
    static_assert(sizeof(F) <= MoveOnlyFunc<int()>::kInlineSize, "meant for the room inside the holder");
    return func;
}

template <typename F>
MoveOnlyFunc<int()> keptOnTheHeap(F func)
{
    static_assert(sizeof(F) > MoveOnlyFunc<int()>::kInlineSize, "meant for the heap");
    return func;
}

TEST(MoveOnlyFunc, HandlerMovedOutFirstMayReArmItsHolder)
{
    using Func = MoveOnlyFunc<int()>;
    const struct
    {
        const char* name;
        std::function<Func(Func& holder)> make;
    } rows[] = {
        {"vector inside the holder",
         [](Func& holder) {
             return keptInside([&holder, values = std::vector<int>(64)] {
                 reArm(holder);
                 return static_cast<int>(values.size());
             });
         }},
        {"unique_ptr inside the holder",
         [](Func& holder) {
             return keptInside([&holder, owned = std::make_unique<int>(64)] {
                 reArm(holder);
                 return *owned;
             });
         }},
        {"vector and unique_ptr on the heap",
         [](Func& holder) {
             return keptOnTheHeap([&holder, values = std::vector<int>(32), owned = std::make_unique<int>(32)] {
                 reArm(holder);
                 return static_cast<int>(values.size()) + *owned;
             });
         }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Func holder;
        holder = row.make(holder);
        Func handler = std::move(holder);
        ASSERT_FALSE(holder);
        EXPECT_EQ(handler(), 64);
        ASSERT_TRUE(holder);
        EXPECT_EQ(holder(), kNext);
    }
}

} // namespace
} // namespace vorn::utils
