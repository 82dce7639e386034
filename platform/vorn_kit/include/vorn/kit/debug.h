// Debug output of the kit library: the shared debug stream and the assertion printing that the SDK
// support code reports through.
//
// An assertion report does not stop the program: the reporter builds one text from the condition, the
// message and the source position and hands it to the caller's print function, which adds its own
// prefix and writes it to the debug stream. Execution then continues.
//
//     static void print(const std::string& text)
//     {
//         vorn::kit::debug::stream() << (detail::printPrefix(__FILE__) + text + "\n");
//     }
//     if (!attribute)
//         vorn::kit::debug::detail::assertionFailed(print, "attribute", "", __FILE__, __LINE__);
//
// The stream is stderr unless redirected with setStream() (tests capture it into a string stream).
// Writers build each line first and write it with one insertion, so lines of two threads do not mix.
#pragma once

#include <functional>
#include <ostream>
#include <string>

namespace vorn::kit::debug {

/** The current debug stream: stderr, or the stream given to setStream(). */
std::ostream& stream();

/**
 * Redirects the debug stream; null restores stderr. The stream must outlive its use as the debug
 * stream. Meant for start-up and tests: a line being written while the stream is swapped goes to the
 * old one.
 * @return The previous stream (stderr when none was set).
 */
std::ostream* setStream(std::ostream* newStream);

namespace detail {

using PrintFunc = std::function<void(const std::string& text)>;

/**
 * Builds the report text of a failed assertion ("ASSERTION FAILED at file:line: (condition)
 * message") and hands it to print, without an end of line. Execution continues.
 */
void assertionFailed(const PrintFunc& print, const char* condition, const std::string& message, const char* file,
                     int line);

/** The prefix of a debug line written from the given source file: "[file name] ". */
std::string printPrefix(const char* file);

} // namespace detail

} // namespace vorn::kit::debug
