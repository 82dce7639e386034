// vorn::vms::api::analytics::EngineManifest: the engine capabilities that an engine manifest declares
// in its "capabilities" key, as a flag enum with its name table.
//
// The flag text of a set is the names of its bits joined by "|" (vorn/fusion/serialization/flag_text.h):
//
//     EngineManifest::Capabilities capabilities;
//     vorn::fusion::fromString("deviceDependent|noAutoBestShots", &capabilities);    // bits 7 and 9
//     vorn::fusion::toString(EngineManifest::Capabilities());                       // "noCapabilities"
#pragma once

#include <array>
#include <string_view>
#include <utility>

#include <QtCore/QFlags>

namespace vorn::vms::api::analytics {

struct EngineManifest
{
    // The underlying type is fixed so that any 32-bit set, bits without a name included, is a valid
    // value of the enum (a flag text may name bit 10, a JSON number may set all 32 bits).
    enum Capability : int {
        noCapabilities = 0,
        needUncompressedVideoFrames_yuv420 = 1 << 0,
        needUncompressedVideoFrames_argb = 1 << 1,
        needUncompressedVideoFrames_abgr = 1 << 2,
        needUncompressedVideoFrames_rgba = 1 << 3,
        needUncompressedVideoFrames_bgra = 1 << 4,
        needUncompressedVideoFrames_rgb = 1 << 5,
        needUncompressedVideoFrames_bgr = 1 << 6,
        deviceDependent = 1 << 7,
        keepObjectBoundingBoxRotation = 1 << 8,
        noAutoBestShots = 1 << 9,
    };
    Q_DECLARE_FLAGS(Capabilities, Capability)
};

Q_DECLARE_OPERATORS_FOR_FLAGS(EngineManifest::Capabilities)

/** The name table of the flag-text conversions, in declaration order. */
constexpr std::array<std::pair<int, std::string_view>, 11> flagNames(EngineManifest::Capability)
{
    return {{
        {EngineManifest::noCapabilities, "noCapabilities"},
        {EngineManifest::needUncompressedVideoFrames_yuv420, "needUncompressedVideoFrames_yuv420"},
        {EngineManifest::needUncompressedVideoFrames_argb, "needUncompressedVideoFrames_argb"},
        {EngineManifest::needUncompressedVideoFrames_abgr, "needUncompressedVideoFrames_abgr"},
        {EngineManifest::needUncompressedVideoFrames_rgba, "needUncompressedVideoFrames_rgba"},
        {EngineManifest::needUncompressedVideoFrames_bgra, "needUncompressedVideoFrames_bgra"},
        {EngineManifest::needUncompressedVideoFrames_rgb, "needUncompressedVideoFrames_rgb"},
        {EngineManifest::needUncompressedVideoFrames_bgr, "needUncompressedVideoFrames_bgr"},
        {EngineManifest::deviceDependent, "deviceDependent"},
        {EngineManifest::keepObjectBoundingBoxRotation, "keepObjectBoundingBoxRotation"},
        {EngineManifest::noAutoBestShots, "noAutoBestShots"},
    }};
}

} // namespace vorn::vms::api::analytics
