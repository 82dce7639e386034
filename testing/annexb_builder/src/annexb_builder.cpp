#include <vorn/testing/annexb_builder.h>

namespace vorn::testing::annexb {

namespace {

void putBigEndian(std::string* out, std::uint64_t value, int bytes)
{
    for (int i = bytes - 1; i >= 0; --i)
        out->push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

void putCodedNumber(std::string* out, std::size_t value)
{
    while (value >= 255) {
        out->push_back(static_cast<char>(0xFF));
        value -= 255;
    }
    out->push_back(static_cast<char>(value));
}

// Appends unsigned Exp-Golomb code bits as '0'/'1' characters.
void putGolomb(std::string* bits, std::uint32_t value)
{
    const std::uint64_t coded = std::uint64_t{value} + 1;
    int length = 0;
    while ((coded >> length) > 1)
        ++length;
    bits->append(static_cast<std::size_t>(length), '0');
    for (int i = length; i >= 0; --i)
        bits->push_back(((coded >> i) & 1) ? '1' : '0');
}

} // namespace

std::string startCode(bool fourBytes)
{
    return fourBytes ? std::string("\0\0\0\1", 4) : std::string("\0\0\1", 3);
}

std::string addEmulationPrevention(std::string_view rbsp)
{
    std::string out;
    out.reserve(rbsp.size() + rbsp.size() / 64 + 4);
    std::size_t zeroRun = 0;
    for (std::size_t i = 0; i < rbsp.size(); ++i) {
        const auto byte = static_cast<unsigned char>(rbsp[i]);
        if (zeroRun >= 2 && byte <= 3) {
            out.push_back('\x03');
            zeroRun = 0;
        }
        out.push_back(static_cast<char>(byte));
        zeroRun = byte == 0 ? zeroRun + 1 : 0;
    }
    if (zeroRun >= 2)
        out.push_back('\x03'); // a unit never ends in a zero byte
    return out;
}

std::string seiUnit(const std::vector<SeiMessage>& messages, bool fourByteStartCode)
{
    std::string rbsp(1, '\x06');
    for (const SeiMessage& message : messages) {
        putCodedNumber(&rbsp, static_cast<std::size_t>(message.payloadType));
        putCodedNumber(&rbsp, message.payload.size());
        rbsp += message.payload;
    }
    rbsp.push_back(static_cast<char>(0x80));
    return startCode(fourByteStartCode) + addEmulationPrevention(rbsp);
}

std::string sliceUnit(std::size_t payloadSize, std::uint32_t seed, int type, bool fourByteStartCode)
{
    std::string rbsp(1, static_cast<char>(0x60 | (type & 0x1F)));
    rbsp.reserve(payloadSize + 2);
    std::uint32_t state = seed * 2654435761u + 1;
    for (std::size_t i = 0; i < payloadSize; ++i) {
        // xorshift32: cheap, and every byte value turns up, zeros and ones included.
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        rbsp.push_back(static_cast<char>(state >> 24));
    }
    rbsp.push_back(static_cast<char>(0x80));
    return startCode(fourByteStartCode) + addEmulationPrevention(rbsp);
}

std::string spsUnit(int profileIdc, int levelIdc, int seqParameterSetId)
{
    std::string rbsp;
    rbsp.push_back(static_cast<char>(0x67));
    rbsp.push_back(static_cast<char>(profileIdc));
    rbsp.push_back('\0'); // constraint flags
    rbsp.push_back(static_cast<char>(levelIdc));
    std::string bits;
    putGolomb(&bits, static_cast<std::uint32_t>(seqParameterSetId));
    putGolomb(&bits, 0); // log2_max_frame_num_minus4 (a start of the rest; readers stop at the id)
    bits.push_back('1'); // stop bit
    while (bits.size() % 8 != 0)
        bits.push_back('0');
    for (std::size_t i = 0; i < bits.size(); i += 8)
        rbsp.push_back(static_cast<char>(std::stoi(bits.substr(i, 8), nullptr, 2)));
    return startCode(true) + addEmulationPrevention(rbsp);
}

std::string univiewTrackPayload(std::uint16_t durationMs, const std::vector<TrackRecord>& records,
                                std::optional<std::uint16_t> trackCount, std::uint8_t marker)
{
    std::string out;
    out.push_back(static_cast<char>(marker));
    out.append(8, '\x5A'); // not read by the plugin
    putBigEndian(&out, trackCount.value_or(static_cast<std::uint16_t>(records.size())), 2);
    putBigEndian(&out, durationMs, 2);
    for (const TrackRecord& record : records) {
        putBigEndian(&out, record.objectId, 4);
        putBigEndian(&out, 0xA5A5A5A5u, 4);
        putBigEndian(&out, record.left, 2);
        putBigEndian(&out, record.top, 2);
        putBigEndian(&out, record.right, 2);
        putBigEndian(&out, record.bottom, 2);
        putBigEndian(&out, record.kind, 4);
        putBigEndian(&out, 0x0102030405060708ull, 8);
        putBigEndian(&out, record.extraLength.value_or(static_cast<std::uint32_t>(record.extra.size())), 4);
        putBigEndian(&out, record.typeFlag, 4);
        out += record.extra;
    }
    return out;
}

} // namespace vorn::testing::annexb
