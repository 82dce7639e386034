#include <vorn/utils/file_system.h>

#include <QtCore/QFile>
#include <QtCore/QTemporaryDir>

#include <gtest/gtest.h>

namespace vorn::utils::file_system {
namespace {

TEST(FileSystem, EnsureDir)
{
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    QFile file(root.filePath("file"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();

    struct Row
    {
        const char* name;
        QString path;
        bool expected;
    };
    const Row rows[] = {
        {"existing", root.path(), true},
        {"new with parents", root.filePath("a/b/c"), true},
        {"again", root.filePath("a/b/c"), true},
        {"file in the way", root.filePath("file"), false},
        {"below a file", root.filePath("file/sub"), false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(ensureDir(QDir(row.path)), row.expected);
        EXPECT_EQ(QDir(row.path).exists(), row.expected);
    }
}

} // namespace
} // namespace vorn::utils::file_system
