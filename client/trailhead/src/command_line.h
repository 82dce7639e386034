// The command line trailhead starts waypoint with: the quoted path of the executable, then each of
// trailhead's own arguments after a blank, written so that the new process reads back exactly the
// arguments trailhead received.
//
//     buildCommandLine(L"C:/Tools/Launch/waypoint.exe", {L"--exec", L"--proto", L"5000"})
//         // "C:/Tools/Launch/waypoint.exe" --exec --proto 5000
//     quoteArgument(L"C:\\My Files\\")   // "C:\My Files\\"
//
// Windows programs split their command line by the rules of CommandLineToArgvW and of the C runtime:
// blanks and tabs separate arguments unless inside double quotes, a quote preceded by backslashes
// takes one backslash to escape it, and backslashes elsewhere stand for themselves. quoteArgument is
// the inverse of those rules.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace vorn::trailhead {

/**
 * argument as it must be written on a command line to be read back unchanged: as it is when it is
 * non-empty and holds no blank, tab, line break or double quote; otherwise in double quotes, with a
 * backslash before each quote and every run of backslashes that precedes a quote (or the closing
 * quote) doubled.
 */
std::wstring quoteArgument(std::wstring_view argument);

/** The quoted executable path, then " " and quoteArgument(a) for each of arguments. */
std::wstring buildCommandLine(std::wstring_view executablePath, std::span<const std::wstring> arguments);

} // namespace vorn::trailhead
