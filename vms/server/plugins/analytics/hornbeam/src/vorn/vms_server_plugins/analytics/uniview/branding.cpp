#include "branding.h"

#include <QtCore/QFile>

#include <vorn/kit/json.h>

namespace vorn::vms_server_plugins::analytics::uniview {

using vorn::kit::detail::json11::Json;

std::optional<Branding> brandingAt(std::string_view listText, int index)
{
    std::string error;
    const Json list = Json::parse(listText, error);
    if (!list.is_object())
        return std::nullopt;

    const Json::array& rows = list["brandings"].array_items();
    if (index < 0 || static_cast<std::size_t>(index) >= rows.size())
        return std::nullopt;
    const Json& row = rows[static_cast<std::size_t>(index)];

    Branding branding;
    branding.probe = row["probe"].bool_value();
    branding.pluginManifest = row["pluginManifest"].dump();
    for (const Json& vendor : row["vendors"].array_items())
        branding.vendorPatterns.insert(vendor.string_value());
    return branding;
}

std::optional<Branding> embeddedBranding(int index)
{
    QFile resource(QString::fromLatin1(kBrandingResourcePath));
    if (!resource.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray text = resource.readAll();
    return brandingAt(std::string_view(text.constData(), static_cast<std::size_t>(text.size())), index);
}

} // namespace vorn::vms_server_plugins::analytics::uniview
