// The plug-in library opened, checked and closed as the host does it.
#include "plugin_loader.hpp"

#include <boost/make_shared.hpp>

namespace tarvorun {

namespace hvp = NQXRHVP20;

TPluginLoader::TPluginLoader(const std::string& path)
    : fManager(boost::make_shared<hvp::TPluginManagerNamespace>())
{
    hvp::TRootObject::SetPluginManager(fManager);
    std::string problem;
    bool opened = false;
    try {
        opened = fLibrary.Open(path, problem);
    } catch (...) {
        // The library's own initialisation let an exception out.
        Unload();
        throw TPluginLoadError(path + ": the plug-in's initialisation failed");
    }
    if (!opened) {
        Unload();
        throw TPluginLoadError(problem);
    }
    fPlugin = fManager->GetPlugins().empty() ? nullptr : fManager->GetPlugins().front();
    // The host reaches GetData from the registered pointer by a cross-cast.
    fQuery = dynamic_cast<hvp::IPluginBasicQueryCallbacks*>(fPlugin);
    if (fQuery == nullptr) {
        Unload();
        throw TPluginLoadError(path + ": the plug-in did not register");
    }
}

TPluginLoader::~TPluginLoader()
{
    try {
        fPlugin->DeInit();
    } catch (...) {
        // The plug-in is unloaded whatever DeInit does.
    }
    Unload();
}

TIdentity TPluginLoader::AskIdentity()
{
    TIdentity identity;
    identity.fType = fPlugin->GetType();
    identity.fName = fPlugin->GetName();
    identity.fVersion = fPlugin->GetVersion();
    identity.fInterfaceVersion = fPlugin->GetInterfaceVersion();
    return identity;
}

void TPluginLoader::Init()
{
    fPlugin->Init();
}

void TPluginLoader::GetData(
    const boost::shared_ptr<hvp::ICIMNamespace>& ns, std::vector<boost::shared_ptr<hvp::ICIMClass>>& classes)
{
    fQuery->GetData(ns, classes);
}

void TPluginLoader::Unload() noexcept
{
    if (fPlugin != nullptr) {
        try {
            fPlugin->PrepareForUnload();
        } catch (...) {
            // PrepareForUnload deletes the object; nothing is left to undo.
        }
        fPlugin = nullptr;
    }
    fManager->Clear();
    fLibrary.Close();
    hvp::TRootObject::SetPluginManager(boost::shared_ptr<hvp::ICIMNamespace>());
}

}  // namespace tarvorun
