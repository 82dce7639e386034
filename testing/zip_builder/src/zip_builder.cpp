#include <vorn/testing/zip_builder.h>

#include <sys/stat.h>

#include <QtCore/QFile>

#include <zip.h>

namespace vorn::testing {

ZipBuilder& ZipBuilder::addFile(std::string name, std::string content, unsigned mode)
{
    m_entries.push_back({std::move(name), std::move(content), S_IFREG | mode, false, m_compression});
    return *this;
}

ZipBuilder& ZipBuilder::addDirectory(std::string name, unsigned mode)
{
    m_entries.push_back({std::move(name), {}, S_IFDIR | mode, true, m_compression});
    return *this;
}

ZipBuilder& ZipBuilder::addSymlink(std::string name, std::string target)
{
    m_entries.push_back({std::move(name), std::move(target), S_IFLNK | 0777, false, m_compression});
    return *this;
}

ZipBuilder& ZipBuilder::setCompression(Compression compression)
{
    m_compression = compression;
    return *this;
}

qint64 ZipBuilder::unpackedSize() const
{
    qint64 total = 0;
    for (const Entry& entry : m_entries)
        total += static_cast<qint64>(entry.content.size());
    return total;
}

bool ZipBuilder::write(const QString& fileName, QString* error) const
{
    const auto fail = [error](zip_t* archive, const QString& what) {
        if (error)
            *error = what + ": " + QString::fromUtf8(archive ? zip_strerror(archive) : "cannot create the file");
        if (archive)
            zip_discard(archive);
        return false;
    };

    int openError = 0;
    zip_t* archive = zip_open(QFile::encodeName(fileName).constData(), ZIP_CREATE | ZIP_TRUNCATE, &openError);
    if (!archive)
        return fail(nullptr, fileName);
    for (const Entry& entry : m_entries) {
        zip_int64_t index = -1;
        if (entry.directory) {
            index = zip_dir_add(archive, entry.name.c_str(), ZIP_FL_ENC_UTF_8);
        } else {
            zip_source_t* source = zip_source_buffer(archive, entry.content.data(), entry.content.size(), 0);
            if (!source)
                return fail(archive, QString::fromStdString(entry.name));
            index = zip_file_add(archive, entry.name.c_str(), source, ZIP_FL_ENC_UTF_8);
            if (index < 0)
                zip_source_free(source);
        }
        if (index < 0)
            return fail(archive, QString::fromStdString(entry.name));
        const auto unsignedIndex = static_cast<zip_uint64_t>(index);
        if (zip_file_set_external_attributes(archive, unsignedIndex, 0, ZIP_OPSYS_UNIX, entry.typeAndMode << 16) != 0)
            return fail(archive, QString::fromStdString(entry.name));
        const bool store = entry.compression == Compression::store || entry.directory;
        if (zip_set_file_compression(archive, unsignedIndex, store ? ZIP_CM_STORE : ZIP_CM_DEFLATE, store ? 0 : 1) != 0)
            return fail(archive, QString::fromStdString(entry.name));
    }
    if (zip_close(archive) != 0)
        return fail(archive, fileName);
    return true;
}

} // namespace vorn::testing
