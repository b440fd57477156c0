#include "cli/Progress.h"

#include "cli/Json.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <mutex>
#include <sys/ioctl.h>
#include <unistd.h>

namespace velmora::cli {

namespace {

using Clock = std::chrono::steady_clock;

// Columns a UTF-8 text takes on a terminal: East Asian wide characters two,
// everything else one (continuation bytes none).
int displayWidth(std::string_view text, std::size_t* fitting = nullptr, int limit = 0)
{
    int width = 0;
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        std::size_t length = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        length = std::min(length, text.size() - i);
        char32_t cp = length == 1 ? c : c & (0x3F >> (length - 1));
        for (std::size_t k = 1; k < length; ++k) {
            cp = (cp << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        }
        const bool wide = (cp >= 0x1100 && cp <= 0x115F) || (cp >= 0x2E80 && cp <= 0xA4CF)
                          || (cp >= 0xAC00 && cp <= 0xD7A3) || (cp >= 0xF900 && cp <= 0xFAFF)
                          || (cp >= 0xFE30 && cp <= 0xFE4F) || (cp >= 0xFF00 && cp <= 0xFF60)
                          || (cp >= 0xFFE0 && cp <= 0xFFE6) || cp >= 0x20000;
        if (fitting != nullptr && width + (wide ? 2 : 1) > limit) {
            *fitting = i;
            return width;
        }
        width += wide ? 2 : 1;
        i += length;
    }
    if (fitting != nullptr) {
        *fitting = text.size();
    }
    return width;
}

std::string byAuthor(const NovelReport& novel)
{
    if (novel.name.empty()) {
        return novel.address;
    }
    return novel.author.empty() ? novel.name : novel.name + " (" + novel.author + ")";
}

std::string secondsText(double seconds)
{
    if (seconds >= 60) {
        return clockText(seconds);
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", seconds);
    return text;
}

std::string plural(int n, const char* word)
{
    return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
}

// The terminal and plain forms: lines for people on `out`.
class HumanReporter : public Reporter {
public:
    HumanReporter(std::FILE* out, bool redraw) : out_(out), redraw_(redraw) {}

    void listed(const NovelReport& novel) override
    {
        std::lock_guard lock(mutex_);
        name_ = novel.name;
        total_ = novel.requested + novel.kept;
        kept_ = novel.kept;
        saved_ = 0;
        failed_ = 0;
        started_ = Clock::now();
        drawn_ = false;
        draw();
    }

    void chapterSaved(int, const std::string&, const std::string&) override { ++saved_; }

    void chapterFailed(int, const std::string&, const std::string&, int, const std::string&,
                       const std::string&) override
    {
        ++failed_;
    }

    void tick() override
    {
        std::lock_guard lock(mutex_);
        draw();
    }

    void finished(const NovelReport& novel) override
    {
        std::lock_guard lock(mutex_);
        clearLine();
        if (novel.end == NovelReport::End::refused) {
            return;  // said on standard error
        }
        const int total = novel.requested + novel.kept;
        std::string line = byAuthor(novel) + ": ";
        if (novel.update) {
            line += plural(novel.saved, "new chapter") + ", " + std::to_string(novel.failed) + " failed";
        } else {
            line += std::to_string(novel.saved + novel.kept) + "/" + std::to_string(total) + " chapters saved";
            if (novel.kept > 0) {
                line += " (" + std::to_string(novel.kept) + " kept from before)";
            }
        }
        switch (novel.end) {
        case NovelReport::End::complete:
            line += novel.mergedFile.empty() ? " in " + novel.folder : ", merged into " + novel.mergedFile;
            if (!novel.epubFile.empty()) {
                line += " and " + novel.epubFile;
            }
            break;
        case NovelReport::End::failedChapters:
            line += novel.update ? ", not merged" : ", " + std::to_string(novel.failed) + " failed, not merged";
            break;
        case NovelReport::End::mergeFailed:
            line += novel.mergedFile.empty()
                        ? ", but the merged file could not be written"
                        : ", merged into " + novel.mergedFile + ", but the EPUB book could not be written";
            break;
        case NovelReport::End::interrupted:
            line += ", stopped";
            break;
        default:
            break;
        }
        line += " (" + secondsText(novel.seconds) + ")\n";
        std::fputs(line.c_str(), out_);
        std::fflush(out_);
    }

    void summary(const Totals& totals) override
    {
        std::string line =
            "Summary: " + plural(totals.novels, "novel") + ", " + std::to_string(totals.complete) + " complete";
        if (totals.withFailures > 0) {
            line += ", " + std::to_string(totals.withFailures) + " with failed chapters";
        }
        if (totals.refused > 0) {
            line += ", " + std::to_string(totals.refused) + " not downloaded";
        }
        line += "; " + plural(totals.saved, "chapter") + " saved, " + std::to_string(totals.failed) + " failed";
        if (totals.interrupted) {
            line += "; interrupted";
        }
        line += " (" + secondsText(totals.seconds) + ")\n";
        std::lock_guard lock(mutex_);
        std::fputs(line.c_str(), out_);
        std::fflush(out_);
    }

private:
    void draw()
    {
        if (!redraw_) {
            return;
        }
        const double elapsed = std::chrono::duration<double>(Clock::now() - started_).count();
        const int saved = saved_.load();
        const int failed = failed_.load();
        const double rate = elapsed > 0.5 ? saved / elapsed : 0;
        const int left = total_ - kept_ - saved - failed;
        std::string status = "  " + std::to_string(saved + kept_) + "/" + std::to_string(total_);
        if (failed > 0) {
            status += "  " + std::to_string(failed) + " failed";
        }
        char figures[96];
        std::snprintf(figures, sizeof figures, "  %.1f ch/s  %s elapsed", rate, clockText(elapsed).c_str());
        status += figures;
        if (rate > 0 && left > 0) {
            status += "  " + clockText(left / rate) + " left";
        }
        // The name gives way when the line would wrap: a wrapped line cannot be redrawn.
        const int room = terminalColumns() - 1 - displayWidth(status);
        std::string name = name_;
        if (displayWidth(name) > room) {
            std::size_t fitting = 0;
            displayWidth(name, &fitting, std::max(room - 1, 0));
            name = name.substr(0, fitting) + (room > 0 ? "…" : "");
        }
        const std::string line = "\r" + name + status + "\x1b[K";
        std::fputs(line.c_str(), out_);
        std::fflush(out_);
        drawn_ = true;
    }

    void clearLine()
    {
        if (drawn_) {
            std::fputs("\r\x1b[K", out_);
            drawn_ = false;
        }
    }

    int terminalColumns() const
    {
        winsize size{};
        if (::ioctl(::fileno(out_), TIOCGWINSZ, &size) == 0 && size.ws_col > 0) {
            return size.ws_col;
        }
        return 80;
    }

    std::FILE* out_;
    const bool redraw_;
    std::mutex mutex_;
    std::string name_;
    int total_ = 0;
    int kept_ = 0;
    std::atomic<int> saved_{0};
    std::atomic<int> failed_{0};
    Clock::time_point started_ = Clock::now();
    bool drawn_ = false;
};

const char* endName(NovelReport::End end)
{
    switch (end) {
    case NovelReport::End::complete:
        return "complete";
    case NovelReport::End::failedChapters:
        return "failed";
    case NovelReport::End::mergeFailed:
        return "merge failed";
    case NovelReport::End::refused:
        return "refused";
    case NovelReport::End::interrupted:
        return "interrupted";
    case NovelReport::End::running:
        break;
    }
    return "running";
}

// One JSON object a line; each line is flushed as it is written, so a reader
// sees events as they happen.
class JsonReporter : public Reporter {
public:
    explicit JsonReporter(std::FILE* out) : out_(out) {}

    void listed(const NovelReport& novel) override
    {
        write(JsonObject()
                  .add("event", "listed")
                  .add("address", novel.address)
                  .add("novel", novel.name)
                  .add("author", novel.author)
                  .add("folder", novel.folder)
                  .add("chapters", novel.chapters)
                  .add("requested", novel.requested)
                  .add("kept", novel.kept));
    }

    bool showsSavedChapters() const override { return true; }

    void chapterSaved(int number, const std::string& title, const std::string& file) override
    {
        write(JsonObject().add("event", "saved").add("row", number).add("title", title).add("file", file));
    }

    void chapterFailed(int number, const std::string& title, const std::string& address, int attempts,
                       const std::string& status, const std::string& reason) override
    {
        write(JsonObject()
                  .add("event", "failed")
                  .add("row", number)
                  .add("title", title)
                  .add("address", address)
                  .add("attempts", attempts)
                  .add("status", status)
                  .add("reason", reason));
    }

    void finished(const NovelReport& novel) override
    {
        if (!novel.mergedFile.empty()) {
            JsonObject merged;
            merged.add("event", "merged").add("novel", novel.name).add("file", novel.mergedFile);
            if (!novel.epubFile.empty()) {
                merged.add("epub", novel.epubFile);
            }
            write(merged);
        }
        JsonObject end;
        end.add("event", "finished")
            .add("address", novel.address)
            .add("novel", novel.name)
            .add("result", endName(novel.end))
            .add("saved", novel.saved)
            .add("failed", novel.failed)
            .add("kept", novel.kept)
            .add("seconds", novel.seconds);
        if (!novel.message.empty()) {
            end.add("message", novel.message);
        }
        write(end);
    }

    void summary(const Totals& totals) override
    {
        write(JsonObject()
                  .add("event", "summary")
                  .add("novels", totals.novels)
                  .add("complete", totals.complete)
                  .add("with_failures", totals.withFailures)
                  .add("refused", totals.refused)
                  .add("saved", totals.saved)
                  .add("failed", totals.failed)
                  .add("interrupted", totals.interrupted)
                  .add("seconds", totals.seconds)
                  .add("exit", totals.exitStatus));
    }

private:
    void write(const JsonObject& object)
    {
        const std::string line = object.text() + '\n';
        std::lock_guard lock(mutex_);
        std::fwrite(line.data(), 1, line.size(), out_);
        std::fflush(out_);
    }

    std::FILE* out_;
    std::mutex mutex_;
};

}  // namespace

ReportForm reportFormFor(std::FILE* out, bool json)
{
    if (json) {
        return ReportForm::json;
    }
    return ::isatty(::fileno(out)) ? ReportForm::terminal : ReportForm::plain;
}

std::unique_ptr<Reporter> makeReporter(ReportForm form, std::FILE* out)
{
    if (form == ReportForm::json) {
        return std::make_unique<JsonReporter>(out);
    }
    return std::make_unique<HumanReporter>(out, form == ReportForm::terminal);
}

std::string clockText(double seconds)
{
    const long total = std::lround(std::max(seconds, 0.0));
    char text[32];
    if (total >= 3600) {
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60, total % 60);
    } else {
        std::snprintf(text, sizeof text, "%ld:%02ld", total / 60, total % 60);
    }
    return text;
}

}  // namespace velmora::cli
