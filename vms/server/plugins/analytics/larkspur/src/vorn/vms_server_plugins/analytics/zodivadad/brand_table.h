// The brand table: one row per camera brand that larkspur serves, in plugin index order. A brand's
// plugin differs from the others only in its plugin manifest and in the engine manifest that its
// engines load (the row's key, the base name of ":/zodivadad/<key>.json").
//
//     const std::vector<Brand>& brands = brandTable();
//     if (index >= 0 && index < static_cast<int>(brands.size()))
//         makePlugin(brands[index]);
//
// The table is built once, on first use, and never changes; any thread may read it.
#pragma once

#include <vector>

#include <QtCore/QString>

#include <vorn/vms/api/analytics/plugin_manifest.h>

namespace vorn::vms_server_plugins::analytics::zodivadad {

struct Brand
{
    QString engineManifestName;
    vorn::vms::api::analytics::PluginManifest pluginManifest;
};

/**
 * Index 0 is Zidezozi (so createVornPlugin() gives the Zidezozi plugin), then Zodivadad, ZERU,
 * Duzodoz and VovevUVAZ; servers keep plugins by index, so the order must never change.
 */
const std::vector<Brand>& brandTable();

} // namespace vorn::vms_server_plugins::analytics::zodivadad
