// The help's words and layout. CLI11's own formatter prints every option in
// one list in declaration order, never wraps a description and adds its
// validators' texts; this one prints what hvp-run's options say and nothing
// else, and the words around the options live here beside it.
#include "help_text.hpp"

#include "terminal_text.hpp"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>

namespace tarvorun {

const char* const kRunGroup = "Running over inventories";
const char* const kMonitorGroup = "Monitoring";
const char* const kLimitGroup = "Limits";
const char* const kDeveloperGroup = "For the plug-in's developers";
const char* const kHelpGroup = "Help";

namespace {

const char* const kDescription =
    "Load the analysis plug-in as the diagnostic host does, run its requests over an inventory, "
    "and print every line it logs.\n\n"
    "INVENTORY is a JSON inventory file, or - for standard input; without one the bundled "
    "example inventory is used. Files compressed with gzip or zstd are recognised by their content.\n\n"
    "Many inventories in one call: give several, or a folder (every *.json, *.json.gz and *.json.zst "
    "under it, in byte order of their relative paths), or an archive (.tar, .tar.gz, .tgz, .tar.zst, "
    ".zip: its regular files, in archive order). Each runs in a worker process of its own that loads "
    "the plug-in afresh; records are grouped per inventory, in input order, and a summary ends the "
    "output.";

const THelpSection kExitStatuses{"Exit status",
    {{"0", "every request ran, whatever it logged"},
        {"1", "a callback of the plug-in (GetData, Init, ...) ended with an exception"},
        {"2",
            "bad usage, or an inventory that cannot be read, or whose run crashed, exited or timed out (with "
            "many, the others still run)"},
        {"3", "the plug-in could not be loaded, or it did not register"},
        {"0 to 3", "with --check: OK, WARNING, CRITICAL, UNKNOWN; bad usage is UNKNOWN"}}};

const THelpSection kExamples{"Examples",
    {{"hvp-run", "run over the bundled example"}, {"hvp-run --live", "run over this machine"},
        {"hvp-run --jobs 4 --report fleet.html inventories/", ""},
        {"hvp-run --format jsonl inventories/ > today.jsonl", ""},
        {"hvp-run --baseline today.jsonl inventories/", "what is new since then, and what went"},
        {"hvp-run --report all.html --from-jsonl a.jsonl b.jsonl", ""},
        {"hvp-run --check --live", "a monitoring check of this machine"},
        {"hvp-run --format jsonl --trace inv.json", "every host operation of the plug-in"}}};

const THelpSection kSeeAlso{"See also",
    {{"man hvp-findings", "the findings, their severities and what to do"},
        {"man hvp-run", "every option in full"}}};

// Options whose names are wider than this have their text on the next line.
constexpr std::size_t kNameColumn = 28;

std::string Names(const CLI::Option& option)
{
    if (!option.nonpositional())
        return option.get_name(true) + (option.get_expected_max() > 1 ? "..." : "");
    std::string names;
    for (const std::string& one : option.get_snames())
        names += "-" + one + ", ";
    for (const std::string& one : option.get_lnames())
        names += "--" + one + (&one == &option.get_lnames().back() ? "" : ", ");
    const std::string type = option.get_type_name();
    if (option.get_type_size_max() > 0 && !type.empty())
        names += " " + type + (option.get_expected_max() > 1 ? "..." : "");
    return names;
}

// Damerau's transposition counts as one edit: "--jbos" is one from "--jobs".
std::size_t EditDistance(const std::string& a, const std::string& b)
{
    std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
    for (std::size_t i = 0; i <= a.size(); ++i)
        d[i][0] = i;
    for (std::size_t j = 0; j <= b.size(); ++j)
        d[0][j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i)
        for (std::size_t j = 1; j <= b.size(); ++j) {
            d[i][j] = std::min(
                {d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    return d[a.size()][b.size()];
}

}  // namespace

std::string Wrap(const std::string& text, std::size_t width, std::size_t indent, const std::string& first)
{
    std::string out = first;
    std::size_t column = first.size();
    bool lineEmpty = true;
    std::istringstream words(text);
    for (std::string word; words >> word;) {
        if (!lineEmpty && column + 1 + word.size() > width) {
            out += "\n" + std::string(indent, ' ');
            column = indent;
            lineEmpty = true;
        }
        if (!lineEmpty) {
            out += ' ';
            ++column;
        }
        out += word;
        column += word.size();
        lineEmpty = false;
    }
    return out;
}

std::size_t HelpWidth()
{
    std::size_t width = 80;
    if (const std::size_t terminal = TerminalColumns(STDOUT_FILENO); terminal > 0)
        width = terminal;
    else if (const char* columns = std::getenv("COLUMNS"); columns != nullptr && std::atoi(columns) > 0)
        width = static_cast<std::size_t>(std::atoi(columns));
    return std::clamp<std::size_t>(width, 40, 100);
}

std::string NearestName(const std::string& name, const std::vector<std::string>& known)
{
    const std::string bare = name.substr(0, name.find('='));
    std::string nearest;
    std::size_t best = std::max<std::size_t>(2, bare.size() / 3) + 1;
    for (const std::string& candidate : known) {
        // A name cut short is meant as the option it begins.
        const std::size_t distance = bare.size() > 3 && candidate.compare(0, bare.size(), bare) == 0
            ? 1
            : EditDistance(bare, candidate);
        if (distance < best) {
            best = distance;
            nearest = candidate;
        }
    }
    return nearest;
}

std::vector<std::string> LongOptionNames(const CLI::App& app)
{
    std::vector<std::string> names;
    for (const CLI::Option* option : app.get_options())
        for (const std::string& one : option->get_lnames())
            names.push_back("--" + one);
    return names;
}

THelpFormatter::THelpFormatter(std::vector<std::string> usage, std::vector<std::string> groupOrder,
    std::vector<THelpSection> sections, std::size_t width)
    : fUsage(std::move(usage)), fGroupOrder(std::move(groupOrder)), fSections(std::move(sections)),
      fWidth(width)
{
}

std::string THelpFormatter::Entry(const std::string& term, const std::string& text, std::size_t column) const
{
    const std::string named = "  " + term;
    if (text.empty())
        return named + "\n";
    if (named.size() + 2 > column)
        return named + "\n" + Wrap(text, fWidth, column, std::string(column, ' ')) + "\n";
    return Wrap(text, fWidth, column, named + std::string(column - named.size(), ' ')) + "\n";
}

std::string THelpFormatter::Group(
    const std::string& title, const std::vector<const CLI::Option*>& options) const
{
    std::string out = title + ":\n";
    for (const CLI::Option* option : options)
        out += Entry(Names(*option), option->get_description(), kNameColumn);
    return out + "\n";
}

std::string THelpFormatter::make_help(
    const CLI::App* app, std::string name, CLI::AppFormatMode /*mode*/) const
{
    std::string out;
    for (std::size_t i = 0; i < fUsage.size(); ++i)
        out += Wrap(fUsage[i], fWidth, 11, (i == 0 ? "Usage: " : "       ") + name + " ") + "\n";
    out += "\n";
    std::istringstream paragraphs(app->get_description());
    for (std::string paragraph; std::getline(paragraphs, paragraph);)
        out += paragraph.empty() ? "\n" : Wrap(paragraph, fWidth, 0) + "\n";
    out += "\n";
    std::vector<std::string> groups = fGroupOrder;
    for (const CLI::Option* option : app->get_options())
        if (!option->get_group().empty() &&
            std::find(groups.begin(), groups.end(), option->get_group()) == groups.end())
            groups.push_back(option->get_group());
    for (const std::string& group : groups) {
        std::vector<const CLI::Option*> members =
            app->get_options([&group](const CLI::Option* option) { return option->get_group() == group; });
        if (!members.empty())
            out += Group(group, members);
    }
    for (const THelpSection& section : fSections) {
        // Short terms, such as exit statuses, need no wide column.
        std::size_t column = 0;
        for (const auto& [term, text] : section.fEntries)
            column = std::max(column, std::min(term.size() + 4, kNameColumn));
        out += section.fTitle + ":\n";
        for (const auto& [term, text] : section.fEntries)
            out += Entry(term, text, column);
        out += "\n";
    }
    out.pop_back();
    return out;
}

const char* RunDescription()
{
    return kDescription;
}

std::shared_ptr<THelpFormatter> MakeRunHelpFormatter()
{
    return std::make_shared<THelpFormatter>(
        std::vector<std::string>{"[OPTIONS] [INVENTORY...]", "--report FILE.html --from-jsonl OUT.jsonl..."},
        std::vector<std::string>{kRunGroup, kMonitorGroup, kLimitGroup, kDeveloperGroup, kHelpGroup},
        std::vector<THelpSection>{kExitStatuses, kExamples, kSeeAlso}, HelpWidth());
}

}  // namespace tarvorun
