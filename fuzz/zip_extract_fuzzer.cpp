// The zip extractor (vorn::zip::Extractor) over arbitrary bytes: the central directory, entry names,
// Unix modes, link targets and compressed data all come from the package a request names.
//
// Beyond "no crash, no sanitizer report": nothing is ever written outside the target folder. The target
// sits two folders deep in a scratch folder of the run, beside a folder "outside"; after every run the
// scratch folder must hold just the package, the target's parent with the target, and the empty
// "outside". A package that extracts must leave no link in the target that leads out of it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <system_error>

#include <unistd.h>

#include <QtCore/QString>

#include <vorn/zip/extractor.h>

#include "fuzz_support.h"

namespace {

namespace fs = std::filesystem;

struct Scratch
{
    fs::path root;
    fs::path zip;
    fs::path work;
    fs::path target;
    fs::path outside;
};

// Made once and never destroyed, so that the exit handler that removes it still finds it.
const Scratch& scratch()
{
    static const Scratch* const folders = [] {
        std::string pattern = (fs::temp_directory_path() / "vorn-zip-fuzz-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            std::abort();
        auto* result = new Scratch;
        result->root = fs::canonical(pattern);
        result->zip = result->root / "input.zip";
        result->work = result->root / "work";
        result->target = result->work / "target";
        result->outside = result->root / "outside";
        fs::create_directories(result->outside);
        // The scratch folder goes when the program ends normally (the replay runs, libFuzzer's -runs=).
        std::atexit([] {
            std::error_code error;
            fs::remove_all(scratch().root, error);
        });
        return result;
    }();
    return *folders;
}

std::set<std::string> namesIn(const fs::path& folder)
{
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

bool inside(const fs::path& path, const fs::path& root)
{
    const fs::path relative = path.lexically_relative(root);
    return !relative.empty() && *relative.begin() != "..";
}

void checkLinks(const fs::path& target)
{
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(target, error); !error && it != fs::end(it); it.increment(error)) {
        if (!it->is_symlink())
            continue;
        const fs::path resolved =
            fs::weakly_canonical(fs::canonical(it->path().parent_path()) / fs::read_symlink(it->path()), error);
        if (!error && !inside(resolved, target))
            std::abort(); // A link of an extracted package leads out of the target.
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    vorn::fuzz::prepare(false);
    const Scratch& folders = scratch();
    {
        std::ofstream file(folders.zip, std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
        if (!file)
            std::abort();
    }
    fs::create_directories(folders.work);

    vorn::zip::Extractor extractor(QString::fromStdString(folders.zip.string()),
                                   QString::fromStdString(folders.target.string()));
    const qint64 estimate = extractor.estimateUnpackedSize();
    const auto result = extractor.extractZip();
    if (estimate < 0 || extractor.bytesExtracted() < 0)
        std::abort();

    if (namesIn(folders.root) != std::set<std::string>{"input.zip", "outside", "work"})
        std::abort(); // Something was written beside the target's parent.
    const std::set<std::string> work = namesIn(folders.work);
    if (!work.empty() && work != std::set<std::string>{"target"})
        std::abort(); // Something was written beside the target.
    if (!fs::is_empty(folders.outside))
        std::abort();
    if (result == vorn::zip::Extractor::Error::ok)
        checkLinks(folders.target);

    // Folders of the package may have lost their owner's rights only if the extractor broke its rule.
    std::error_code error;
    fs::remove_all(folders.target, error);
    if (error)
        std::abort(); // The target could not be removed again.
    return 0;
}
