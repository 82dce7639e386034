#include <vorn/zip/extractor.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>
#include <system_error>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QtCore/QFile>

#include <zip.h>

namespace vorn::zip {

namespace fs = std::filesystem;

namespace {

// One read of inflated data: large enough that the per-call cost of libzip and write() vanishes beside
// the copying, small enough to stay in the cache.
constexpr std::size_t kBufferSize = 256 * 1024;

constexpr mode_t kDefaultFileMode = 0644;
// Set-id and sticky bits from a package are never kept: an installed client must not gain privileges.
constexpr mode_t kPermissionBits = 0777;
// Folders stay writable and searchable by their owner, so the installation can be replaced and removed.
constexpr mode_t kOwnerAll = 0700;

struct ZipDiscard
{
    void operator()(zip_t* archive) const { zip_discard(archive); }
};
using ZipArchive = std::unique_ptr<zip_t, ZipDiscard>;

struct ZipFileClose
{
    void operator()(zip_file_t* file) const { zip_fclose(file); }
};
using ZipFile = std::unique_ptr<zip_file_t, ZipFileClose>;

class FileDescriptor
{
public:
    explicit FileDescriptor(int fd)
        : m_fd(fd)
    {}
    ~FileDescriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const { return m_fd; }
    // Closes now and tells whether the close succeeded (a write error may only show here).
    bool close() { return ::close(std::exchange(m_fd, -1)) == 0; }

private:
    int m_fd;
};

ZipArchive openArchive(const QString& fileName)
{
    int error = 0;
    return ZipArchive(zip_open(QFile::encodeName(fileName).constData(), ZIP_RDONLY, &error));
}

enum class EntryKind { directory, file, symlink };

struct Entry
{
    zip_uint64_t index = 0;
    fs::path relative;
    EntryKind kind = EntryKind::file;
    mode_t mode = 0; //< Permission bits; 0 when the package gives none.
};

bool isSeparator(char c)
{
    return c == '/' || c == '\\';
}

// True when `path` is `root` or lies below it; both lexically normal and absolute.
bool isInside(const fs::path& path, const fs::path& root)
{
    const fs::path relative = path.lexically_relative(root);
    return !relative.empty() && *relative.begin() != "..";
}

// Reads every entry's name and kind; false (with the reason) when one of them is unusable.
Extractor::Error readEntries(zip_t* archive, std::vector<Entry>* entries)
{
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    if (count < 0)
        return Extractor::Error::brokenZip;
    entries->reserve(static_cast<std::size_t>(count));
    std::vector<std::string> components;
    for (zip_uint64_t index = 0; index < static_cast<zip_uint64_t>(count); ++index) {
        const char* name = zip_get_name(archive, index, ZIP_FL_ENC_GUESS);
        if (!name)
            return Extractor::Error::brokenZip;
        const std::string_view nameView(name);
        if (!Extractor::splitEntryName(nameView, &components))
            return Extractor::Error::unsafeEntry;

        Entry entry;
        entry.index = index;
        for (const std::string& component : components)
            entry.relative /= component;

        zip_uint8_t system = 0;
        zip_uint32_t attributes = 0;
        mode_t unixMode = 0;
        if (zip_file_get_external_attributes(archive, index, 0, &system, &attributes) == 0 &&
            system == ZIP_OPSYS_UNIX) {
            unixMode = static_cast<mode_t>(attributes >> 16);
        }
        if (isSeparator(nameView.back()) || S_ISDIR(unixMode))
            entry.kind = EntryKind::directory;
        else if (S_ISLNK(unixMode))
            entry.kind = EntryKind::symlink;
        else
            entry.kind = EntryKind::file;
        entry.mode = unixMode & kPermissionBits;

        // The target folder itself can be named ("./"), but only as a folder.
        if (entry.relative.empty() && entry.kind != EntryKind::directory)
            return Extractor::Error::unsafeEntry;
        entries->push_back(std::move(entry));
    }
    return Extractor::Error::ok;
}

class Extraction
{
public:
    Extraction(zip_t* archive, fs::path target, std::atomic<qint64>* bytesExtracted)
        : m_archive(archive)
        , m_target(std::move(target))
        , m_bytesExtracted(bytesExtracted)
    {}

    Extractor::Error run(const std::vector<Entry>& entries)
    {
        std::error_code error;
        fs::create_directories(m_target, error);
        m_realTarget = fs::canonical(m_target, error);
        if (error)
            return Extractor::Error::cannotCreateDirectory;

        // Folders and files first, links last: no file is ever written through a link of the package.
        for (const Entry& entry : entries) {
            Extractor::Error result = Extractor::Error::ok;
            if (entry.kind == EntryKind::directory)
                result = makeDirectory(entry);
            else if (entry.kind == EntryKind::file)
                result = writeFile(entry);
            if (result != Extractor::Error::ok)
                return result;
        }
        for (const Entry& entry : entries) {
            if (entry.kind != EntryKind::symlink)
                continue;
            if (const auto result = makeLink(entry); result != Extractor::Error::ok) {
                removeLinks();
                return result;
            }
        }
        // A link checked when it was made may lead out through a link made after it ("a" -> "b/.." first,
        // then "b" -> "."): check every link again now that all of them exist.
        for (const fs::path& link : m_links) {
            if (!staysInside(link)) {
                removeLinks();
                return Extractor::Error::unsafeEntry;
            }
        }
        // Folder modes last: a read-only folder of the package must not stop the files that go into it.
        for (const Entry& entry : entries) {
            if (entry.kind == EntryKind::directory && entry.mode != 0)
                ::chmod((m_target / entry.relative).c_str(), entry.mode | kOwnerAll);
        }
        return Extractor::Error::ok;
    }

private:
    Extractor::Error makeDirectory(const Entry& entry)
    {
        std::error_code error;
        const fs::path path = m_target / entry.relative;
        fs::create_directories(path, error);
        if (error || !fs::is_directory(fs::symlink_status(path, error)))
            return Extractor::Error::cannotCreateDirectory;
        return Extractor::Error::ok;
    }

    Extractor::Error makeParent(const fs::path& path)
    {
        std::error_code error;
        fs::create_directories(path.parent_path(), error);
        return error ? Extractor::Error::cannotCreateDirectory : Extractor::Error::ok;
    }

    Extractor::Error writeFile(const Entry& entry)
    {
        const fs::path path = m_target / entry.relative;
        if (const auto result = makeParent(path); result != Extractor::Error::ok)
            return result;

        ZipFile source(zip_fopen_index(m_archive, entry.index, 0));
        if (!source)
            return Extractor::Error::brokenZip;
        const mode_t mode = entry.mode != 0 ? entry.mode : kDefaultFileMode;
        FileDescriptor file(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, mode));
        if (file.get() < 0)
            return Extractor::Error::cannotWriteFile;

        if (m_buffer.empty())
            m_buffer.resize(kBufferSize);
        for (;;) {
            const zip_int64_t read = zip_fread(source.get(), m_buffer.data(), m_buffer.size());
            if (read < 0)
                return Extractor::Error::brokenZip;
            if (read == 0)
                break;
            if (!writeAll(file.get(), m_buffer.data(), static_cast<std::size_t>(read)))
                return Extractor::Error::cannotWriteFile;
            m_bytesExtracted->fetch_add(read, std::memory_order_relaxed);
        }
        // The process's umask narrowed the mode at creation; the package's bits are wanted as they are.
        if (entry.mode != 0)
            ::fchmod(file.get(), entry.mode);
        if (!file.close())
            return Extractor::Error::cannotWriteFile;
        return Extractor::Error::ok;
    }

    static bool writeAll(int fd, const char* data, std::size_t size)
    {
        while (size > 0) {
            const ssize_t written = ::write(fd, data, size);
            if (written < 0) {
                if (errno == EINTR)
                    continue;
                return false;
            }
            data += written;
            size -= static_cast<std::size_t>(written);
        }
        return true;
    }

    Extractor::Error readLinkTarget(const Entry& entry, std::string* target)
    {
        zip_stat_t stat;
        zip_stat_init(&stat);
        if (zip_stat_index(m_archive, entry.index, 0, &stat) != 0 || !(stat.valid & ZIP_STAT_SIZE))
            return Extractor::Error::brokenZip;
        if (stat.size == 0 || stat.size > Extractor::kMaxLinkTargetLength)
            return Extractor::Error::unsafeEntry;
        ZipFile source(zip_fopen_index(m_archive, entry.index, 0));
        if (!source)
            return Extractor::Error::brokenZip;
        target->resize(static_cast<std::size_t>(stat.size));
        std::size_t filled = 0;
        while (filled < target->size()) {
            const zip_int64_t read = zip_fread(source.get(), target->data() + filled, target->size() - filled);
            if (read <= 0)
                return Extractor::Error::brokenZip;
            filled += static_cast<std::size_t>(read);
        }
        return Extractor::Error::ok;
    }

    Extractor::Error makeLink(const Entry& entry)
    {
        std::string target;
        if (const auto result = readLinkTarget(entry, &target); result != Extractor::Error::ok)
            return result;
        // Absolute targets and Windows separators are refused outright; a NUL would cut the target short.
        if (target.front() == '/' || target.find('\\') != std::string::npos || target.find('\0') != std::string::npos ||
            (target.size() >= 2 && target[1] == ':')) {
            return Extractor::Error::unsafeEntry;
        }

        const fs::path path = m_target / entry.relative;
        if (const auto result = makeParent(path); result != Extractor::Error::ok)
            return result;
        std::error_code error;
        const fs::path realParent = fs::canonical(path.parent_path(), error);
        if (error || !isInside(realParent, m_realTarget) ||
            !isInside((realParent / target).lexically_normal(), m_realTarget)) {
            return Extractor::Error::unsafeEntry;
        }
        if (::symlink(target.c_str(), path.c_str()) != 0)
            return Extractor::Error::cannotWriteFile;
        m_links.push_back(path);
        return Extractor::Error::ok;
    }

    // Where the link leads once every link on the way is followed (what does not exist yet is taken as
    // written) lies inside the target.
    bool staysInside(const fs::path& link) const
    {
        std::error_code error;
        const fs::path target = fs::read_symlink(link, error);
        if (error)
            return false;
        const fs::path realParent = fs::canonical(link.parent_path(), error);
        if (error)
            return false;
        const fs::path resolved = fs::weakly_canonical(realParent / target, error);
        return !error && isInside(resolved.lexically_normal(), m_realTarget);
    }

    void removeLinks()
    {
        for (const fs::path& link : m_links)
            ::unlink(link.c_str());
        m_links.clear();
    }

    zip_t* const m_archive;
    const fs::path m_target;
    fs::path m_realTarget;
    std::atomic<qint64>* const m_bytesExtracted;
    std::vector<char> m_buffer;
    std::vector<fs::path> m_links;
};

} // namespace

Extractor::Extractor(QString zipFileName, QString targetDir)
    : m_zipFileName(std::move(zipFileName))
    , m_targetDir(std::move(targetDir))
{}

Extractor::~Extractor() = default;

qint64 Extractor::estimateUnpackedSize() const
{
    const ZipArchive archive = openArchive(m_zipFileName);
    if (!archive)
        return 0;
    const zip_int64_t count = zip_get_num_entries(archive.get(), 0);
    zip_uint64_t total = 0;
    constexpr auto kMax = static_cast<zip_uint64_t>(std::numeric_limits<qint64>::max());
    for (zip_int64_t index = 0; index < count; ++index) {
        zip_stat_t stat;
        zip_stat_init(&stat);
        if (zip_stat_index(archive.get(), static_cast<zip_uint64_t>(index), 0, &stat) != 0 ||
            !(stat.valid & ZIP_STAT_SIZE)) {
            continue;
        }
        // Sizes come from the package: saturate rather than wrap, so a lying package asks for too much.
        total = stat.size > kMax - total ? kMax : total + stat.size;
    }
    return static_cast<qint64>(total);
}

Extractor::Error Extractor::extractZip()
{
    m_bytesExtracted.store(0, std::memory_order_relaxed);
    const ZipArchive archive = openArchive(m_zipFileName);
    if (!archive)
        return Error::cannotOpenZip;

    // Every name is checked before the first byte is written: an unsafe package leaves nothing behind.
    std::vector<Entry> entries;
    if (const Error result = readEntries(archive.get(), &entries); result != Error::ok)
        return result;
    Extraction extraction(archive.get(), fs::path(QFile::encodeName(m_targetDir).toStdString()), &m_bytesExtracted);
    return extraction.run(entries);
}

bool Extractor::splitEntryName(std::string_view name, std::vector<std::string>* components)
{
    components->clear();
    if (name.empty() || name.size() > kMaxEntryNameLength)
        return false;
    if (isSeparator(name.front()))
        return false;
    // "C:x" is relative to the current folder of drive C on Windows: as unsafe as an absolute path.
    if (name.size() >= 2 && name[1] == ':')
        return false;
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t end = start;
        while (end < name.size() && !isSeparator(name[end]))
            ++end;
        const std::string_view component = name.substr(start, end - start);
        start = end + 1;
        if (component.empty() || component == ".")
            continue;
        // Windows drops trailing dots and blanks of a name, so "..." and ". ." are ".." there.
        if (component.find_first_not_of(". ") == std::string_view::npos)
            return false;
        components->emplace_back(component);
    }
    return true;
}

QString toString(Extractor::Error error)
{
    switch (error) {
    case Extractor::Error::ok:
        return QStringLiteral("ok");
    case Extractor::Error::cannotOpenZip:
        return QStringLiteral("cannotOpenZip");
    case Extractor::Error::brokenZip:
        return QStringLiteral("brokenZip");
    case Extractor::Error::unsafeEntry:
        return QStringLiteral("unsafeEntry");
    case Extractor::Error::cannotCreateDirectory:
        return QStringLiteral("cannotCreateDirectory");
    case Extractor::Error::cannotWriteFile:
        return QStringLiteral("cannotWriteFile");
    }
    return QString::number(static_cast<int>(error));
}

} // namespace vorn::zip
