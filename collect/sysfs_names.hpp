// The names sysfs gives its entries: a SCSI address (0:1:2:0), a host
// (host3) and a PCI function (0000:03:00.0), recognised only in the forms
// the kernel writes, so that an entry of another form is passed by.
#pragma once

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <string>
#include <vector>

namespace tarvocollect {

// Reads numbers separated by `separator` after `prefix`, each of decimal
// digits only; false when the name has another form.
inline bool ParseNumbers(
    const std::string& name, const std::string& prefix, char separator, std::vector<int>& numbers)
{
    if (name.compare(0, prefix.size(), prefix) != 0)
        return false;
    numbers.clear();
    std::string::size_type at = prefix.size();
    for (;;) {
        const std::string::size_type end = std::min(name.find(separator, at), name.size());
        if (end == at || end - at > 9)
            return false;
        for (std::string::size_type i = at; i < end; ++i)
            if (!std::isdigit(static_cast<unsigned char>(name[i])))
                return false;
        numbers.push_back(std::atoi(name.substr(at, end - at).c_str()));
        if (end == name.size())
            return true;
        at = end + 1;
    }
}

inline bool IsPciAddress(const std::string& name)
{
    // dddd:bb:dd.f, all hexadecimal but the function.
    if (name.size() < 12 || name[name.size() - 2] != '.' || name[name.size() - 5] != ':' ||
        name[name.size() - 8] != ':')
        return false;
    for (std::string::size_type i = 0; i + 2 < name.size(); ++i)
        if (name[i] != ':' && !std::isxdigit(static_cast<unsigned char>(name[i])))
            return false;
    return name.back() >= '0' && name.back() <= '7';
}

}  // namespace tarvocollect
