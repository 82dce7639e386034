#include "brand_table.h"

namespace vorn::vms_server_plugins::analytics::zodivadad {

namespace {

constexpr char kPluginVersion[] = "1.0.1";

Brand makeBrand(const char* engineManifestName, const char* id, const char* name, const char* vendor)
{
    return Brand{
        QString::fromLatin1(engineManifestName),
        vorn::vms::api::analytics::PluginManifest{
            QString::fromLatin1(id),
            QString::fromLatin1(name),
            QStringLiteral("Enables in-camera analytics support for %1 IP Cameras").arg(QString::fromLatin1(name)),
            QString::fromLatin1(kPluginVersion),
            QString::fromLatin1(vendor),
            QJsonObject(),
        },
    };
}

} // namespace

const std::vector<Brand>& brandTable()
{
    static const std::vector<Brand> kBrands{
        makeBrand("manifest_zidezozi", "vorn.zidezozi", "Zidezozi", "Zidezozi Corporation"),
        makeBrand("manifest_zodivadad", "vorn.zodivadad", "Zodivadad", "Zodivadad"),
        makeBrand("manifest_only", "vorn.only", "ZERU", "ZERU"),
        makeBrand("manifest_duzodoz", "vorn.duzodoz", "Duzodoz", "Duzodoz"),
        makeBrand("manifest_zedir", "vorn.zedir", "VovevUVAZ", "VovevUVAZ"),
    };
    return kBrands;
}

} // namespace vorn::vms_server_plugins::analytics::zodivadad
