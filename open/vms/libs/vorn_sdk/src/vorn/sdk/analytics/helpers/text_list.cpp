#include "text_list.h"

#include <vorn/sdk/helpers/string.h>
#include <vorn/sdk/ptr.h>

namespace vorn::sdk::analytics {

std::vector<std::string> takeTexts(const ITextList* list)
{
    const Ptr<const ITextList> owned = toPtr(list);
    std::vector<std::string> texts;
    // The count is asked again after each text, as a list may be read while it is filled.
    for (int32_t i = 0; owned && i < owned->count(); ++i)
        texts.emplace_back(textOrEmpty(owned->textAt(i)));
    return texts;
}

std::set<std::string> takeTextSet(const ITextList* list)
{
    const std::vector<std::string> texts = takeTexts(list);
    return std::set<std::string>(texts.begin(), texts.end());
}

} // namespace vorn::sdk::analytics
