#include "string.h"

#include <algorithm>
#include <limits>

namespace vorn::sdk {

String::String(const char* text)
    : m_text(textOrEmpty(text))
{}

String::String(std::string text)
    : m_text(std::move(text))
{}

void String::setText(const char* text)
{
    m_text = textOrEmpty(text);
}

void String::setText(std::string text)
{
    m_text = std::move(text);
}

int32_t String::size() const
{
    constexpr size_t kMaxSize = std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(std::min(m_text.size(), kMaxSize));
}

} // namespace vorn::sdk
