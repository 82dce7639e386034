#include "fake_zodivadad_camera/rtp_blob_encoder.h"

namespace vorn::testing::zodivadad {

namespace {

// Appends the value's bytes, highest first.
void appendBigEndian(std::string* out, uint32_t value, int bytes)
{
    for (int shift = 8 * (bytes - 1); shift >= 0; shift -= 8)
        out->push_back(static_cast<char>((value >> shift) & 0xFF));
}

constexpr uint32_t kObjectListEventId = 5;

} // namespace

RtpRecord rtpObjectList(uint16_t width, uint16_t height, const std::vector<RtpObject>& objects)
{
    RtpRecord record;
    record.eventId = kObjectListEventId;
    record.itemCount = static_cast<uint8_t>(objects.size());
    appendBigEndian(&record.data, width, 2);
    appendBigEndian(&record.data, height, 2);
    for (const RtpObject& object : objects) {
        appendBigEndian(&record.data, object.number, 4);
        appendBigEndian(&record.data, 0xC0FFEE01, 4); // Not interpreted by the plugin.
        appendBigEndian(&record.data, 0xC0FFEE02, 4);
        appendBigEndian(&record.data, object.type, 4);
        for (const uint16_t corner : {object.x1, object.y1, object.x2, object.y2})
            appendBigEndian(&record.data, corner, 2);
    }
    record.size = static_cast<uint32_t>(record.data.size() / 4);
    return record;
}

std::string encodeRtpBlob(const std::vector<RtpRecord>& records)
{
    std::string blob;
    appendBigEndian(&blob, 0x8060, 2); // The header is not interpreted: fields of an RTP-like header.
    appendBigEndian(&blob, 0x01, 1);
    appendBigEndian(&blob, 0x02, 1);
    appendBigEndian(&blob, 0x1234, 2);
    appendBigEndian(&blob, 0x5678, 2);
    for (const RtpRecord& record : records) {
        appendBigEndian(&blob, record.startCode, 2);
        appendBigEndian(&blob, record.eventId, 1);
        appendBigEndian(&blob, record.itemCount, 1);
        appendBigEndian(&blob, 0, 4);
        appendBigEndian(&blob, record.size, 4);
        blob += record.data;
    }
    return blob;
}

} // namespace vorn::testing::zodivadad
