// parse_only: the floor under any reader of an inventory. Reads the file,
// parses it into a simdjson DOM and counts the instances of every class,
// nothing more. hvp-run is measured against it.
#include <cstdio>
#include <string>

#include <simdjson.h>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: parse_only INVENTORY\n");
        return 2;
    }
    simdjson::padded_string text;
    if (const simdjson::error_code error = simdjson::padded_string::load(argv[1]).get(text)) {
        std::fprintf(stderr, "parse_only: %s: %s\n", argv[1], simdjson::error_message(error));
        return 2;
    }
    simdjson::dom::parser parser;
    simdjson::dom::element root;
    if (const simdjson::error_code error = parser.parse(text).get(root)) {
        std::fprintf(stderr, "parse_only: %s: %s\n", argv[1], simdjson::error_message(error));
        return 2;
    }
    simdjson::dom::object classes;
    if (root["classes"].get(classes)) {
        std::fprintf(stderr, "parse_only: %s: no classes\n", argv[1]);
        return 2;
    }
    std::size_t total = 0;
    for (const simdjson::dom::key_value_pair cls : classes) {
        std::size_t count = 0;
        simdjson::dom::array instances;
        if (!cls.value.get(instances))
            for (const simdjson::dom::element instance : instances)
                count += instance.is_object() ? 1 : 0;
        std::printf("%s %zu\n", std::string(cls.key).c_str(), count);
        total += count;
    }
    std::printf("total %zu\n", total);
    return 0;
}
