// Where a text that is not valid JSON goes wrong, for the message.
#pragma once

#include <string>
#include <string_view>

#include <simdjson.h>

namespace NQXRHVP20 {
namespace standin {

// "line L, column C: what is wrong" for a text the parser refused with
// `error`. The parser says only what is wrong, so the text is read again,
// without building anything, to find the place. This runs only for a broken
// file.
std::string DescribeSyntaxError(std::string_view text, simdjson::error_code error);

// The same for the first thing a whole parse would refuse in a text, or
// empty when the text is JSON: for an inventory that is not valid, whose
// syntax error further on is reported first.
std::string FindSyntaxError(std::string_view text);

}  // namespace standin
}  // namespace NQXRHVP20
