// The output forms of hvp-run: JSON lines for programs and plain text for a
// person at a terminal.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <utility>

#include "baseline.hpp"
#include "machine_identity.hpp"
#include "session.hpp"

namespace tarvorun {

// Where a sink's output goes, one whole record or line at a time, so that a
// line is never split between two writes.
using TTextOut = std::function<void(const std::string& text)>;

// Writes to a stdio stream.
TTextOut StreamOut(std::FILE* stream);

// What the two output forms share: the machine the run is about, and with a
// baseline, the comparison of its findings with the earlier run's.
class TFormSink : public IRunSink {
public:
    void OnMachine(const TMachineIdentity& identity) override;
    // Compares the run's findings with the earlier run's, where the machine
    // is found by its id or else by `inventory`, the name a fleet run gives
    // it (empty for a single run); before the run. Both forms need the
    // name, though only jsonl prints it.
    void SetBaseline(const TBaseline* baseline, std::string inventory)
    {
        fBaselineFile = baseline;
        fBaselineName = std::move(inventory);
    }
    // Writes what the earlier run found and this one did not; after the run.
    virtual void Finish() = 0;
    std::size_t NewCount() const { return fTracker.NewCount(); }
    std::size_t ResolvedCount() const { return fResolved; }

protected:
    // "new" or "same" for a finding when there is a baseline, else null.
    const char* Change(int level, std::string_view kind, const std::string& text);
    std::vector<TOldFinding> TakeGone();
    const std::string& MachineId() const { return fMachineId; }

    std::string fInventory;

private:
    void Bind();

    const TBaseline* fBaselineFile = nullptr;
    std::string fBaselineName;
    bool fBound = false;
    TBaselineTracker fTracker;
    std::string fMachineId;
    std::size_t fResolved = 0;
};

// One JSON object per line, in the order things happened. With an inventory
// name, every record carries it as "inventory", right after "type".
class TJsonlSink : public TFormSink {
public:
    explicit TJsonlSink(std::FILE* out) : fOut(StreamOut(out)) { }
    TJsonlSink(TTextOut out, std::string inventory) : fOut(std::move(out))
    {
        fInventory = std::move(inventory);
    }
    void OnMachine(const TMachineIdentity& identity) override;
    void OnPlugin(const TIdentity& identity) override;
    void OnRequest(int number) override;
    void OnLog(int level, const std::string& text) override;
    void OnCall(const THostCall& call) override;
    void OnAssertion(const TAssertionReport& report) override;
    void OnFailure(const TFailure& failure) override;
    void Finish() override;

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
    void OnPlugin(const TIdentity& identity) override;
    void OnRequest(int number) override;
    void OnLog(int level, const std::string& text) override;
    void OnCall(const THostCall& call) override;
    void OnAssertion(const TAssertionReport& report) override;
    void OnFailure(const TFailure& failure) override;
    void Finish() override;

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
