// vorn::testing::ScratchFolder: a private folder for one test program, test or benchmark, removed with all
// it holds when the object goes, so a run leaves nothing in the shared temp folder.
//
// With Temp::redirect, TMPDIR points into the folder while the object lives (and back afterwards): what
// the code under test keeps in the temp folder (a single-instance lock, a QTemporaryDir) lands there and
// goes with it. The environment is process-wide: redirect before any thread that reads it starts.
//
//     int main(int argc, char** argv)
//     {
//         const vorn::testing::ScratchFolder scratch(vorn::testing::ScratchFolder::Temp::redirect);
//         QtSingleCoreApplication app(QStringLiteral("tests"), argc, argv);   // its lock lives in scratch
//         return RUN_ALL_TESTS();
//     }
#pragma once

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

namespace vorn::testing {

class ScratchFolder
{
public:
    enum class Temp { keep, redirect };

    explicit ScratchFolder(Temp temp = Temp::keep)
    {
        const char* const base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/vorn-scratch-XXXXXX";
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back('\0');
        if (::mkdtemp(buffer.data()))
            m_path = buffer.data();
        if (temp == Temp::redirect && !m_path.empty()) {
            if (base)
                m_previousTemp = std::string(base);
            ::setenv("TMPDIR", m_path.c_str(), 1);
            m_redirected = true;
        }
    }
    ~ScratchFolder()
    {
        if (m_redirected) {
            if (m_previousTemp)
                ::setenv("TMPDIR", m_previousTemp->c_str(), 1);
            else
                ::unsetenv("TMPDIR");
        }
        if (!m_path.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(m_path, ignored);
        }
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    // Empty when the folder could not be made.
    const std::string& path() const { return m_path; }
    std::string filePath(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
    std::optional<std::string> m_previousTemp;
    bool m_redirected = false;
};

} // namespace vorn::testing
