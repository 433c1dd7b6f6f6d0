// The inside of RunFleet, shared by the two files that make it: the job
// slots, each a launcher with the jobs it was asked for, and the loop over
// the inventories.
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <set>
#include <vector>

#include "fleet.hpp"
#include "fleet_job.hpp"
#include "inputs.hpp"
#include "launcher.hpp"
#include "progress_line.hpp"
#include "wake_up.hpp"

namespace tarvorun {

// Output held for inventories that finished before an earlier one: past this
// many bytes no new worker starts until the earlier one is printed.
constexpr std::size_t kHeldOutputBudget = 64u << 20;

// One call's run of many inventories: the job slots (fleet_slots.cpp) and
// the loop that admits, reads and prints the inventories in input order
// (fleet.cpp).
class TFleet {
public:
    TFleet(const TFleetSettings& settings, const std::function<void(TOutcome&&)>& onOutcome,
        const std::function<void(const std::vector<TMissingMachine>&)>& onMissing)
        : fSettings(settings), fOnOutcome(onOutcome), fOnMissing(onMissing), fProgress(settings.fProgress)
    {
    }

    int Run(const std::vector<std::string>& arguments);

private:
    // A launcher and the jobs it was asked for, oldest first.
    struct TSlot {
        std::unique_ptr<TLauncher> fLauncher;
        std::deque<TJob*> fJobs;
    };

    bool StartLaunchers();
    bool Admit(TInputQueue& inputs);
    int PrintEnd();
    bool Probe();
    void Launch(TJob& job, const TInventoryInput* input);
    void Wait();
    void TakeReports(TSlot& slot);
    void Finish(TJob& job, const TLauncherReport& report);
    void Read(TJob& job);
    void Print(TJob& job);
    void PrintSoFar(TJob& job);
    // Writes a record of the fleet's own to standard output.
    void Out(const std::string& text) const;
    void StopAll();
    void ShowProgress(bool allFound);

    const TFleetSettings& fSettings;
    const std::function<void(TOutcome&&)>& fOnOutcome;
    const std::function<void(const std::vector<TMissingMachine>&)>& fOnMissing;
    // The earlier run's machines that this run's inventories are.
    std::set<const TBaselineMachine*> fInBaseline;
    std::deque<std::unique_ptr<TJob>> fWindow;
    std::vector<TSlot> fSlots;
    std::size_t fInFlight = 0;
    std::size_t fHeldBytes = 0;
    TFleetTotals fTotals;
    std::size_t fFound = 0;
    TProgressLine fProgress;
    TWakeUp fWakeUp;
};

// Requests a launcher holds at once: the one running and the next, so that
// it starts the next worker as soon as one ends, without waiting for
// hvp-run.
constexpr std::size_t kLauncherDepth = 2;

}  // namespace tarvorun
