// The CIM object model of the host: namespaces, classes, instances and
// properties, all held through reference-counted handles.
#pragma once

#include <map>
#include <string>

#include <boost/function.hpp>
#include <boost/shared_ptr.hpp>

#include "hvp_cim_value.hpp"
#include "hvp_export.hpp"

namespace NQXRHVP20 {

class ICIMNamespace;
class ICIMClass;
class ICIMInstance;
class ICIMProperty;

// Extra entries passed with a query, key to value, in key order.
typedef std::map<std::string, TCIMValue> TCIMContext;

// Called once for each instance an enumeration delivers; answering false asks
// the host to stop delivering.
typedef boost::function1<bool, boost::shared_ptr<ICIMInstance>> TInstanceCallback;

class HVP_API ICIMNamespace {
public:
    virtual ~ICIMNamespace();
    // Throws THVPException (status 15) when the class does not exist.
    virtual boost::shared_ptr<ICIMClass> GetClass(const std::string& name, TCIMContext context) = 0;
};

class HVP_API ICIMClass {
public:
    virtual ~ICIMClass();
    virtual const std::string& GetClassName(TCIMContext context = TCIMContext()) = 0;
    // Calls `callback` for each instance of the class before it returns.
    virtual void EnumerateInstances(
        TInstanceCallback callback, bool deep, TCIMContext context = TCIMContext()) = 0;
};

class HVP_API ICIMInstance {
public:
    virtual ~ICIMInstance();
    // Throws THVPException (status 15) when the instance has no such property.
    virtual boost::shared_ptr<ICIMProperty> GetProperty(
        const std::string& name, TCIMContext context = TCIMContext()) = 0;
    // Calls `callback` for each instance of `resultClass` associated with this
    // one. Empty names leave the association, role and result role open.
    virtual void EnumerateAssociatedInstances(TInstanceCallback callback, const std::string& associationClass,
        const std::string& resultClass, const std::string& role, const std::string& resultRole,
        TCIMContext context = TCIMContext()) = 0;
};

class HVP_API ICIMProperty {
public:
    virtual ~ICIMProperty();
    virtual const TCIMValue& GetValue(TCIMContext context = TCIMContext()) = 0;
};

// Well-known names and schema-level queries.
class HVP_API TCIMSchemaHelper {
public:
    static const std::string kContextName;
    static const std::string kPluginNSPName;

    // The operating-system code of the machine the namespace describes.
    static unsigned short GetOperatingSystemType(boost::shared_ptr<ICIMNamespace> ns);
};

}  // namespace NQXRHVP20
