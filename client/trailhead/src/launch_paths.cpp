// Path handling of trailhead.
#include "launch_paths.h"

#include <algorithm>

namespace vorn::trailhead {

namespace {

bool isSeparator(wchar_t c)
{
    return c == L'/' || c == L'\\';
}

} // namespace

std::wstring withTrailingSeparator(std::wstring path)
{
    if (!path.empty() && !isSeparator(path.back()))
        path += L'/';
    return path;
}

std::wstring joinPath(std::wstring_view folder, std::wstring_view fileName)
{
    std::wstring path(folder);
    std::replace(path.begin(), path.end(), L'\\', L'/');
    path = withTrailingSeparator(std::move(path));
    path += fileName;
    return path;
}

std::wstring folderOfPath(std::wstring_view filePath)
{
    const auto last = std::find_if(filePath.rbegin(), filePath.rend(), isSeparator);
    if (last == filePath.rend())
        return {};
    const std::size_t separator = static_cast<std::size_t>(filePath.rend() - last) - 1;
    const std::wstring_view folder = filePath.substr(0, separator);
    // "\b.exe" and "C:\b.exe": the root itself is the folder, and a root keeps its separator.
    const bool isRoot = folder.empty() || (folder.size() == 2 && folder[1] == L':');
    return std::wstring(filePath.substr(0, isRoot ? separator + 1 : separator));
}

std::wstring perUserLauncherFolderIn(std::wstring_view localAppDataFolder)
{
    std::wstring folder(localAppDataFolder);
    if (!folder.empty() && folder.back() != L'\\')
        folder += L'\\';
    folder += kPerUserLauncherSubfolder;
    return withTrailingSeparator(std::move(folder));
}

} // namespace vorn::trailhead
