// Logging of the utility library: the main logger and the lookup that log statements use.
//
// Each library instance (each plugin, the launcher) has one main logger; until one is installed it is
// a StreamLogger on stderr that takes every level, so maxLevel() alone decides what is written.
// getLogger() hands out the logger that takes a tag, shared, so a logger replaced while a statement
// runs lives until that statement is done with it.
//
//     vorn::utils::log::setMainLogger(vorn::utils::log::FileLogger::open(path, Level::info));
//     vorn::utils::log::setMaxLevel(Level::info);
//
// This header also brings in the level, tag and logger types.
#pragma once

#include <memory>

#include <vorn/utils/log/abstract_logger.h>
#include <vorn/utils/log/log_level.h>
#include <vorn/utils/log/tag.h>

namespace vorn::utils::log {

// The logger for messages with this tag, or empty when no logger takes the tag.
std::shared_ptr<AbstractLogger> getLogger(const Tag& tag);

// The installed main logger (empty after setMainLogger(nullptr)).
std::shared_ptr<AbstractLogger> mainLogger();

// Installs the main logger (a std::unique_ptr converts) and returns the one it replaces. An empty
// pointer leaves no logger at all: log statements then write nothing.
std::shared_ptr<AbstractLogger> setMainLogger(std::shared_ptr<AbstractLogger> logger);

} // namespace vorn::utils::log
