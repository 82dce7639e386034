// vorn::utils::file_system::reserveSpace: makes sure a number of bytes can be written to a file before
// a long job (an installation) starts writing, so that a full disk is reported at once instead of
// half-way through.
//
//     QFile probe(folder + "/probe.tmp");
//     if (!probe.open(QIODevice::WriteOnly) || !reserveSpace(probe, neededBytes))
//         return notEnoughSpace;
//     probe.remove();                          // the reserved blocks go back with the file
//
// The blocks are allocated in the file itself (posix_fallocate) where the file system can do that; where
// it cannot, the answer comes from the file system's free space for unprivileged users instead, which
// another writer may use up before the job gets to it.
#pragma once

#include <QtCore/QFile>
#include <QtCore/QtGlobal>

namespace vorn::utils::file_system {

/** True when `size` bytes could be reserved in the open `file` (always for a size of 0 or less). */
bool reserveSpace(QFile& file, qint64 size);

} // namespace vorn::utils::file_system
