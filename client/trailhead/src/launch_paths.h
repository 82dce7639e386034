// Path handling of trailhead: the folders it starts waypoint from and the files in them.
//
// Folders are kept with a trailing separator; file paths built from them use '/' throughout, which
// Windows accepts as well as '\'. The folder shown to the user and handed to the new process as its
// current folder keeps its separators as found, plus the added '/':
//
//     withTrailingSeparator(L"C:\\Tools\\Launch")              // L"C:\\Tools\\Launch/"
//     joinPath(L"C:\\Tools\\Launch/", kLauncherExecutableName) // L"C:/Tools/Launch/waypoint.exe"
#pragma once

#include <string>
#include <string_view>

namespace vorn::trailhead {

inline constexpr std::wstring_view kLauncherExecutableName = L"waypoint.exe";
inline constexpr std::wstring_view kLauncherVersionFileName = L"launcher.version";

/** The per-user launcher folder below the user's local application-data folder. */
inline constexpr std::wstring_view kPerUserLauncherSubfolder = L"Velorin\\waypoint\\velorin";

/** path with '/' appended when it is non-empty and ends with neither '/' nor '\'. */
std::wstring withTrailingSeparator(std::wstring path);

/** folder with every '\' turned into '/' and a trailing separator ensured, then fileName. */
std::wstring joinPath(std::wstring_view folder, std::wstring_view fileName);

/**
 * The folder part of a file's full path, as Windows cuts a file name off: "C:\a\b.exe" gives "C:\a",
 * but a file in a drive's or the current drive's root keeps the root ("C:\b.exe" gives "C:\"). A path
 * without a separator has no folder part (empty).
 */
std::wstring folderOfPath(std::wstring_view filePath);

/**
 * The per-user launcher folder inside the given local application-data folder, with a trailing
 * separator: kPerUserLauncherSubfolder appended with a '\' between them.
 */
std::wstring perUserLauncherFolderIn(std::wstring_view localAppDataFolder);

} // namespace vorn::trailhead
