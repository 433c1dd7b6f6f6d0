// GetData: runs the ten analyses for each trigger class in the request, and
// contains the host's not-found failures so that one missing class or
// property costs only the rest of that run.
#include "query.hpp"
#include "tarvoanal_plugin.hpp"

namespace tarvoanal {

namespace {

const char* const kTriggerClass = "QXRSG_TARVOHeavyHittersAnalysis";
const char* const kNotFoundLine = "Tarvoanal: Error getting class or property";

}  // namespace

void TTarvoAnalPluginCallbacks::GetData(
    boost::shared_ptr<ICIMNamespace> ns, std::vector<boost::shared_ptr<ICIMClass>>& classes)
{
    ReportPrefix = "Tarvolith: ";

    for (const boost::shared_ptr<ICIMClass>& cls : classes) {
        if (cls->GetClassName(QueryContext()) != kTriggerClass)
            continue;
        try {
            DiskSupportedAnalysis(ns);
            DiskMemberOfBadLotAnalysis(ns);
            DiskFirmwareUpToDateAnalysis(ns);
            CheckTarvolith(ns);
            TarvoEventLogAnalysys(ns);
            SystemEventLogAnalysys(ns);
            BiosDriverVersionMatchAnalysis(ns);
            DataScrubbingEnabledAnalysis(ns);
            BadStripesAnalysis(ns);
            BatteryChargeLevelAnalysis(ns);
        } catch (const NQXRHVP20::THVPException& failure) {
            if (failure.GetStatus().GetCode() != NQXRHVP20::THVPStatusCode::kNotFound)
                throw NQXRHVP20::THVPException(failure.GetStatus());
            LogLine(kLevelError, kNotFoundLine);
        }
    }
}

// The battery check has nothing to report on this adapter family.
void TTarvoAnalPluginCallbacks::BatteryChargeLevelAnalysis(boost::shared_ptr<ICIMNamespace> /*ns*/)
{
}

}  // namespace tarvoanal
