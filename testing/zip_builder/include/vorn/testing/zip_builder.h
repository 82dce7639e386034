// vorn::testing::ZipBuilder: writes a zip package of files, folders and symbolic links given in code.
//
//     ZipBuilder()
//         .addFile("bin/velorin", "#!/bin/sh\n", 0755)
//         .addFile("build_info.txt", "version=5.1.4.100\n")
//         .addSymlink("lib/libclient.so", "libclient.so.5")
//         .write(dir.filePath("client.zip"));
//
// Names go into the package exactly as given, so hostile packages ("../x", "/etc/x", "C:x") are made
// the same way as good ones. Entries carry Unix modes (file type and permission bits), as a package
// made on Linux or macOS does. The contents are kept by the builder until write() returns.
#pragma once

#include <string>
#include <vector>

#include <QtCore/QString>

namespace vorn::testing {

class ZipBuilder
{
public:
    enum class Compression { deflate, store };

    ZipBuilder& addFile(std::string name, std::string content, unsigned mode = 0644);
    ZipBuilder& addDirectory(std::string name, unsigned mode = 0755);
    ZipBuilder& addSymlink(std::string name, std::string target);
    // For the entries added after the call; deflate (at the fastest level) by default.
    ZipBuilder& setCompression(Compression compression);

    /** Writes the package; false, with the reason in *error when given, on failure. */
    bool write(const QString& fileName, QString* error = nullptr) const;

    /** The sum of the entries' uncompressed sizes. */
    qint64 unpackedSize() const;

private:
    struct Entry
    {
        std::string name;
        std::string content;
        unsigned typeAndMode = 0;
        bool directory = false;
        Compression compression = Compression::deflate;
    };
    std::vector<Entry> m_entries;
    Compression m_compression = Compression::deflate;
};

} // namespace vorn::testing
