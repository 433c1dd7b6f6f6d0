// The options with which the developers of a plug-in test it: records of
// its callbacks, runs compared with a file of expected records, host calls
// made to fail one or each in turn, another plug-in's catalogue, and what
// the stand-in keeps or refuses. They come last in the help, among the
// developers' options.
#include <CLI/CLI.hpp>

#include "help_text.hpp"
#include "options.hpp"

namespace tarvorun {

void DeclareHarnessOptions(CLI::App& app, TOptions& options)
{
    app.add_flag("--trace-callbacks", options.fRun.fTraceCallbacks,
           "Also record each lifecycle callback (the identity callbacks, Init, GetData, DeInit, "
           "PrepareForUnload) as it is made")
        ->group(kDeveloperGroup);
    app.add_flag("--keep-loaded", options.fRun.fKeepLoaded,
           "Never unload the plug-in, so that valgrind and LeakSanitizer can name its frames")
        ->group(kDeveloperGroup);
    app.add_option("--expect", options.fExpectPath,
           "Compare the run's jsonl records with FILE's: exit 0 when they are equal, 1 with the first "
           "difference")
        ->type_name("FILE.jsonl")
        ->group(kDeveloperGroup);
    app.add_flag("--expect-update", options.fExpectUpdate, "Write the --expect file from the run instead")
        ->group(kDeveloperGroup);
    app.add_option_function<std::string>(
           "--fail-call",
           [&options](const std::string& text) {
               std::string problem;
               if (!ParseHostFault(text, options.fRun.fFailCall, problem))
                   throw CLI::ValidationError(problem);
           },
           "Make the Nth recorded host call (from 1, as --trace lists them) fail as ERROR: a status, std "
           "or empty")
        ->type_name("N:ERROR")
        ->group(kDeveloperGroup);
    app.add_flag("--fail-each", options.fFailEach,
           "Run the request once per host call, failing each in turn, and print each failure that got "
           "through")
        ->group(kDeveloperGroup);
    app.add_option("--catalogue", options.fCataloguePath,
           "Give another plug-in's lines their kinds, severities and advice from FILE, in place of this "
           "plug-in's")
        ->type_name("FILE")
        ->group(kDeveloperGroup);
    app.add_flag("--strict", options.fRun.fStrict,
           "Refuse a plug-in whose interface version or plug-in type the stand-in does not know, as the host "
           "would, instead of warning")
        ->group(kDeveloperGroup);
}

}  // namespace tarvorun
