#include "fake_zodivadad_camera/lpr_settings_writes.h"

namespace vorn::testing::zodivadad {

namespace {

constexpr char kActionKey[] = "action";
constexpr char kWriteAction[] = "set.lpr.settings";

} // namespace

std::vector<LprSettingsWrite> lprSettingsWrites(const FakeZodivadadCamera& camera)
{
    std::vector<LprSettingsWrite> writes;
    for (const FakeHttpServer::RecordedRequest& request : camera.cgiRequests()) {
        if (request.path != FakeZodivadadCamera::kOperatorCgiPath)
            continue;
        LprSettingsWrite write;
        bool isWrite = false;
        const auto items = FakeZodivadadCamera::queryItems(request.query);
        for (std::size_t i = 0; i < items.size(); ++i) {
            if (items[i].first == kActionKey) {
                isWrite = isWrite || items[i].second == kWriteAction;
                write.actionFirst = write.actionFirst || i == 0;
            } else {
                write.items.push_back(items[i]);
            }
        }
        if (isWrite)
            writes.push_back(std::move(write));
    }
    return writes;
}

} // namespace vorn::testing::zodivadad
