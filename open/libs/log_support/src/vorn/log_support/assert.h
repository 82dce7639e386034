// VN_ASSERT and vorn::log_support::reportAssertionFailure: assertions that report and continue.
//
// VN_ASSERT(COND) and VN_ASSERT(COND, FORMAT, ARGS...) are expressions of type bool: true when COND
// holds; otherwise the failure is reported as
//
//     ASSERTION FAILED: <source file without extension>:<line> (<COND as written>) <message>
//
// (the message empty when none is given, leaving the trailing blank) through
// vorn::utils::assertFailure, and the expression is that call's answer. The program never stops here:
// the caller takes its own fallback path, usually
//
//     if (!VN_ASSERT(size >= kHeaderSize, "size %1", size))
//         return ParseStatus::error;
//
// FORMAT and ARGS work as in VN_LOG, but are evaluated only when the assertion fails.
//
// The assertion sink may answer true ("carry on"). Where going on would be unsafe (a null pointer,
// a length past the data), use VN_CHECK instead: it reports the same way but its value is COND itself,
// so the guard holds whatever the sink answers:
//
//     if (!VN_CHECK(outTarget))
//         return;
#pragma once

#include <vorn/utils/formatter.h>

#include "log_text.h"

namespace vorn::log_support {

// Builds the report (placeholders filled in one pass, so a "%1" in the condition or the message stays
// as it is) and hands it to vorn::utils::assertFailure; returns its answer. `file` is the source path
// as the build gives it (relative to the checkout); its extension is left out of the report. The last
// OS error code is kept.
bool reportAssertionFailure(bool critical, const char* file, int line, const char* condition,
                            const vorn::Formatter& message);

namespace detail {

inline vorn::Formatter assertionMessage()
{
    return vorn::Formatter();
}

template <typename... Args>
vorn::Formatter assertionMessage(const vorn::Formatter& format, const Args&... args)
{
    return format.args(toLogText(args)...);
}

} // namespace detail

} // namespace vorn::log_support

#define VN_ASSERT(COND, ...)                                                                                           \
    (static_cast<bool>(COND)                                                                                           \
         ? true                                                                                                        \
         : ::vorn::log_support::reportAssertionFailure(false, __FILE__, __LINE__, #COND,                               \
                                                       ::vorn::log_support::detail::assertionMessage(__VA_ARGS__)))

#define VN_CHECK(COND, ...)                                                                                            \
    (static_cast<bool>(COND)                                                                                           \
         ? true                                                                                                        \
         : (::vorn::log_support::reportAssertionFailure(false, __FILE__, __LINE__, #COND,                              \
                                                        ::vorn::log_support::detail::assertionMessage(__VA_ARGS__)),   \
            false))
