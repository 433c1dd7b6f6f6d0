// Inventories of unusual shapes: what a careless or hostile producer might
// write, for the loader's time and memory.
#include <string>

#include "json_text.hpp"

namespace tarvobench {

namespace {

std::string Numbered(const char* prefix, std::size_t number)
{
    return Format("%s%07zu", prefix, number);
}

}  // namespace

void GenerateShape(EShape shape, std::size_t count, const TTextWriter& write)
{
    TJsonText out(write);
    out.Raw("{").Key("classes").Raw("{");
    bool firstClass = true;
    {
        TClassArray array(out, "QXRSG_Shape", firstClass);
        switch (shape) {
        case EShape::WideInstance: {
            TJsonText& instance = array.NextInstance();
            for (std::size_t i = 0; i < count; ++i)
                instance.Raw(i == 0 ? "" : ",").Member(Numbered("Property", i), Numbered("value ", i));
            instance.Raw("}");
            break;
        }
        case EShape::ManyAssociations: {
            TJsonText& instance = array.NextInstance();
            instance.Member("Name", "the hub").Raw(",").Key("@associations").Raw("{");
            for (std::size_t i = 0; i < count; ++i)
                instance.Raw(i == 0 ? "" : ",")
                    .Key(Numbered("QXRSG_Related", i))
                    .Raw("[{")
                    .Member("Version", static_cast<long long>(i))
                    .Raw("}]");
            instance.Raw("}}");
            break;
        }
        case EShape::SmallInstances:
            for (std::size_t i = 0; i < count; ++i)
                array.NextInstance().Member("Id", static_cast<long long>(i)).Raw("}");
            break;
        case EShape::LongString: {
            TJsonText& instance = array.NextInstance();
            instance.Key("Text").Raw("\"");
            const std::string piece(1 << 16, 'x');
            for (std::size_t left = count; left > 0;) {
                const std::size_t n = left < piece.size() ? left : piece.size();
                instance.Raw(std::string_view(piece.data(), n));
                left -= n;
            }
            instance.Raw("\"}");
            break;
        }
        case EShape::ManyClasses:
            break;
        }
    }  // the array closes here
    if (shape == EShape::ManyClasses)
        for (std::size_t i = 0; i < count; ++i) {
            TClassArray array(out, Numbered("QXRSG_Class", i), firstClass);
            array.NextInstance().Member("Id", static_cast<long long>(i)).Raw("}");
        }
    out.Raw("\n  }\n}\n");
}

}  // namespace tarvobench
