#include "plugin.h"

#include <exception>

#include <vorn/kit/debug.h>
#include <vorn/kit/utils.h>
#include <vorn/sdk/helpers/error.h>
#include <vorn/sdk/helpers/guarded_ptr.h>
#include <vorn/sdk/helpers/lib_context.h>
#include <vorn/sdk/helpers/string.h>

namespace vorn::sdk::analytics {

namespace {

constexpr const char* kUnableToCreateEngine = "Unable to create Engine";
constexpr const char* kUnknownException = "Unknown exception occurred";

void printReport(const std::string& text)
{
    kit::debug::stream() << (kit::debug::detail::printPrefix(__FILE__) + text + "\n");
}

// Writes an unexpectedFailure result; when even the message cannot be made, the result goes without one.
template <class T>
void writeUnexpectedFailure(Result<T>* outResult, const char* message) noexcept
{
    try {
        *outResult = Result<T>(error(ErrorCode::unexpectedFailure, message));
    } catch (...) {
        *outResult = Result<T>(Error(ErrorCode::unexpectedFailure, nullptr));
    }
}

std::string errorText(const Error& error)
{
    if (error.errorMessage && error.errorMessage->text())
        return error.errorMessage->text();
    return "error code " + std::to_string(static_cast<int32_t>(error.errorCode));
}

} // namespace

Plugin::Plugin()
{
    logLifeCycleEvent("Created");
}

Plugin::Plugin(std::string pluginManifest, CreateEngine createEngine)
    : m_pluginManifest(std::move(pluginManifest))
    , m_createEngine(std::move(createEngine))
{
    logLifeCycleEvent("Created");
}

Plugin::~Plugin()
{
    logLifeCycleEvent("Destroyed");
}

void Plugin::attachHostServices(IHostServices* hostServices)
{
    replaceGuarded(m_hostServicesMutex, &m_hostServices, hostServices);
}

Ptr<IHostServices> Plugin::hostServices() const
{
    return copyGuarded(m_hostServicesMutex, m_hostServices);
}

void Plugin::getManifest(Result<const IString*>* outResult) const
{
    if (!outResult)
        return;
    try {
        std::string manifest = m_pluginManifest.empty() ? manifestString() : m_pluginManifest;
        *outResult = Result<const IString*>(new String(std::move(manifest)));
    } catch (const std::exception& e) {
        logError(e.what());
        writeUnexpectedFailure(outResult, e.what());
    } catch (...) {
        logError(kUnknownException);
        writeUnexpectedFailure(outResult, kUnknownException);
    }
}

void Plugin::obtainEngine(Result<IEngine*>* outResult)
{
    if (!outResult)
        return;
    try {
        if (m_createEngine) {
            if (IEngine* engine = m_createEngine(this)) {
                *outResult = Result<IEngine*>(engine);
                return;
            }
            logError(kUnableToCreateEngine);
            *outResult = Result<IEngine*>(error(ErrorCode::generalFailure, kUnableToCreateEngine));
            return;
        }

        *outResult = doObtainEngine();
        if (!outResult->error.isOk())
            logError(errorText(outResult->error));
    } catch (const std::exception& e) {
        logError(e.what());
        writeUnexpectedFailure(outResult, e.what());
    } catch (...) {
        logError(kUnknownException);
        writeUnexpectedFailure(outResult, kUnknownException);
    }
}

std::string Plugin::reservedOperation()
{
    return {};
}

Result<IEngine*> Plugin::doObtainEngine()
{
    static constexpr const char* kMessage = "Either doObtainEngine() should be overridden, or the constructor "
                                            "with createEngine argument (deprecated) should be called.";
    kit::debug::detail::assertionFailed(&printReport, "false", kMessage, __FILE__, __LINE__);
    return error(ErrorCode::unexpectedFailure, kMessage);
}

std::string Plugin::manifestString() const
{
    kit::debug::detail::assertionFailed(
        &printReport, "false",
        "Either manifestString() should be overridden, or the constructor with pluginManifest argument "
        "(deprecated) should be called.",
        __FILE__, __LINE__);
    return {};
}

void Plugin::logLifeCycleEvent(const char* event) const noexcept
{
    try {
        kit::debug::stream() << (kit::debug::detail::printPrefix(__FILE__) + event + " IPlugin @" +
                                 kit::utils::toString(static_cast<const void*>(this)) + " of " +
                                 detail::activeLibContextName() + "\n");
    } catch (...) {
        // Runs in the constructor and the destructor: a lost line must not end the server's process.
    }
}

void Plugin::logError(std::string_view message) const noexcept
{
    try {
        kit::debug::stream() << (kit::debug::detail::printPrefix(__FILE__) +
                                 "ERROR: " + detail::activeLibContextName() + ": " + std::string(message) + "\n");
    } catch (...) {
        // A log line is not worth an exception across the library boundary.
    }
}

} // namespace vorn::sdk::analytics
