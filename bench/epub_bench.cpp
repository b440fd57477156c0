// Writing a long novel as an EPUB book, against the zip tool packing the
// same chapters as plain UTF-8 files.
#include "BenchClock.h"

#include "core/Encoding.h"
#include "core/FileBytes.h"
#include "job/Epub.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include <stdlib.h>

using namespace velmora;
namespace fs = std::filesystem;

namespace {

// A chapter of random common characters in indented lines: about as
// compressible as a real one.
std::string chapterText(std::mt19937& random, std::size_t size)
{
    std::string text;
    while (text.size() < size) {
        text += "\xA1\xA1\xA1\xA1";
        for (int i = 0; i < 60; ++i) {
            text += static_cast<char>(0xB0 + random() % 0x28);
            text += static_cast<char>(0xA1 + random() % 0x5E);
        }
        text += "\xA1\xA3\r\n";
    }
    return text;
}

}  // namespace

int main()
{
    constexpr int kChapters = 2000;
    std::mt19937 random(7);
    EpubBook book{"http://127.0.0.1/book/1/", encoding::toGbk("长篇"), encoding::toGbk("作者"), {}};
    std::size_t bytes = 0;
    for (int i = 1; i <= kChapters; ++i) {
        book.chapters.push_back({encoding::toGbk("第" + std::to_string(i) + "章"), chapterText(random, 6000)});
        bytes += book.chapters.back().text.size();
    }

    std::string pattern = (fs::temp_directory_path() / "velmora-epub-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        return 1;
    }
    const fs::path folder = pattern;
    fs::create_directories(folder / "chapters");
    for (int i = 0; i < kChapters; ++i) {
        const EpubChapter& c = book.chapters[static_cast<std::size_t>(i)];
        replaceFileContent(folder / "chapters" / (std::to_string(i + 1) + ".txt"),
                           encoding::gbkToUtf8(c.title + "\r\n" + c.text));
    }

    bool written = true;
    const auto [best, median] =
        bench::timeRounds(5, [&] { written = writeEpubFile(book, folder / "book.epub") && written; });
    const std::string zip = "cd '" + folder.string() + "' && rm -f anchor.zip && zip -q -r anchor.zip chapters";
    const auto [zipBest, zipMedian] = bench::timeRounds(5, [&] { written = std::system(zip.c_str()) == 0 && written; });

    std::printf("epub: %d chapters, %.1f MB GBK text\n", kChapters, bytes / 1e6);
    std::printf("  writeEpubFile: best %.0f ms, median %.0f ms, book %.1f MB\n", best, median,
                fs::file_size(folder / "book.epub") / 1e6);
    std::printf("  anchor zip -r of the chapters as UTF-8 files: best %.0f ms, median %.0f ms, %.1f MB\n", zipBest,
                zipMedian, fs::file_size(folder / "anchor.zip") / 1e6);
    std::printf("  ratio (median): %.2f\n", median / zipMedian);
    fs::remove_all(folder);
    return written ? 0 : 1;
}
