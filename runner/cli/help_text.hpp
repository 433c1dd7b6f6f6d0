// hvp-run's help for a newcomer: the usage first, then the options in
// groups, those an administrator needs before those for the plug-in's
// developers, every text wrapped at the terminal's width between words. And
// what a mistyped option is told: its name and the nearest one there is.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <CLI/CLI.hpp>

namespace tarvorun {

// A part of the help after the options: its title, and its terms with
// what they mean (an exit status, an example command).
struct THelpSection {
    std::string fTitle;
    std::vector<std::pair<std::string, std::string>> fEntries;
};

// Lays out `app`'s help: the usage lines, the description, the option
// groups in the order given (any other after them), then the sections.
class THelpFormatter : public CLI::FormatterBase {
public:
    THelpFormatter(std::vector<std::string> usage, std::vector<std::string> groupOrder,
        std::vector<THelpSection> sections, std::size_t width);
    std::string make_help(const CLI::App* app, std::string name, CLI::AppFormatMode mode) const override;

private:
    std::string Entry(const std::string& term, const std::string& text, std::size_t column) const;
    std::string Group(const std::string& title, const std::vector<const CLI::Option*>& options) const;

    std::vector<std::string> fUsage;
    std::vector<std::string> fGroupOrder;
    std::vector<THelpSection> fSections;
    std::size_t fWidth;
};

// `text` broken between words into lines of at most `width` columns, each
// after `indent` spaces but the first, which follows `first`. A word wider
// than a line stands alone on its own.
std::string Wrap(
    const std::string& text, std::size_t width, std::size_t indent, const std::string& first = "");

// The width help is laid out for: the terminal's (standard output's, or
// COLUMNS), at most 100 columns for reading and at least 40; 80 when
// neither tells.
std::size_t HelpWidth();

// The one of `known` nearest to the mistyped `name`, or nothing when none
// is near enough to be meant.
std::string NearestName(const std::string& name, const std::vector<std::string>& known);

// Every long option of `app`, with its dashes.
std::vector<std::string> LongOptionNames(const CLI::App& app);

// hvp-run's option groups, in the order its help shows them: what an
// administrator runs it over and how, the monitoring, the limits of a run,
// what the plug-in's developers need, and the help itself.
extern const char* const kRunGroup;
extern const char* const kMonitorGroup;
extern const char* const kLimitGroup;
extern const char* const kDeveloperGroup;
extern const char* const kHelpGroup;

// What hvp-run does and what it runs over, the help's opening paragraphs.
const char* RunDescription();

// hvp-run's help: its usage lines, the groups above in order, then the exit
// statuses, examples and where to read more, at the terminal's width.
std::shared_ptr<THelpFormatter> MakeRunHelpFormatter();

}  // namespace tarvorun
