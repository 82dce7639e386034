// The launcher's pipe requests as the task server reads them: the framing check that decides when a
// request is whole (request_frame.h), then the deserialisation of every request type, and of every
// reply type as the client side reads replies.
//
// Beyond "no crash, no sanitizer report": a message that deserialises is written again and read back
// to the same bytes (what the writer writes, the reader reads unchanged), and the framing check never
// calls a complete message incomplete once more bytes are added after a complete JSON object.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string_view>
#include <vector>

#include <QtCore/QByteArray>

#include <vorn/vms/waypoint/api/tasks.h>

#include "fuzz_support.h"
#include "request_frame.h"

namespace {

using namespace vorn::vms::waypoint;

template <typename T>
void checkRoundTrip(const QByteArray& message)
{
    T first;
    if (!first.deserialize(message))
        return;
    const QByteArray written = first.serialize();
    T second;
    if (!second.deserialize(written) || second.serialize() != written)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    vorn::fuzz::FuzzInput input(data, size);
    vorn::fuzz::prepare(input.takeBool());
    const std::string_view bytes = input.rest();
    const QByteArray message(bytes.data(), static_cast<int>(bytes.size()));

    const auto takesBody = [](std::string_view channel) { return channel != "quit" && !channel.empty(); };
    const RequestFrameStatus status = requestFrameStatus(bytes, takesBody);
    if (status == RequestFrameStatus::complete) {
        // More bytes after a whole request never make it incomplete again.
        const QByteArray longer = message + "}\n{";
        if (requestFrameStatus(std::string_view(longer.constData(), longer.size()), takesBody) !=
            RequestFrameStatus::complete) {
            std::abort();
        }
    }

    checkRoundTrip<api::QuitTask>(message);
    checkRoundTrip<api::PingRequest>(message);
    checkRoundTrip<api::StartApplicationTask>(message);
    checkRoundTrip<api::InstallZipTask>(message);
    checkRoundTrip<api::InstallZipTaskAsync>(message);
    checkRoundTrip<api::InstallZipCheckStatus>(message);
    checkRoundTrip<api::IsVersionInstalledRequest>(message);
    checkRoundTrip<api::GetInstalledVersionsRequest>(message);
    checkRoundTrip<api::AddProcessKillTimerRequest>(message);
    checkRoundTrip<api::Response>(message);
    checkRoundTrip<api::PingResponse>(message);
    checkRoundTrip<api::InstallZipCheckStatusResponse>(message);
    checkRoundTrip<api::IsVersionInstalledResponse>(message);
    checkRoundTrip<api::GetInstalledVersionsResponse>(message);
    return 0;
}
