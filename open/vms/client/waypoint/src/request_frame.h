// The framing of one request on the launcher's pipe: when the bytes read so far make a whole request.
//
// A request is the channel name, a line feed and (for channels that take one) one JSON object. Clients
// write it once but the bytes may arrive in pieces, and the client keeps its side open while it waits
// for the reply, so the end of the stream cannot mark the end of a request. The server therefore reads
// until requestFrameStatus() says complete (or its size limit, deadline or the peer's end of stream
// comes first). The check is plain and cheap: it never parses the JSON, it only follows strings and
// braces to see where the object ends.
#pragma once

#include <functional>
#include <string_view>

namespace vorn::vms::waypoint {

enum class RequestFrameStatus {
    // More bytes may complete it.
    incomplete,
    // Whole, or so malformed that no further bytes can mend it: hand it on as it is.
    complete,
};

// `channelTakesBody` answers for a channel name whether a JSON object follows its line; unknown
// channels should answer false (their request is refused at the line).
RequestFrameStatus requestFrameStatus(std::string_view bytes,
                                      const std::function<bool(std::string_view channel)>& channelTakesBody);

} // namespace vorn::vms::waypoint
