// The plug-in side of the host framework: the callback interfaces a plug-in
// implements, the root object that hands out the plug-in manager and the core
// logger, and the plug-in manager itself.
#pragma once

#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "hvp_cim.hpp"
#include "hvp_export.hpp"

namespace NQXRHVP20 {

// The version of the plug-in interface this header describes.
const char* const fdrPluginInterfaceVersion = "1.0";

// Identity and life-cycle callbacks, in the host's virtual slot order.
class HVP_API IPluginCallbacks {
public:
    virtual ~IPluginCallbacks();
    virtual int GetType() = 0;
    virtual std::string GetName() = 0;
    virtual std::string GetVersion() = 0;
    virtual std::string GetInterfaceVersion() = 0;
    virtual void PrepareForUnload() = 0;
    virtual void Init() = 0;
    virtual void DeInit() = 0;
};

// The query callback: the host asks for the data of the listed classes.
class HVP_API IPluginBasicQueryCallbacks {
public:
    virtual ~IPluginBasicQueryCallbacks();
    virtual void GetData(
        boost::shared_ptr<ICIMNamespace> ns, std::vector<boost::shared_ptr<ICIMClass>>& classes) = 0;
};

class HVP_API ICoreLogger {
public:
    virtual ~ICoreLogger();
    virtual void Log(int level, const std::string& text) = 0;
};

class HVP_API TRootObject {
public:
    // The plug-in manager, as a namespace handle whose object is a
    // TPluginManagerNamespace.
    static boost::shared_ptr<ICIMNamespace> GetPluginManager();
    // The host's logger; the host keeps ownership.
    static ICoreLogger* GetCoreLogger();

    // Set up by the host before it loads any plug-in.
    static void SetPluginManager(boost::shared_ptr<ICIMNamespace> manager);
    static void SetCoreLogger(ICoreLogger* logger);
};

// Keeps the plug-ins that registered themselves while being loaded.
class HVP_API TPluginManagerNamespace : public ICIMNamespace {
public:
    TPluginManagerNamespace();
    ~TPluginManagerNamespace() override;

    // The plug-in manager holds no CIM classes: every look-up fails with
    // status 15.
    boost::shared_ptr<ICIMClass> GetClass(const std::string& name, TCIMContext context) override;

    // Keeps `plugin`; the host calls it from then on. Answers true.
    bool RegisterPlugin(IPluginCallbacks* plugin);

    // The plug-ins registered so far, in registration order.
    const std::vector<IPluginCallbacks*>& GetPlugins() const;
    // Forgets every registration, for a host that unloads its plug-ins.
    void Clear();

private:
    std::vector<IPluginCallbacks*> fPlugins;
};

}  // namespace NQXRHVP20
