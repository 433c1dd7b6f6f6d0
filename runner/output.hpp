// The output forms of hvp-run: JSON lines for programs and plain text for a
// person at a terminal.
#pragma once

#include <cstdio>
#include <functional>
#include <string>

#include "session.hpp"

namespace tarvorun {

// Where a sink's output goes, one whole record or line at a time, so that a
// line is never split between two writes.
using TTextOut = std::function<void(const std::string& text)>;

// Writes to a stdio stream.
TTextOut StreamOut(std::FILE* stream);

// One JSON object per line, in the order things happened. With an inventory
// name, every record carries it as "inventory", right after "type".
class TJsonlSink : public IRunSink {
public:
    explicit TJsonlSink(std::FILE* out) : fOut(StreamOut(out)) { }
    TJsonlSink(TTextOut out, std::string inventory) : fOut(std::move(out)), fInventory(std::move(inventory))
    {
    }
    void OnPlugin(const TIdentity& identity) override;
    void OnRequest(int number) override;
    void OnLog(int level, const std::string& text) override;
    void OnCall(const THostCall& call) override;
    void OnAssertion(const TAssertionReport& report) override;
    void OnFailure(const TFailure& failure) override;

private:
    TTextOut fOut;
    std::string fInventory;
};

// Log entries with their level's name; failures go to the error stream.
class TTextSink : public IRunSink {
public:
    TTextSink(std::FILE* out, std::FILE* err, int requests)
        : fOut(StreamOut(out)), fErr(StreamOut(err)), fRequests(requests)
    {
    }
    TTextSink(TTextOut out, TTextOut err, int requests)
        : fOut(std::move(out)), fErr(std::move(err)), fRequests(requests)
    {
    }
    void OnPlugin(const TIdentity& identity) override;
    void OnRequest(int number) override;
    void OnLog(int level, const std::string& text) override;
    void OnCall(const THostCall& call) override;
    void OnAssertion(const TAssertionReport& report) override;
    void OnFailure(const TFailure& failure) override;

private:
    TTextOut fOut;
    TTextOut fErr;
    int fRequests;
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
