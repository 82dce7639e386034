// H.264 Annex-B scanning and SEI reading (vorn_vms_common): the bytes of a video packet that the server
// passes on from a camera, walked unit by unit as the SEI reading does on every packet.
//
// Input: the packet's bytes as they are.
//
// Beyond "no crash": every unit found starts right after a start code inside the packet, and every
// listed SEI message lies inside its unit's decoded bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include <vorn/vms/common/h264/nal_unit.h>
#include <vorn/vms/common/h264/sei_unit.h>
#include <vorn/vms/common/h264/sps_unit.h>

#include "fuzz_support.h"

namespace h264 = vorn::vms::common::h264;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    vorn::fuzz::prepare(false);
    const std::uint8_t* const end = data + size;
    const std::uint8_t* current = h264::NALUnit::findNextNAL(data, end);
    while (current < end) {
        if (current - data < 3 || current[-1] != 1 || current[-2] != 0 || current[-3] != 0)
            std::abort(); // not after a start code
        const std::uint8_t* next = h264::NALUnit::findNextNAL(current, end);
        if (next <= current || next > end)
            std::abort();
        if ((*current & 0x1F) == h264::NALUnit::kSeiType) {
            h264::SEIUnit sei;
            if (sei.decodeBuffer(current, next) && sei.deserialize(h264::SPSUnit(), 0)) {
                const std::uint8_t* unitBegin = sei.decoded().data();
                const std::uint8_t* unitEnd = unitBegin + sei.decoded().size();
                for (const auto& [payload, payloadSize] : sei.m_processedMessages) {
                    if (payloadSize < 0 || payload < unitBegin || payload + payloadSize > unitEnd)
                        std::abort();
                }
            }
        } else if ((*current & 0x1F) == h264::NALUnit::kSpsType) {
            h264::SPSUnit sps;
            if (sps.decodeBuffer(current, next))
                sps.deserialize();
        }
        current = next;
    }
    return 0;
}
