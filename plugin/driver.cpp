// GetData: runs the ten analyses for each trigger class in the request, and
// contains the host's not-found failures so that one missing class or
// property costs only the rest of that run.
#include "query.hpp"
#include "tarvoanal_plugin.hpp"

namespace tarvoanal {

namespace {

const char* const kTriggerClass = "QXRSG_TARVOHeavyHittersAnalysis";
const char* const kNotFoundLine = "Tarvoanal: Error getting class or property";

using TAnalysisMethod = void (TTarvoAnalPluginCallbacks::*)(boost::shared_ptr<ICIMNamespace>);

// The analyses in the order they run.
const TAnalysisMethod kRunOrder[] = {
#define TARVOANAL_ANALYSIS(method, source, goldenPrefix, firstClass) &TTarvoAnalPluginCallbacks::method,
#include "analyses.def"
#undef TARVOANAL_ANALYSIS
};

}  // namespace

void TTarvoAnalPluginCallbacks::GetData(
    boost::shared_ptr<ICIMNamespace> ns, std::vector<boost::shared_ptr<ICIMClass>>& classes)
{
    ReportPrefix = "Tarvolith: ";

    for (const boost::shared_ptr<ICIMClass>& cls : classes) {
        if (cls->GetClassName(QueryContext()) != kTriggerClass)
            continue;
        try {
            // Each analysis gets its own copy of the namespace handle.
            for (const TAnalysisMethod analysis : kRunOrder)
                (this->*analysis)(ns);
        } catch (const NQXRHVP20::THVPException& failure) {
            if (failure.GetStatus().GetCode() != NQXRHVP20::THVPStatusCode::kNotFound)
                throw NQXRHVP20::THVPException(failure.GetStatus());
            LogLine(kLevelError, kNotFoundLine);
        }
    }
}

}  // namespace tarvoanal
