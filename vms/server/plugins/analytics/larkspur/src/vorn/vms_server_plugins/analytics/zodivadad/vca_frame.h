// The frames of the camera's video-analytics push protocol: the writer of the registration frames and
// the readers that take pushed frames out of a channel's receive buffer.
//
// A frame is a 16-byte header (magic 20 20 06 02, command, CRC-16 of the payload, payload size and
// protocol version, all big-endian) followed by the payload: one JSON object, or for the chunked
// commands (kVcaAlarm, kFace) a run of chunks, each a kind byte (0: JSON text, else image bytes), a
// signed little-endian length and the data.
//
// The readers are plain functions over bytes, so they can be tested as tables and fuzzed without a
// socket; the channel calls them on its receive buffer after every read:
//
//     for (;;) {
//         VcaParseResult frame = parseVcaPacket(&m_receiveBuffer, this);
//         if (frame.status == ParseStatus::needMoreData)
//             return readMore();              // the buffer has room reserved for the whole frame
//         if (frame.status == ParseStatus::error)
//             return reconnect();
//         handle(frame.command, std::move(frame.json), std::move(frame.image));
//     }
//
// Log lines carry the log tag of the channel given (a null channel is allowed).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include <QtCore/QByteArray>

#include <vorn/kit/json.h>
#include <vorn/utils/buffer.h>

#include "parse_status.h"

namespace vorn::vms_server_plugins::analytics::zodivadad {

class TcpDataMonitor;

inline constexpr std::size_t kVcaHeaderSize = 16;
inline constexpr char kVcaMagic[4] = {0x20, 0x20, 0x06, 0x02};
/** The version that frames written here carry; the camera sends 1 or 2. */
inline constexpr std::uint32_t kVcaProtocolVersion = 2;
/** 8 MiB: bounds the memory that one frame can make the channel reserve before its CRC is checked. */
inline constexpr std::uint32_t kMaxVcaPayloadSize = 8 * 1024 * 1024;
/** The command of a result that holds no frame. */
inline constexpr std::uint16_t kNoVcaCommand = 0xFFFF;
/** Kind byte and length in front of the data of every chunk of a chunked payload. */
inline constexpr std::size_t kVcaChunkHeaderSize = 5;

/** One frame as read; anything but ok carries kNoVcaCommand, a null json and no image. */
struct VcaParseResult
{
    ParseStatus status = ParseStatus::error;
    std::uint16_t command = kNoVcaCommand;
    /** The object of a single-object command, the array of objects of a chunked one, else null. */
    vorn::kit::detail::json11::Json json;
    /** The data of the last image chunk of a chunked payload. */
    QByteArray image;
};

/** What a chunked payload holds. */
struct VcaChunkedPayload
{
    /** The array of the JSON objects read; null when a chunk ran past the payload. */
    vorn::kit::detail::json11::Json json;
    QByteArray image;
};

/** The frame of `command` with the JSON text of `json` as its payload. */
BasicBuffer<char> serializePacket(std::uint16_t command, const vorn::kit::detail::json11::Json& json);

/**
 * Reads the frame at the front of `buffer` and removes it when it is complete and sound. needMoreData
 * leaves the buffer as it is, with capacity reserved for the whole frame; error leaves it as it is too
 * (the channel drops the connection and the buffer with it).
 */
VcaParseResult parseVcaPacket(BasicBuffer<char>* buffer, const TcpDataMonitor* channel);

/** Reads the chunks of a chunked payload; never reads outside `payload`. */
VcaChunkedPayload parseChunkedPayload(std::string_view payload, const TcpDataMonitor* channel);

} // namespace vorn::vms_server_plugins::analytics::zodivadad
