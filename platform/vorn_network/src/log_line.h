// writeLogLine: a line that the network library writes of its own, for the few things its users should
// find in their log (an exception that escaped a completion, a listening socket that cannot accept). The
// text is made only when the maximum level reaches the line's and a logger takes its tag.
//
//     writeLogLine(Level::warning, QStringLiteral("vorn::network::aio::AioThread"),
//                  [&] { return QStringLiteral("Something failed: %1").arg(reason); });
#pragma once

#include <QtCore/QString>

#include <vorn/utils/log/log.h>

namespace vorn::network::detail {

template <class MakeText>
void writeLogLine(vorn::utils::log::Level level, const QString& tagText, MakeText makeText)
{
    using namespace vorn::utils::log;
    if (maxLevel() < level)
        return;
    const Tag tag(tagText);
    if (const auto logger = getLogger(tag); logger && logger->isToBeLogged(level, tag))
        logger->log(level, tag, makeText());
}

} // namespace vorn::network::detail
