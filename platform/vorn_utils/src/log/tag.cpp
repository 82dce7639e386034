#include <vorn/utils/log/tag.h>

#include <vorn/utils/to_string.h>

namespace vorn::utils::log {

Tag::Tag(const std::string& text)
    : m_text(vorn::detail::toString(text))
{}

Tag::Tag(const std::type_info& type)
    : m_text(vorn::detail::toString(type))
{}

} // namespace vorn::utils::log
