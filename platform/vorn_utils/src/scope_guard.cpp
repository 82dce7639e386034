#include <vorn/utils/scope_guard.h>

#include <QtCore/QtGlobal>

namespace vorn::utils::detail {

void reportScopeGuardException(const char* what) noexcept
{
    try {
        qCritical("ScopeGuard: the exit action threw an exception: %s", what ? what : "(not a std::exception)");
    } catch (...) {
        // Nothing sensible is left to do: the report itself failed.
    }
}

} // namespace vorn::utils::detail
