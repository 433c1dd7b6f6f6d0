// --from-jsonl's reading, in process: every record checked as hvp-run writes
// it, with a message naming the file, the line and the problem; endless,
// binary and deeply nested input refused at once, and a baseline refused
// the same; a machine given twice kept once, the later,
// with a note; and the kinds, changes and resolved findings of the records
// taken as they stand, or, with a baseline, told again against it. The
// expected messages are written from the README.
#include "jsonl_input.hpp"

#include "baseline.hpp"

#include <filesystem>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "case_file.hpp"
#include "temp_folder.hpp"
#include "text_files.hpp"

namespace {

namespace fs = std::filesystem;

class JsonlInput : public ::testing::Test {
protected:
    std::string Write(const std::string& name, const std::string& text)
    {
        tarvotest::WriteFile(fTemp / name, text);
        return fTemp / name;
    }

    // Reads the files; answers the problem, or "" when they were read.
    std::string Read(const std::vector<std::string>& paths, const tarvorun::TBaseline* baseline = nullptr)
    {
        std::string problem;
        fNotes.clear();
        const bool read = tarvorun::ReadJsonlInputs(
            paths, baseline, fReport, [this](const std::string& note) { fNotes.push_back(note); }, problem);
        EXPECT_EQ(read, problem.empty());
        return problem;
    }

    tarvotest::TTempFolder fTempFolder{"jsonl-input"};
    const fs::path& fTemp = fTempFolder.Path();
    tarvorun::TReport fReport;
    std::vector<std::string> fNotes;
};

const char kPlugin[] =
    R"({"type":"plugin","pluginType":1,"name":"Tarvo Analysis","version":"1.0","interfaceVersion":"1.0"})";

// The file a refusal case reads: its own text, or one of the files named.
std::string RefusedFile(const tarvotest::TTextCase& bad, const fs::path& temp)
{
    const std::string file = bad["file"];
    const auto write = [&temp](const std::string& text) {
        tarvotest::WriteFile(temp / "bad.jsonl", text);
        return (temp / "bad.jsonl").string();
    };
    if (file.empty())
        return write(tarvotest::Unescaped(bad["text"]));
    if (file == "missing")
        return (temp / "missing.jsonl").string();
    if (file == "folder")
        return temp.string();
    if (file == "long")
        return write(std::string(tarvorun::kLongestJsonlLine + 1, 'x'));
    if (file == "deep")
        return write(std::string(std::size_t(15) << 20, '['));
    return file;
}

std::vector<tarvotest::TTextCase> Refusals()
{
    return tarvotest::ReadTextCases(TARVOANAL_TEST_DIR "/jsonl_refusals.cases", "file|problem|text");
}

TEST_F(JsonlInput, RefusesWhatIsNoRecordOfHvpRunNamingTheFileAndLine)
{
    for (const tarvotest::TTextCase& bad : Refusals()) {
        const std::string path = RefusedFile(bad, fTemp);
        EXPECT_EQ(Read({path}), path + ": " + bad["problem"]) << bad.fName;
    }
}

// A baseline is read by the same reader: the same inputs are refused with
// the same messages.
TEST_F(JsonlInput, TheBaselineRefusesTheSameWithTheSameMessages)
{
    for (const tarvotest::TTextCase& bad : Refusals()) {
        const std::string path = RefusedFile(bad, fTemp);
        tarvorun::TBaseline baseline;
        std::string problem;
        EXPECT_FALSE(baseline.AddFile(path, problem)) << bad.fName;
        EXPECT_EQ(problem, path + ": " + bad["problem"]) << bad.fName;
    }
}

// Nesting up to the bound is read: the bound is the record's depth, not less.
TEST_F(JsonlInput, ReadsARecordNestedToTheDeepestLevel)
{
    const std::string deepest = std::string(kPlugin) + "\n" +
        R"({"type":"log","level":100,"text":"x","fields":{"a":)" + std::string(62, '[') +
        std::string(62, ']') + "}}\n";
    EXPECT_EQ(Read({Write("deepest.jsonl", deepest)}), "");
    tarvorun::TBaseline baseline;
    std::string problem;
    EXPECT_TRUE(baseline.AddFile(fTemp / "deepest.jsonl", problem)) << problem;
}

std::string FleetRun(const std::vector<std::string>& names, const std::string& machineId = "")
{
    std::string text;
    for (const std::string& name : names) {
        if (!machineId.empty())
            text += R"({"type":"machine","inventory":")" + name + R"(","hostname":"h","machineId":")" +
                machineId + "\",\"collectedAt\":null}\n";
        text += R"({"type":"plugin","inventory":")" + name +
            R"(","pluginType":1,"name":"Tarvo Analysis","version":"1.0","interfaceVersion":"1.0"})" + "\n";
        text += R"({"type":"log","inventory":")" + name +
            R"(","level":100,"text":"Tarvolith: Controller 1 Channel 0 Scsi ID 1 reported a PFA error"})" +
            "\n";
    }
    return text;
}

// The words of a case's value, as a list.
std::vector<std::string> Words(const std::string& text)
{
    std::istringstream in(text);
    return {std::istream_iterator<std::string>(in), {}};
}

TEST_F(JsonlInput, KeepsTheLaterOfAMachineGivenTwiceAndSaysSo)
{
    const auto run = [](const tarvotest::TTextCase& one, const std::string& key) {
        return one[key] == "-" ? std::string(kPlugin) + "\n" : FleetRun(Words(one[key]), one[key + " id"]);
    };
    for (const tarvotest::TTextCase& one : tarvotest::ReadTextCases(TARVOANAL_TEST_DIR "/jsonl_repeats.cases",
             "also note|first|first id|kept|note|second|second id")) {
        fReport = tarvorun::TReport();
        const std::string first = Write("first.jsonl", run(one, "first"));
        const std::string second = Write("second.jsonl", run(one, "second"));
        EXPECT_EQ(Read({first, second}), "") << one.fName;
        // The machines the page shows, in order, by the file they came from.
        std::vector<std::string> kept;
        for (const tarvorun::TOutcome* machine : fReport.Shown()) {
            const std::string& name = machine->fName;
            kept.push_back(name == first ? "F" : name == second ? "S" : name);
        }
        EXPECT_EQ(kept, Words(one["kept"])) << one.fName;
        std::vector<std::string> notes;
        for (std::string note : fNotes) {
            for (const auto& [path, letter] : {std::pair{first, "F"}, std::pair{second, "S"}})
                for (std::size_t at; (at = note.find(path)) != std::string::npos;)
                    note.replace(at, path.size(), letter);
            notes.push_back(note);
        }
        std::vector<std::string> expected;
        for (const char* key : {"note", "also note"})
            if (one.fValues.count(key))
                expected.push_back(one[key]);
        EXPECT_EQ(notes, expected) << one.fName;
    }
}

TEST_F(JsonlInput, TakesKindsChangesAndResolvedFindingsFromTheRecords)
{
    // The second record, as an earlier version wrote it, names no kind: the
    // catalogue tells it.
    const std::string path = Write("compared.jsonl",
        std::string(kPlugin) + "\n" +
            R"({"type":"log","level":100,"text":"Tarvolith: Logical drive 0 on controller 1 has 12 bad stripes","kind":"bad-stripes","severity":"critical","fields":{"logicalDrive":0,"controller":1,"count":12},"change":"new"}
{"type":"log","level":100,"text":"Tarvolith: Controller 1 Channel 0 Scsi ID 1 reported a PFA error"}
{"type":"resolved","kind":"device-soft-errors","severity":"warning","text":"Tarvolith: Controller 1 Channel 0 Scsi ID 1 reported 2 soft errors"}
)");
    ASSERT_EQ(Read({path}), "");
    ASSERT_EQ(fReport.Machines().size(), 1u);
    const tarvorun::TOutcome& machine = fReport.Machines()[0];
    ASSERT_EQ(machine.fLines.size(), 2u);
    EXPECT_EQ(machine.fLines[0].fChange, "new");
    EXPECT_EQ(machine.fLines[0].fFields,
        tarvorun::TRecord::parse(R"({"logicalDrive":0,"controller":1,"count":12})"));
    EXPECT_EQ(machine.fLines[1].fKind, "device-pfa");
    EXPECT_EQ(machine.fLines[1].fSeverity, tarvorun::ESeverity::Critical);
    ASSERT_EQ(machine.fGone.size(), 1u);
    EXPECT_EQ(machine.fGone[0].fKind, "device-soft-errors");
    EXPECT_EQ(machine.fSeverities.fCritical, 2u);
    EXPECT_EQ(machine.fNew, 1u);
    EXPECT_EQ(machine.fResolved, 1u);
}

// With a baseline, the records are compared with it, as a run's lines are:
// what they told of another comparison gives way, a run cut short is not
// compared at all, and the baseline's machine that no record names is
// missing.
TEST_F(JsonlInput, ComparesTheRecordsWithABaselineAsARunIs)
{
    const auto log = [](const char* name, const char* text, const char* change = nullptr) {
        return std::string(R"({"type":"log","inventory":")") + name + R"(","level":100,"text":")" + text +
            (change != nullptr ? std::string(R"(","change":")") + change : std::string()) + "\"}\n";
    };
    const char* const stripes = "Tarvolith: Logical drive 0 on controller 1 has 12 bad stripes";
    const char* const soft = "Tarvolith: Controller 1 Channel 0 Scsi ID 2 reported 2 soft errors";
    tarvorun::TBaseline baseline;
    std::string problem;
    ASSERT_TRUE(baseline.AddFile(
        Write("baseline.jsonl", FleetRun({"a.json"}) + log("a.json", soft) + FleetRun({"b.json", "c.json"})),
        problem))
        << problem;
    // Each machine's run logs the PFA error of FleetRun first.
    const std::string records = FleetRun({"a.json"}) + log("a.json", stripes, "same") + FleetRun({"b.json"}) +
        log("b.json", soft, "new") +
        R"({"type":"error","inventory":"b.json","message":"b.json: the run crashed with SIGSEGV","end":"crashed"})" +
        "\n";
    const std::string path = Write("records.jsonl", records);
    ASSERT_EQ(Read({path}, &baseline), "");
    ASSERT_EQ(fReport.Machines().size(), 2u);
    const tarvorun::TOutcome& a = fReport.Machines()[0];
    ASSERT_EQ(a.fLines.size(), 2u);
    EXPECT_EQ(a.fLines[0].fChange, "same");
    EXPECT_EQ(a.fLines[1].fChange, "new");
    ASSERT_EQ(a.fGone.size(), 1u);
    EXPECT_EQ(a.fGone[0].fText, soft);
    EXPECT_EQ(a.fNew, 1u);
    EXPECT_EQ(a.fResolved, 1u);
    const tarvorun::TOutcome& b = fReport.Machines()[1];
    EXPECT_EQ(b.fKind, tarvorun::ERunEnd::Crashed);
    ASSERT_EQ(b.fLines.size(), 2u);
    EXPECT_EQ(b.fLines[0].fChange + b.fLines[1].fChange, "");
    EXPECT_TRUE(b.fGone.empty());
    EXPECT_EQ(b.fNew, 0u);
    ASSERT_EQ(fReport.Missing().size(), 1u);
    EXPECT_EQ(fReport.Missing()[0].fName, "c.json");
    // Without a baseline, the records' comparison stands, but not that of a
    // run cut short.
    fReport = tarvorun::TReport();
    ASSERT_EQ(Read({path}), "");
    EXPECT_EQ(fReport.Machines()[0].fLines[1].fChange, "same");
    EXPECT_EQ(fReport.Machines()[1].fLines[1].fChange, "");
}

// How a run ended is the error record's "end", whatever its message says; an
// earlier version's record, without one, is a run that did not finish.
TEST_F(JsonlInput, TakesHowARunEndedFromTheErrorRecord)
{
    const std::string path = Write("errors.jsonl",
        R"({"type":"error","inventory":"a.json","message":"a.json: the run timed out after 1 s","end":"unreadable"}
{"type":"error","inventory":"b.json","message":"b.json: cannot open","end":"timedOut"}
{"type":"error","inventory":"c.json","message":"c.json: cannot open"}
)");
    ASSERT_EQ(Read({path}), "");
    ASSERT_EQ(fReport.Machines().size(), 3u);
    EXPECT_EQ(fReport.Machines()[0].fKind, tarvorun::ERunEnd::Unreadable);
    EXPECT_EQ(fReport.Machines()[1].fKind, tarvorun::ERunEnd::TimedOut);
    EXPECT_EQ(fReport.Machines()[2].fKind, tarvorun::ERunEnd::Crashed);
}

}  // namespace
