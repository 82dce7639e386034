#include <vorn/vms_server/metadata_type_selection.h>

#include <utility>

namespace vorn::vms_server {

namespace {

sdk::Ptr<TextList> makeList(std::optional<std::vector<std::string>> texts)
{
    if (!texts)
        return nullptr;
    return sdk::makePtr<TextList>(std::move(*texts));
}

const sdk::analytics::ITextList* handOut(const sdk::Ptr<TextList>& list)
{
    if (!list)
        return nullptr;
    list->retain();
    return list.get();
}

} // namespace

MetadataTypeSelection::MetadataTypeSelection(std::optional<std::vector<std::string>> eventTypeIds,
                                             std::optional<std::vector<std::string>> objectTypeIds)
    : m_eventTypeIds(makeList(std::move(eventTypeIds)))
    , m_objectTypeIds(makeList(std::move(objectTypeIds)))
{}

const sdk::analytics::ITextList* MetadataTypeSelection::eventTypeIdList() const
{
    return handOut(m_eventTypeIds);
}

const sdk::analytics::ITextList* MetadataTypeSelection::objectTypeIdList() const
{
    return handOut(m_objectTypeIds);
}

} // namespace vorn::vms_server
