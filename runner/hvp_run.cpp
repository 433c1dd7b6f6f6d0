// hvp-run: loads the analysis plug-in as the host does and prints what it
// logs, over an inventory file or the bundled example.
#include <cstdio>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>

#include <CLI/CLI.hpp>

#include "output.hpp"
#include "session.hpp"

namespace tarvorun {
extern const char* const kExampleInventory;
}

namespace {

enum EExitStatus { kExitOk = 0, kExitException = 1, kExitUsage = 2, kExitNotLoaded = 3 };

const char* const kDescription =
    "Load the analysis plug-in as the diagnostic host does, run its requests over an inventory, "
    "and print every line it logs.\n\n"
    "INVENTORY is a JSON inventory file, or - for standard input; without one the bundled "
    "example inventory is used.";

const char* const kFooter = "Exit status:\n"
                            "  0  every request ran, whatever it logged\n"
                            "  1  a GetData call ended with an exception\n"
                            "  2  bad usage, or an inventory that cannot be read\n"
                            "  3  the plug-in could not be loaded, or it did not register\n\n"
                            "Examples:\n"
                            "  hvp-run                            run over the bundled example\n"
                            "  hvp-run --format jsonl --trace inv.json\n"
                            "  hvp-run --classes A,QXRSG_TARVOHeavyHittersAnalysis --requests 2 inv.json";

std::vector<std::string> SplitClassList(const std::string& text)
{
    std::vector<std::string> names;
    if (text.empty())
        return names;
    std::string::size_type start = 0;
    for (;;) {
        const std::string::size_type comma = text.find(',', start);
        names.push_back(text.substr(start, comma - start));
        if (comma == std::string::npos)
            return names;
        start = comma + 1;
    }
}

}  // namespace

int main(int argc, char** argv)
{
    CLI::App app(kDescription, "hvp-run");
    app.footer(kFooter);
    app.set_version_flag("--version", "hvp-run " TARVOANAL_VERSION " (plug-in interface 1.0)");

    tarvorun::TRunSettings settings;
    std::string inventoryPath;
    std::string classList = "QXRSG_TARVOHeavyHittersAnalysis";
    std::string format = "text";
    app.add_option("--plugin", settings.pluginPath,
           "Plug-in library to load (default: the libtarvoanal.pi.so installed with hvp-run)")
        ->type_name("PATH");
    app.add_option("--classes", classList,
           "Class names for GetData, separated by commas, kept in order; an empty text gives an "
           "empty list (default: QXRSG_TARVOHeavyHittersAnalysis)")
        ->type_name("LIST");
    const CLI::Validator atLeastOne(
        [](std::string& text) {
            std::size_t used = 0;
            try {
                if (std::stoi(text, &used) >= 1 && used == text.size())
                    return std::string();
            } catch (const std::exception&) {
            }
            return "must be a whole number of 1 or more, not \"" + text + "\"";
        },
        "");
    app.add_option("--requests", settings.requests, "GetData calls in one load (default: 1)")
        ->type_name("N")
        ->check(atLeastOne);
    CLI::Validator oneOfTheForms = CLI::IsMember({"text", "jsonl"});
    oneOfTheForms.description("");
    app.add_option("--format", format, "Output form: text for a person, jsonl for programs (default: text)")
        ->type_name("FORMAT")
        ->check(oneOfTheForms);
    app.add_flag("--trace", settings.trace, "Also record each host operation the plug-in calls");
    app.add_option("INVENTORY", inventoryPath, "Inventory file, or - for standard input")->type_name("");

    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& done) {
        return app.exit(done);
    } catch (const CLI::ParseError& failure) {
        app.exit(failure);
        return kExitUsage;
    }

    settings.classes = SplitClassList(classList);
    if (settings.pluginPath.empty())
        settings.pluginPath = tarvorun::DefaultPluginPath();
    else if (settings.pluginPath.find('/') == std::string::npos)
        // A bare file name means the file here, not a search of the system's
        // library folders.
        settings.pluginPath = "./" + settings.pluginPath;

    std::shared_ptr<const tarvorun::TInventory> inventory;
    try {
        inventory = inventoryPath.empty()
            ? tarvorun::TInventory::LoadText(tarvorun::kExampleInventory, "example inventory")
            : tarvorun::TInventory::LoadFile(inventoryPath);
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "hvp-run: %s\n", failure.what());
        return kExitUsage;
    }

    std::unique_ptr<tarvorun::IRunSink> sink;
    if (format == "jsonl")
        sink.reset(new tarvorun::TJsonlSink(stdout));
    else
        sink.reset(new tarvorun::TTextSink(stdout, stderr, settings.requests));

    const tarvorun::TRunResult result = tarvorun::RunPlugin(settings, inventory, *sink);
    std::fflush(stdout);
    switch (result.status) {
    case tarvorun::ERunStatus::Completed:
        return kExitOk;
    case tarvorun::ERunStatus::Failed:
        return kExitException;
    case tarvorun::ERunStatus::NotLoaded:
        std::fprintf(stderr, "hvp-run: %s\n", result.loadProblem.c_str());
        return kExitNotLoaded;
    }
    return kExitOk;
}
