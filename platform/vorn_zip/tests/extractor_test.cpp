#include <vorn/zip/extractor.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QtCore/QDir>
#include <QtCore/QFile>
#include <QtCore/QTemporaryDir>
#include <gtest/gtest.h>

#include <vorn/testing/zip_builder.h>

namespace vorn::zip {
namespace {

namespace fs = std::filesystem;
using vorn::testing::ZipBuilder;
using Error = Extractor::Error;

// A scratch folder with the package, the target folder and a sibling folder "outside" that no
// extraction may ever touch.
class ExtractorTest : public ::testing::Test
{
protected:
    QString zipPath() const { return m_dir.filePath("package.zip"); }
    QString target() const { return m_dir.filePath("target"); }
    fs::path targetPath() const { return fs::path(target().toStdString()); }
    fs::path outsidePath() const { return fs::path(m_dir.filePath("outside").toStdString()); }

    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        ASSERT_TRUE(QDir(m_dir.path()).mkpath("outside"));
    }

    void write(const ZipBuilder& builder)
    {
        QString error;
        ASSERT_TRUE(builder.write(zipPath(), &error)) << error.toStdString();
    }

    Error extract()
    {
        Extractor extractor(zipPath(), target());
        return extractor.extractZip();
    }

    // Every path in the scratch folder, relative to it, links not followed.
    std::vector<std::string> everything() const
    {
        std::vector<std::string> paths;
        const fs::path root(m_dir.path().toStdString());
        for (const auto& entry : fs::recursive_directory_iterator(root))
            paths.push_back(entry.path().lexically_relative(root).string());
        std::sort(paths.begin(), paths.end());
        return paths;
    }

    static std::string readFile(const fs::path& path)
    {
        QFile file(QString::fromStdString(path.string()));
        if (!file.open(QIODevice::ReadOnly))
            return "<unreadable>";
        return file.readAll().toStdString();
    }

    static unsigned modeOf(const fs::path& path)
    {
        struct stat info;
        return ::lstat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
    }

    QTemporaryDir m_dir;
};

TEST_F(ExtractorTest, ClientTreeIsUnpackedWithModesLinksAndSizes)
{
    const std::string big(300 * 1024, 'x'); // More than one read of the extractor.
    ZipBuilder builder;
    builder.addDirectory("bin/")
        .addFile("bin/velorin", "#!/bin/sh\necho client\n", 0755)
        .addFile("bin/setuid-tool", "tool", 04755)
        .addFile("lib/libclient.so.5", big, 0644)
        .addSymlink("lib/libclient.so", "libclient.so.5")
        .addSymlink("bin/lib", "../lib")
        .addDirectory("share/empty/", 0700)
        .addDirectory("readonly/", 0555)
        .addFile("readonly/inside.txt", "inside", 0444)
        .setCompression(ZipBuilder::Compression::store)
        .addFile("./build_info.txt", "version=5.1.4.100\n");
    write(builder);

    Extractor extractor(zipPath(), target());
    EXPECT_EQ(extractor.estimateUnpackedSize(), builder.unpackedSize());
    ASSERT_EQ(extractor.extractZip(), Error::ok);
    // Link targets are entries' contents too, but no bytes written: the count is the files' bytes.
    const qint64 linkBytes = std::string("libclient.so.5").size() + std::string("../lib").size();
    EXPECT_EQ(extractor.bytesExtracted(), builder.unpackedSize() - linkBytes);

    const fs::path root = targetPath();
    EXPECT_EQ(readFile(root / "bin/velorin"), "#!/bin/sh\necho client\n");
    EXPECT_EQ(modeOf(root / "bin/velorin"), 0755u);
    EXPECT_EQ(modeOf(root / "bin/setuid-tool"), 0755u) << "set-id bits are dropped";
    EXPECT_EQ(readFile(root / "lib/libclient.so"), big);
    EXPECT_EQ(fs::read_symlink(root / "lib/libclient.so"), "libclient.so.5");
    EXPECT_EQ(readFile(root / "bin/lib/libclient.so.5"), big);
    EXPECT_TRUE(fs::is_directory(root / "share/empty"));
    EXPECT_EQ(modeOf(root / "share/empty"), 0700u);
    EXPECT_EQ(modeOf(root / "readonly"), 0755u) << "a folder stays writable by its owner";
    EXPECT_EQ(readFile(root / "readonly/inside.txt"), "inside");
    EXPECT_EQ(readFile(root / "build_info.txt"), "version=5.1.4.100\n");
}

TEST(ExtractorEntryNames, SplitsSafeNamesAndRefusesUnsafeOnes)
{
    struct Row
    {
        const char* name;
        std::string entry;
        bool safe;
        std::vector<std::string> components;
    };
    const std::string longest(Extractor::kMaxEntryNameLength, 'a');
    const std::vector<Row> rows = {
        {"plain", "bin/velorin", true, {"bin", "velorin"}},
        {"dot and doubled separators", "./a//b/./c", true, {"a", "b", "c"}},
        {"windows separators", "bin\\velorin.exe", true, {"bin", "velorin.exe"}},
        {"folder", "lib/", true, {"lib"}},
        {"the target itself", "./", true, {}},
        {"dots inside a name", "a..b/..c", true, {"a..b", "..c"}},
        {"longest name", longest, true, {longest}},
        {"one past the longest name", longest + "a", false, {}},
        {"empty", "", false, {}},
        {"parent", "../evil", false, {}},
        {"parent after a folder", "a/../../evil", false, {}},
        {"parent that stays inside", "a/../b", false, {}},
        {"parent with windows separators", "a\\..\\..\\evil", false, {}},
        {"absolute", "/etc/evil", false, {}},
        {"absolute with windows separator", "\\Windows\\evil", false, {}},
        {"drive letter", "C:evil", false, {}},
        {"drive letter and separator", "C:\\evil", false, {}},
        {"three dots (\"..\" on windows)", "a/.../evil", false, {}},
        {"dot and blank (\"..\" on windows)", "a/. ./evil", false, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<std::string> components{"stale"};
        EXPECT_EQ(Extractor::splitEntryName(row.entry, &components), row.safe);
        if (row.safe) {
            EXPECT_EQ(components, row.components);
        }
    }
}

TEST_F(ExtractorTest, UnsafeNameRefusesThePackageBeforeAnythingIsWritten)
{
    for (const std::string name :
         {"../outside/evil", "a/../../outside/evil", "/tmp/vorn-zip-evil", "C:evil", "..\\outside\\evil"}) {
        SCOPED_TRACE(name);
        write(ZipBuilder().addFile("bin/velorin", "client", 0755).addFile(name, "evil"));
        EXPECT_EQ(extract(), Error::unsafeEntry);
        EXPECT_EQ(everything(), (std::vector<std::string>{"outside", "package.zip"}));
        EXPECT_FALSE(fs::exists("/tmp/vorn-zip-evil"));
    }
}

TEST_F(ExtractorTest, LinksThatLeadOutFailAndLeaveNoLinkBehind)
{
    struct Row
    {
        const char* name;
        ZipBuilder package;
    };
    const std::vector<Row> rows = {
        {"to the parent", ZipBuilder().addSymlink("escape", "../outside")},
        {"absolute", ZipBuilder().addSymlink("escape", "/etc")},
        {"deep parent", ZipBuilder().addSymlink("a/b/escape", "../../../outside")},
        {"windows separators", ZipBuilder().addSymlink("escape", "..\\outside")},
        {"drive letter", ZipBuilder().addSymlink("escape", "C:outside")},
        {"too long", ZipBuilder().addSymlink("escape", std::string(Extractor::kMaxLinkTargetLength + 1, 'a'))},
        {"empty", ZipBuilder().addSymlink("escape", "")},
        {"through a link made later",
         ZipBuilder().addSymlink("a", "self/../outside").addSymlink("self", ".").addSymlink("good", "a")},
        {"file written through a link", ZipBuilder().addSymlink("dir", "../outside").addFile("dir/evil", "evil")},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        fs::remove_all(targetPath());
        Row copy = row;
        copy.package.addFile("bin/velorin", "client", 0755);
        write(copy.package);
        EXPECT_NE(extract(), Error::ok);
        std::vector<std::string> links;
        for (const auto& entry : fs::recursive_directory_iterator(targetPath())) {
            if (entry.is_symlink())
                links.push_back(entry.path().string());
        }
        EXPECT_EQ(links, std::vector<std::string>{});
        EXPECT_TRUE(fs::is_empty(outsidePath()));
    }
}

TEST_F(ExtractorTest, LinksInsideTheTargetAreKept)
{
    write(ZipBuilder()
              .addFile("lib/libclient.so.5", "library")
              .addSymlink("lib/libclient.so", "libclient.so.5")
              .addSymlink("bin/lib", "../lib/")
              .addSymlink("current", "./lib/../lib")
              .addSymlink("dangling", "not-there"));
    ASSERT_EQ(extract(), Error::ok);
    EXPECT_EQ(readFile(targetPath() / "bin/lib/libclient.so"), "library");
    EXPECT_EQ(readFile(targetPath() / "current/libclient.so.5"), "library");
    EXPECT_TRUE(fs::is_symlink(targetPath() / "dangling"));
}

TEST_F(ExtractorTest, BrokenPackagesFail)
{
    Extractor missing(m_dir.filePath("missing.zip"), target());
    EXPECT_EQ(missing.estimateUnpackedSize(), 0);
    EXPECT_EQ(missing.extractZip(), Error::cannotOpenZip);

    QFile notAZip(zipPath());
    ASSERT_TRUE(notAZip.open(QIODevice::WriteOnly));
    notAZip.write(QByteArray(4096, 'Z'));
    notAZip.close();
    EXPECT_EQ(extract(), Error::cannotOpenZip);

    // Stored data changed in the middle of the file: the CRC check at the end of the entry fails.
    const std::string content(64 * 1024, 'c');
    write(ZipBuilder().setCompression(ZipBuilder::Compression::store).addFile("data.bin", content));
    QFile zip(zipPath());
    ASSERT_TRUE(zip.open(QIODevice::ReadWrite));
    QByteArray bytes = zip.readAll();
    const int middle = bytes.indexOf(QByteArray(1024, 'c')) + 1000;
    ASSERT_GT(middle, 1000);
    bytes[middle] = 'd';
    zip.seek(0);
    zip.write(bytes);
    zip.close();
    EXPECT_EQ(extract(), Error::brokenZip);

    write(ZipBuilder().addFile("a", "file").addFile("a/b", "file below a file"));
    EXPECT_EQ(extract(), Error::cannotCreateDirectory);
}

// The second file of the package is written into a pipe that this test reads: while the extractor waits
// on it, its count stands exactly at the first file's size, and it moves on only as the test reads.
TEST_F(ExtractorTest, ProgressIsReadableWhileExtractionRuns)
{
    const std::string first(3 * 1024 * 1024 + 17, 'f');
    const std::string second(2 * 1024 * 1024, 's'); // Far more than a pipe holds.
    write(ZipBuilder().addFile("first.bin", first).addFile("second.bin", second));
    ASSERT_TRUE(QDir().mkpath(target()));
    const fs::path fifo = targetPath() / "second.bin";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);

    Extractor extractor(zipPath(), target());
    EXPECT_EQ(extractor.estimateUnpackedSize(), static_cast<qint64>(first.size() + second.size()));
    Error result = Error::cannotOpenZip;
    std::thread extraction([&] { result = extractor.extractZip(); });

    const int reader = ::open(fifo.c_str(), O_RDONLY); // Returns once the extractor opened it to write.
    ASSERT_GE(reader, 0);
    EXPECT_EQ(extractor.bytesExtracted(), static_cast<qint64>(first.size()));
    // Written bytes are counted once a write returns: at most what the pipe holds is counted unread.
    const int pipeCapacity = ::fcntl(reader, F_GETPIPE_SZ);
    ASSERT_GT(pipeCapacity, 0);
    std::string received;
    char buffer[65536];
    for (ssize_t read; (read = ::read(reader, buffer, sizeof buffer)) > 0;) {
        received.append(buffer, static_cast<std::size_t>(read));
        const qint64 seen = extractor.bytesExtracted();
        EXPECT_GE(seen, static_cast<qint64>(first.size()));
        EXPECT_LE(seen, static_cast<qint64>(first.size() + received.size()) + pipeCapacity);
    }
    ::close(reader);
    extraction.join();
    EXPECT_EQ(result, Error::ok);
    EXPECT_EQ(received, second);
    EXPECT_EQ(extractor.bytesExtracted(), static_cast<qint64>(first.size() + second.size()));
}

} // namespace
} // namespace vorn::zip
