#include "manifest_text.h"

#include <optional>

#include <QtCore/QFile>
#include <QtCore/QFileInfo>

#include <vorn/log_support/log.h>

namespace vorn::vms_server_plugins::utils {

namespace {

std::optional<QByteArray> readFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return file.readAll();
}

} // namespace

QByteArray loadManifestText(const QString& embeddedPath, const QString& externalPath, const vorn::utils::log::Tag& tag)
{
    if (std::optional<QByteArray> external = readFile(externalPath)) {
        VN_LOG(4, tag, "Switch to external manifest file %1", QFileInfo(externalPath).absoluteFilePath());
        return std::move(*external);
    }
    return readFile(embeddedPath).value_or(QByteArray());
}

} // namespace vorn::vms_server_plugins::utils
