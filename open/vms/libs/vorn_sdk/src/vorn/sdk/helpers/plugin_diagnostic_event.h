// PluginDiagnosticEvent: a levelled caption and description that a plugin reports to the server about
// the state of its work (a camera refusing or losing an event subscription), through
// IMetadataReceiver::receiveDiagnosticEvent. Built by one thread, read-only once handed on.
//
//     const auto event = makePtr<PluginDiagnosticEvent>(
//         IPluginDiagnosticEvent::Level::error, "Subscription lost", "The camera stopped answering");
//     receiver->receiveDiagnosticEvent(event.get());
#pragma once

#include <string>

#include <vorn/sdk/helpers/ref_countable.h>
#include <vorn/sdk/i_plugin_diagnostic_event.h>

namespace vorn::sdk {

class PluginDiagnosticEvent : public RefCountable<IPluginDiagnosticEvent>
{
public:
    PluginDiagnosticEvent(Level level, std::string caption, std::string description);

    Level level() const override { return m_level; }
    const char* caption() const override { return m_caption.c_str(); }
    const char* description() const override { return m_description.c_str(); }

    void setLevel(Level level) { m_level = level; }
    void setCaption(std::string caption) { m_caption = std::move(caption); }
    void setDescription(std::string description) { m_description = std::move(description); }

    /** A readable five-line rendering for logs, JSON-like, without a final line feed. */
    std::string toString() const;

private:
    Level m_level;
    std::string m_caption;
    std::string m_description;
};

/** "info", "warning" or "error"; any other value is reported and gives "unknown(<value>)". */
std::string levelToString(IPluginDiagnosticEvent::Level level);

} // namespace vorn::sdk
