// vorn::utils::assertFailure: where failed assertions are reported.
//
// It writes the report to the log (level error; a critical one at level always), or to stderr when no
// logger is installed, and returns false, so that the caller takes its fallback path. It never stops
// the program.
//
// A test replaces that behaviour with a handler, most simply through AssertionCapture, which records
// every report and answers a chosen result:
//
//     vorn::utils::AssertionCapture assertions(/*result*/ true);
//     parser.parse(badBytes);             // the parser goes on where the report returned true
//     EXPECT_THAT(assertions.reports(), ElementsAre(HasSubstr("(shift == size)")));
#pragma once

#include <functional>
#include <mutex>

#include <QtCore/QString>
#include <QtCore/QStringList>

namespace vorn::utils {

// The report text arrives complete ("ASSERTION FAILED: file:line (condition) message").
bool assertFailure(bool critical, const QString& text);

// Replaces the default reporting; an empty handler puts it back. Returns the handler it replaces.
// The handler runs on the thread that failed the assertion, and may run on several at once.
using AssertionHandler = std::function<bool(bool critical, const QString& text)>;
AssertionHandler setAssertionHandler(AssertionHandler handler);

// Test tool: records every report while it lives and answers each with result().
class AssertionCapture
{
public:
    explicit AssertionCapture(bool result = false);
    ~AssertionCapture();
    AssertionCapture(const AssertionCapture&) = delete;
    AssertionCapture& operator=(const AssertionCapture&) = delete;

    void setResult(bool result);
    bool result() const;
    QStringList reports() const;
    void clear();

private:
    bool onFailure(const QString& text);

    // Guards m_result and m_reports, which reporting threads touch.
    mutable std::mutex m_mutex;
    bool m_result;
    QStringList m_reports;
    AssertionHandler m_previousHandler;
};

} // namespace vorn::utils
