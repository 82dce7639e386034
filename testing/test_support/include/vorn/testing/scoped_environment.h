// vorn::testing::ScopedEnvironment: sets (or removes) an environment variable for the length of a scope
// and puts the old value back, so a test can point HOME or an installation root at a temporary folder:
//
//     QTemporaryDir home;
//     const vorn::testing::ScopedEnvironment homeOverride("HOME", home.path().toUtf8());
//     const vorn::testing::ScopedEnvironment noRoot("VORN_INSTALLATION_ROOT", std::nullopt);
//
// The environment is process-wide: use it only in tests that start no threads reading it meanwhile.
#pragma once

#include <optional>

#include <QtCore/QByteArray>
#include <QtCore/QtGlobal>

namespace vorn::testing {

class ScopedEnvironment
{
public:
    ScopedEnvironment(const char* name, std::optional<QByteArray> value)
        : m_name(name)
    {
        if (qEnvironmentVariableIsSet(name))
            m_previous = qgetenv(name);
        if (value)
            qputenv(name, *value);
        else
            qunsetenv(name);
    }
    ~ScopedEnvironment()
    {
        if (m_previous)
            qputenv(m_name, *m_previous);
        else
            qunsetenv(m_name);
    }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    const char* m_name;
    std::optional<QByteArray> m_previous;
};

} // namespace vorn::testing
