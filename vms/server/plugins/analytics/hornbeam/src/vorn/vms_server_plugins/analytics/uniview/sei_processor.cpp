#include "sei_processor.h"

#include <vorn/log_support/log.h>
#include <vorn/vms/common/h264/nal_unit.h>
#include <vorn/vms/common/h264/sei_unit.h>
#include <vorn/vms/common/h264/sps_unit.h>

namespace vorn::vms_server_plugins::analytics::uniview {

namespace h264 = vorn::vms::common::h264;

namespace {

uint32_t readBigEndian(const uint8_t* p, int bytes)
{
    uint32_t value = 0;
    for (int i = 0; i < bytes; ++i)
        value = value << 8 | p[i];
    return value;
}

} // namespace

SeiProcessor::SeiProcessor(const uint8_t* data, int size)
    : m_current(data)
    , m_end(data && size > 0 ? data + size : data)
{}

std::vector<Object> SeiProcessor::parse()
{
    std::vector<Object> objects;
    if (!m_current)
        return objects;
    m_current = h264::NALUnit::findNextNAL(m_current, m_end);
    while (m_current < m_end) {
        const uint8_t* const next = h264::NALUnit::findNextNAL(m_current, m_end);
        if ((*m_current & 0x1F) == h264::NALUnit::kSeiType) {
            const h264::SPSUnit sps;
            h264::SEIUnit sei;
            if (!sei.decodeBuffer(m_current, next) || !sei.deserialize(sps, 0)) {
                VN_LOG(5, this, "Failed to parse SEI");
            } else {
                for (const auto& [payload, size] : sei.m_processedMessages)
                    parseMessage(payload, size < 0 ? 0 : static_cast<std::size_t>(size), &objects);
            }
        }
        m_current = next;
    }
    return objects;
}

void SeiProcessor::parseMessage(const uint8_t* payload, std::size_t size, std::vector<Object>* objects) const
{
    if (size < kPayloadHeaderSize || payload[0] != kTrackPayloadMarker)
        return;
    const uint32_t trackCount = readBigEndian(payload + 9, 2);
    const uint32_t durationMs = readBigEndian(payload + 11, 2);
    if (trackCount == 0)
        return;
    VN_LOG(6, this, "Found SEI with %1 tracks", trackCount);

    // Offsets from the payload's start, compared with what is left: no pointer is ever formed past the
    // message from the camera's 32-bit lengths.
    std::size_t offset = kPayloadHeaderSize;
    for (uint32_t i = 0; i < trackCount; ++i) {
        if (size - offset < kTrackRecordSize)
            break;
        const uint8_t* const record = payload + offset;
        const uint32_t objectId = readBigEndian(record, 4);
        const uint32_t left = readBigEndian(record + 8, 2);
        const uint32_t top = readBigEndian(record + 10, 2);
        const uint32_t right = readBigEndian(record + 12, 2);
        const uint32_t bottom = readBigEndian(record + 14, 2);
        const uint32_t kind = readBigEndian(record + 16, 4);
        const uint32_t extraLength = readBigEndian(record + 28, 4);
        const uint32_t typeFlag = readBigEndian(record + 32, 4);
        const std::size_t extraRoom = size - offset - kTrackRecordSize;

        if (objectId != 0 && !(left == right && top == bottom)) {
            Object object;
            object.typeId = kFaceTypeId;
            if (kind != 6 && typeFlag == 1 && extraLength >= 1 && extraLength <= extraRoom) {
                const auto objectType = static_cast<int8_t>(record[kTrackRecordSize]);
                if (objectType == 1)
                    object.typeId = kPersonTypeId;
                else if (objectType == 2)
                    object.typeId = kVehicleTypeId;
                else
                    VN_LOG(5, this, "Unknown object type %1", static_cast<int>(objectType));
            }
            object.id = static_cast<int>(objectId);
            object.smallPicIndex = -1;
            object.largePicIndex = -1;
            const float x = static_cast<float>(left) / 10000.0f;
            const float y = static_cast<float>(top) / 10000.0f;
            const float width = static_cast<float>(static_cast<uint16_t>(right - left)) / 10000.0f;
            const float height = static_cast<float>(static_cast<uint16_t>(bottom - top)) / 10000.0f;
            // The object record's box rule: a box that leaves the frame (an inverted one wraps around to a
            // width or height above 1) is no box at all.
            if (x + width <= 1.0f && y + height <= 1.0f) {
                object.x = x;
                object.y = y;
                object.width = width;
                object.height = height;
            }
            object.durationUs = static_cast<int64_t>(durationMs) * 1000;
            VN_LOG(6, this, "Added object %1 id %2", object.typeId, object.id);
            objects->push_back(std::move(object));
        }
        if (extraLength > extraRoom)
            break; // the extra bytes reach past the message: no record can follow
        offset += kTrackRecordSize + extraLength;
    }
}

} // namespace vorn::vms_server_plugins::analytics::uniview
