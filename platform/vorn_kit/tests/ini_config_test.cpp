#include <vorn/kit/ini_config.h>

#include <string>

#include <vorn/testing/scoped_environment.h>

#include <gtest/gtest.h>

namespace vorn::kit {
namespace {

TEST(IniConfig, FolderFromTheEnvironment)
{
    struct Row
    {
        const char* name;
        std::optional<QByteArray> value;
        const char* expected; // null: no folder
    };
    const Row rows[] = {
        {"unset", std::nullopt, nullptr},
        {"empty", QByteArray(""), nullptr},
        {"set", QByteArray("/tmp/ini"), "/tmp/ini"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const vorn::testing::ScopedEnvironment environment(IniConfig::kFolderVariable, row.value);
        const char* const folder = IniConfig::iniFilesDir();
        if (row.expected)
            EXPECT_EQ(std::string(folder ? folder : "(null)"), row.expected);
        else
            EXPECT_EQ(folder, nullptr);
    }
}

} // namespace
} // namespace vorn::kit
