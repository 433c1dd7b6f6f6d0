#include "query.hpp"

#include <algorithm>
#include <cctype>
#include <typeinfo>
#include <cstdlib>

#include <boost/function.hpp>
#include <boost/lexical_cast.hpp>

namespace tarvoanal {

QueryContext MakeQueryContext()
{
    QueryContext context;
    context[NQXRHVP20::TCIMSchemaHelper::kContextName] =
        TCIMValue(NQXRHVP20::TCIMSchemaHelper::kPluginNSPName);
    return context;
}

boost::shared_ptr<ICIMClass> FindClass(
    boost::shared_ptr<ICIMNamespace> ns, const std::string& name, QueryContext context)
{
    return ns->GetClass(name, context);
}

void CollectInstances(boost::shared_ptr<ICIMClass> cls, TInstanceList& list)
{
    const boost::function1<bool, boost::shared_ptr<ICIMInstance>> callback =
        TAddToVectorCallback<ICIMInstance>(&list);
    cls->EnumerateInstances(callback, true, QueryContext());
}

TInstanceList ClassInstances(
    boost::shared_ptr<ICIMNamespace> ns, const std::string& name, const QueryContext& context)
{
    TInstanceList list;
    CollectInstances(FindClass(ns, name, context), list);
    return list;
}

TCIMValue ReadPropertyValue(boost::shared_ptr<ICIMInstance> instance, const std::string& name)
{
    const boost::shared_ptr<ICIMProperty> property = instance->GetProperty(name, QueryContext());
    return property->GetValue(QueryContext());
}

std::string ValueToDecimalText(const TCIMValue& value)
{
    return value.ToString(10);
}

bool ReadPropertyText(
    const boost::shared_ptr<ICIMInstance>& instance, const std::string& name, std::string& text)
{
    // The value is read where the property holds it, not copied first: a
    // scan reads a property of every one of a million records.
    const boost::shared_ptr<ICIMProperty> property = instance->GetProperty(name, QueryContext());
    const TCIMValue& value = property->GetValue(QueryContext());
    if (value.IsNull())
        return false;
    text = ValueToDecimalText(value);
    return true;
}

bool ValueToUInt16(const TCIMValue& value, unsigned short& number)
{
    if (static_cast<NQXRHVP20::ECIMType>(value.GetType()) != NQXRHVP20::kCIMTypeUInt16)
        return false;
    number = static_cast<unsigned short>(value);
    return true;
}

std::string ValueToText(const TCIMValue& value)
{
    return static_cast<std::string>(value);
}

unsigned int TextToUnsigned(const std::string& text)
{
    // The cast alone would also take a sign ("-4" wraps around): only a text
    // made wholly of decimal digits is an unsigned number here.
    const bool digitsOnly = !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return std::isdigit(static_cast<unsigned char>(c)) != 0;
    });
    if (!digitsOnly)
        boost::throw_exception(boost::bad_lexical_cast(typeid(std::string), typeid(unsigned int)));
    return boost::lexical_cast<unsigned int>(text);
}

std::int32_t TextToInt32(const std::string& text)
{
    // A plain decimal of up to 18 digits, the usual text, is converted
    // directly: strtol would give the same number.
    const char* first = text.data() + (!text.empty() && text[0] == '-' ? 1 : 0);
    const char* last = text.data() + text.size();
    if (last > first && last - first <= 18 &&
        std::all_of(first, last, [](char c) { return c >= '0' && c <= '9'; })) {
        std::int64_t magnitude = 0;
        for (const char* c = first; c != last; ++c)
            magnitude = magnitude * 10 + (*c - '0');
        const std::int64_t value = first == text.data() ? magnitude : -magnitude;
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(value)));
    }
    const long number = std::strtol(text.c_str(), nullptr, 10);
    // Keep the low 32 bits, as a narrowing to a 32-bit signed integer does.
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<unsigned long>(number)));
}

std::string ToLowerText(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

void LogLine(int level, const std::string& text)
{
    NQXRHVP20::TRootObject::GetCoreLogger()->Log(level, text);
}

}  // namespace tarvoanal
