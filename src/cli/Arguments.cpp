#include "cli/Arguments.h"

namespace velmora::cli {

namespace {

constexpr const char* kHelp =
    R"(Usage: velmora-cli COMMAND [OPTIONS] [ADDRESS...]

Downloads web novels chapter by chapter with the site rules of the rules file
"下载配置.xml" in the working folder (the current folder, or --dir DIR); a
missing rules file is written with the default rules.

Commands:
  get ADDRESS...     download each novel's chapters and merge them into one file
  list ADDRESS       print the novel's name, author and chapters (number, title,
                     address), tab-separated
  update             for every novel with a job record in the working folder:
                     fetch its list, download the new chapters, merge; one line
                     a novel (name, new chapters, failed)
  rules              print the site rules (name, address, http or browser)
  rules set NAME SETTING VALUE
                     change one optional setting of the rule NAME; an empty
                     VALUE puts it back to its default. Settings (README):
                     encoding (auto, gbk, utf-8, big5), dedupe (yes, no),
                     reverse-list (yes, no), next-list-page PATTERN,
                     next-chapter-page PATTERN, max-parallel (1-20),
                     interval-ms (0-600000), block-text and remove-text
                     (texts, one a line); the file's own names work too

Options:
  -d, --dir DIR      work in DIR (created when missing) instead of the current folder
  -i, --input FILE   read addresses from FILE, one a line, "#" starts a comment
                     ("-" reads standard input); with get
  -r, --rows LIST    only these rows, by their listed numbers: 1-50,60,100-
  -c, --continue     keep every chapter file already there, whatever the job
                     record says, and fetch only the others
      --rule NAME    read the site with the rule NAME instead of the rule found
                     by the address's host (a mirror, or a site without a rule
                     of its own); with get and list
      --fresh        download every chapter; the job record is not consulted
      --epub         also write the novel as an EPUB book beside the merged text
      --no-merge     save the chapter files only
      --json         one JSON object a line per event, for programs; with get
                     and update
  -h, --help         show this help
      --version      show the version

get keeps a job record in each novel's folder (下载记录.txt) and, by default,
fetches only the chapters it does not hold yet: new chapters, missing files,
and chapters whose place in the list changed.

Exit status: 0 every requested chapter saved (and merged), 1 chapters failed
after their attempts, 2 usage error, address without a rule, failed chapter
list or unreadable rules file, 130 interrupted. The first Ctrl-C stops like the
stop button and prints the summary; a second one ends at once.

Examples:
  velmora-cli get http://www.kanshu58.example/book/1/
  velmora-cli get --rows 1-50,60 --no-merge http://www.kanshu58.example/book/1/
  velmora-cli get -i novels.txt --dir ~/novels
  velmora-cli get --rule 58看书 http://127.0.0.1:8642/book/1/
  velmora-cli update --dir ~/novels --epub
  velmora-cli get --json http://www.kanshu58.example/book/1/ | jq .event
  velmora-cli list http://www.kanshu58.example/book/1/ | tail -n +3 | cut -f2
  velmora-cli rules
  velmora-cli rules set 58看书 max-parallel 4
)";

std::optional<Command> commandNamed(const std::string& word)
{
    if (word == "get") {
        return Command::get;
    }
    if (word == "list") {
        return Command::list;
    }
    if (word == "rules") {
        return Command::rules;
    }
    if (word == "update") {
        return Command::update;
    }
    return std::nullopt;
}

ParsedArguments usage(std::string message)
{
    return {std::nullopt, std::move(message) + " (see velmora-cli --help)"};
}

}  // namespace

const char* helpText()
{
    return kHelp;
}

ParsedArguments parseArguments(const std::vector<std::string>& words)
{
    Arguments a;
    std::optional<Command> command;
    bool help = false;
    bool version = false;
    bool optionsEnded = false;
    std::optional<std::string> rowsText;
    for (std::size_t i = 0; i < words.size(); ++i) {
        std::string word = words[i];
        if (optionsEnded || word.size() < 2 || word[0] != '-') {
            if (!command && !optionsEnded) {
                command = commandNamed(word);
                if (!command) {
                    return usage("unknown command \"" + word + "\"");
                }
            } else {
                a.addresses.push_back(word);
            }
            continue;
        }
        if (word == "--") {
            optionsEnded = true;
            continue;
        }
        // "--name=value" stands for "--name value".
        std::optional<std::string> attached;
        if (const std::size_t equals = word.find('='); word.starts_with("--") && equals != std::string::npos) {
            attached = word.substr(equals + 1);
            word.resize(equals);
        }
        const auto value = [&]() -> std::optional<std::string> {
            if (attached) {
                return attached;
            }
            if (i + 1 < words.size()) {
                return words[++i];
            }
            return std::nullopt;
        };
        const bool takesValue = word == "-d" || word == "--dir" || word == "-i" || word == "--input" || word == "-r"
                                || word == "--rows" || word == "--rule";
        if (!takesValue && attached) {
            return usage("option " + word + " takes no value");
        }
        if (takesValue) {
            const std::optional<std::string> v = value();
            if (!v || v->empty()) {
                return usage("option " + word + " needs a value");
            }
            if (word == "-d" || word == "--dir") {
                a.dir = *v;
            } else if (word == "-i" || word == "--input") {
                a.addressFile = *v;
            } else if (word == "--rule") {
                a.rule = *v;
            } else {
                rowsText = *v;
            }
        } else if (word == "-h" || word == "--help") {
            help = true;
        } else if (word == "--version") {
            version = true;
        } else if (word == "--no-merge") {
            a.merge = false;
        } else if (word == "--json") {
            a.json = true;
        } else if (word == "-c" || word == "--continue") {
            a.resume = true;
        } else if (word == "--fresh") {
            a.fresh = true;
        } else if (word == "--epub") {
            a.epub = true;
        } else {
            return usage("unknown option " + word);
        }
    }
    if (help || version) {
        a.command = help ? Command::help : Command::version;
        return {a, {}};
    }
    if (!command) {
        return usage("no command given");
    }
    a.command = *command;
    if (rowsText) {
        const std::optional<RowSelection> rows = RowSelection::parse(*rowsText);
        if (!rows) {
            return usage("--rows wants row numbers like 1-50,60,100- (got \"" + *rowsText + "\")");
        }
        a.rows = *rows;
    }
    switch (a.command) {
    case Command::get:
        if (a.addresses.empty() && !a.addressFile) {
            return usage("get needs at least one address, or -i FILE");
        }
        if (a.fresh && a.resume) {
            return usage("--fresh downloads every chapter, --continue keeps the saved ones: choose one");
        }
        if (a.epub && !a.merge) {
            return usage("--epub writes the book beside the merged novel: drop --no-merge");
        }
        break;
    case Command::update:
        if (!a.addresses.empty() || a.addressFile || rowsText || !a.merge || a.resume || a.fresh || a.rule) {
            return usage("update takes only --dir, --epub and --json");
        }
        break;
    case Command::list:
        if (a.addresses.size() != 1 || a.addressFile) {
            return usage("list takes exactly one address");
        }
        if (a.json || !a.merge || a.resume || a.fresh || a.epub) {
            return usage("list takes only --dir and --rows");
        }
        break;
    case Command::rules:
        if (a.addressFile || rowsText || a.json || !a.merge || a.resume || a.fresh || a.epub) {
            return usage("rules takes only --dir");
        }
        if (!a.addresses.empty() && (a.addresses[0] != "set" || a.addresses.size() != 4)) {
            return usage("rules takes no address; to change a setting: rules set NAME SETTING VALUE");
        }
        break;
    default:
        break;
    }
    return {a, {}};
}

std::vector<std::string> addressesFromText(std::string_view text)
{
    std::vector<std::string> addresses;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        const std::size_t first = line.find_first_not_of(" \t\r");
        if (first == std::string_view::npos || line[first] == '#') {
            continue;
        }
        line = line.substr(first, line.find_last_not_of(" \t\r") + 1 - first);
        addresses.emplace_back(line);
    }
    return addresses;
}

}  // namespace velmora::cli
