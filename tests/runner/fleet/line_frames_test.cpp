// A line's meaning, the run's figures and the findings gone since the
// earlier run travel from a worker to hvp-run in frames: each comes back as
// it was sent, its text byte for byte, and a payload that is not what a
// worker writes gives nothing.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "line_frames.hpp"

namespace {

using tarvorun::ESeverity;
using tarvorun::TKeptLine;
using tarvorun::TRecord;

std::string Describe(const TKeptLine& line)
{
    return std::to_string(line.fLevel) + "|" + line.fText + "|" + line.fKind + "|" +
        std::to_string(static_cast<int>(line.fSeverity)) + "|" + line.fFields.dump() + "|" + line.fChange +
        "|" + (line.fWas ? std::to_string(*line.fWas) : "-") + "|" + line.fSubject.dump();
}

TEST(LineFrames, ALineComesBackAsItWasSent)
{
    const std::vector<std::pair<const char*, TKeptLine>> lines = {
        {"a finding with its fields, no baseline",
            {100, "Tarvolith: Logical drive 0 on controller 1 has 12 bad stripes", "bad-stripes",
                ESeverity::Critical, TRecord{{"count", 12}}, "", std::nullopt, TRecord()}},
        {"a new finding about a disk",
            {100, "Tarvolith: Controller 1 Channel 0 Scsi ID 3 reported a PFA error", "device-pfa",
                ESeverity::Critical, TRecord::object(), "new", std::nullopt,
                TRecord{{"controller", 1}, {"channel", 0}, {"scsiId", 3}, {"serial", "3KN1B7"},
                    {"linux", {{"block", "sdc"}}}}}},
        {"a count that rose, about a controller",
            {101, "soft", "device-soft-errors", ESeverity::Warning, TRecord{{"count", 5}}, "rose", 2,
                TRecord{{"controller", 0}, {"model", nullptr}}}},
        {"a text of any bytes, NUL and not UTF-8",
            {200, std::string("a\0b\xff\xfe", 5), "other", ESeverity::Unknown, TRecord::object(), "",
                std::nullopt, TRecord()}},
        {"an empty text",
            {300, "", "other", ESeverity::Info, TRecord::object(), "same", std::nullopt, TRecord()}},
    };
    for (const auto& [proves, line] : lines) {
        const std::optional<TKeptLine> back = tarvorun::LineOfPayload(tarvorun::LogPayload(line));
        ASSERT_TRUE(back.has_value()) << proves;
        EXPECT_EQ(Describe(*back), Describe(line)) << proves;
    }
}

// A payload of a four-byte level, then the meaning's length (its own unless
// given), the meaning and the text.
std::string Payload(const std::string& meaning, const std::string& text = "", std::int64_t given = -1)
{
    const auto length = static_cast<std::uint32_t>(given < 0 ? std::int64_t(meaning.size()) : given);
    std::string payload(8, '\0');
    const std::int32_t level = 100;
    std::memcpy(payload.data(), &level, 4);
    std::memcpy(payload.data() + 4, &length, 4);
    return payload + meaning + text;
}

TEST(LineFrames, APayloadAWorkerDoesNotWriteGivesNoLine)
{
    const std::string good = R"({"kind":"device-pfa","severity":0,"fields":{}})";
    ASSERT_TRUE(tarvorun::LineOfPayload(Payload(good, "text")).has_value());
    const std::vector<std::pair<const char*, std::string>> payloads = {
        {"shorter than its head", std::string(7, '\0')},
        {"a meaning longer than the payload", Payload(good, "", std::int64_t(good.size()) + 1)},
        {"a meaning that is no JSON", Payload("{kind")},
        {"a meaning that is no object", Payload("[1]")},
        {"no kind", Payload(R"({"severity":0,"fields":{}})")},
        {"a kind that is no text", Payload(R"({"kind":1,"severity":0,"fields":{}})")},
        {"a severity beyond the last", Payload(R"({"kind":"x","severity":4,"fields":{}})")},
        {"a severity below the first", Payload(R"({"kind":"x","severity":-1,"fields":{}})")},
        {"an earlier count that is no number", Payload(R"({"kind":"x","severity":1,"fields":{},"was":"2"})")},
        {"a subject that is no object", Payload(R"({"kind":"x","severity":1,"fields":{},"subject":[3]})")},
    };
    for (const auto& [proves, payload] : payloads)
        EXPECT_FALSE(tarvorun::LineOfPayload(payload).has_value()) << proves;
}

TEST(LineFrames, TheFindingsGoneComeBackOrNoneAtAll)
{
    const std::vector<tarvorun::TOldFinding> gone = {
        {"bad-stripes", "critical", "Tarvolith: Logical drive 0 on controller 1 has 2 bad stripes"},
        {"other", "warning", "a line of an earlier version"}};
    const std::vector<tarvorun::TOldFinding> back = tarvorun::GoneOfFigure(tarvorun::GoneFigure(gone));
    ASSERT_EQ(back.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(back[i].fKind, gone[i].fKind);
        EXPECT_EQ(back[i].fSeverity, gone[i].fSeverity);
        EXPECT_EQ(back[i].fText, gone[i].fText);
    }
    for (const char* figure : {R"("gone")", R"([["a","b"]])", R"([["a","b","c"],[1,"b","c"]])", R"({"a":1})"})
        EXPECT_TRUE(tarvorun::GoneOfFigure(TRecord::parse(figure)).empty()) << figure;
}

// Every figure the worker's collector counted reaches hvp-run: one that
// one side writes and the other does not read is lost here.
TEST(LineFrames, TheFiguresComeBackAsTheCollectorCountedThem)
{
    tarvorun::TOutcome run;
    run.fSeverities = {1, 2, 3};
    run.fNew = 4;
    run.fResolved = 5;
    run.fRose = 6;
    run.fHostname = "web01";
    run.fMachineId = "4c4c4544";
    run.fCollectedAt = "2026-12-01T10:00:00Z";
    run.fPartial = true;
    run.fPartialProblems = {"the event log could not be read"};
    tarvorun::TExamined examined;
    examined.fPciFunctions = 7;
    examined.fAdapters = 1;
    examined.fDisks.resize(1);
    examined.fDisks[0].fSerial = "3KN1B7";
    examined.fPackages = 9;
    run.fExamined = examined;
    run.fGone = {{"bad-stripes", "critical", "Tarvolith: Logical drive 0 on controller 1 has 2 bad stripes"}};
    tarvorun::TDeviceChange vanished;
    vanished.fSubject = TRecord{{"serial", "5JB2C9"}};
    run.fChanges = {vanished};

    for (const bool withGone : {true, false}) {
        SCOPED_TRACE(withGone);
        tarvorun::TOutcome back;
        tarvorun::ReadFiguresPayload(tarvorun::FiguresPayload(run, withGone), back);
        EXPECT_EQ(back.fSeverities.fCritical, 1u);
        EXPECT_EQ(back.fSeverities.fWarning, 2u);
        EXPECT_EQ(back.fSeverities.fInfo, 3u);
        EXPECT_EQ(back.fNew, 4u);
        EXPECT_EQ(back.fResolved, 5u);
        EXPECT_EQ(back.fRose, 6u);
        EXPECT_EQ(back.fHostname, "web01");
        EXPECT_EQ(back.fMachineId, "4c4c4544");
        EXPECT_EQ(back.fCollectedAt, "2026-12-01T10:00:00Z");
        EXPECT_TRUE(back.fPartial);
        EXPECT_EQ(back.fPartialProblems, run.fPartialProblems);
        ASSERT_TRUE(back.fExamined.has_value());
        EXPECT_EQ(tarvorun::ExaminedMembers(*back.fExamined), tarvorun::ExaminedMembers(examined));
        ASSERT_EQ(back.fGone.size(), withGone ? 1u : 0u);
        if (withGone) {
            EXPECT_EQ(back.fGone[0].fText, run.fGone[0].fText);
        }
        ASSERT_EQ(back.fChanges.size(), 1u);
        EXPECT_EQ(back.fChanges[0].fSubject, vanished.fSubject);
    }
    // A payload that is no figures leaves the outcome as it was.
    tarvorun::TOutcome untouched;
    untouched.fNew = 1;
    tarvorun::ReadFiguresPayload("not json", untouched);
    EXPECT_EQ(untouched.fNew, 1u);
}

}  // namespace
