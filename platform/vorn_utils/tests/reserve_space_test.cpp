#include <vorn/utils/file_system/reserve_space.h>

#include <limits>

#include <QtCore/QTemporaryDir>
#include <gtest/gtest.h>

namespace vorn::utils::file_system {
namespace {

TEST(ReserveSpace, ReservesWhatFitsAndRefusesWhatCannot)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QFile file(dir.filePath("probe.tmp"));

    EXPECT_FALSE(reserveSpace(file, 1)) << "a file that is not open";
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    EXPECT_TRUE(reserveSpace(file, 0));
    EXPECT_TRUE(reserveSpace(file, -1));

    constexpr qint64 kMiB = 1024 * 1024;
    EXPECT_TRUE(reserveSpace(file, kMiB));
    EXPECT_GE(file.size(), kMiB) << "the blocks belong to the file";

    // No disk holds 4 EiB: the file system refuses the allocation (or the file size).
    EXPECT_FALSE(reserveSpace(file, std::numeric_limits<qint64>::max() / 2));
    file.close();
    EXPECT_TRUE(file.remove());
}

} // namespace
} // namespace vorn::utils::file_system
