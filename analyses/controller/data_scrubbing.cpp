// Data scrubbing check.
//
// Reports every adapter controller on which data scrubbing is switched off.
// Reads QXRSG_tvSCSIProtocolController: ControllerType, ControllerNum and
// DataScrubbing, in that order, each as its decimal text. A setting that reads
// exactly "Disabled" or "No" makes a finding; any other text, in any other
// letter case, does not. The line gives the number before the type, although
// the type is read first. A null property skips the controller silently and
// leaves the later ones unread.
//
// Example line:
//   Tarvolith: Data scrubbing for controller number 2 controller type X is disabled
#include "query.hpp"
#include "tarvoanal_plugin.hpp"

namespace tarvoanal {

namespace {

// The three texts of one controller.
struct TScrubbingRecord {
    std::string type;
    std::string number;
    std::string scrubbing;
};

// Reads the controller's texts in order; false at the first null value.
bool ReadScrubbingRecord(const boost::shared_ptr<ICIMInstance>& instance, TScrubbingRecord& record)
{
    return ReadPropertyText(instance, "ControllerType", record.type) &&
        ReadPropertyText(instance, "ControllerNum", record.number) &&
        ReadPropertyText(instance, "DataScrubbing", record.scrubbing);
}

bool IsScrubbingOff(const std::string& setting)
{
    return setting == "Disabled" || setting == "No";
}

}  // namespace

void TTarvoAnalPluginCallbacks::DataScrubbingEnabledAnalysis(boost::shared_ptr<ICIMNamespace> ns)
{
    const QueryContext context = MakeQueryContext();
    const TInstanceList instances = ClassInstances(ns, "QXRSG_tvSCSIProtocolController", context);

    for (const boost::shared_ptr<ICIMInstance>& instance : instances) {
        TScrubbingRecord record;
        if (!ReadScrubbingRecord(instance, record) || !IsScrubbingOff(record.scrubbing))
            continue;
        LogLine(kLevelFinding,
            ReportPrefix + "Data scrubbing for controller number " + record.number + " controller type " +
                record.type + " is disabled");
    }
}

}  // namespace tarvoanal
