// The JSON form of the receiver's records, as the host tool prints them (one object per line):
//
//     {"kind":"eventPacket","timestampUs":..,"durationUs":..,"flags":..,"items":[{"typeId":..,"trackId":..,
//         "caption":..,"description":..,"isActive":..,"key":..,"confidence":..,"attributes":[..]}]}
//     {"kind":"objectPacket",..,"items":[{"typeId":..,"trackId":..,"confidence":..,"boundingBox":{..},
//         "attributes":[{"type":..,"name":..,"value":..,"confidence":..}]}]}
//     {"kind":"bestShot","trackId":..,"timestampUs":..,"flags":..,"boundingBox":{"x":..,"y":..,"width":..,
//         "height":..},"imageUrl":..,"imageFormat":..,"imageSize":..,"attributes":[..]}
//     {"kind":"diagnostic","level":..,"caption":..,"description":..}
//     {"kind":"error","operation":"receiveMetadata","code":null,"message":..}   (a ReceiverFault)
//
// A member that the plugin's interface version does not offer is left out, not written as a default.
#pragma once

#include <string>

#include <boost/json/object.hpp>

#include <vorn/sdk/uuid.h>
#include <vorn/vms_server/received_metadata.h>

namespace vorn::vms_server {

boost::json::object toJson(const ReceivedRecord& record);

/** Lower-case hexadecimal in the groups 8-4-4-4-12, without braces. */
std::string formatUuid(const sdk::Uuid& uuid);

/** The double whose shortest text equals the float's shortest text (0.9f gives 0.9, not 0.899999976). */
double floatToJsonNumber(float value);

} // namespace vorn::vms_server
