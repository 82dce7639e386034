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

// A function-local type's scope is a function: "bool ns::f<int>(int, char)" gives "ns::f<int>", the
// function's own name without its result type and parameters. Any other scope stays as it is.
std::string_view ownNameOfFunction(std::string_view scope)
{
    if (!scope.ends_with(')'))
        return scope;
    int depth = 0;
    std::size_t parameters = std::string_view::npos;
    std::size_t nameStart = 0;
    for (std::size_t i = 0; i < scope.size(); ++i) {
        const char c = scope[i];
        if (c == '(' && depth == 0)
            parameters = i;
        if (c == '<' || c == '(' || c == '[')
            ++depth;
        else if ((c == '>' || c == ')' || c == ']') && depth > 0)
            --depth;
        else if (c == ' ' && depth == 0)
            nameStart = i + 1;
    }
    if (parameters == std::string_view::npos || nameStart > parameters)
        return scope;
    return scope.substr(nameStart, parameters - nameStart);
}

} // namespace

std::string scopeOfFunction(const std::type_info& scopeTag, const char* functionName)
{
    const std::string function = functionName ? functionName : "";
    const std::string typeName = vorn::detail::toString(scopeTag).toStdString();
    const std::string_view enclosing = enclosingScope(typeName);
    const std::string scope(ownNameOfFunction(enclosing));
    if (scope.empty())
        return function;
    // A tag type of the function itself: the function's own name, with its template arguments, names
    // the instantiation ("QJson::deserialize<int>").
    if (scope != enclosing && scope.starts_with(function) &&
        (scope.size() == function.size() || scope[function.size()] == '<')) {
        return scope;
    }
    const std::string prefix = scope + "::";
    if (std::string_view(function).starts_with(prefix))
        return function;
    return prefix + function;
}

} // namespace vorn
