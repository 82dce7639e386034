#include <vorn/utils/log/abstract_logger.h>

namespace vorn::utils::log {

bool AbstractLogger::isToBeLogged(Level level, const Tag& /*tag*/) const
{
    return level > Level::none && level <= maxLevel();
}

} // namespace vorn::utils::log
