#include <vorn/utils/log/detail/level_reducer.h>

namespace vorn::utils::log::detail {

std::atomic<bool> LevelReducer::s_isEnabled{true};

} // namespace vorn::utils::log::detail
