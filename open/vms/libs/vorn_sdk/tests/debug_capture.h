// Test support: captures the kit's debug stream for the lifetime of the object, so a test can check
// the lines that the code under test wrote (assertion reports, plugin life-cycle lines).
#pragma once

#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include <vorn/kit/debug.h>

namespace vorn::sdk::test {

class DebugCapture
{
public:
    DebugCapture()
        : m_previous(kit::debug::setStream(&m_stream))
    {}
    ~DebugCapture() { kit::debug::setStream(m_previous); }

    DebugCapture(const DebugCapture&) = delete;
    DebugCapture& operator=(const DebugCapture&) = delete;

    std::string text() const { return m_stream.str(); }

    std::vector<std::string> lines() const
    {
        std::vector<std::string> result;
        std::istringstream input(m_stream.str());
        for (std::string line; std::getline(input, line);)
            result.push_back(line);
        return result;
    }

    int countLinesContaining(std::string_view part) const
    {
        int count = 0;
        for (const std::string& line : lines()) {
            if (line.find(part) != std::string::npos)
                ++count;
        }
        return count;
    }

    void clear() { m_stream.str({}); }

private:
    std::ostringstream m_stream;
    std::ostream* m_previous;
};

} // namespace vorn::sdk::test
