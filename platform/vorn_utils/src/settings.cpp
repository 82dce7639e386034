#include <vorn/utils/settings.h>

namespace vorn::utils {

Ini& ini()
{
    static Ini settings;
    return settings;
}

} // namespace vorn::utils
