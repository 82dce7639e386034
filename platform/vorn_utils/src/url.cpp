#include <vorn/utils/url.h>

namespace vorn::utils {

Url::Url(const QUrl& url)
    : m_url(url)
{}

Url::Url(const QString& text)
    : m_url(text, QUrl::TolerantMode)
{}

Url::Url(const char* text)
    : m_url(text ? QString::fromUtf8(text) : QString(), QUrl::TolerantMode)
{}

Url::Url(const std::string& text)
    : m_url(QString::fromStdString(text), QUrl::TolerantMode)
{}

void Url::setPathAndQuery(const QString& pathAndQuery)
{
    const int queryStart = pathAndQuery.indexOf(QLatin1Char('?'));
    if (queryStart < 0) {
        m_url.setPath(pathAndQuery, QUrl::DecodedMode);
        m_url.setQuery(QString());
        return;
    }
    m_url.setPath(pathAndQuery.left(queryStart), QUrl::DecodedMode);
    m_url.setQuery(pathAndQuery.mid(queryStart + 1), QUrl::DecodedMode);
}

QString toString(const Url& url)
{
    return url.toString(Url::kSafeFormatting);
}

} // namespace vorn::utils
