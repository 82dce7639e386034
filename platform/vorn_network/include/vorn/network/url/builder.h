// vorn::network::url::Builder: builds a request URL from a camera URL in one expression, each step taking
// its text literally (decoded mode), so that a path is never percent-decoded by accident.
//
//     const vorn::utils::Url lapiUrl = Builder(cameraUrl)
//         .setScheme("http")
//         .setPath("/LAPI/V1.0/System/Time")
//         .setQuery(QString())               // no query at all
//         .toUrl();
#pragma once

#include <QtCore/QString>
#include <QtCore/QUrlQuery>

#include <vorn/utils/url.h>

namespace vorn::network::url {

class Builder
{
public:
    Builder() = default;
    explicit Builder(utils::Url url)
        : m_url(std::move(url))
    {}

    Builder& setScheme(const QString& scheme);
    Builder& setHost(const QString& host);
    // -1 removes the port.
    Builder& setPort(int port);
    Builder& setPath(const QString& path);
    // An empty text removes the query (no "?" remains); otherwise taken in tolerant mode.
    Builder& setQuery(const QString& query);
    Builder& setQuery(const QUrlQuery& query);

    const utils::Url& toUrl() const { return m_url; }

private:
    utils::Url m_url;
};

} // namespace vorn::network::url
