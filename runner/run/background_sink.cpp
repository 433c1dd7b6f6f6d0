#include "background_sink.hpp"

#include <system_error>
#include <utility>

namespace tarvorun {

namespace {

// A batch is handed over once its texts take this much: enough that the
// two threads meet seldom, little enough to stay in the cache.
constexpr std::size_t kBatchBytes = std::size_t(64) << 10;

}  // namespace

TBackgroundLogSink::TBackgroundLogSink(IRunSink& inner) : fInner(inner)
{
    try {
        fThread = std::thread([this] { Run(); });
    } catch (const std::system_error&) {
        // No thread: every entry is passed on as it comes.
    }
}

TBackgroundLogSink::~TBackgroundLogSink()
{
    try {
        Drain();
    } catch (...) {
        // What the inner sink threw was for Drain's caller; none is left.
    }
    if (fThread.joinable()) {
        {
            const std::lock_guard<std::mutex> lock(fMutex);
            fStop = true;
        }
        fChanged.notify_all();
        fThread.join();
    }
}

void TBackgroundLogSink::OnLog(int level, const std::string& text, const std::optional<TSubject>& subject)
{
    if (!fThread.joinable()) {
        fInner.OnLog(level, text, subject);
        return;
    }
    fFilling.fTexts += text;
    fFilling.fEntries.push_back(TEntry{level, fFilling.fTexts.size(), subject});
    if (fFilling.fTexts.size() >= kBatchBytes)
        Hand();
}

void TBackgroundLogSink::Hand()
{
    std::unique_lock<std::mutex> lock(fMutex);
    fChanged.wait(lock, [this] { return !fHasHanded; });
    std::swap(fFilling, fHanded);
    fHasHanded = true;
    lock.unlock();
    fChanged.notify_all();
}

void TBackgroundLogSink::Drain()
{
    if (!fThread.joinable())
        return;
    if (!fFilling.fEntries.empty())
        Hand();
    std::unique_lock<std::mutex> lock(fMutex);
    fChanged.wait(lock, [this] { return !fHasHanded && !fWriting; });
    if (fError)
        std::rethrow_exception(std::exchange(fError, nullptr));
}

void TBackgroundLogSink::Run()
{
    TBatch batch;
    std::string text;  // one entry's, its memory used again
    std::unique_lock<std::mutex> lock(fMutex);
    for (;;) {
        fChanged.wait(lock, [this] { return fHasHanded || fStop; });
        if (!fHasHanded)
            return;
        std::swap(batch, fHanded);
        fHasHanded = false;
        fWriting = true;
        lock.unlock();
        fChanged.notify_all();
        try {
            std::size_t begin = 0;
            for (const TEntry& entry : batch.fEntries) {
                text.assign(batch.fTexts, begin, entry.fEnd - begin);
                fInner.OnLog(entry.fLevel, text, entry.fSubject);
                begin = entry.fEnd;
            }
        } catch (...) {
            const std::lock_guard<std::mutex> guard(fMutex);
            fError = std::current_exception();
        }
        batch.fTexts.clear();
        batch.fEntries.clear();
        lock.lock();
        fWriting = false;
        fChanged.notify_all();
    }
}

void TBackgroundLogSink::OnMachine(const TMachineIdentity& identity)
{
    Drain();
    fInner.OnMachine(identity);
}

void TBackgroundLogSink::OnExamined(const TExamined& examined)
{
    Drain();
    fInner.OnExamined(examined);
}

void TBackgroundLogSink::OnPlugin(const TIdentity& identity)
{
    Drain();
    fInner.OnPlugin(identity);
}

void TBackgroundLogSink::OnRequest(int number)
{
    Drain();
    fInner.OnRequest(number);
}

void TBackgroundLogSink::OnCall(const THostCall& call)
{
    Drain();
    fInner.OnCall(call);
}

void TBackgroundLogSink::OnCallback(const char* callback)
{
    Drain();
    fInner.OnCallback(callback);
}

void TBackgroundLogSink::OnAssertion(const TAssertionReport& report)
{
    Drain();
    fInner.OnAssertion(report);
}

void TBackgroundLogSink::OnFailure(const TFailure& failure)
{
    Drain();
    fInner.OnFailure(failure);
}

}  // namespace tarvorun
