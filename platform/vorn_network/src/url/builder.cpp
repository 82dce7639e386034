#include <vorn/network/url/builder.h>

namespace vorn::network::url {

Builder& Builder::setScheme(const QString& scheme)
{
    m_url.setScheme(scheme);
    return *this;
}

Builder& Builder::setHost(const QString& host)
{
    m_url.setHost(host, QUrl::DecodedMode);
    return *this;
}

Builder& Builder::setPort(int port)
{
    m_url.setPort(port);
    return *this;
}

Builder& Builder::setPath(const QString& path)
{
    m_url.setPath(path, QUrl::DecodedMode);
    return *this;
}

Builder& Builder::setQuery(const QString& query)
{
    m_url.setQuery(query.isEmpty() ? QString() : query, QUrl::TolerantMode);
    return *this;
}

Builder& Builder::setQuery(const QUrlQuery& query)
{
    if (query.isEmpty())
        m_url.setQuery(QString());
    else
        m_url.setQuery(query);
    return *this;
}

} // namespace vorn::network::url
