// The plain-C entry points of a plugin library: the only symbols a plugin exports.
//
//     VORN_PLUGIN_API vorn::sdk::IPlugin* createVornPluginByIndex(int instanceIndex);
//
// The server finds them by name with the loader's symbol lookup; the typedefs give their shapes.
#pragma once

#include <vorn/sdk/i_lib_context.h>
#include <vorn/sdk/i_option_map.h>
#include <vorn/sdk/i_plugin.h>

#define VORN_PLUGIN_API extern "C" __attribute__((visibility("default")))

namespace vorn::sdk {

using CreatePluginFunc = IPlugin* (*)();
using CreatePluginByIndexFunc = IPlugin* (*)(int instanceIndex);
using LibContextFunc = ILibContext* (*)();
using SdkVersionFunc = const char* (*)();
using SetUnitTestOptionsFunc = void (*)(const IOptionMap* options);

inline constexpr const char* kCreatePluginFuncName = "createVornPlugin";
inline constexpr const char* kCreatePluginByIndexFuncName = "createVornPluginByIndex";
inline constexpr const char* kLibContextFuncName = "vornLibContext";
inline constexpr const char* kSdkVersionFuncName = "vornSdkVersion";
inline constexpr const char* kSetUnitTestOptionsFuncName = "vornSetUnitTestOptions";

} // namespace vorn::sdk
