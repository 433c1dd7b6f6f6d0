// The sink that writes log lines on a thread of its own: the sink behind it
// sees every event in the order it came, however many lines are in flight,
// and what it throws while writing comes out where the caller waits.
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "background_sink.hpp"

namespace {

using tarvorun::TBackgroundLogSink;

// Records every event as one line of text.
class TRecordingSink : public tarvorun::IRunSink {
public:
    void OnPlugin(const tarvorun::TIdentity& identity) override
    {
        fEvents.push_back("plugin " + identity.fName);
    }
    void OnRequest(int number) override { fEvents.push_back("request " + std::to_string(number)); }
    void OnLog(int level, const std::string& text, const std::optional<tarvorun::TSubject>& subject) override
    {
        if (text == fThrowAt)
            throw std::runtime_error("cannot write " + text);
        fEvents.push_back("log " + std::to_string(level) + " " + text + Subject(subject));
    }
    void OnExamined(const tarvorun::TExamined& examined) override
    {
        fEvents.push_back("examined " + std::to_string(examined.fPciFunctions));
    }
    static std::string Subject(const std::optional<tarvorun::TSubject>& subject)
    {
        if (!subject)
            return std::string();
        const char* what = subject->fWhat == tarvorun::TSubject::EWhat::Disk ? " @disk " : " @controller ";
        return what + std::to_string(subject->fIndex);
    }
    void OnCall(const tarvorun::THostCall& call) override { fEvents.push_back("call " + call.fClassName); }
    void OnAssertion(const tarvorun::TAssertionReport& report) override
    {
        fEvents.push_back("assertion " + report.fExpression);
    }
    void OnFailure(const tarvorun::TFailure& failure) override
    {
        fEvents.push_back("failure " + failure.fKind);
    }

    std::vector<std::string> fEvents;
    std::string fThrowAt;
};

TEST(BackgroundLogSink, PassesEveryEventOnInTheOrderItCame)
{
    TRecordingSink inner;
    std::vector<std::string> expected;
    {
        TBackgroundLogSink sink(inner);
        tarvorun::TExamined examined;
        examined.fPciFunctions = 6;
        sink.OnExamined(examined);
        expected.push_back("examined 6");
        sink.OnPlugin(tarvorun::TIdentity{0, "tarvoanal", "", ""});
        expected.push_back("plugin tarvoanal");
        // Enough lines of each request for several batches, and a few more.
        for (int request = 1; request <= 2; ++request) {
            sink.OnRequest(request);
            expected.push_back("request " + std::to_string(request));
            for (int line = 0; line < 5000; ++line) {
                const std::string text = "finding " + std::to_string(request) + "." + std::to_string(line) +
                    std::string(static_cast<std::size_t>(line % 97), 'x');
                // Every seventh line is about a disk, every eleventh about a
                // controller: each keeps its own subject through the batches.
                std::optional<tarvorun::TSubject> subject;
                if (line % 7 == 0)
                    subject = tarvorun::TSubject{tarvorun::TSubject::EWhat::Disk, std::size_t(line)};
                else if (line % 11 == 0)
                    subject = tarvorun::TSubject{tarvorun::TSubject::EWhat::Controller, std::size_t(line)};
                sink.OnLog(100, text, subject);
                expected.push_back("log 100 " + text + TRecordingSink::Subject(subject));
            }
            tarvorun::THostCall call;
            call.fClassName = "C" + std::to_string(request);
            sink.OnCall(call);
            expected.push_back("call C" + std::to_string(request));
        }
        sink.OnLog(3, "the last line", std::nullopt);
        expected.push_back("log 3 the last line");
        sink.OnAssertion(tarvorun::TAssertionReport{"x != 0", "f", "f.cpp", 1});
        expected.push_back("assertion x != 0");
        sink.OnLog(0, "after the assertion", std::nullopt);
        expected.push_back("log 0 after the assertion");
    }  // the lines still held are passed on as the sink ends
    EXPECT_EQ(inner.fEvents, expected);
}

TEST(BackgroundLogSink, WhatTheInnerSinkThrowsComesOutOfDrain)
{
    TRecordingSink inner;
    inner.fThrowAt = "line 7";
    TBackgroundLogSink sink(inner);
    for (int line = 0; line < 10; ++line)
        sink.OnLog(100, "line " + std::to_string(line), std::nullopt);
    try {
        sink.Drain();
        ADD_FAILURE() << "Drain did not throw";
    } catch (const std::runtime_error& failure) {
        EXPECT_STREQ(failure.what(), "cannot write line 7");
    }
    // The lines before it were written; the failure is reported once.
    EXPECT_EQ(inner.fEvents.size(), 7u);
    EXPECT_NO_THROW(sink.Drain());
}

}  // namespace
