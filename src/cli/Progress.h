#pragma once

#include <cstdio>
#include <memory>
#include <string>

// What `get` tells its reader, in three forms: a line redrawn in place on a
// terminal, plain lines when the output is a file or a pipe, and one JSON
// object a line for programs. Every text handed in is UTF-8.
namespace velmora::cli {

// One address's run as it stands.
struct NovelReport {
    enum class End {
        running,
        complete,        // every requested chapter saved (and merged unless --no-merge)
        failedChapters,  // chapters given up or not written: not merged
        mergeFailed,     // every chapter saved, the merged file not written
        refused,         // no rule, browser-only rule, list not read, no rows selected...
        interrupted,     // stopped by Ctrl-C
    };
    std::string address;
    std::string name;
    std::string author;
    std::string folder;  // the chapter folder, as a path
    int chapters = 0;    // rows listed
    int requested = 0;   // rows to fetch in this run
    int kept = 0;        // rows kept from an earlier run (job record or --continue)
    int saved = 0;
    int failed = 0;
    std::string mergedFile;  // set once merged
    std::string epubFile;    // set once the EPUB book is written
    bool update = false;     // a run of `update`: its line counts new chapters
    double seconds = 0;
    End end = End::running;
    std::string message;  // for `refused`: what went wrong and what to do
};

struct Totals {
    int novels = 0;
    int complete = 0;
    int withFailures = 0;  // failedChapters and mergeFailed
    int refused = 0;
    int saved = 0;
    int failed = 0;
    bool interrupted = false;
    double seconds = 0;
    int exitStatus = 0;
};

class Reporter {
public:
    virtual ~Reporter() = default;

    // The list was read; the run of `novel` starts now.
    virtual void listed(const NovelReport& novel) = 0;
    // Whether chapterSaved shows the title and file; when it does not, they
    // are not worked out for each chapter and arrive empty.
    virtual bool showsSavedChapters() const { return false; }
    // Called from worker threads, one call at a time.
    virtual void chapterSaved(int number, const std::string& title, const std::string& file) = 0;
    virtual void chapterFailed(int number, const std::string& title, const std::string& address, int attempts,
                               const std::string& status, const std::string& reason) = 0;
    // Called by the waiting thread a few times a second while a run goes on.
    virtual void tick() {}
    // The run of the address ended, however it ended.
    virtual void finished(const NovelReport& novel) = 0;
    virtual void summary(const Totals& totals) = 0;
};

enum class ReportForm { terminal, plain, json };

// The form for a stream: json when asked for, terminal when `out` is one.
ReportForm reportFormFor(std::FILE* out, bool json);

std::unique_ptr<Reporter> makeReporter(ReportForm form, std::FILE* out);

// "1:02:03", "4:05" or "0:07".
std::string clockText(double seconds);

}  // namespace velmora::cli
