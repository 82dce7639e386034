# Checks trailhead.exe as Windows will see it, from its PE headers and resources:
# - a 64-bit GUI-subsystem program (no console window opens with it),
# - importing only DLLs that every Windows has: the C++ runtime and the thread library are linked in,
# - a manifest asking to run with the caller's rights, and the file version 5.1.4.38659.
#
# cmake -DEXECUTABLE=... -DOBJDUMP=... -DWINDRES=... [-DMISSING_REASON=...] -P check_windows_executable.cmake
# Prints "SKIPPED: <reason>" when the executable could not be built on this machine.
cmake_minimum_required(VERSION 3.25)

if(MISSING_REASON)
    message("SKIPPED: ${MISSING_REASON}")
    return()
endif()
if(NOT OBJDUMP OR NOT WINDRES)
    message("SKIPPED: the mingw-w64 binutils (objdump, windres) are not installed")
    return()
endif()
if(NOT EXISTS "${EXECUTABLE}")
    message(FATAL_ERROR "${EXECUTABLE} was not built")
endif()

execute_process(COMMAND "${OBJDUMP}" -p "${EXECUTABLE}" OUTPUT_VARIABLE headers RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "objdump could not read ${EXECUTABLE}")
endif()
if(NOT headers MATCHES "file format pei-x86-64")
    message(FATAL_ERROR "not a 64-bit Windows executable")
endif()
if(NOT headers MATCHES "Subsystem[\t ]+00000002")
    message(FATAL_ERROR "not a GUI-subsystem program")
endif()

# DLLs that come with every Windows; anything else (libstdc++-6.dll, libgcc_s_seh-1.dll,
# libwinpthread-1.dll) would have to be shipped beside the program.
set(system_dlls kernel32.dll msvcrt.dll shell32.dll user32.dll advapi32.dll)
string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${headers}")
if(NOT imports)
    message(FATAL_ERROR "no imports found")
endif()
foreach(import IN LISTS imports)
    string(REGEX REPLACE "^DLL Name: " "" dll "${import}")
    string(STRIP "${dll}" dll)
    string(TOLOWER "${dll}" dll)
    if(NOT dll IN_LIST system_dlls)
        message(FATAL_ERROR "imports ${dll}, which is not part of Windows: the runtime must be linked statically")
    endif()
endforeach()

execute_process(COMMAND "${WINDRES}" -i "${EXECUTABLE}" -O rc OUTPUT_VARIABLE resources RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "windres could not read the resources of ${EXECUTABLE}")
endif()
foreach(expected
        "FILEVERSION 5, 1, 4, 38659"
        "VALUE \"FileVersion\", \"5.1.4.38659\""
        "RT_MANIFEST"
        "requestedExecutionLevel level=\"\"asInvoker\"\" uiAccess=\"\"false\"\"")
    string(FIND "${resources}" "${expected}" found)
    if(found EQUAL -1)
        message(FATAL_ERROR "resources lack ${expected}:\n${resources}")
    endif()
endforeach()
message(STATUS "trailhead.exe: GUI subsystem, system DLLs only, manifest asInvoker, file version 5.1.4.38659")
