#include <vorn/vms_server/text_list.h>

#include <utility>

namespace vorn::vms_server {

TextList::TextList(std::vector<std::string> texts)
    : m_texts(std::move(texts))
{}

int32_t TextList::count() const
{
    return static_cast<int32_t>(m_texts.size());
}

const char* TextList::textAt(int32_t index) const
{
    if (index < 0 || static_cast<std::size_t>(index) >= m_texts.size())
        return nullptr;
    return m_texts[static_cast<std::size_t>(index)].c_str();
}

} // namespace vorn::vms_server
