// What each output form writes of the comparison with an earlier run, after
// a machine's own records: the findings that are gone, and the disks and
// controllers that vanished, were replaced or appeared.
#include "output.hpp"

#include "json_line.hpp"
#include "jsonl_records.hpp"
#include "terminal_text.hpp"

namespace tarvorun {

void TJsonlSink::Finish(const std::vector<TOldFinding>& gone)
{
    for (const TOldFinding& finding : gone) {
        TRecord record = BeginRecord("resolved", fInventory);
        record["kind"] = finding.fKind;
        record["severity"] = finding.fSeverity;
        record["text"] = finding.fText;
        fOut(RecordLine(record));
    }
}

void TJsonlSink::OnDeviceChanges(const std::vector<TDeviceChange>& changes)
{
    for (const TDeviceChange& change : changes) {
        TRecord record = BeginRecord(ChangeType(change), fInventory);
        record.update(ChangeMembers(change));
        fOut(RecordLine(record));
    }
}

void TTextSink::Finish(const std::vector<TOldFinding>& gone)
{
    for (const TOldFinding& finding : gone) {
        std::string line = "resolved [" + finding.fSeverity + "]: ";
        AppendShownOnTerminal(line, finding.fText);
        fOut(line + "\n");
    }
}

void TTextSink::OnDeviceChanges(const std::vector<TDeviceChange>& changes)
{
    for (const TDeviceChange& change : changes) {
        std::string line = std::string(ChangeType(change)) + " [" +
            std::string(SeverityName(ChangeKind(change).fSeverity)) + "]: ";
        AppendShownOnTerminal(line, ChangeText(change));
        fOut(line + "\n");
    }
}

}  // namespace tarvorun
