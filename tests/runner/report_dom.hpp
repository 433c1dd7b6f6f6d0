// Reading a page's DOM as headless Chromium dumps it: the dump itself, an
// element by its id, one of its attributes, and how often a text occurs.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "text_files.hpp"

namespace {

using tarvotest::ReadFile;

// The text of the element with that id: from its start tag to the end tag
// of the same name at the same depth.
inline std::string Element(const std::string& dom, const std::string& id)
{
    const std::size_t at = dom.find("id=\"" + id + "\"");
    if (at == std::string::npos)
        return std::string();
    const std::size_t start = dom.rfind('<', at);
    const std::string tag = dom.substr(start + 1, dom.find_first_of(" >", start) - start - 1);
    std::size_t depth = 0;
    for (std::size_t place = start;;) {
        const std::size_t open = dom.find("<" + tag, place + 1);
        const std::size_t close = dom.find("</" + tag + ">", place + 1);
        if (close == std::string::npos)
            return dom.substr(start);
        if (open != std::string::npos && open < close) {
            ++depth;
            place = open;
        } else if (depth-- == 0) {
            return dom.substr(start, close + tag.size() + 3 - start);
        } else {
            place = close;
        }
    }
}

// The value of an attribute of the element with that id.
inline std::string Attribute(const std::string& dom, const std::string& id, const std::string& name)
{
    const std::string element = Element(dom, id);
    const std::string tag = element.substr(0, element.find('>'));
    const std::size_t at = tag.find(" " + name + "=\"");
    if (at == std::string::npos)
        return "(none)";
    const std::size_t value = at + name.size() + 3;
    return tag.substr(value, tag.find('"', value) - value);
}

// Whether `text` holds `part`, saying which part is missing when it does
// not: the check a page's DOM is read with.
inline ::testing::AssertionResult Has(const std::string& text, const std::string& part)
{
    if (text.find(part) != std::string::npos)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "missing: " << part;
}

const char* const kChromium = "/usr/bin/chromium";

// The DOM of `page` once its script has run, as headless Chromium dumps it
// in a window of `size`, with a profile of its own under `scratch`. The
// page says it is ready, and shows no error of its script.
inline std::string DumpDom(const std::filesystem::path& page, const std::filesystem::path& scratch,
    const std::string& size = "1280,900")
{
    const std::filesystem::path profile = scratch / "profile";
    const std::filesystem::path dom = scratch / "dom.html";
    const std::string command = std::string("timeout 90 ") + kChromium +
        " --headless --no-sandbox --disable-gpu --disable-quic --no-first-run "
        "--disable-background-networking --disable-component-update --disable-sync --window-size=" +
        size + " --user-data-dir='" + profile.string() + "' --dump-dom 'file://" + page.string() + "' > '" +
        dom.string() + "' 2>/dev/null";
    EXPECT_EQ(std::system(command.c_str()), 0);
    const std::string text = ReadFile(dom);
    EXPECT_TRUE(Has(text, "id=\"report-ready\""));
    EXPECT_EQ(Element(text, "report-error"), "") << Element(text, "report-error");
    return text;
}

inline std::size_t Occurrences(const std::string& text, const std::string& part)
{
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

}  // namespace
