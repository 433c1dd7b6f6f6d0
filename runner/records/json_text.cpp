// A text written as a JSON string straight into a line being built.
#include "json_text.hpp"

#include <cstdio>

#include <simdjson.h>

namespace tarvorun {

bool AppendJsonString(std::string& line, const std::string& text)
{
    if (!simdjson::validate_utf8(text.data(), text.size()))
        return false;
    line += '"';
    std::size_t from = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c != '"' && c != '\\')
            continue;
        line.append(text, from, i - from);
        from = i + 1;
        switch (c) {
        case '"':
            line += "\\\"";
            break;
        case '\\':
            line += "\\\\";
            break;
        case '\b':
            line += "\\b";
            break;
        case '\t':
            line += "\\t";
            break;
        case '\n':
            line += "\\n";
            break;
        case '\f':
            line += "\\f";
            break;
        case '\r':
            line += "\\r";
            break;
        default: {
            char code[8];
            std::snprintf(code, sizeof code, "\\u%04x", c);
            line += code;
        }
        }
    }
    line.append(text, from, std::string::npos);
    line += '"';
    return true;
}

}  // namespace tarvorun
