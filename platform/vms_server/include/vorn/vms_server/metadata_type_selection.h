// MetadataTypeSelection: the server's IMetadataTypeSelection, the event and object types it needs now.
//
//     auto selection = sdk::makePtr<MetadataTypeSelection>(
//         std::vector<std::string>{"vorn.zodivadad.Motion"}, std::nullopt); // no object list at all
//     deviceAgent->selectMetadataTypes(&result, selection.get());
//
// A list that is not given is handed out as null ("none"); a given list, even an empty one, as a
// TextList retained for the caller. Immutable after construction.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include <vorn/sdk/analytics/i_metadata_type_selection.h>
#include <vorn/sdk/ptr.h>
#include <vorn/vms_server/server_ref_countable.h>
#include <vorn/vms_server/text_list.h>

namespace vorn::vms_server {

class MetadataTypeSelection final : public ServerRefCountable<sdk::analytics::IMetadataTypeSelection>
{
public:
    MetadataTypeSelection(std::optional<std::vector<std::string>> eventTypeIds,
                          std::optional<std::vector<std::string>> objectTypeIds);

    const sdk::analytics::ITextList* eventTypeIdList() const override;
    const sdk::analytics::ITextList* objectTypeIdList() const override;

private:
    ~MetadataTypeSelection() override = default;

    const sdk::Ptr<TextList> m_eventTypeIds;
    const sdk::Ptr<TextList> m_objectTypeIds;
};

} // namespace vorn::vms_server
