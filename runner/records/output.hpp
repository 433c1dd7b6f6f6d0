// The output forms of hvp-run: JSON lines for programs and plain text for a
// person at a terminal.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <utility>

#include "baseline.hpp"
#include "catalogue.hpp"
#include "machine_identity.hpp"
#include "session.hpp"

namespace tarvorun {

// Where a sink's output goes, one whole record or line at a time, so that a
// line is never split between two writes.
using TTextOut = std::function<void(const std::string& text)>;

// Writes to a stdio stream.
TTextOut StreamOut(std::FILE* stream);

// A JSONL record's start: its type, then the inventory's name when there is
// one (a single run's records name none).
TRecord BeginRecord(const char* type, const std::string& inventory);

// A query context as records show it: each key to its value's text.
TRecord ContextRecord(const NQXRHVP20::TCIMContext* context);

// An output form as the run collector (run_collector.hpp) feeds it: the
// run's events, each logged line with its meaning and, with a baseline, its
// change, and at the end the earlier run's findings that are gone.
class IRunPresenter {
public:
    virtual ~IRunPresenter() = default;
    virtual void OnMachine(const TMachineIdentity& identity) = 0;
    virtual void OnExamined(const TExamined& /*examined*/) { }
    virtual void OnPlugin(const TIdentity& identity) = 0;
    virtual void OnRequest(int number) = 0;
    // `change` says how a finding compares when there is a baseline, else
    // it is null; `subject` the object of the disk or controller a finding
    // is about, else null.
    virtual void OnLine(int level, const std::string& text, const TClassified& meaning,
        const TLineChange* change, const TRecord* subject) = 0;
    virtual void OnCall(const THostCall& call) = 0;
    virtual void OnCallback(const char* /*callback*/) { }
    virtual void OnAssertion(const TAssertionReport& report) = 0;
    virtual void OnFailure(const TFailure& failure) = 0;
    virtual void Finish(const std::vector<TOldFinding>& gone) = 0;
    // After Finish, with a baseline: the disks and controllers that
    // vanished, were replaced or appeared since the earlier run.
    virtual void OnDeviceChanges(const std::vector<TDeviceChange>& /*changes*/) { }
    // Whether the form shows a line's fields, which cost reading them.
    virtual bool WantsFields() const { return false; }
};

// What the two output forms share: the machine the run is about.
class TFormSink : public IRunPresenter {
public:
    void OnMachine(const TMachineIdentity& identity) override;

protected:
    const std::string& MachineId() const { return fMachineId; }

    std::string fInventory;

private:
    std::string fMachineId;
};

// No records at all: a check prints only its own lines, and records read
// back are shown by the report alone.
class TNoRecords : public TFormSink {
public:
    void OnPlugin(const TIdentity&) override { }
    void OnRequest(int) override { }
    void OnLine(int, const std::string&, const TClassified&, const TLineChange*, const TRecord*) override { }
    void OnCall(const THostCall&) override { }
    void OnAssertion(const TAssertionReport&) override { }
    void OnFailure(const TFailure&) override { }
    void Finish(const std::vector<TOldFinding>&) override { }
};

// One JSON object per line, in the order things happened. With an inventory
// name, every record carries it as "inventory", right after "type".
class TJsonlSink : public TFormSink {
public:
    explicit TJsonlSink(std::FILE* out) : fOut(StreamOut(out)) { }
    bool WantsFields() const override { return true; }
    TJsonlSink(TTextOut out, std::string inventory) : fOut(std::move(out))
    {
        fInventory = std::move(inventory);
    }
    void OnMachine(const TMachineIdentity& identity) override;
    void OnExamined(const TExamined& examined) override;
    void OnPlugin(const TIdentity& identity) override;
    void OnRequest(int number) override;
    void OnLine(int level, const std::string& text, const TClassified& meaning, const TLineChange* change,
        const TRecord* subject) override;
    void OnCall(const THostCall& call) override;
    void OnCallback(const char* callback) override;
    void OnAssertion(const TAssertionReport& report) override;
    void OnFailure(const TFailure& failure) override;
    void Finish(const std::vector<TOldFinding>& gone) override;
    void OnDeviceChanges(const std::vector<TDeviceChange>& changes) override;

private:
    TTextOut fOut;
};

// Log entries with their level's name, a finding's with its severity;
// failures go to the error stream.
class TTextSink : public TFormSink {
public:
    // Quiet leaves out the request and machine lines.
    TTextSink(std::FILE* out, std::FILE* err, int requests, bool quiet = false)
        : fOut(StreamOut(out)), fErr(StreamOut(err)), fRequests(requests), fQuiet(quiet)
    {
    }
    TTextSink(TTextOut out, TTextOut err, int requests, bool quiet = false)
        : fOut(std::move(out)), fErr(std::move(err)), fRequests(requests), fQuiet(quiet)
    {
    }
    void OnMachine(const TMachineIdentity& identity) override;
    void OnExamined(const TExamined& examined) override;
    void OnPlugin(const TIdentity& identity) override;
    void OnRequest(int number) override;
    void OnLine(int level, const std::string& text, const TClassified& meaning, const TLineChange* change,
        const TRecord* subject) override;
    void OnCall(const THostCall& call) override;
    void OnCallback(const char* callback) override;
    void OnAssertion(const TAssertionReport& report) override;
    void OnFailure(const TFailure& failure) override;
    void Finish(const std::vector<TOldFinding>& gone) override;
    void OnDeviceChanges(const std::vector<TDeviceChange>& changes) override;

private:
    TTextOut fOut;
    TTextOut fErr;
    int fRequests;
    bool fQuiet;
};

// The name of a log level in text output: error, warning, finding, notice,
// or "level N" for any other.
std::string LevelName(int level);

// What the text form prints on the error stream when GetData ends with an
// exception, without the program's name and the line's end.
std::string FailureText(const TFailure& failure);

// A name for text output: shown as on a terminal (see ShowOnTerminal), with a
// backslash doubled and line feeds and tabs escaped too.
std::string PrintableName(const std::string& name);

}  // namespace tarvorun
