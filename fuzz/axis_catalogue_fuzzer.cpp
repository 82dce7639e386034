// An Axis camera's SOAP event catalogue reply (parseNotificationTypes): the nesting check, the in-place XML
// parse and the walk of the topic set into the catalogue tree.
//
// Beyond "no crash": a refused or broken reply gives no node; in the tree every inner node has children,
// every child's topic continues its parent's after a "/", and every node has a display name.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include <vorn/vms_server_plugins/analytics/axis/camera_discovery.h>

#include "fuzz_support.h"

namespace axis = vorn::vms_server_plugins::analytics::axis;

namespace {

void checkTree(const std::vector<axis::NotificationType>& types, const QString& parentTopic)
{
    for (const axis::NotificationType& type : types) {
        if (!type.niceName)
            std::abort();
        if (!parentTopic.isEmpty() && !type.topic.startsWith(parentTopic + QLatin1Char('/')))
            std::abort();
        if (!type.children.empty() && type.stateName)
            std::abort(); // a leaf has a state item, an inner node never
        checkTree(type.children, type.topic);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    vorn::fuzz::FuzzInput input(data, size);
    vorn::fuzz::prepare(input.takeBool());
    std::string body(input.rest());
    const axis::CatalogueReadResult result = axis::parseNotificationTypes(&body);
    if (result.parseError && !result.types.empty())
        std::abort();
    checkTree(result.types, QString());
    return 0;
}
