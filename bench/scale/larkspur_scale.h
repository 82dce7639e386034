// The larkspur rows of the scale benchmark: Zodivadad cameras without licence-plate recognition, each
// with its video-analytics push channel live, and people-counting pushes whose "in" count carries the
// push's number to the server's receiver.
//
//     for (ScaleScenario& scenario: larkspurScenarios(/*smoke*/ false)) ... runScaleScenario(scenario) ...
#pragma once

#include <vector>

#include "scale_scenario.h"

namespace vorn::bench::scale {

/** 1, 100 and 1000 agents at 10 000 events/s; in a smoke run a few agents and a short, slow push. */
std::vector<ScaleScenario> larkspurScenarios(bool smoke);

} // namespace vorn::bench::scale
