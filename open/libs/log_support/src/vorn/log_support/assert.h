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
//
// Where the condition is decided by a peer's bytes (a camera record that breaks its own layout), a
// peer that repeats the fault in every message would flood the log. VN_ASSERT_LIMITED reports through
// the log limiter of its own call site, as a log statement of level 2 (see LogHelper): within a window
// the L-th report carries the prefix "TOO MANY SIMILAR MESSAGES: ", later ones are written to the log
// at level 5 without reaching the assertion sink, and answer false. VN_REPORT_LIMITED reports such a
// failure with a condition text of the caller's:
//
//     if (!VN_ASSERT_LIMITED(data.empty()))
//         ...
//     if (record.x2 < record.x1)
//         VN_REPORT_LIMITED("metadata.fields2.x1 <= metadata.fields2.x2");
#pragma once

#include <vorn/utils/formatter.h>

#include "log_call_site.h"
#include "log_text.h"

namespace vorn::log_support {

// Builds the report (placeholders filled in one pass, so a "%1" in the condition or the message stays
// as it is) and hands it to vorn::utils::assertFailure; returns its answer. `file` is the source path
// as the build gives it (relative to the checkout); its extension is left out of the report. The last
// OS error code is kept.
bool reportAssertionFailure(bool critical, const char* file, int line, const char* condition,
                            const vorn::Formatter& message);

struct LogCallSite;

// The level of assertion reports for the limiter: that of the assertion sink's log lines (error).
inline constexpr int kAssertionLogLevel = 2;

// As reportAssertionFailure (never critical), through the limiter of the caller's call site.
bool reportLimitedAssertionFailure(LogCallSite* callSite, const char* file, int line, const char* condition,
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

// A lambda of its own per use, so that each statement has its own call site.
#define VN_REPORT_LIMITED(CONDITION_TEXT, ...)                                                                         \
    ([&]() -> bool {                                                                                                   \
        static ::vorn::log_support::LogCallSite vnAssertCallSite(::vorn::log_support::kAssertionLogLevel);             \
        return ::vorn::log_support::reportLimitedAssertionFailure(                                                     \
            &vnAssertCallSite, __FILE__, __LINE__, CONDITION_TEXT,                                                     \
            ::vorn::log_support::detail::assertionMessage(__VA_ARGS__));                                               \
    }())

#define VN_ASSERT_LIMITED(COND, ...) (static_cast<bool>(COND) ? true : VN_REPORT_LIMITED(#COND, ##__VA_ARGS__))
