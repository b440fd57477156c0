#include "cli/Commands.h"

#include "cli/Interrupt.h"
#include "cli/Progress.h"
#include "core/Encoding.h"
#include "core/FileBytes.h"
#include "core/ProgramGlobals.h"
#include "core/Text.h"
#include "job/ChapterFiles.h"
#include "job/ChapterStatus.h"
#include "job/Epub.h"
#include "job/JobRecord.h"
#include "job/NovelEngine.h"
#include "job/NovelFollow.h"
#include "rules/RuleStore.h"
#include "rules/RulesXml.h"
#include "web/Url.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <iostream>
#include <iterator>
#include <optional>

namespace velmora::cli {

namespace fs = std::filesystem;
using encoding::gbkToUtf8;
using encoding::toGbk;

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kTickMs = 200;

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void complain(std::FILE* err, const std::string& message)
{
    std::fprintf(err, "velmora-cli: %s\n", message.c_str());
    std::fflush(err);
}

// Makes the folder of --dir (created when missing), or else the current
// folder, the working directory: the rules file, chapter folders and merged
// novels are all relative to it.
std::optional<fs::path> enterWorkingFolder(const Arguments& arguments, std::FILE* err)
{
    std::error_code ec;
    if (arguments.dir) {
        fs::create_directories(*arguments.dir, ec);
        if (!ec) {
            fs::current_path(*arguments.dir, ec);
        }
        if (ec) {
            complain(err, "cannot work in " + arguments.dir->string() + " (" + ec.message()
                              + "): choose a folder you can write to with --dir");
            return std::nullopt;
        }
    }
    fs::path folder = fs::current_path(ec);
    if (ec) {
        complain(err, "the current folder is gone: change to another one or use --dir");
        return std::nullopt;
    }
    return folder;
}

// The rules file of the working folder, written with the default rules when
// missing, and refused when it cannot be read or holds no rule.
std::optional<RuleStore> openRules(const fs::path& folder, std::FILE* err)
{
    RuleStore rules;
    rules.ensureRulesFile();
    const std::string where = (folder / rules.file()).string();
    if (!readFileBytes(rules.file())) {
        complain(err, "cannot read the rules file " + where
                          + ": make it readable, or move it away to have the default rules written again");
        return std::nullopt;
    }
    if (rules.ruleNames().empty()) {
        complain(err, "the rules file " + where
                          + " holds no rules or is not valid XML: repair it, or move it away to have the default "
                            "rules written again");
        return std::nullopt;
    }
    return rules;
}

struct Workspace {
    fs::path folder;
    RuleStore rules;
};

// The working folder entered and its rules file opened; nothing, after a
// message, when either fails.
std::optional<Workspace> openWorkspace(const Arguments& arguments, std::FILE* err)
{
    const std::optional<fs::path> folder = enterWorkingFolder(arguments, err);
    if (!folder) {
        return std::nullopt;
    }
    std::optional<RuleStore> rules = openRules(*folder, err);
    if (!rules) {
        return std::nullopt;
    }
    return Workspace{*folder, std::move(*rules)};
}

struct FoundRule {
    std::optional<SiteRule> rule;
    std::string message;  // why there is none
};

FoundRule ruleFor(const RuleStore& rules, const std::string& address)
{
    const int index = lookupRuleIndex(rules, address);
    if (index >= 0) {
        return {rules.readRule(index + 1), {}};
    }
    const std::string host = gbkToUtf8(UrlHost(address));
    return {std::nullopt, host.empty() ? "not a web address: give the address of a novel's chapter list, http://..."
                                       : "no rule for the site " + host + " in " + rules.file().string()
                                             + ": add one in the window program (velmora), then try again"};
}

// The rule --rule names when given, else the address's.
FoundRule chosenRuleFor(const RuleStore& rules, const Arguments& arguments, const std::string& address)
{
    if (!arguments.rule) {
        return ruleFor(rules, address);
    }
    const std::vector<std::string> names = rules.ruleNames();
    const auto named = std::find(names.begin(), names.end(), toGbk(*arguments.rule));
    if (named == names.end()) {
        return {std::nullopt, "no rule named " + *arguments.rule + " in " + rules.file().string()
                                  + " (velmora-cli rules lists them)"};
    }
    return {rules.readRule(static_cast<int>(named - names.begin()) + 1), {}};
}

// The rule a job record names when the rules file still has it (the window
// may have read the list with a rule picked by hand), else the address's.
FoundRule recordedRuleFor(const RuleStore& rules, const JobRecord& record)
{
    const std::vector<std::string> names = rules.ruleNames();
    const auto named = std::find(names.begin(), names.end(), record.ruleName);
    if (!record.ruleName.empty() && named != names.end()) {
        return {rules.readRule(static_cast<int>(named - names.begin()) + 1), {}};
    }
    return ruleFor(rules, record.listAddress);
}

Retrieval retrieve(const std::string& address, const SiteRule& rule)
{
    return retrieveChapterList(address, {rule.novelNamePattern, rule.authorPattern, rule.chapterListPattern},
                               rule.options, &interruptFlag());
}

std::string retrievalFailure(const std::string& address, const Retrieval& found)
{
    return "cannot read the chapter list at " + gbkToUtf8(address) + " (" + found.failure
           + "): check the address and the network, or the site's rule, then try again";
}

// A file of the working folder, as a whole path (file names are UTF-8 on disk).
std::string shownPath(const fs::path& folder, const fs::path& relative)
{
    return (folder / relative).string();
}

std::optional<std::vector<std::string>> collectAddresses(const Arguments& arguments, std::FILE* err)
{
    std::vector<std::string> addresses = arguments.addresses;
    if (arguments.addressFile) {
        std::optional<std::string> text;
        if (*arguments.addressFile == "-") {
            text = std::string(std::istreambuf_iterator<char>(std::cin), {});
        } else {
            text = readFileBytes(*arguments.addressFile);
        }
        if (!text) {
            complain(err, "cannot read the address file " + *arguments.addressFile + ": check its name");
            return std::nullopt;
        }
        for (std::string& address : addressesFromText(*text)) {
            addresses.push_back(std::move(address));
        }
    }
    if (addresses.empty()) {
        complain(err, "the address file holds no address: write one address a line");
        return std::nullopt;
    }
    return addresses;
}

// Downloads one novel; fills `novel` as it goes.
class NovelDownload {
public:
    NovelDownload(const Arguments& arguments, const RuleStore& rules, const fs::path& folder, DownloadEngine& engine,
                  Reporter& reporter, std::FILE* err)
        : arguments_(arguments), rules_(rules), folder_(folder), engine_(engine), reporter_(reporter), err_(err)
    {
    }

    NovelReport run(const std::string& typedAddress)
    {
        const std::string address = toGbk(typedAddress);
        return run(typedAddress,
                   [&](NovelReport& novel) { run(novel, address, chosenRuleFor(rules_, arguments_, address)); });
    }

    // The novel of a job record (`update`): its list address, with the rule it names.
    NovelReport follow(const fs::path& novelFolder)
    {
        const JobRecordResult read = readJobRecord(novelFolder);
        const std::string shown = read.ok() ? gbkToUtf8(read.record.listAddress) : novelFolder.filename().string();
        return run(shown, [&](NovelReport& novel) {
            novel.update = true;
            if (!read.ok()) {
                novel.name = novelFolder.filename().string();
                return refuse(novel, read.message + ": download this novel again with velmora-cli get ADDRESS");
            }
            run(novel, read.record.listAddress, recordedRuleFor(rules_, read.record));
        });
    }

private:
    NovelReport run(const std::string& shownAddress, const std::function<void(NovelReport&)>& body)
    {
        const Clock::time_point start = Clock::now();
        NovelReport novel;
        novel.address = shownAddress;
        body(novel);
        novel.seconds = secondsSince(start);
        if (novel.end == NovelReport::End::refused) {
            complain(err_, shownAddress + ": " + novel.message);
        }
        reporter_.finished(novel);
        if (novel.failed > 0) {
            listFailedRows(novel);
        }
        return novel;
    }

    void run(NovelReport& novel, const std::string& address, const FoundRule& found)
    {
        if (!found.rule) {
            return refuse(novel, found.message);
        }
        const SiteRule& rule = *found.rule;
        if (rule.pageCapture) {
            return refuse(novel, "the rule \"" + gbkToUtf8(rule.name)
                                     + "\" downloads its chapters through the embedded browser, which only the "
                                       "window program has: download this novel with velmora");
        }
        const Retrieval list = retrieve(address, rule);
        if (interrupted()) {
            novel.end = NovelReport::End::interrupted;
            return;
        }
        if (!list.found) {
            return refuse(novel, retrievalFailure(address, list));
        }
        novel.name = gbkToUtf8(list.novel.name);
        novel.author = gbkToUtf8(list.novel.author);
        novel.folder = shownPath(folder_, novelFolderPath(list.novel.name));
        novel.chapters = static_cast<int>(list.rows.size());

        const JobIdentity job{address, rule.name, list.novel};
        DownloadRequest request{list.novel, {rule.contentLeftMarker, rule.contentRightMarker}, list.rows, rule.options};
        ResumeCheck check;
        if (!arguments_.fresh) {
            check = checkJobRecord(address, list.novel, request.rows);
            if (check.ignored()) {
                complain(err_, "note: " + novel.folder + ": " + check.message + "; every chapter is downloaded");
            }
        }
        for (std::size_t position = 1; position <= request.rows.size(); ++position) {
            ChapterRow& row = request.rows[position - 1];
            row.checked = arguments_.rows.contains(row.number);
            const fs::path file = chapterFilePath(list.novel.name, static_cast<int>(position));
            const bool recorded = position <= check.plan.size() && check.plan[position - 1] == RowPlan::done;
            if (row.checked && (recorded || (arguments_.resume && fs::exists(file)))) {
                // Saved by an earlier run: counted as downloaded, so the merge takes it.
                row.checked = false;
                row.status = ChapterStatus::done();
                ++novel.kept;
            }
            novel.requested += row.checked ? 1 : 0;
        }
        if (novel.requested + novel.kept == 0) {
            return refuse(novel, "--rows selects none of the " + std::to_string(novel.chapters)
                                     + " chapters listed: see them with velmora-cli list");
        }
        if (arguments_.rows.highestNamed() > novel.chapters) {
            complain(err_, "note: the list has only " + std::to_string(novel.chapters)
                               + " chapters; the rows past it are skipped");
        }
        updateJobRecord(job, request.rows, RecordMoment::listFetched);
        request.keepRecord = [job](const std::vector<ChapterRow>& rows, bool ended) {
            updateJobRecord(job, rows, ended ? RecordMoment::runEnded : RecordMoment::runStarting);
        };
        reporter_.listed(novel);
        download(novel, job, std::move(request));
    }

    void download(NovelReport& novel, const JobIdentity& job, DownloadRequest request)
    {
        rows_ = request.rows;
        attempts_.assign(rows_.size(), 0);
        engineNovel_ = request.novel;
        const StartResult started =
            engine_.start(std::move(request), [this](const ChapterEvent& event) { observe(event); });
        if (started == StartResult::folderInUse) {
            return refuse(novel, "another program is downloading into " + novel.folder
                                     + ": wait for it to finish, then try again");
        }
        if (started != StartResult::started) {
            return refuse(novel, "the download threads could not be started: free some memory, then try again");
        }
        bool stopping = false;
        while (!engine_.wait(kTickMs)) {
            if (interrupted() && !stopping) {
                engine_.stop();
                stopping = true;
            }
            reporter_.tick();
        }
        rows_ = engine_.rows();
        novel.saved = engine_.doneCount();
        novel.failed = engine_.failedCount();
        if (engine_.stopRequested() || interrupted()) {
            novel.end = NovelReport::End::interrupted;
            return;
        }
        switch (decideCompletion(arguments_.merge, novel.failed)) {
        case Completion::report:
            novel.end = novel.failed > 0 ? NovelReport::End::failedChapters : NovelReport::End::complete;
            break;
        case Completion::reportFailures:
            novel.end = NovelReport::End::failedChapters;
            break;
        case Completion::merge:
            if (MergeNovel(engineNovel_, rows_)) {
                novel.mergedFile = shownPath(folder_, mergedFilePath(engineNovel_.name, engineNovel_.author));
                novel.end = NovelReport::End::complete;
                writeEpub(novel, job);
            } else {
                novel.end = NovelReport::End::mergeFailed;
                complain(err_, "could not write the merged novel in " + folder_.string()
                                   + ": free some space, then run again with --continue");
            }
            break;
        }
    }

    void writeEpub(NovelReport& novel, const JobIdentity& job)
    {
        if (!arguments_.epub) {
            return;
        }
        const std::string file = shownPath(folder_, epubFilePath(engineNovel_.name, engineNovel_.author));
        if (writeNovelEpub(job, rows_)) {
            novel.epubFile = file;
            return;
        }
        novel.end = NovelReport::End::mergeFailed;
        complain(err_, "could not write the EPUB book " + file + ": free some space, then run again");
    }

    // Worker threads, one event at a time.
    void observe(const ChapterEvent& event)
    {
        const std::size_t index = static_cast<std::size_t>(event.row);
        const ChapterRow& row = rows_[index];
        switch (event.kind) {
        case ChapterEvent::Kind::attempt:
            attempts_[index] = event.attempt;
            break;
        case ChapterEvent::Kind::saved:
            if (reporter_.showsSavedChapters()) {
                reporter_.chapterSaved(row.number, gbkToUtf8(row.title),
                                       shownPath(folder_, chapterFilePath(novelName(), event.row + 1)));
            } else {
                reporter_.chapterSaved(row.number, {}, {});
            }
            break;
        case ChapterEvent::Kind::failed:
            reporter_.chapterFailed(row.number, gbkToUtf8(row.title), gbkToUtf8(baseAddress() + row.address),
                                    attempts_[index], gbkToUtf8(event.status), event.failure);
            break;
        case ChapterEvent::Kind::stopped:
            break;
        }
    }

    const std::string& novelName() const { return engineNovel_.name; }
    const std::string& baseAddress() const { return engineNovel_.baseAddress; }

    void listFailedRows(const NovelReport& novel)
    {
        std::vector<int> numbers;
        std::string lines;
        for (const ChapterRow& row : rows_) {
            if (row.status == ChapterStatus::failed() || row.status == ChapterStatus::saveFailed()) {
                numbers.push_back(row.number);
                lines += "  " + std::to_string(row.number) + "\t" + gbkToUtf8(row.title) + "\t" + row.failure + "\n";
            }
        }
        std::fprintf(err_, "%s: %d chapter%s failed:\n%s", novel.name.c_str(), novel.failed,
                     novel.failed == 1 ? "" : "s", lines.c_str());
        if (!numbers.empty() && arguments_.merge) {
            std::fprintf(err_, "Run the same command again with --continue to fetch only the missing chapters and "
                               "merge the novel.\n");
        }
        std::fflush(err_);
    }

    void refuse(NovelReport& novel, std::string message)
    {
        novel.end = NovelReport::End::refused;
        novel.message = std::move(message);
    }

    const Arguments& arguments_;
    const RuleStore& rules_;
    const fs::path& folder_;
    DownloadEngine& engine_;
    Reporter& reporter_;
    std::FILE* err_;
    NovelInfo engineNovel_;
    std::vector<ChapterRow> rows_;  // the run's rows; only read by the observer while the run goes on
    std::vector<int> attempts_;     // attempts made per row, written by the observer
};

}  // namespace

namespace {

// Runs each novel in turn, then prints the summary; the exit status of them all.
template <typename Item, typename Run>
int runEach(const std::vector<Item>& items, Run run, Reporter& reporter, Clock::time_point start)
{
    Totals totals;
    for (const Item& item : items) {
        if (interrupted()) {
            break;
        }
        const NovelReport novel = run(item);
        ++totals.novels;
        totals.saved += novel.saved;
        totals.failed += novel.failed;
        switch (novel.end) {
        case NovelReport::End::complete:
            ++totals.complete;
            break;
        case NovelReport::End::failedChapters:
        case NovelReport::End::mergeFailed:
            ++totals.withFailures;
            break;
        case NovelReport::End::refused:
            ++totals.refused;
            break;
        default:
            break;
        }
    }
    totals.interrupted = interrupted();
    totals.seconds = secondsSince(start);
    totals.exitStatus = totals.interrupted        ? kInterruptedStatus
                        : totals.refused > 0      ? kRefused
                        : totals.withFailures > 0 ? kChaptersFailed
                                                  : 0;
    reporter.summary(totals);
    return totals.exitStatus;
}

}  // namespace

int runGet(const Arguments& arguments, std::FILE* out, std::FILE* err)
{
    const Clock::time_point start = Clock::now();
    // The address file is named relative to the folder the user is in, before --dir applies.
    const std::optional<std::vector<std::string>> addresses = collectAddresses(arguments, err);
    if (!addresses) {
        return kRefused;
    }
    const std::optional<Workspace> workspace = openWorkspace(arguments, err);
    if (!workspace) {
        return kRefused;
    }
    ProgramGlobals& globals = startProgramGlobals();
    const std::unique_ptr<Reporter> reporter = makeReporter(reportFormFor(out, arguments.json), out);
    DownloadEngine engine(globals.workerPool(), globals.failedCount());
    NovelDownload download(arguments, workspace->rules, workspace->folder, engine, *reporter, err);

    return runEach(
        *addresses, [&](const std::string& address) { return download.run(address); }, *reporter, start);
}

int runUpdate(const Arguments& arguments, std::FILE* out, std::FILE* err)
{
    const Clock::time_point start = Clock::now();
    const std::optional<Workspace> workspace = openWorkspace(arguments, err);
    if (!workspace) {
        return kRefused;
    }
    const std::vector<fs::path> folders = findJobFolders(workspace->folder);
    if (folders.empty()) {
        complain(err, "no novel in " + workspace->folder.string()
                          + " has a job record (下载记录.txt) yet: download one with velmora-cli get ADDRESS first");
        return 0;
    }
    ProgramGlobals& globals = startProgramGlobals();
    const std::unique_ptr<Reporter> reporter = makeReporter(reportFormFor(out, arguments.json), out);
    DownloadEngine engine(globals.workerPool(), globals.failedCount());
    NovelDownload download(arguments, workspace->rules, workspace->folder, engine, *reporter, err);
    return runEach(
        folders, [&](const fs::path& folder) { return download.follow(folder); }, *reporter, start);
}

int runList(const Arguments& arguments, std::FILE* out, std::FILE* err)
{
    const std::optional<Workspace> workspace = openWorkspace(arguments, err);
    if (!workspace) {
        return kRefused;
    }
    const RuleStore& rules = workspace->rules;
    const std::string address = toGbk(arguments.addresses.front());
    const FoundRule found = chosenRuleFor(rules, arguments, address);
    if (!found.rule) {
        complain(err, found.message);
        return kRefused;
    }
    const Retrieval list = retrieve(address, *found.rule);
    if (interrupted()) {
        return kInterruptedStatus;
    }
    if (!list.found) {
        complain(err, retrievalFailure(address, list));
        return kRefused;
    }
    std::string text = "name\t" + gbkToUtf8(list.novel.name) + "\nauthor\t" + gbkToUtf8(list.novel.author) + "\n";
    for (const ChapterRow& row : list.rows) {
        if (arguments.rows.contains(row.number)) {
            text += std::to_string(row.number) + '\t' + gbkToUtf8(row.title) + '\t'
                    + gbkToUtf8(list.novel.baseAddress + row.address) + '\n';
        }
    }
    std::fwrite(text.data(), 1, text.size(), out);
    return std::fflush(out) == 0 ? 0 : kRefused;
}

namespace {

// "yes"/"no" as the file's "真"/"假" for the two switches.
std::string storedValue(std::string_view attribute, const std::string& value)
{
    if (attribute == "去重" || attribute == "目录倒序") {
        if (value == "yes" || value == "true" || value == "1") {
            return std::string(kStoredTrue);
        }
        if (value == "no" || value == "false" || value == "0") {
            return std::string(kStoredFalse);
        }
    }
    if (attribute == "网页编码") {
        return text::toLowerAscii(value);
    }
    return encoding::toGbk(value);
}

int setRuleOption(const RuleStore& rules, const std::string& ruleName, const std::string& setting,
                  const std::string& value, std::FILE* out, std::FILE* err)
{
    const auto refuse = [err](const std::string& message) {
        std::fprintf(err, "velmora-cli: %s\n", message.c_str());
        return kRefused;
    };
    const std::vector<std::string> names = rules.ruleNames();
    const auto found = std::find(names.begin(), names.end(), encoding::toGbk(ruleName));
    if (found == names.end()) {
        return refuse("no rule named " + ruleName + " in " + rules.file().string() + " (velmora-cli rules lists them)");
    }
    const std::span<const RuleOptionName> settings = ruleOptionNames();
    const auto named = std::find_if(settings.begin(), settings.end(), [&](const RuleOptionName& s) {
        return s.setting == setting || s.attribute == setting;
    });
    if (named == settings.end()) {
        return refuse("no setting called " + setting + " (see velmora-cli --help)");
    }
    const int position = static_cast<int>(found - names.begin()) + 1;
    SiteRule rule = rules.readRule(position, {RuleField::name, RuleField::options});
    // The value goes through the same reader as the file's attribute, so the
    // command line takes exactly what the file may hold.
    const std::string attribute = encoding::toGbk(named->attribute);
    XmlElement element;
    writeRuleOptions(element, rule.options);
    std::erase_if(element.attributes, [&](const XmlAttribute& a) { return a.name == attribute; });
    const std::string stored = storedValue(named->attribute, text::replaceAll(value, "\\n", "\n"));
    if (!stored.empty()) {
        element.attributes.push_back({attribute, stored});
    }
    const RuleOptions options = readRuleOptions(element);
    XmlElement check;
    writeRuleOptions(check, options);
    const XmlAttribute* written = check.attribute(attribute);
    const bool isDefault = written == nullptr;
    const auto sameLines = [](std::string_view x, std::string_view y) {
        return text::replaceAll(x, "\r\n", "\n") == text::replaceAll(y, "\r\n", "\n");
    };
    const bool understood = stored.empty() || (written != nullptr && sameLines(written->value, stored))
                            || (isDefault && stored == storedValue(named->attribute, std::string(named->fallback)));
    if (!understood) {
        return refuse("the value " + value + " is not one " + setting + " takes (see velmora-cli --help)");
    }
    rule.options = options;
    if (!rules.updateRule(position, {RuleField::options}, rule)) {
        return refuse("cannot write " + rules.file().string() + "; nothing was changed");
    }
    std::fprintf(out, "%s: %s = %s\n", ruleName.c_str(), std::string(named->setting).c_str(),
                 isDefault ? "(default)" : encoding::gbkToUtf8(written->value).c_str());
    return std::fflush(out) == 0 ? 0 : kRefused;
}

}  // namespace

int runRules(const Arguments& arguments, std::FILE* out, std::FILE* err)
{
    const std::optional<Workspace> workspace = openWorkspace(arguments, err);
    if (!workspace) {
        return kRefused;
    }
    const RuleStore& rules = workspace->rules;
    if (!arguments.addresses.empty()) {
        return setRuleOption(rules, arguments.addresses[1], arguments.addresses[2], arguments.addresses[3], out, err);
    }
    const RuleFields fields{RuleField::name, RuleField::siteAddress, RuleField::pageCapture};
    const int count = static_cast<int>(rules.ruleNames().size());
    std::string text;
    for (int position = 1; position <= count; ++position) {
        const SiteRule rule = rules.readRule(position, fields);
        text += gbkToUtf8(rule.name) + '\t' + gbkToUtf8(rule.siteAddress) + '\t'
                + (rule.pageCapture ? "browser" : "http") + '\n';
    }
    std::fwrite(text.data(), 1, text.size(), out);
    return std::fflush(out) == 0 ? 0 : kRefused;
}

}  // namespace velmora::cli
