// The two output forms of hvp-run: JSON lines for programs and plain text for
// a person at a terminal.
#pragma once

#include <cstdio>
#include <string>

#include "session.hpp"

namespace tarvorun {

// One JSON object per line, in the order things happened.
class TJsonlSink : public IRunSink {
public:
    explicit TJsonlSink(std::FILE* out) : fOut(out) { }
    void OnPlugin(const TIdentity& identity) override;
    void OnRequest(int number) override;
    void OnLog(int level, const std::string& text) override;
    void OnCall(const THostCall& call) override;
    void OnAssertion(const TAssertionReport& report) override;
    void OnFailure(const TFailure& failure) override;

private:
    std::FILE* fOut;
};

// Log entries with their level's name; failures go to the error stream.
class TTextSink : public IRunSink {
public:
    TTextSink(std::FILE* out, std::FILE* err, int requests) : fOut(out), fErr(err), fRequests(requests) { }
    void OnPlugin(const TIdentity& identity) override;
    void OnRequest(int number) override;
    void OnLog(int level, const std::string& text) override;
    void OnCall(const THostCall& call) override;
    void OnAssertion(const TAssertionReport& report) override;
    void OnFailure(const TFailure& failure) override;

private:
    std::FILE* fOut;
    std::FILE* fErr;
    int fRequests;
};

// The name of a log level in text output: error, warning, finding, notice,
// or "level N" for any other.
std::string LevelName(int level);

}  // namespace tarvorun
