// takeTexts and takeTextSet: the texts of an ITextList that a getter handed out with a reference, such
// as the type id lists of the server's metadata type selection:
//
//     std::set<std::string> objectTypeIds;
//     if (selection)
//         objectTypeIds = takeTextSet(selection->objectTypeIdList());
//
// Both take over the list's reference and release the list before they return; a null list has no
// texts. A null text (which a list gives only for an index out of range) counts as the empty text.
#pragma once

#include <set>
#include <string>
#include <type_traits>
#include <vector>

#include <vorn/sdk/analytics/i_metadata_type_selection.h>

namespace vorn::sdk::analytics {

/** The texts in the list's order, repeats included. */
std::vector<std::string> takeTexts(const ITextList* list);

/** The distinct texts. */
std::set<std::string> takeTextSet(const ITextList* list);

/** The distinct texts, each made into a string of the plugin's own kind by convert(const char*). */
template <class Convert>
auto takeTextSet(const ITextList* list, Convert convert)
{
    std::set<std::decay_t<std::invoke_result_t<Convert&, const char*>>> texts;
    for (const std::string& text : takeTexts(list))
        texts.insert(convert(text.c_str()));
    return texts;
}

} // namespace vorn::sdk::analytics
