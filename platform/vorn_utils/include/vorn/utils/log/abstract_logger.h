// vorn::utils::log::AbstractLogger: the interface of everything that writes log messages.
//
// A log statement asks isToBeLogged() with its level and tag before it builds its text, and calls
// log() only when the answer was yes; a statement that writes at another level (a repeated message
// demoted to a more detailed level) asks again for that level. log() writes whatever it is given.
//
// Loggers are shared (getLogger() hands out std::shared_ptr) and called from any thread at once:
// implementations guard their own output.
#pragma once

#include <atomic>

#include <QtCore/QString>

#include <vorn/utils/log/log_level.h>
#include <vorn/utils/log/tag.h>

namespace vorn::utils::log {

class AbstractLogger
{
public:
    explicit AbstractLogger(Level maxLevel)
        : m_maxLevel(maxLevel)
    {}
    virtual ~AbstractLogger() = default;
    AbstractLogger(const AbstractLogger&) = delete;
    AbstractLogger& operator=(const AbstractLogger&) = delete;

    // The most detailed level this logger takes.
    Level maxLevel() const { return m_maxLevel.load(std::memory_order_relaxed); }
    void setMaxLevel(Level level) { m_maxLevel.store(level, std::memory_order_relaxed); }

    // True when a message of this level and tag would be written. This logger takes every tag; a
    // logger that filters by tag overrides it.
    virtual bool isToBeLogged(Level level, const Tag& tag) const;

    virtual void log(Level level, const Tag& tag, const QString& message) = 0;

private:
    std::atomic<Level> m_maxLevel;
};

} // namespace vorn::utils::log
