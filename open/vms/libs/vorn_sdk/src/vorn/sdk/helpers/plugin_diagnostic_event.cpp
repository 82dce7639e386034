#include "plugin_diagnostic_event.h"

#include <vorn/kit/debug.h>
#include <vorn/kit/utils.h>

namespace vorn::sdk {

namespace {

constexpr const char* kIndent = "    ";

void printReport(const std::string& text)
{
    kit::debug::stream() << (kit::debug::detail::printPrefix(__FILE__) + text + "\n");
}

} // namespace

PluginDiagnosticEvent::PluginDiagnosticEvent(Level level, std::string caption, std::string description)
    : m_level(level)
    , m_caption(std::move(caption))
    , m_description(std::move(description))
{}

std::string PluginDiagnosticEvent::toString() const
{
    using kit::utils::toString;
    std::string text = "{\n";
    text += std::string(kIndent) + "\"level\": " + toString(levelToString(m_level)) + ",\n";
    text += std::string(kIndent) + "\"caption\": " + toString(m_caption) + ",\n";
    text += std::string(kIndent) + "\"description\": " + toString(m_description) + "\n";
    text += "}";
    return text;
}

std::string levelToString(IPluginDiagnosticEvent::Level level)
{
    switch (level) {
    case IPluginDiagnosticEvent::Level::info:
        return "info";
    case IPluginDiagnosticEvent::Level::warning:
        return "warning";
    case IPluginDiagnosticEvent::Level::error:
        return "error";
    }
    kit::debug::detail::assertionFailed(&printReport, "false", "", __FILE__, __LINE__);
    return "unknown(" + std::to_string(static_cast<int32_t>(level)) + ")";
}

} // namespace vorn::sdk
