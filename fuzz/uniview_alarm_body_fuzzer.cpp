// An alarm that a Uniview camera pushes to hornbeam's receiver (AlarmProcessor::process): a JSON body,
// looked up among the manifest's triggers and turned into an event packet.
//
// Input: byte 0 bit 0 answers failed assertions; the rest is the body.
#include <cstddef>
#include <cstdint>

#include <vorn/vms_server_plugins/analytics/uniview/alarm_processor.h>

#include "fuzz_support.h"
#include "uniview_agent.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    vorn::fuzz::FuzzInput input(data, size);
    vorn::fuzz::prepare(/*assertionAnswer*/ input.takeBool());
    vorn::fuzz::UniviewAgent& agent = vorn::fuzz::univiewAgent();
    vorn::vms_server_plugins::analytics::uniview::AlarmProcessor(agent.agent).process(input.rest());
    return 0;
}
