#include <vorn/utils/to_string.h>

#include <cxxabi.h>

#include <cstdlib>
#include <memory>
#include <mutex>
#include <typeindex>
#include <unordered_map>

namespace vorn::detail {

namespace {

QString demangle(const char* mangledName)
{
    int status = 0;
    const std::unique_ptr<char, decltype(&std::free)> demangled(
        abi::__cxa_demangle(mangledName, nullptr, nullptr, &status), &std::free);
    return QString::fromUtf8(status == 0 && demangled ? demangled.get() : mangledName);
}

} // namespace

QString toString(const char* text)
{
    return text ? QString::fromUtf8(text) : QString();
}

QString toString(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<int>(text.size()));
}

QString toString(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<int>(text.size()));
}

QString toString(const QByteArray& text)
{
    return QString::fromUtf8(text);
}

QString toString(const std::type_info& type)
{
    // Guards the cache of type names; held only for the lookup and the insertion.
    static std::mutex namesMutex;
    static std::unordered_map<std::type_index, QString> names;

    const std::type_index key(type);
    {
        const std::lock_guard lock(namesMutex);
        if (const auto it = names.find(key); it != names.end())
            return it->second;
    }
    QString name = demangle(type.name());
    const std::lock_guard lock(namesMutex);
    // Another thread may have got here first: keep its text so every caller shares one.
    return names.try_emplace(key, std::move(name)).first->second;
}

} // namespace vorn::detail
