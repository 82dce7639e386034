// The video-analytics frame reader (parseVcaPacket) as the channel drives it: the camera's bytes
// arrive in reads of any size, and after every read the channel takes complete frames out of its
// receive buffer until the reader wants more or fails.
//
// Input: byte 0 bit 0 answers failed assertions; bit 1 makes the frames' headers sound (magic, the
// size clamped to the bytes that follow, the CRC of the payload), so that the fuzzer spends its time
// in the payload readers (JSON, chunks) rather than guessing checksums; the next two bytes give the
// read size; the rest are the camera's bytes.
//
// Beyond "no crash": a result other than ok carries no command, json or image; an ok result removes
// exactly its frame; needMoreData leaves room reserved for what it waits for.
//
// A frame that announces more bytes than the input holds is shortened to one byte past the input (see
// shortenFramesThatCannotComplete): the reader's reservation of a declared size (up to 8 MiB) would
// otherwise cost most of every run. The size limit itself is checked on the unchanged size.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include <vorn/utils/buffer.h>
#include <vorn/utils/crc16.h>
#include <vorn/vms_server_plugins/analytics/zodivadad/vca_frame.h>

#include "fuzz_support.h"

namespace {

namespace zodivadad = vorn::vms_server_plugins::analytics::zodivadad;

std::uint32_t readUint32Be(const char* bytes)
{
    const auto* b = reinterpret_cast<const unsigned char*>(bytes);
    return (std::uint32_t{b[0]} << 24) | (std::uint32_t{b[1]} << 16) | (std::uint32_t{b[2]} << 8) | b[3];
}

// Walks the bytes as back-to-back frames and makes each header sound for the bytes that follow it.
void makeHeadersSound(std::string* bytes)
{
    std::size_t offset = 0;
    while (bytes->size() - offset >= zodivadad::kVcaHeaderSize) {
        char* header = bytes->data() + offset;
        std::memcpy(header, zodivadad::kVcaMagic, sizeof(zodivadad::kVcaMagic));
        const std::size_t available = bytes->size() - offset - zodivadad::kVcaHeaderSize;
        const std::uint32_t size =
            static_cast<std::uint32_t>(std::min<std::size_t>(readUint32Be(header + 8), available));
        header[8] = static_cast<char>(size >> 24);
        header[9] = static_cast<char>(size >> 16);
        header[10] = static_cast<char>(size >> 8);
        header[11] = static_cast<char>(size);
        const std::uint16_t crc = vorn::utils::crc16(header + zodivadad::kVcaHeaderSize, size);
        header[6] = static_cast<char>(crc >> 8);
        header[7] = static_cast<char>(crc);
        offset += zodivadad::kVcaHeaderSize + size;
    }
}

// Walks the bytes as the reader will take them and shortens the size of a frame that cannot be complete
// (it announces more bytes than the input has left) to one byte more than there are: the reader takes
// the same path (it waits, with the frame's room reserved), but reserves a few bytes more than the input
// instead of up to 8 MiB, which it would fill for every such input. Sizes above the limit, wrong magics
// and complete frames stay as they are.
void shortenFramesThatCannotComplete(std::string* bytes)
{
    std::size_t offset = 0;
    while (bytes->size() - offset >= zodivadad::kVcaHeaderSize) {
        char* header = bytes->data() + offset;
        if (std::memcmp(header, zodivadad::kVcaMagic, sizeof(zodivadad::kVcaMagic)) != 0)
            return;
        const std::uint32_t size = readUint32Be(header + 8);
        if (size > zodivadad::kMaxVcaPayloadSize)
            return;
        const std::size_t available = bytes->size() - offset - zodivadad::kVcaHeaderSize;
        if (size > available) {
            const auto shortened = static_cast<std::uint32_t>(available + 1);
            header[8] = static_cast<char>(shortened >> 24);
            header[9] = static_cast<char>(shortened >> 16);
            header[10] = static_cast<char>(shortened >> 8);
            header[11] = static_cast<char>(shortened);
            return;
        }
        offset += zodivadad::kVcaHeaderSize + size;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    vorn::fuzz::FuzzInput input(data, size);
    const std::uint8_t mode = input.takeByte();
    vorn::fuzz::prepare((mode & 1) != 0);
    const std::size_t readSize = std::max<std::size_t>(1, input.takeUint16());
    std::string stream(input.rest());
    if ((mode & 2) != 0)
        makeHeadersSound(&stream);
    shortenFramesThatCannotComplete(&stream);

    vorn::BasicBuffer<char> buffer;
    std::size_t received = 0;
    while (received < stream.size()) {
        const std::size_t count = std::min(readSize, stream.size() - received);
        buffer.append(stream.data() + received, count);
        received += count;
        for (;;) {
            const std::size_t before = buffer.size();
            const std::size_t frameSize =
                before >= zodivadad::kVcaHeaderSize ? zodivadad::kVcaHeaderSize + readUint32Be(buffer.data() + 8) : 0;
            zodivadad::VcaParseResult frame = zodivadad::parseVcaPacket(&buffer, nullptr);
            if (frame.status != zodivadad::ParseStatus::ok) {
                if (frame.command != zodivadad::kNoVcaCommand || !frame.json.is_null() || !frame.image.isEmpty())
                    std::abort(); // A failed read handed out a frame.
                if (buffer.size() != before)
                    std::abort(); // A failed read changed the buffer.
            }
            if (frame.status == zodivadad::ParseStatus::error)
                return 0; // The channel drops the connection with its buffer.
            if (frame.status == zodivadad::ParseStatus::needMoreData) {
                const std::size_t wanted = frameSize == 0 ? zodivadad::kVcaHeaderSize : frameSize;
                if (buffer.capacity() < wanted)
                    std::abort(); // The next read would not have room for the frame.
                break;
            }
            if (buffer.size() != before - frameSize)
                std::abort(); // The frame was not removed, or more than the frame was.
            static_cast<void>(frame.json.dump());
        }
    }
    return 0;
}
