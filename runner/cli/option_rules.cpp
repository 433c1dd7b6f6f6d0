// Which of hvp-run's options go together, and what their values must hold
// taken together. An option that would change nothing beside another is
// refused with both named rather than silently ignored, and the report's
// file is tried before anything runs. Before any of it, whether an
// argument asks for a check, so that bad usage answers as a check does.
#include "option_rules.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <set>
#include <vector>

namespace tarvorun {

namespace {

// No inventory is larger than 2 GiB, whatever the option says.
constexpr std::uint64_t kLargestInventory = std::uint64_t(2) << 30;

// Why the report cannot be written at `path`, or nothing: the file must be
// writable where it is, or creatable in its folder.
std::string ReportPathProblem(const std::string& path)
{
    if (path.empty())
        return "--report: an empty path names no file";
    struct stat info;
    if (stat(path.c_str(), &info) == 0) {
        if (S_ISDIR(info.st_mode))
            return path + ": cannot write the report: " + std::strerror(EISDIR);
        return access(path.c_str(), W_OK) == 0 ? std::string()
                                               : path + ": cannot write the report: " + std::strerror(errno);
    }
    const std::size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    if (access(folder.c_str(), W_OK | X_OK) != 0)
        return path + ": cannot write the report: " + std::strerror(errno);
    return std::string();
}

// Options that do not work together: with `fOther` given, each of
// `fOptions` would change nothing, so it is refused instead of ignored; or,
// with `fNeeded`, each of `fOptions` works only beside `fOther`. `fUnless`,
// when given, is an option that gives them something to act on after all.
struct TCombinationRule {
    const char* fOther;
    bool fNeeded;
    const char* fWhy;
    std::vector<const char*> fOptions;
    const char* fUnless = nullptr;
};

const std::vector<TCombinationRule> kCombinationRules = {
    {"--from-jsonl", false, "it builds the page from earlier runs and runs nothing",
        {"--live", "--check", "--metrics", "--ignore", "--severity-map", "--no-adapter", "--format",
            "--quiet", "--jobs", "--timeout", "--memory-limit", "--max-inventory-size", "--plugin",
            "--classes", "--requests", "--trace", "--trace-callbacks", "--fail-call", "--fail-each"}},
    {"--check", true, "it tunes the check", {"--ignore", "--severity-map", "--no-adapter"}},
    {"--report", true, "it adds the earlier runs to the page", {"--history", "--history-dir"}},
    {"--report", true, "it marks the page's machines", {"--stale-after"}},
    {"--check", false, "a check prints its own lines only",
        {"--format", "--quiet", "--trace", "--trace-callbacks"}},
    {"--live", false, "it runs this machine's inventory alone", {"--jobs", "--memory-limit"}},
    {"--expect", false, "it compares the run's jsonl records",
        {"--format", "--quiet", "--check", "--report", "--metrics"}},
    {"--expect", true, "it writes the file --expect names", {"--expect-update"}},
    {"--fail-each", false, "it runs the request once per host call and prints what got through",
        {"--fail-call", "--live", "--format", "--quiet", "--check", "--report", "--metrics", "--expect",
            "--trace", "--trace-callbacks"}},
};

// The first option of the command line that is refused beside another, with
// both named, or nothing.
std::string CombinationProblem(const CLI::App& app)
{
    for (const TCombinationRule& rule : kCombinationRules) {
        if (rule.fUnless != nullptr && app.count(rule.fUnless) > 0)
            continue;
        const bool otherGiven = app.count(rule.fOther) > 0;
        if (otherGiven == rule.fNeeded)
            continue;
        for (const char* option : rule.fOptions)
            if (app.count(option) > 0)
                return std::string(option) + (rule.fNeeded ? " works only with " : " does not go with ") +
                    rule.fOther + ": " + rule.fWhy;
    }
    return std::string();
}

}  // namespace

std::string OptionsProblem(const CLI::App& app, const TOptions& options)
{
    if (!options.fJsonlFiles.empty() && (options.fReportPath.empty() || !options.fInventories.empty()))
        return "--from-jsonl needs --report and no INVENTORY";
    if (const std::string problem = CombinationProblem(app); !problem.empty())
        return problem;
    if (app.count("--report") > 0) {
        // The page's file is tried before anything runs, so that a path that
        // cannot be written is bad usage, with nothing run or printed.
        if (const std::string problem = ReportPathProblem(options.fReportPath); !problem.empty())
            return problem;
    }
    if (options.fMaxInventorySize == 0 || options.fMaxInventorySize > kLargestInventory)
        return "--max-inventory-size: must be from 1 byte to 2G, not " +
            std::to_string(options.fMaxInventorySize);
    for (const std::string& inventory : options.fInventories)
        if (inventory.empty())
            return "INVENTORY: an empty path names no file";
    if (options.fLive && !options.fInventories.empty())
        return "--live takes no INVENTORY: it collects this machine's own";
    return std::string();
}

bool TurnsCheckOn(const std::string& argument)
{
    if (argument == "--check")
        return true;
    if (argument.compare(0, 8, "--check=") != 0 || argument.size() == 8)
        return false;
    std::string value = argument.substr(8);
    for (char& c : value)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return std::set<std::string>{"false", "0", "off", "no", "disable"}.count(value) == 0;
}

}  // namespace tarvorun
