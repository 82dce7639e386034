// vorn::utils::file_system: small file-system helpers of the launcher.
#pragma once

#include <QtCore/QDir>

namespace vorn::utils::file_system {

// Creates the folder with its parents when needed; true when the folder exists afterwards (also when it
// was there already). A file in the folder's place makes it false.
bool ensureDir(const QDir& dir);

} // namespace vorn::utils::file_system
