// The launcher's command line and the logging set-up that comes with reading it.
//
// parseCommandLineParameters() is the first thing main() does once the application object exists and
// the organisation and application names are set (they name the data folder that holds the log):
//
//     const StartupParameters parameters = parseCommandLineParameters();
//
// Options: --log-level <level> and --log-file <name> (used only together; otherwise the logging ini
// file "waypoint_log.ini" or the defaults apply), --quit, --exec, --proto <protocol>. Every argument
// but --quit and --exec is handed on to the clients the launcher starts, the launcher's own options
// included. Parsing errors are logged and never fatal.
#pragma once

#include <QtCore/QString>
#include <QtCore/QStringList>

#include "startup_parameters.h"

namespace vorn::vms::waypoint {

// Reads QCoreApplication::arguments() (the application object must exist) and sets up logging.
StartupParameters parseCommandLineParameters();
// The same for a given argument list (the program first).
StartupParameters parseCommandLineParameters(const QStringList& arguments);

// The client arguments of a launcher command line (the program first): all but the program and
// every "--quit" and "--exec".
QStringList removeLauncherOptions(const QStringList& arguments);

// Installs the main logger: the level text (an unreadable one leaves the default level), 50 MiB for
// all files together, 10 MiB per file, the file base name as given. When the file cannot be opened the
// logger in place stays, so messages are never silently dropped.
void initLogging(const QString& logLevel, const QString& logFile);

} // namespace vorn::vms::waypoint
