#include <vorn/utils/log/scope_of_function.h>

#include <string_view>

#include <vorn/utils/to_string.h>

namespace vorn {

namespace {

// The part of a qualified name before its last "::", skipping separators inside template arguments
// and parameter lists ("ns::Tag<a::b>" gives "ns").
std::string_view enclosingScope(std::string_view name)
{
    int depth = 0;
    size_t lastSeparator = std::string_view::npos;
    for (size_t i = 0; i < name.size(); ++i) {
        const char c = name[i];
        if (c == '<' || c == '(' || c == '[')
            ++depth;
        else if ((c == '>' || c == ')' || c == ']') && depth > 0)
            --depth;
        else if (c == ':' && depth == 0 && i + 1 < name.size() && name[i + 1] == ':')
            lastSeparator = i++;
    }
    return lastSeparator == std::string_view::npos ? std::string_view() : name.substr(0, lastSeparator);
}

} // namespace

std::string scopeOfFunction(const std::type_info& scopeTag, const char* functionName)
{
    const std::string function = functionName ? functionName : "";
    const std::string typeName = vorn::detail::toString(scopeTag).toStdString();
    const std::string scope(enclosingScope(typeName));
    if (scope.empty())
        return function;
    const std::string prefix = scope + "::";
    if (std::string_view(function).starts_with(prefix))
        return function;
    return prefix + function;
}

} // namespace vorn
