// The budget of the plate searches, on times the test makes: what holds the searches back, for how long, and
// that many searches over many windows are counted as what they took.
#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include <vorn/vms_server_plugins/analytics/axis/plate_search_budget.h>

namespace quillwort_test {
namespace {

namespace axis = vorn::vms_server_plugins::analytics::axis;
using axis::PlateSearchBudget;
using HoldBack = PlateSearchBudget::HoldBack;
using std::chrono::microseconds;
using std::chrono::milliseconds;
using std::chrono::nanoseconds;

// Some moment of the clock, off the grain of the budget's slots.
const PlateSearchBudget::TimePoint kStart{std::chrono::hours(1000) + milliseconds(37) + nanoseconds(5)};

TEST(AxisPlateSearchBudget, WhatHoldsTheSearchesBack)
{
    struct Row
    {
        const char* name;
        nanoseconds took; //< each search
        nanoseconds gap;  //< from the end of one search to the start of the next
        int searches;     //< at most this many, while the searches are not held back
        bool failsInTransport;
        int searched;
        HoldBack after; //< at the end of the last search
    };
    const Row rows[] = {
        {"a quick search", milliseconds(100), {}, 1, false, 1, HoldBack::none},
        {"one search at the budget", milliseconds(5000), {}, 1, false, 1, HoldBack::none},
        {"one search past it", milliseconds(5000) + nanoseconds(1), {}, 1, false, 1, HoldBack::lastSearchLate},
        {"a quick search that failed in transport", milliseconds(1), {}, 1, true, 1, HoldBack::lastSearchLate},
        {"4 s searches one after another", milliseconds(4000), {}, 20, false, 2, HoldBack::budgetSpent},
        {"2.5 s searches, at the budget", milliseconds(2500), {}, 20, false, 3, HoldBack::budgetSpent},
        {"2.5 s searches past it", milliseconds(2500) + nanoseconds(1), {}, 20, false, 2, HoldBack::budgetSpent},
        {"12 500 searches of 400 us, at the budget", microseconds(400), {}, 12'500, false, 12'500, HoldBack::none},
        {"one more", microseconds(400), {}, 12'501, false, 12'501, HoldBack::budgetSpent},
        // What left the window no longer counts: a search that ended as the window starts, searches long
        // past, many windows of many searches.
        {"4 s searches 6 s apart", milliseconds(4000), milliseconds(6000), 20, false, 20, HoldBack::none},
        {"4 s searches 11 s apart", milliseconds(4000), milliseconds(11'000), 20, false, 20, HoldBack::none},
        {"45% of 100 s", milliseconds(1), microseconds(1222), 45'000, false, 45'000, HoldBack::none},
        {"55% of the time", milliseconds(1), microseconds(818), 45'000, false, 5'001, HoldBack::budgetSpent},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        PlateSearchBudget budget;
        PlateSearchBudget::TimePoint now = kStart;
        int searched = 0;
        for (; searched < row.searches && budget.holdBackAt(now) == HoldBack::none; ++searched) {
            budget.addSearch(now, now + row.took, row.failsInTransport);
            now += row.took + row.gap;
        }
        EXPECT_EQ(searched, row.searched);
        EXPECT_EQ(budget.holdBackAt(now - row.gap), row.after);
    }
}

// Whatever started it, a hold-back lasts one time-out from the end of the search that started it; then the
// searches go ahead again.
TEST(AxisPlateSearchBudget, HoldBackLastsOneTimeOut)
{
    struct Row
    {
        const char* name;
        std::vector<milliseconds> searches; //< one after another
        bool failsInTransport;
        HoldBack holdBack;
    };
    const Row rows[] = {
        {"slow search", {milliseconds(6000)}, false, HoldBack::lastSearchLate},
        {"failed search", {milliseconds(10)}, true, HoldBack::lastSearchLate},
        {"budget spent", {milliseconds(3000), milliseconds(3000)}, false, HoldBack::budgetSpent},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        PlateSearchBudget budget;
        PlateSearchBudget::TimePoint end = kStart;
        for (const milliseconds took : row.searches) {
            budget.addSearch(end, end + took, row.failsInTransport);
            end += took;
        }
        EXPECT_EQ(budget.holdBackAt(end), row.holdBack);
        EXPECT_EQ(budget.holdBackAt(end + axis::kPlateSearchHoldBack - nanoseconds(1)), row.holdBack);
        EXPECT_EQ(budget.holdBackAt(end + axis::kPlateSearchHoldBack), HoldBack::none);

        // The next search starts a window of its own: a quick one lets the following ones go ahead.
        const PlateSearchBudget::TimePoint next = end + axis::kPlateSearchHoldBack;
        budget.addSearch(next, next + milliseconds(4000), false);
        EXPECT_EQ(budget.holdBackAt(next + milliseconds(4000)), HoldBack::none);
    }
}

} // namespace
} // namespace quillwort_test
