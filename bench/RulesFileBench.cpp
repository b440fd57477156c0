// Cost of the rules file: every rule operation loads and parses the whole
// file, and every change writes it back.
#include "rules/DefaultRules.h"
#include "rules/RuleStore.h"
#include "rules/RulesXml.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <unistd.h>

using namespace velmora;
namespace fs = std::filesystem;

namespace {

// The default rules repeated until the document holds `copies` x 16 rules.
std::string manyRules(int copies)
{
    const std::string& text = DefaultRulesText();
    const std::size_t first = text.find("\r\n\t<");
    const std::size_t last = text.rfind("\r\n</");
    const std::string rules = text.substr(first, last - first);
    std::string out = text.substr(0, first);
    for (int i = 0; i < copies; ++i) {
        out += rules;
    }
    return out + text.substr(last);
}

void parseDefaultRules(benchmark::State& state)
{
    for (auto _ : state) {
        benchmark::DoNotOptimize(parseXmlDocument(DefaultRulesText()));
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(DefaultRulesText().size()));
}
BENCHMARK(parseDefaultRules);

void parseLargeFile(benchmark::State& state)
{
    const std::string doc = manyRules(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(parseXmlDocument(doc));
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(doc.size()));
    state.counters["file_kB"] = static_cast<double>(doc.size()) / 1024;
}
BENCHMARK(parseLargeFile)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

// A folder of its own holding the default rules file.
class RulesFolder {
public:
    RulesFolder()
    {
        std::string pattern = (fs::temp_directory_path() / "velmora-bench-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr) {
            folder_ = pattern;
        }
        store_.emplace(folder_ / "rules.xml");
        store_->ensureRulesFile();
    }
    ~RulesFolder()
    {
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }
    const RuleStore& store() const { return *store_; }

private:
    fs::path folder_;
    std::optional<RuleStore> store_;
};

void lookupOnDefaultFile(benchmark::State& state)
{
    RulesFolder folder;
    for (auto _ : state) {
        benchmark::DoNotOptimize(lookupRuleIndex(folder.store(), "http://www.meiyu.example/book/1/"));
    }
}
BENCHMARK(lookupOnDefaultFile)->Unit(benchmark::kMicrosecond);

void updateFieldOnDefaultFile(benchmark::State& state)
{
    RulesFolder folder;
    SiteRule values;
    for (auto _ : state) {
        values.authorPattern = std::to_string(state.iterations());
        benchmark::DoNotOptimize(folder.store().updateRule(1, {RuleField::authorPattern}, values));
    }
}
BENCHMARK(updateFieldOnDefaultFile)->Unit(benchmark::kMicrosecond);

}  // namespace
