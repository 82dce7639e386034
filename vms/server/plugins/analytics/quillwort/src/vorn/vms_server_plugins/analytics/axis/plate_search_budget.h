// PlateSearchBudget: how much of a server thread's time the licence-plate record searches may take. Each
// search runs synchronously on the thread that delivered the plate's packet, so a camera that answers
// every search slowly, though within its time-out, would hold that thread (and every packet behind it) for
// one search per plate, whether the plates come in one packet or in many. The budget remembers what the
// searches of the last kPlateSearchWindow took, and holds the following searches back when they took too
// much:
//
// - one search that took more than kPlateSearchBudget by itself, whatever the camera answered, or that
//   failed in transport (no response: refused, reset, timed out; or a body that could not be read) holds
//   them back (HoldBack::lastSearchLate);
// - searches that together took more than kPlateSearchBudget of the last kPlateSearchWindow hold them back
//   as well (HoldBack::budgetSpent);
// - a hold-back lasts kPlateSearchHoldBack from the end of the search that started it; the first search
//   after it starts a new window.
//
// A burst of plates thus costs its thread at most kPlateSearchBudget of searches plus the one search that
// goes past it (at most the camera client's time-outs): 8 s for a camera that takes 4 s for each, however
// many plates come. A quick reply of any kind (a record, a bad status, a body that is not XML) holds nothing
// back by itself: a camera that answers quickly is asked for every plate.
//
//     const ScaledClock::time_point start = ScaledClock::now();
//     if (budget.holdBackAt(start) != PlateSearchBudget::HoldBack::none)
//         return std::nullopt; // the plate goes out with its box as best shot
//     const std::optional<QByteArray> body = fetchCameraReply(...);
//     budget.addSearch(start, ScaledClock::now(), failedInTransport);
//
// Times are the ScaledClock's, the clock of the camera client's time-outs. The budget is a plain value
// with no lock of its own: its owner guards it (the processor, with the mutex of the client that makes the
// searches, so that searches never overlap).
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>

#include <vorn/utils/scaled_clock.h>

#include "camera_client.h"

namespace vorn::vms_server_plugins::analytics::axis {

// The span over which the searches' time is summed: one time-out of the camera client, the longest one
// phase of one search may hold the thread.
inline constexpr std::chrono::milliseconds kPlateSearchWindow = kCameraRequestTimeout;
// What the searches may take of each window: a camera that is slow to answer still has plates searched,
// while over time the other packets of the thread keep at least about half of it.
inline constexpr std::chrono::milliseconds kPlateSearchBudget = kPlateSearchWindow / 2;
// How long the searches stay held back once they took too much.
inline constexpr std::chrono::milliseconds kPlateSearchHoldBack = kCameraRequestTimeout;
// The grain of the bookkeeping: the window is kept as slots of this length, each with the time the searches
// took in it, so that it takes the same memory whatever the number of plates. The slot in which the window
// starts counts in full: the time in the window is never understated, and overstated by at most one slot.
inline constexpr std::chrono::milliseconds kPlateSearchSlot{100};

class PlateSearchBudget
{
public:
    using TimePoint = vorn::utils::ScaledClock::time_point;
    using Duration = vorn::utils::ScaledClock::duration;

    enum class HoldBack {
        none,           //< a search may go ahead
        lastSearchLate, //< one search was slow or failed in transport
        budgetSpent,    //< the searches of the window took more than the budget together
    };

    /** Whether a search that would start at `now` is held back, and why. */
    HoldBack holdBackAt(TimePoint now) const;

    /** A search ran from `start` to `end`; `failedInTransport`: it got no response, or its body was lost. */
    void addSearch(TimePoint start, TimePoint end, bool failedInTransport);

private:
    // Every slot that a window touches, so that one window never needs a slot twice.
    static constexpr std::size_t kSlotCount = static_cast<std::size_t>(kPlateSearchWindow / kPlateSearchSlot) + 1;

    struct Slot
    {
        std::int64_t index = 0; //< which kPlateSearchSlot of the clock this is
        Duration took{0};       //< what the searches took in it
    };

    Slot& slotFor(std::int64_t index);
    Duration tookInWindowEndingAt(TimePoint end) const;
    void startHoldBack(TimePoint from, HoldBack why);
    void clearSlots();

    std::array<Slot, kSlotCount> m_slots; //< slot i of the clock at i mod kSlotCount; others are stale
    std::optional<TimePoint> m_heldBackFrom;
    HoldBack m_holdBack = HoldBack::none;
};

} // namespace vorn::vms_server_plugins::analytics::axis
