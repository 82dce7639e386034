#include <vorn/utils/assert.h>

#include <cstdio>

#include <vorn/utils/log/log.h>

namespace vorn::utils {

namespace {

struct HandlerHolder
{
    // Guards handler; held only to copy or swap it, never while it runs.
    std::mutex mutex;
    AssertionHandler handler;
};

HandlerHolder& handlerHolder()
{
    static HandlerHolder holder;
    return holder;
}

void writeReport(bool critical, const QString& text)
{
    const log::Level level = critical ? log::Level::always : log::Level::error;
    if (log::maxLevel() < level)
        return;
    const log::Tag tag(QStringLiteral("assert"));
    if (const auto logger = log::getLogger(tag)) {
        if (logger->isToBeLogged(level, tag))
            logger->log(level, tag, text);
        return;
    }
    const QByteArray line = text.toUtf8() + '\n';
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stderr);
    std::fflush(stderr);
}

} // namespace

bool assertFailure(bool critical, const QString& text)
{
    AssertionHandler handler;
    {
        HandlerHolder& holder = handlerHolder();
        const std::lock_guard lock(holder.mutex);
        handler = holder.handler;
    }
    if (handler)
        return handler(critical, text);
    writeReport(critical, text);
    return false;
}

AssertionHandler setAssertionHandler(AssertionHandler handler)
{
    HandlerHolder& holder = handlerHolder();
    const std::lock_guard lock(holder.mutex);
    holder.handler.swap(handler);
    return handler;
}

AssertionCapture::AssertionCapture(bool result)
    : m_result(result)
    , m_previousHandler(setAssertionHandler([this](bool, const QString& text) { return onFailure(text); }))
{}

AssertionCapture::~AssertionCapture()
{
    setAssertionHandler(std::move(m_previousHandler));
}

void AssertionCapture::setResult(bool result)
{
    const std::lock_guard lock(m_mutex);
    m_result = result;
}

bool AssertionCapture::result() const
{
    const std::lock_guard lock(m_mutex);
    return m_result;
}

QStringList AssertionCapture::reports() const
{
    const std::lock_guard lock(m_mutex);
    return m_reports;
}

void AssertionCapture::clear()
{
    const std::lock_guard lock(m_mutex);
    m_reports.clear();
}

bool AssertionCapture::onFailure(const QString& text)
{
    const std::lock_guard lock(m_mutex);
    m_reports.append(text);
    return m_result;
}

} // namespace vorn::utils
