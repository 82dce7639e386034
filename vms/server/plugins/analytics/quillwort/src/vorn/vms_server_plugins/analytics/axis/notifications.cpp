#include "notifications.h"

#include <QtCore/QStringList>
#include <QtCore/QStringView>

#include <vorn/log_support/assert.h>
#include <vorn/utils/vn_uuid.h>

namespace vorn::vms_server_plugins::analytics::axis {

namespace {

// Splits one element name into words: camel case splits before each upper-case letter, runs of
// upper-case letters stay one word (an acronym), runs of digits stay together, "v" or "V" followed by
// digits is one word, "_" and "." separate words ("." leaves a colon behind the word before it).
class NameTokenizer
{
public:
    explicit NameTokenizer(const QString& name)
    {
        // Only the last element name counts, without its namespace prefix.
        const QStringList parts = name.split(QLatin1Char('/'), Qt::SkipEmptyParts);
        if (parts.isEmpty())
            return;
        const QStringList names = parts.last().split(QLatin1Char(':'), Qt::SkipEmptyParts);
        if (!names.isEmpty())
            m_name = names.last();
    }

    QString tokenize()
    {
        const int n = m_name.size();
        int start = 0;
        int i = 0;
        while (i < n) {
            // The first character of a segment is taken as it is, never examined.
            if (i == start) {
                ++i;
                continue;
            }
            const QChar c = m_name[i];
            if (c.isDigit() || c.isUpper()) {
                flushSegment(QStringView(m_name).mid(start, i - start));
                start = i;
                ++i;
            } else if (c == QLatin1Char('.') || c == QLatin1Char('_')) {
                flushSegment(QStringView(m_name).mid(start, i - start));
                if (c == QLatin1Char('.'))
                    appendToLastToken(QLatin1Char(':'));
                m_afterSeparator = true;
                start = i + 1;
                i += 2;
            } else if (c == QLatin1Char('v') && i + 1 < n && m_name[i + 1].isDigit()) {
                flushSegment(QStringView(m_name).mid(start, i - start));
                start = i;
                ++i;
            } else {
                ++i;
            }
        }
        if (start < n)
            flushSegment(QStringView(m_name).mid(start));
        return m_tokens.join(QLatin1Char(' '));
    }

private:
    void flushSegment(QStringView segment)
    {
        if (!m_afterSeparator && !m_tokens.isEmpty() && segment.size() == 1) {
            const QChar ch = segment[0];
            const QChar last = m_tokens.last().back();
            const bool sameKind = (ch.isUpper() || ch.isDigit()) && (last.isUpper() || last.isDigit()) &&
                                  ch.category() == last.category();
            if (sameKind || (ch.isDigit() && last.toUpper() == QLatin1Char('V'))) {
                appendToLastToken(ch);
                return;
            }
        }
        addToken(segment);
    }

    void addToken(QStringView segment)
    {
        m_afterSeparator = false;
        if (!VN_CHECK(segment.size() > 0))
            return;
        QString token = segment.toString();
        token[0] = token[0].toUpper();
        m_tokens.append(token);
    }

    void appendToLastToken(QChar c)
    {
        if (!VN_CHECK(!m_tokens.isEmpty()))
            return;
        m_tokens.last().append(c);
    }

    QString m_name;
    QStringList m_tokens;
    bool m_afterSeparator = false;
};

} // namespace

QString normalizeTopic(const QString& topic)
{
    QStringList parts = topic.split(QLatin1Char('/'));
    for (QString& part : parts) {
        const int colon = part.lastIndexOf(QLatin1Char(':'));
        if (colon >= 0)
            part = part.mid(colon + 1);
    }
    return parts.join(QLatin1Char('/'));
}

QString makeEventTypeId(const NotificationType& type)
{
    return QStringLiteral("vorn.axis.") + VnUuid::fromArbitraryData(normalizeTopic(type.topic)).toString();
}

QString humanReadableName(const QString& name)
{
    return NameTokenizer(name).tokenize();
}

} // namespace vorn::vms_server_plugins::analytics::axis
