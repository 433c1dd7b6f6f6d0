// A sink that hands the plug-in's log entries to another sink on a thread of
// its own, so that formatting and writing hundreds of thousands of lines
// takes nothing from the request that logs them.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "session.hpp"

namespace tarvorun {

class TBackgroundLogSink : public IRunSink {
public:
    // Passes everything on to `inner`. Without a thread to be had, it does so
    // directly.
    explicit TBackgroundLogSink(IRunSink& inner);
    // Passes on what is left first.
    ~TBackgroundLogSink() override;
    TBackgroundLogSink(const TBackgroundLogSink&) = delete;
    TBackgroundLogSink& operator=(const TBackgroundLogSink&) = delete;

    // Log entries are kept, in batches, for the thread. Every other event
    // waits until the entries before it are passed on, and then goes
    // directly: the inner sink sees everything in the order it happened,
    // and never from two threads at once.
    void OnLog(int level, const std::string& text, const std::optional<TSubject>& subject) override;
    void OnMachine(const TMachineIdentity& identity) override;
    void OnExamined(const TExamined& examined) override;
    void OnPlugin(const TIdentity& identity) override;
    void OnRequest(int number) override;
    void OnCall(const THostCall& call) override;
    void OnCallback(const char* callback) override;
    void OnAssertion(const TAssertionReport& report) override;
    void OnFailure(const TFailure& failure) override;

    // Waits until every entry logged so far has been passed on; throws what
    // the inner sink threw doing so.
    void Drain();

private:
    struct TEntry {
        int fLevel;
        std::size_t fEnd;  // of its text
        std::optional<TSubject> fSubject;
    };
    struct TBatch {
        std::string fTexts;  // one after the other
        std::vector<TEntry> fEntries;
    };
    void Hand();
    void Run();

    IRunSink& fInner;
    TBatch fFilling;  // the request's thread's own
    std::mutex fMutex;
    std::condition_variable fChanged;
    TBatch fHanded;  // for the thread, when fHasHanded
    bool fHasHanded = false;
    bool fWriting = false;  // the thread is passing a batch on
    bool fStop = false;
    std::exception_ptr fError;
    std::thread fThread;
};

}  // namespace tarvorun
