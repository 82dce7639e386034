// vorn::kit::IniConfig: where the programs of this system look for their ini files (such as the
// launcher's "waypoint_log.ini").
//
// The folder is the one the environment variable "VORN_INI_FILES_DIR" names; without it there is no
// dedicated folder and iniFilesDir() answers null, which callers take as the current folder.
#pragma once

namespace vorn::kit {

class IniConfig
{
public:
    static constexpr char kFolderVariable[] = "VORN_INI_FILES_DIR";

    // The folder as a zero-terminated text, or null. The text stays valid until the next call from any
    // thread (it is read from the environment at every call, so tests may change it).
    static const char* iniFilesDir();
};

} // namespace vorn::kit
