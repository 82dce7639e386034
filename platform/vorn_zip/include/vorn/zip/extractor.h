// vorn::zip::Extractor: unpacks one zip package into one target folder, with a size estimate beforehand
// and a progress count that another thread may read while the extraction runs.
//
//     auto extractor = std::make_shared<vorn::zip::Extractor>(zipPath, targetDir);
//     const qint64 needed = extractor->estimateUnpackedSize();  // reserve the space first
//     ...                                                       // meanwhile, another thread may poll
//     const auto error = extractor->extractZip();               // extractor->bytesExtracted()
//     if (error != vorn::zip::Extractor::Error::ok)
//         ...                                                   // the target may hold a part of it
//
// A package is untrusted input. Nothing is ever written outside the target folder:
// - every entry name is checked before anything is written; a name that is absolute ("/x", "\x"), starts
//   with a drive letter ("C:"), has a ".." component (with "/" or "\" as separators) or is longer than
//   kMaxEntryNameLength refuses the whole package (Error::unsafeEntry) and nothing at all is written;
// - symbolic links are made after every file and folder, so that no file is ever written through one,
//   and each link must resolve inside the target: a link whose target is absolute or leads out (also
//   through links made before it) fails the extraction, and every link made so far is removed again.
// Unix permission bits of the entries are kept (without set-id and sticky bits), so an extracted client
// stays executable; folders always stay writable by their owner, so the target can be removed again.
//
// extractZip() runs on the calling thread and is not reentrant; estimateUnpackedSize() and
// bytesExtracted() are safe from any thread at any time.
#pragma once

#include <atomic>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include <QtCore/QString>
#include <QtCore/QtGlobal>

namespace vorn::zip {

class Extractor
{
public:
    // The extraction's outcome: 0 is success, every other value a failure.
    enum class Error : int {
        ok = 0,
        cannotOpenZip = 1,         //< Missing, unreadable, or not a zip file.
        brokenZip = 2,             //< An entry could not be read (bad compressed data, CRC mismatch).
        unsafeEntry = 3,           //< A name or a symbolic link leading out of the target (nothing kept).
        cannotCreateDirectory = 4, //< A folder of the target could not be made.
        cannotWriteFile = 5,       //< A file or link could not be written (no space, a name clash).
    };

    // A limit far above any real client tree (the deepest paths are a few hundred bytes), and the
    // longest path Linux accepts: a longer name could not be written anyway.
    static constexpr std::size_t kMaxEntryNameLength = 4096;
    // A link's target is read into memory before it is checked: bounds what one entry can claim.
    static constexpr std::size_t kMaxLinkTargetLength = 4096;

    Extractor(QString zipFileName, QString targetDir);
    ~Extractor();
    Extractor(const Extractor&) = delete;
    Extractor& operator=(const Extractor&) = delete;

    /** Bytes the package unpacks to (the sum of its entries' sizes); 0 when it cannot be read. */
    qint64 estimateUnpackedSize() const;

    /** Unpacks the whole package into the target folder (created when missing). */
    Error extractZip();

    /** Bytes written by the running or last extraction. */
    qint64 bytesExtracted() const { return m_bytesExtracted.load(std::memory_order_relaxed); }

    QString zipFileName() const { return m_zipFileName; }
    QString targetDir() const { return m_targetDir; }

    /**
     * The relative path that an entry name stands for, as components; false when the name is unsafe.
     * "." and empty components are dropped, so "./a//b" gives {"a", "b"} and "./" gives {}.
     */
    static bool splitEntryName(std::string_view name, std::vector<std::string>* components);

private:
    const QString m_zipFileName;
    const QString m_targetDir;
    std::atomic<qint64> m_bytesExtracted{0};
};

QString toString(Extractor::Error error);

} // namespace vorn::zip
