// The hornbeam rows of the scale benchmark: Uniview cameras, each with the agent's event subscription
// live, and motion alarms whose camera time stamp carries the push's number to the server's receiver.
// The cameras push as a camera that opens a connection per event does, and, in a row of its own, over
// a connection they keep open (see HttpPoster): the two differ by what the receiver pays per connection.
//
//     for (ScaleScenario& scenario: hornbeamScenarios(/*smoke*/ false)) ... runScaleScenario(scenario) ...
#pragma once

#include <vector>

#include "scale_scenario.h"

namespace vorn::bench::scale {

/** 100 agents at 10 000 events/s; in a smoke run a few agents and a short, slow push. */
std::vector<ScaleScenario> hornbeamScenarios(bool smoke);

} // namespace vorn::bench::scale
