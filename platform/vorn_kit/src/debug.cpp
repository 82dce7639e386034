#include <vorn/kit/debug.h>

#include <atomic>
#include <iostream>

namespace vorn::kit::debug {

namespace {

// Null means stderr. Constant-initialised and trivially destructible, so objects destroyed by other
// static destructors at exit can still write.
constinit std::atomic<std::ostream*> g_stream{nullptr};

} // namespace

std::ostream& stream()
{
    std::ostream* current = g_stream.load(std::memory_order_acquire);
    return current ? *current : std::cerr;
}

std::ostream* setStream(std::ostream* newStream)
{
    std::ostream* previous = g_stream.exchange(newStream, std::memory_order_acq_rel);
    return previous ? previous : &std::cerr;
}

namespace detail {

void assertionFailed(const PrintFunc& print, const char* condition, const std::string& message, const char* file,
                     int line)
{
    std::string text = "ASSERTION FAILED at ";
    text += file ? file : "?";
    text += ':';
    text += std::to_string(line);
    text += ": (";
    text += condition ? condition : "";
    text += ')';
    if (!message.empty()) {
        text += ' ';
        text += message;
    }
    if (print)
        print(text);
    else
        stream() << (text + "\n");
}

std::string printPrefix(const char* file)
{
    std::string name = file ? file : "";
    const auto slash = name.find_last_of("/\\");
    if (slash != std::string::npos)
        name.erase(0, slash + 1);
    return "[" + name + "] ";
}

} // namespace detail

} // namespace vorn::kit::debug
