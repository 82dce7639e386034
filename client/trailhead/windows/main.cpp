// trailhead.exe: starts the application launcher waypoint, from trailhead's own folder or from the
// per-user launcher folder, with trailhead's own arguments, and exits at once.
//
// Exit code 0: waypoint was started; 1: it could not be started; 2: anything else failed.
#include <clocale>
#include <span>
#include <string>
#include <vector>

// windows.h first: the other Windows headers build on its types.
#include <windows.h>

#include <shellapi.h>

#include "trailhead.h"
#include "windows_startup_system.h"

int main()
{
    using namespace vorn::trailhead;
    try {
        // The wide-character command line, not the runtime's narrow arguments: paths and arguments
        // outside the ANSI code page must reach waypoint unchanged.
        int count = 0;
        wchar_t** const vector = CommandLineToArgvW(GetCommandLineW(), &count);
        if (!vector)
            return kStartFailed;
        std::vector<std::wstring> arguments(vector, vector + count);
        LocalFree(vector);

        std::setlocale(LC_CTYPE, "");
        WindowsStartupSystem system;
        return Trailhead(system).run(arguments);
    } catch (...) {
        return kStartFailed;
    }
}
