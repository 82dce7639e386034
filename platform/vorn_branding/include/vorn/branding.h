// vorn::branding: the names this build is branded with.
//
// Every text is fixed at build time except the installation root, which the environment variable
// "VORN_INSTALLATION_ROOT" replaces when it is set and not empty (tests point it at a temporary folder;
// it is read at every call, so a test may change it between calls).
#pragma once

#include <QtCore/QString>

namespace vorn::branding {

inline constexpr char kInstallationRootVariable[] = "VORN_INSTALLATION_ROOT";

QString company();                   // "Velorin": the organisation of settings and data folders
QString brand();                     // "velorin": the brand name handed to old clients with "-name"
QString customization();             // "velorin": the customisation's folder name
QString vmsName();                   // "Velorin": the product name
QString desktopClientLauncherName(); // "velorin": the client executable's file name
QString waypointInternalName();      // "waypoint": the launcher's application name and instance id
QString installationRoot();          // "/opt/Velorin/velorin" unless kInstallationRootVariable names another

} // namespace vorn::branding
