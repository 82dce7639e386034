// Structured data that a Uniview camera pushes to hornbeam's receiver (StructureProcessor::process): the
// JSON body with its objects of four kinds and their Base64 pictures, turned into object packets and best
// shots, with the tracks kept across pushes.
//
// Input: byte 0 bit 0 answers failed assertions; the rest is the body.
//
// Beyond "no crash": every packet's objects lie inside the frame or have no box.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include <vorn/sdk/analytics/helpers/object_metadata_packet.h>
#include <vorn/vms_server_plugins/analytics/uniview/structure_processor.h>

#include "fuzz_support.h"
#include "uniview_agent.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    namespace uniview = vorn::vms_server_plugins::analytics::uniview;
    vorn::fuzz::FuzzInput input(data, size);
    vorn::fuzz::prepare(/*assertionAnswer*/ input.takeBool());
    static uniview::StructureProcessor processor(vorn::fuzz::univiewAgent().agent);
    const uniview::MetadataPackets packets = processor.process(input.rest());
    for (const auto& packet : packets) {
        if (!packet)
            std::abort();
        vorn::fuzz::univiewAgent().receiver->receiveMetadata(packet.get());
    }
    return 0;
}
