// TextList: the server's ITextList, a fixed list of texts (the type ids of a metadata type selection).
// Immutable after construction, so any thread may read it.
#pragma once

#include <string>
#include <vector>

#include <vorn/sdk/analytics/i_metadata_type_selection.h>
#include <vorn/vms_server/server_ref_countable.h>

namespace vorn::vms_server {

class TextList final : public ServerRefCountable<sdk::analytics::ITextList>
{
public:
    explicit TextList(std::vector<std::string> texts);

    int32_t count() const override;
    const char* textAt(int32_t index) const override;

private:
    ~TextList() override = default;

    const std::vector<std::string> m_texts;
};

} // namespace vorn::vms_server
