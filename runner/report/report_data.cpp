// The data the report page lays out, as one JSON object. Everything that
// takes a judgement is decided here, so that the page's script holds none
// of it: the kinds' titles and advice come from the catalogue, the machines'
// ranking and their worst severity are told here, and so are the words for
// how a run ended.
#include <algorithm>
#include <array>
#include <numeric>
#include <set>
#include <tuple>

#include "catalogue.hpp"
#include "examined.hpp"
#include "report.hpp"

namespace tarvorun {

namespace {

// A severity's place among kSeverities, the worst first.
std::size_t SeverityRank(ESeverity severity)
{
    return static_cast<std::size_t>(severity);
}

// Every kind of the catalogue, and `other`, with what a person reads of it.
TRecord KindsData()
{
    TRecord kinds = TRecord::object();
    for (const TFindingKind& kind : FindingKinds())
        kinds[std::string(kind.fId)] = TRecord{{"severity", SeverityName(kind.fSeverity)},
            {"title", kind.fTitle}, {"meaning", kind.fMeaning}, {"advice", kind.fAdvice}};
    kinds[std::string(kOtherKind)] = TRecord{{"severity", "warning"},
        {"title", "A line hvp-run does not know"},
        {"meaning", "The plug-in logged a text that is in none of hvp-run's kinds of line."},
        {"advice",
            "Read the text itself; if it is a new kind of line of the plug-in, report it to its makers."}};
    return kinds;
}

// What the page says of a kind the catalogue lacks: one that a newer
// hvp-run wrote in the records it was made from.
TRecord UnknownKindData()
{
    return TRecord{{"title", "A kind this hvp-run does not know"},
        {"meaning",
            "The records name a kind of finding that is not in this hvp-run's catalogue, as those of a newer "
            "hvp-run may."},
        {"advice",
            "Read the text itself, and what the hvp-run that made the records says of the kind (its "
            "hvp-findings(7))."}};
}

// The machine's lines by severity, and the worst of them.
struct TWeight {
    std::array<std::size_t, 4> fCounts{};
    std::size_t fWorst = kSeverities.size();
    // Its findings: as its run counted them, or, for a run cut short, whose
    // worker never sent its figures, the finding lines it sent before.
    std::size_t fFindings = 0;
};

TWeight WeightOf(const TOutcome& machine)
{
    TWeight weight;
    TSeverityCounts before;
    for (const TKeptLine& line : machine.fLines) {
        const std::size_t rank = SeverityRank(line.fSeverity);
        ++weight.fCounts[rank];
        weight.fWorst = std::min(weight.fWorst, rank);
        before.Add(line.fLevel, line.fSeverity);
    }
    weight.fFindings = RanToItsEnd(machine.fKind) ? machine.fSeverities.Total() : before.Total();
    // A disk that vanished weighs as the critical finding it is.
    for (const TDeviceChange& change : machine.fChanges) {
        const std::size_t rank = SeverityRank(ChangeKind(change).fSeverity);
        ++weight.fCounts[rank];
        weight.fWorst = std::min(weight.fWorst, rank);
    }
    return weight;
}

// What to act on in the machine, the worst first: each critical and warning
// finding's title once per kind and subject, with the disk or controller
// to replace or look at, and what vanished or was replaced since the
// earlier run.
TRecord ActOn(const TOutcome& machine)
{
    std::vector<std::tuple<std::size_t, std::string, std::string, std::string>> items;
    for (const TDeviceChange& change : machine.fChanges) {
        const TFindingKind& kind = ChangeKind(change);
        if (kind.fSeverity == ESeverity::Critical || kind.fSeverity == ESeverity::Warning)
            items.emplace_back(SeverityRank(kind.fSeverity), std::string(kind.fTitle), ChangeText(change),
                std::string(SeverityName(kind.fSeverity)));
    }
    for (const TKeptLine& line : machine.fLines) {
        const std::size_t rank = SeverityRank(line.fSeverity);
        if (rank > 1 || !IsFindingLevel(line.fLevel))
            continue;
        const TFindingKind* kind = FindKind(line.fKind);
        const std::string title = kind != nullptr ? std::string(kind->fTitle) : line.fText;
        items.emplace_back(rank, title,
            line.fSubject.is_object() ? SubjectLine(line.fSubject) : std::string(),
            std::string(SeverityName(line.fSeverity)));
    }
    std::stable_sort(items.begin(), items.end(),
        [](const auto& a, const auto& b) { return std::get<0>(a) < std::get<0>(b); });
    std::set<std::pair<std::string, std::string>> seen;
    TRecord list = TRecord::array();
    for (const auto& [rank, title, subject, severity] : items)
        if (seen.emplace(title, subject).second)
            list.push_back(TRecord::array({severity, title, subject}));
    return list;
}

TRecord MachineData(const TOutcome& outcome, const TWeight& weight)
{
    TRecord counts = TRecord::object();
    for (std::size_t i = 0; i < kSeverities.size(); ++i)
        counts[std::string(SeverityName(kSeverities[i]))] = weight.fCounts[i];
    // Each line as [level, text, kind, severity, fields, change, subject,
    // earlier count], to keep a large fleet's page small.
    TRecord lines = TRecord::array();
    for (const TKeptLine& line : outcome.fLines)
        lines.push_back(TRecord::array({line.fLevel, line.fText, line.fKind, SeverityName(line.fSeverity),
            line.fFields, line.fChange, line.fSubject, line.fWas ? TRecord(*line.fWas) : TRecord()}));
    // What changed since the earlier run as [type, kind, severity, text].
    TRecord changes = TRecord::array();
    for (const TDeviceChange& change : outcome.fChanges) {
        const TFindingKind& kind = ChangeKind(change);
        changes.push_back(
            TRecord::array({ChangeType(change), kind.fId, SeverityName(kind.fSeverity), ChangeText(change)}));
    }
    TRecord resolved = TRecord::array();
    for (const TOldFinding& finding : outcome.fGone)
        resolved.push_back(TRecord::array({finding.fKind, finding.fSeverity, finding.fText}));
    return TRecord{{"name", outcome.fName}, {"hostname", outcome.fHostname},
        {"machineId", outcome.fMachineId}, {"collectedAt", outcome.fCollectedAt},
        {"outcome", WordsOf(outcome.fKind).fRecord}, {"outcomeWords", WordsOf(outcome.fKind).fPage},
        {"reason", outcome.Why()}, {"partial", outcome.fPartial}, {"problems", outcome.fPartialProblems},
        {"worst", weight.fWorst < kSeverities.size() ? SeverityName(kSeverities[weight.fWorst]) : "none"},
        {"counts", std::move(counts)}, {"findings", weight.fFindings}, {"new", outcome.fNew},
        {"lines", std::move(lines)}, {"resolved", std::move(resolved)}, {"changes", std::move(changes)},
        {"examined", outcome.fExamined ? ExaminedMembers(*outcome.fExamined) : TRecord()},
        {"actOn", ActOn(outcome)}};
}

// The places of the machines, from the worst: by worst severity, then by
// the number of lines of that severity, then by all findings, then in
// input order.
std::vector<std::size_t> Ranking(const std::vector<TWeight>& weights)
{
    std::vector<std::size_t> order(weights.size());
    std::iota(order.begin(), order.end(), 0);
    auto key = [&](std::size_t i) {
        const TWeight& weight = weights[i];
        const std::size_t worstCount = weight.fWorst < kSeverities.size() ? weight.fCounts[weight.fWorst] : 0;
        return std::make_tuple(weight.fWorst, ~worstCount, ~weight.fFindings);
    };
    std::stable_sort(
        order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return key(a) < key(b); });
    return order;
}

TRecord TotalsData(const std::vector<const TOutcome*>& machines, const std::vector<TWeight>& weights)
{
    TFleetTotals totals;
    std::size_t unknown = 0, needAction = 0;
    for (std::size_t i = 0; i < machines.size(); ++i) {
        totals.Add(*machines[i]);
        unknown += weights[i].fCounts[3];
        // A machine needs action when its worst finding is critical or a
        // warning.
        needAction += weights[i].fWorst <= 1 ? 1 : 0;
    }
    // The summary's figures, the comparison's always (0 without one), and
    // what only the page shows.
    TRecord data = totals.SummaryRecord(true);
    data.erase("type");
    data.update(TRecord{{"findings", totals.fSeverities.Total()}, {"unknown", unknown},
        {"needAction", needAction}, {"failedWithFindings", totals.fFailedWithFindings}});
    return data;
}

}  // namespace

TRecord ReportData(const std::vector<const TOutcome*>& machines, bool compared, const std::string& made,
    const std::vector<TMissingMachine>& missing)
{
    TRecord gone = TRecord::array();
    for (const TMissingMachine& machine : missing)
        gone.push_back(TRecord{
            {"name", machine.fName}, {"hostname", machine.fHostname}, {"machineId", machine.fMachineId}});
    std::vector<TWeight> weights;
    TRecord list = TRecord::array();
    for (const TOutcome* machine : machines) {
        weights.push_back(WeightOf(*machine));
        list.push_back(MachineData(*machine, weights.back()));
    }
    TRecord kindOrder = TRecord::array();
    for (const TFindingKind& kind : FindingKinds())
        kindOrder.push_back(kind.fId);
    kindOrder.push_back(kOtherKind);
    TRecord totals = TotalsData(machines, weights);
    totals["missing"] = missing.size();
    return TRecord{{"made", made}, {"version", TARVOANAL_VERSION}, {"compared", compared},
        {"totals", std::move(totals)}, {"kinds", KindsData()}, {"unknownKind", UnknownKindData()},
        {"missing", std::move(gone)}, {"kindOrder", std::move(kindOrder)}, {"machines", std::move(list)},
        {"ranking", Ranking(weights)}};
}

}  // namespace tarvorun
