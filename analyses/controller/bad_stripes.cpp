// Bad stripes check.
//
// Reports every logical drive for which the inventory records one or more bad
// stripes. Reads QXRSG_BadStripeData: ControllerNum, LogicalDrive and
// NumBadStripes, in that order, each as its decimal text. A count text that
// begins with a number above zero (strtol rules) makes a finding; the line
// quotes the three texts exactly as read. A null property skips the instance
// silently and leaves the later ones unread.
//
// Example line:
//   Tarvolith: Logical drive 0 on controller 1 has 12 bad stripes
#include "query.hpp"
#include "tarvoanal_plugin.hpp"

namespace tarvoanal {

namespace {

// The three texts of one bad-stripe record.
struct TBadStripeRecord {
    std::string controller;
    std::string drive;
    std::string count;
};

// Reads the record's texts in order; false at the first null value.
bool ReadBadStripeRecord(const boost::shared_ptr<ICIMInstance>& instance, TBadStripeRecord& record)
{
    return ReadPropertyText(instance, "ControllerNum", record.controller) &&
        ReadPropertyText(instance, "LogicalDrive", record.drive) &&
        ReadPropertyText(instance, "NumBadStripes", record.count);
}

}  // namespace

void TTarvoAnalPluginCallbacks::BadStripesAnalysis(boost::shared_ptr<ICIMNamespace> ns)
{
    const QueryContext context = MakeQueryContext();
    const TInstanceList instances = ClassInstances(ns, "QXRSG_BadStripeData", context);

    for (const boost::shared_ptr<ICIMInstance>& instance : instances) {
        TBadStripeRecord record;
        if (!ReadBadStripeRecord(instance, record))
            continue;
        if (TextToInt32(record.count) <= 0)
            continue;
        LogLine(kLevelFinding,
            ReportPrefix + "Logical drive " + record.drive + " on controller " + record.controller + " has " +
                record.count + " bad stripes");
    }
}

}  // namespace tarvoanal
