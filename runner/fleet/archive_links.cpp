// Hard links of a tar archive, given their targets' texts.
#include "archive_links.hpp"

#include <algorithm>

namespace tarvorun {

void TArchiveLinks::Remember(const std::string& member, const TInventoryInput& input)
{
    const bool read = input.fProblem.empty();
    fRead[member] = read;
    // A name given again replaces what was kept under it.
    if (const auto earlier = fTexts.find(member); earlier != fTexts.end()) {
        fKeptBytes -= earlier->second.size();
        fTexts.erase(earlier);
        fKeptOrder.erase(std::find(fKeptOrder.begin(), fKeptOrder.end(), member));
    }
    if (!read || input.fText.size() > kTextsKeptForLinks)
        return;
    fTexts[member] = input.fText;
    fKeptOrder.push_back(member);
    fKeptBytes += input.fText.size();
    while (fKeptBytes > kTextsKeptForLinks && !fKeptOrder.empty()) {
        const auto kept = fTexts.find(fKeptOrder.front());
        fKeptOrder.pop_front();
        fKeptBytes -= kept->second.size();
        fTexts.erase(kept);
    }
}

void TArchiveLinks::Resolve(const std::string& target, TInventoryInput& input) const
{
    const std::string head = input.fName + ": a hard link to the member " + target;
    const auto seen = fRead.find(target);
    if (seen == fRead.end()) {
        input.fProblem = head + ", which the archive does not hold before it";
        return;
    }
    if (!seen->second) {
        input.fProblem = head + ", which could not be read";
        return;
    }
    const auto kept = fTexts.find(target);
    if (kept == fTexts.end()) {
        input.fProblem = head + ", whose text is no longer held (links are read from the last " +
            std::to_string(kTextsKeptForLinks >> 20) +
            " MiB of texts); unpack the archive and give its folder";
        return;
    }
    input.fText = kept->second;
}

}  // namespace tarvorun
