// Indexing the outline, the document with its sliced arrays emptied, or a
// group of its classes: the names of the classes, and the class arrays and
// class entry objects that were not sliced, with every offset moved back to
// the text's.
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

std::string_view TIndexBuilder::OpenMember(simdjson::simdjson_result<od::field> member, od::field& field)
{
    std::string_view name;
    if (const auto error = std::move(member).get(field))
        Fail(error);
    if (const auto error = field.unescaped_key().get(name))
        Fail(error);
    return name;
}

bool TIndexBuilder::OpenClasses(od::document& document, const TPiece& piece, od::object& classes)
{
    fBase = piece.fText.data();
    fShift = piece.fShift;
    fRemoved = &piece.fRemoved;
    if (const auto error = fParser.iterate(piece.fText).get(document))
        Fail(error);
    if (!piece.fTop) {
        if (const auto error = document.get_object().get(classes))
            Fail(error);
        return true;
    }
    // The whole document may be read before it is checked: what is not an
    // object here is left for the check to name.
    od::object top;
    if (document.get_object().get(top))
        return false;
    for (auto member : top) {
        od::field field;
        if (OpenMember(member, field) == "classes")
            return !field.value().get_object().get(classes);
    }
    return false;
}

std::size_t TIndexBuilder::IndexClassNames(const TPiece& piece, TClassTable& table)
{
    std::size_t count = 0;
    od::document document;
    od::object classes;
    if (!OpenClasses(document, piece, classes))
        return 0;
    for (auto cls : classes) {
        od::field entry;
        std::string_view name;
        if (const auto error = std::move(cls).get(entry))
            Fail(error);
        table.Add(fText, KeyOffset(entry, name));
        ++count;
    }
    return count;
}

void TIndexBuilder::IndexClasses(const TPiece& piece, std::size_t firstPlace, TClassTable& table)
{
    od::document document;
    od::object classes;
    if (!OpenClasses(document, piece, classes))
        return;
    std::size_t place = firstPlace;
    for (auto cls : classes) {
        od::field entry;
        if (const auto error = std::move(cls).get(entry))
            Fail(error);
        TClassEntry& target = table[place++];
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
            target.fInstances = IndexArray(array, 0);
        } else if (!table.Failures(target).fHasLookupError) {
            od::object form;
            if (const auto error = value.get_object().get(form))
                Fail(error);
            for (auto part : form) {
                od::field partField;
                if (OpenMember(part, partField) != "instances" || Sliced(partField.value()))
                    continue;
                od::array array;
                if (const auto error = partField.value().get_array().get(array))
                    Fail(error);
                target.fInstances = IndexArray(array, 0);
            }
        }
    }
}

}  // namespace standin
}  // namespace NQXRHVP20
