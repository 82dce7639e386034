// vorn::scopeOfFunction: the log tag text of a free function or a function that has no object.
//
// The scope is whatever encloses the given type: its namespace, or its class for a nested type. The
// usual way is a tag type declared in the function's own scope:
//
//     namespace vorn::vms::waypoint {
//     struct ScopeTag {};
//     ... vorn::utils::log::Tag(vorn::scopeOfFunction(typeid(ScopeTag), "parseCommandLineParameters"))
//     }                               // text: "vorn::vms::waypoint::parseCommandLineParameters"
//
// A function name that already starts with the scope is not prefixed twice; a type at global scope
// leaves the function name as it is.
#pragma once

#include <string>
#include <typeinfo>

namespace vorn {

std::string scopeOfFunction(const std::type_info& scopeTag, const char* functionName);

} // namespace vorn
