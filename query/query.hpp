// The instance query helpers: the few steps every analysis takes to read the
// host's inventory and to write a log line, defined once.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "hvp_host.hpp"

namespace tarvoanal {

using NQXRHVP20::ICIMClass;
using NQXRHVP20::ICIMInstance;
using NQXRHVP20::ICIMNamespace;
using NQXRHVP20::ICIMProperty;
using NQXRHVP20::TCIMValue;

// Extra entries of a host query; only class look-ups carry the populated form.
typedef NQXRHVP20::TCIMContext QueryContext;

typedef std::vector<boost::shared_ptr<ICIMInstance>> TInstanceList;

// Appends each enumerated instance to one list and asks for more.
template <typename Instance> class TAddToVectorCallback {
public:
    typedef bool result_type;
    typedef boost::shared_ptr<Instance> argument_type;

    explicit TAddToVectorCallback(std::vector<boost::shared_ptr<Instance>>* list) : fList(list) { }

    bool operator()(boost::shared_ptr<Instance> instance) const
    {
        // Moved: a copy would count the handle up and down once more.
        fList->push_back(std::move(instance));
        return true;
    }

private:
    std::vector<boost::shared_ptr<Instance>>* fList;
};

// Log levels.
enum : int { kLevelError = 0, kLevelWarning = 3, kLevelFinding = 100, kLevelNotice = 101 };

// The context of class look-ups: ContextName mapped to "plugin.nsp".
QueryContext MakeQueryContext();

// Looks a class up with a copy of `context`. Host failures are not caught.
boost::shared_ptr<ICIMClass> FindClass(
    boost::shared_ptr<ICIMNamespace> ns, const std::string& name, QueryContext context);

// Appends the class's instances to `list`, behind what it already holds.
void CollectInstances(boost::shared_ptr<ICIMClass> cls, TInstanceList& list);

// The usual pair: looks the class up with `context`, then collects its
// instances into a new list.
TInstanceList ClassInstances(
    boost::shared_ptr<ICIMNamespace> ns, const std::string& name, const QueryContext& context);

// The value of one property, copied; the property handle is released here.
TCIMValue ReadPropertyValue(boost::shared_ptr<ICIMInstance> instance, const std::string& name);

std::string ValueToDecimalText(const TCIMValue& value);

// Reads a property as the analyses do: the value, its null test, and then its
// decimal text. Answers false for a null value, leaving `text` alone.
bool ReadPropertyText(
    const boost::shared_ptr<ICIMInstance>& instance, const std::string& name, std::string& text);

// Converts only an unsigned 16-bit value; answers false for any other type,
// so that the caller can write its own message.
bool ValueToUInt16(const TCIMValue& value, unsigned short& number);

std::string ValueToText(const TCIMValue& value);

// A text that is wholly an unsigned decimal number; anything else throws
// boost::bad_lexical_cast.
unsigned int TextToUnsigned(const std::string& text);

// strtol in base 10, narrowed to its low 32 bits. Never fails.
std::int32_t TextToInt32(const std::string& text);

// The copy with every character passed through tolower.
std::string ToLowerText(std::string text);

// One line to the host's core logger, fetched anew for each line.
void LogLine(int level, const std::string& text);

}  // namespace tarvoanal
