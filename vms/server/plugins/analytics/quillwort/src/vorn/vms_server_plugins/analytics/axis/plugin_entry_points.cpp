// quillwort's plugin creation entry point: the library offers one plugin and no plugin index. The library
// context's own entry points (vornLibContext, vornSdkVersion, vornSetUnitTestOptions) come from the SDK
// helpers.

#include <vorn/sdk/entry_points.h>

#include "plugin.h"

VORN_PLUGIN_API vorn::sdk::IPlugin* createVornPlugin()
{
    return new vorn::vms_server_plugins::analytics::axis::Plugin();
}
