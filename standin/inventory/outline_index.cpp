// Indexing the outline, the document with its sliced arrays emptied: the
// class arrays and class entry objects that were not sliced are indexed
// here, with every offset moved back to the text's.
#include "index_builder.hpp"

namespace NQXRHVP20 {
namespace standin {

namespace od = simdjson::ondemand;

bool TIndexBuilder::Sliced(od::value value) const
{
    // An array parsed in slices is indexed already; its place in the outline
    // tells it.
    const std::string_view token = value.raw_json_token();
    for (const auto& emptied : *fRemoved)
        if (emptied.first == static_cast<std::size_t>(token.data() - fBase))
            return true;
    return false;
}

void TIndexBuilder::IndexOutline(simdjson::padded_string_view outline,
    const std::vector<std::pair<std::size_t, std::size_t>>& removed, std::vector<TClassEntry>& classes)
{
    fBase = outline.data();
    fRemoved = &removed;
    od::document document;
    od::object top;
    if (const auto error = fParser.iterate(outline).get(document))
        Fail(error);
    if (const auto error = document.get_object().get(top))
        Fail(error);
    // The member a loop gives, into `field`, and its name.
    const auto open = [this](auto member, od::field& field) {
        std::string_view name;
        if (const auto error = std::move(member).get(field))
            Fail(error);
        if (const auto error = field.unescaped_key().get(name))
            Fail(error);
        return name;
    };
    for (auto member : top) {
        od::field field;
        if (open(std::move(member), field) != "classes")
            continue;
        od::object entries;
        if (const auto error = field.value().get_object().get(entries))
            Fail(error);
        std::size_t place = 0;
        for (auto cls : entries) {
            od::field entry;
            if (const auto error = std::move(cls).get(entry))
                Fail(error);
            TClassEntry& target = classes.at(place++);
            od::value value = entry.value();
            od::json_type type = od::json_type::null;
            if (const auto error = value.type().get(type))
                Fail(error);
            if (type == od::json_type::array) {
                if (Sliced(value))
                    continue;
                od::array array;
                if (const auto error = value.get_array().get(array))
                    Fail(error);
                target.instances = IndexArray(array, 0);
            } else if (!target.hasLookupError) {
                od::object form;
                if (const auto error = value.get_object().get(form))
                    Fail(error);
                for (auto part : form) {
                    od::field partField;
                    if (open(std::move(part), partField) != "instances" || Sliced(partField.value()))
                        continue;
                    od::array array;
                    if (const auto error = partField.value().get_array().get(array))
                        Fail(error);
                    target.instances = IndexArray(array, 0);
                }
            }
        }
    }
}

}  // namespace standin
}  // namespace NQXRHVP20
