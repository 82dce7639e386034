#include "plate_search_budget.h"

#include <algorithm>

namespace vorn::vms_server_plugins::analytics::axis {

namespace {

using Duration = PlateSearchBudget::Duration;
using TimePoint = PlateSearchBudget::TimePoint;

static_assert((kPlateSearchWindow % kPlateSearchSlot).count() == 0, "a window is a whole number of slots");

constexpr Duration kSlot = kPlateSearchSlot;

// The slot that holds `time`; rounds down for times before the clock's epoch too.
std::int64_t slotOf(TimePoint time)
{
    const std::int64_t since = time.time_since_epoch().count();
    return since / kSlot.count() - (since % kSlot.count() < 0 ? 1 : 0);
}

TimePoint slotStart(std::int64_t slot)
{
    return TimePoint(slot * kSlot);
}

} // namespace

PlateSearchBudget::HoldBack PlateSearchBudget::holdBackAt(TimePoint now) const
{
    if (m_heldBackFrom && now - *m_heldBackFrom < kPlateSearchHoldBack)
        return m_holdBack;
    return HoldBack::none;
}

void PlateSearchBudget::addSearch(TimePoint start, TimePoint end, bool failedInTransport)
{
    const Duration took = std::max(end - start, Duration::zero());
    // Only what lies in the window of this search's end can ever count: a search longer than the window
    // touches no more slots than the window has.
    const TimePoint from = std::max(start, end - kPlateSearchWindow);
    for (std::int64_t slot = slotOf(from); from < end && slot <= slotOf(end); ++slot) {
        const Duration inSlot = std::min(end, slotStart(slot) + kSlot) - std::max(from, slotStart(slot));
        if (inSlot > Duration::zero())
            slotFor(slot).took += inSlot;
    }

    if (failedInTransport || took > kPlateSearchBudget)
        startHoldBack(end, HoldBack::lastSearchLate);
    else if (tookInWindowEndingAt(end) > kPlateSearchBudget)
        startHoldBack(end, HoldBack::budgetSpent);
    else
        m_heldBackFrom.reset();
}

PlateSearchBudget::Slot& PlateSearchBudget::slotFor(std::int64_t index)
{
    const auto count = static_cast<std::int64_t>(kSlotCount);
    Slot& slot = m_slots[static_cast<std::size_t>((index % count + count) % count)];
    if (slot.index != index)
        slot = Slot{index, Duration::zero()}; // what it held is older than any window that reaches it now
    return slot;
}

PlateSearchBudget::Duration PlateSearchBudget::tookInWindowEndingAt(TimePoint end) const
{
    const std::int64_t first = slotOf(end - kPlateSearchWindow);
    const std::int64_t last = slotOf(end);
    Duration sum = Duration::zero();
    for (const Slot& slot : m_slots) {
        if (slot.index >= first && slot.index <= last)
            sum += slot.took;
    }
    return sum;
}

void PlateSearchBudget::startHoldBack(TimePoint from, HoldBack why)
{
    m_heldBackFrom = from;
    m_holdBack = why;
    // Nothing of this window counts after the hold-back: the first search after it decides afresh.
    clearSlots();
}

void PlateSearchBudget::clearSlots()
{
    m_slots.fill(Slot{});
}

} // namespace vorn::vms_server_plugins::analytics::axis
