// The plug-in object: identity and life-cycle callbacks, the query callback
// GetData, and the ten analyses it runs for the trigger class.
#pragma once

#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "hvp_host.hpp"

namespace tarvoanal {

using NQXRHVP20::ICIMClass;
using NQXRHVP20::ICIMInstance;
using NQXRHVP20::ICIMNamespace;

// The plug-in's own version.
extern const char* const kPluginVersion;

class TTarvoAnalPluginCallbacks : public NQXRHVP20::IPluginCallbacks,
                                  public NQXRHVP20::IPluginBasicQueryCallbacks {
public:
    // Registers the new object with the host's plug-in manager.
    TTarvoAnalPluginCallbacks();
    ~TTarvoAnalPluginCallbacks() override;

    int GetType() override;
    std::string GetName() override;
    std::string GetVersion() override;
    std::string GetInterfaceVersion() override;
    // Deletes the object: it is the last call the object can take.
    void PrepareForUnload() override;
    void Init() override;
    void DeInit() override;
    void GetData(
        boost::shared_ptr<ICIMNamespace> ns, std::vector<boost::shared_ptr<ICIMClass>>& classes) override;

    // The analyses, one method each, declared from the list that also fixes
    // the order GetData runs them in.
#define TARVOANAL_ANALYSIS(method, source, goldenPrefix, firstClass)                                         \
    void method(boost::shared_ptr<ICIMNamespace> ns);
#include "analyses.def"
#undef TARVOANAL_ANALYSIS

    // Whether `instance` is a PCI device with these vendor and device ids.
    bool IsExpectedPCIAdapter(
        boost::shared_ptr<ICIMInstance> instance, unsigned short vendor, unsigned short device);

private:
    // Put at the head of findings; set by GetData.
    std::string ReportPrefix;
    // Working flags of CheckTarvolith, cleared at the start of each of its runs.
    bool ExpectedAdapterFound;
    bool ManagerInstalled;
    bool ControllerFound;
};

}  // namespace tarvoanal
