#include <vorn/kit/ini_config.h>

#include <cstdlib>

namespace vorn::kit {

const char* IniConfig::iniFilesDir()
{
    const char* const folder = std::getenv(kFolderVariable);
    return folder && *folder ? folder : nullptr;
}

} // namespace vorn::kit
