#include <vorn/vms_server/option_map.h>

#include <cstring>

namespace vorn::vms_server {

OptionMap::OptionMap(std::vector<std::pair<std::string, std::string>> entries)
{
    for (auto& [key, value] : entries)
        set(std::move(key), std::move(value));
}

void OptionMap::set(std::string key, std::string value)
{
    for (auto& entry : m_entries) {
        if (entry.first == key) {
            entry.second = std::move(value);
            return;
        }
    }
    m_entries.emplace_back(std::move(key), std::move(value));
}

int32_t OptionMap::count() const
{
    return static_cast<int32_t>(m_entries.size());
}

bool OptionMap::isIndex(int32_t index) const
{
    return index >= 0 && static_cast<std::size_t>(index) < m_entries.size();
}

const char* OptionMap::keyAt(int32_t index) const
{
    return isIndex(index) ? m_entries[static_cast<std::size_t>(index)].first.c_str() : nullptr;
}

const char* OptionMap::valueAt(int32_t index) const
{
    return isIndex(index) ? m_entries[static_cast<std::size_t>(index)].second.c_str() : nullptr;
}

const char* OptionMap::valueOf(const char* key) const
{
    if (!key)
        return nullptr;
    for (const auto& entry : m_entries) {
        if (entry.first == key)
            return entry.second.c_str();
    }
    return nullptr;
}

} // namespace vorn::vms_server
