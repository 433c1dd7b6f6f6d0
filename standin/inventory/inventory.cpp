// Loading and checking the inventory file.
#include "inventory.hpp"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <iterator>
#include <memory>
#include <new>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <sys/mman.h>
#include <sys/stat.h>

#include <nlohmann/json.hpp>

#include "inventory_detail.hpp"

namespace NQXRHVP20 {
namespace standin {

namespace dom = simdjson::dom;

TInventoryError::TInventoryError(const std::string& source, const std::string& message)
    : std::runtime_error(source + ": " + message), fSource(source), fProblem(message)
{
}

namespace {

// A member path, kept on the stack while the document is checked and turned
// into text only when a problem is found there.
struct TPath {
    const TPath* parent;
    std::string_view member;  // empty for an array index
    std::size_t index;

    TPath Member(std::string_view name) const { return TPath{this, name, 0}; }
    TPath Index(std::size_t i) const { return TPath{this, std::string_view(), i}; }
};

std::string FormatPath(const TPath* path)
{
    std::vector<const TPath*> chain;
    for (; path != nullptr && path->parent != nullptr; path = path->parent)
        chain.push_back(path);
    std::string text;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        if ((*it)->member.empty()) {
            text += "[" + std::to_string((*it)->index) + "]";
        } else {
            if (!text.empty())
                text += ".";
            text += (*it)->member;
        }
    }
    return text.empty() ? std::string("the top level") : text;
}

// Finds the line and column of a syntax error. simdjson reports only what is
// wrong, so the document is read once more, without building anything, by a
// parser that tracks positions. This runs only for a broken file.
class TLocatingSax {
public:
    using json = nlohmann::json;
    bool null() { return true; }
    bool boolean(bool) { return true; }
    bool number_integer(json::number_integer_t) { return true; }
    bool number_unsigned(json::number_unsigned_t) { return true; }
    bool number_float(json::number_float_t, const json::string_t&) { return true; }
    bool string(json::string_t&) { return true; }
    bool binary(json::binary_t&) { return true; }
    bool start_object(std::size_t) { return true; }
    bool key(json::string_t&) { return true; }
    bool end_object() { return true; }
    bool start_array(std::size_t) { return true; }
    bool end_array() { return true; }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& failure)
    {
        message = failure.what();
        return false;
    }
    std::string message;
};

// "line L, column C" of a byte offset, both counted from 1.
std::string LineAndColumn(std::string_view text, std::size_t offset)
{
    std::size_t line = 1;
    std::size_t column = 1;
    for (std::size_t i = 0; i < offset && i < text.size(); ++i) {
        if (text[i] == '\n') {
            ++line;
            column = 1;
        } else {
            ++column;
        }
    }
    return "line " + std::to_string(line) + ", column " + std::to_string(column);
}

// Numbers that are valid JSON but that no 64-bit integer or finite real can
// hold. The tokenizer skips strings and looks at each number token.
std::string LocateNumberOutOfRange(std::string_view text)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"') {
            for (++i; i < text.size() && text[i] != '"'; ++i)
                if (text[i] == '\\')
                    ++i;
            continue;
        }
        if (c != '-' && (c < '0' || c > '9'))
            continue;
        const std::size_t start = i;
        while (i < text.size() && std::strchr("+-0123456789.eE", text[i]) != nullptr)
            ++i;
        const std::string token(text.substr(start, i - start));
        const bool integral = token.find_first_of(".eE") == std::string::npos;
        bool fits = true;
        if (integral) {
            errno = 0;
            if (token[0] == '-')
                std::strtoll(token.c_str(), nullptr, 10);
            else
                std::strtoull(token.c_str(), nullptr, 10);
            fits = errno != ERANGE;
        } else {
            fits = std::isfinite(std::strtod(token.c_str(), nullptr));
        }
        if (!fits)
            return LineAndColumn(text, start) + ": number " + token + " is out of range";
        --i;
    }
    return std::string();
}

// Bytes that are not printable ASCII are shown as \xNN, so that a message
// about a broken file stays readable.
std::string Printable(const std::string& text)
{
    std::string shown;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F) {
            shown += c;
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            shown += escaped;
        }
    }
    return shown;
}

std::string LocateSyntaxError(std::string_view text)
{
    TLocatingSax sax;
    try {
        nlohmann::json::sax_parse(text.begin(), text.end(), &sax);
    } catch (const std::exception&) {
        // Numbers out of range are found below.
    }
    std::string message = sax.message;
    if (message.find("parse error at line ") == std::string::npos)
        return LocateNumberOutOfRange(text);
    // "[json.exception.parse_error.101] parse error at line 2, column 5: ..."
    const std::size_t bracket = message.find("] ");
    if (bracket != std::string::npos)
        message.erase(0, bracket + 2);
    const std::string lead = "parse error at ";
    if (message.compare(0, lead.size(), lead) == 0)
        message.erase(0, lead.size());
    return Printable(message);
}

// The text of an inventory file, followed by the padding the parser may
// read past its end.
class TPaddedText {
public:
    std::string_view View() const { return std::string_view(fData.get(), fSize); }
    char* Data() { return fData.get(); }
    char* End() { return fData.get() + fSize; }
    std::size_t Size() const { return fSize; }
    std::size_t Room() const { return fCapacity - fSize; }
    void Grow(std::size_t count) { fSize += count; }

    // Room for `capacity` bytes of text in all, keeping the text so far. The
    // padding is cleared, as simdjson's own padded strings are.
    void Reserve(std::size_t capacity)
    {
        const std::size_t bytes = capacity + simdjson::SIMDJSON_PADDING;
        void* data = nullptr;
        if (fData == nullptr && bytes >= kLargeText) {
            // A large text is read once, front to back: huge pages spare the
            // kernel a fault for every 4 KiB of it.
            if (posix_memalign(&data, kHugePage, bytes) != 0)
                data = nullptr;
            else
                madvise(data, (bytes + kHugePage - 1) / kHugePage * kHugePage, MADV_HUGEPAGE);
        } else {
            data = std::realloc(fData.get(), bytes);
        }
        if (data == nullptr)
            throw std::bad_alloc();
        fData.release();
        fData.reset(static_cast<char*>(data));
        fCapacity = capacity;
        std::memset(fData.get() + fCapacity, 0, simdjson::SIMDJSON_PADDING);
    }

private:
    static constexpr std::size_t kHugePage = std::size_t(2) << 20;
    static constexpr std::size_t kLargeText = std::size_t(8) << 20;
    struct TFree {
        void operator()(char* data) const { std::free(data); }
    };
    std::unique_ptr<char, TFree> fData;
    std::size_t fSize = 0;
    std::size_t fCapacity = 0;  // without the padding
};

// Reads the whole file. A regular file goes straight into a buffer of its
// size, so that the text is held once; a pipe or a terminal grows the buffer
// as it goes.
TPaddedText ReadWhole(const std::string& path, const std::string& source)
{
    std::FILE* file = path == "-" ? stdin : std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        throw TInventoryError(source, std::string("cannot open: ") + std::strerror(errno));
    TPaddedText text;
    std::size_t capacity = 1 << 16;
    struct stat info;
    if (fstat(fileno(file), &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0)
        capacity = static_cast<std::size_t>(info.st_size) + 1;  // one more, to meet the end of the file
    text.Reserve(capacity);
    std::size_t got = 0;
    for (;;) {
        if (text.Room() == 0)
            text.Reserve(2 * text.Size());
        got = std::fread(text.End(), 1, text.Room(), file);
        if (got == 0)
            break;
        text.Grow(got);
    }
    const bool failed = std::ferror(file) != 0;
    const int error = errno;
    if (file != stdin)
        std::fclose(file);
    if (failed)
        throw TInventoryError(source, std::string("cannot read: ") + std::strerror(error));
    return text;
}

// Where the large class arrays of a document are and where they are cut into
// slices. Each array is parsed in slices of its own, and the rest of the
// document as its outline, with those arrays left empty, so that the parser's
// working buffers, four bytes and more for every token, are sized for one
// slice rather than for the whole text.
struct TSlicedArray {
    std::string_view key;           // the class name, as written: it holds no escape
    std::size_t member;             // its place among the members of "classes"
    std::size_t open;               // where its '[' is
    std::size_t close;              // where its ']' is
    std::vector<std::size_t> cuts;  // the commas between its slices
};

// The bytes of one 64-byte block that matter for finding the arrays, one bit
// each.
struct TBlockMasks {
    std::uint64_t quote;
    std::uint64_t backslash;
    std::uint64_t open;   // '{' or '['
    std::uint64_t close;  // '}' or ']'
    std::uint64_t comma;
    std::uint64_t colon;
};

#if defined(__SSE2__)
std::uint64_t MaskOf(const __m128i (&chunks)[4], char c)
{
    const __m128i wanted = _mm_set1_epi8(c);
    std::uint64_t mask = 0;
    for (int i = 0; i < 4; ++i)
        mask |= static_cast<std::uint64_t>(
                    static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(chunks[i], wanted))))
            << (16 * i);
    return mask;
}

TBlockMasks MasksOf(const char* block)
{
    __m128i chunks[4];
    __m128i lowered[4];
    for (int i = 0; i < 4; ++i) {
        chunks[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 16 * i));
        // '[' and ']' are '{' and '}' with the 0x20 bit cleared.
        lowered[i] = _mm_or_si128(chunks[i], _mm_set1_epi8(0x20));
    }
    return {MaskOf(chunks, '"'), MaskOf(chunks, '\\'), MaskOf(lowered, '{'), MaskOf(lowered, '}'),
        MaskOf(chunks, ','), MaskOf(chunks, ':')};
}
#else
TBlockMasks MasksOf(const char* block)
{
    TBlockMasks masks{0, 0, 0, 0, 0, 0};
    for (int i = 0; i < 64; ++i) {
        const std::uint64_t bit = std::uint64_t(1) << i;
        switch (block[i]) {
        case '"':
            masks.quote |= bit;
            break;
        case '\\':
            masks.backslash |= bit;
            break;
        case '{':
        case '[':
            masks.open |= bit;
            break;
        case '}':
        case ']':
            masks.close |= bit;
            break;
        case ',':
            masks.comma |= bit;
            break;
        case ':':
            masks.colon |= bit;
            break;
        default:
            break;
        }
    }
    return masks;
}
#endif

// Bit i of the result is the parity of bits 0 to i.
std::uint64_t PrefixParity(std::uint64_t bits)
{
    for (int shift = 1; shift < 64; shift *= 2)
        bits ^= bits << shift;
    return bits;
}

// The bits of positions `from` to 63.
std::uint64_t BitsFrom(unsigned from)
{
    return from >= 64 ? 0 : ~std::uint64_t(0) << from;
}

bool IsJsonSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// The key of the member whose value starts at `at`, when it holds no escape;
// empty when there is none such.
std::string_view KeyBefore(std::string_view text, std::size_t at)
{
    std::size_t i = at;
    while (i > 0 && IsJsonSpace(text[i - 1]))
        --i;
    if (i == 0 || text[i - 1] != ':')
        return std::string_view();
    --i;
    while (i > 0 && IsJsonSpace(text[i - 1]))
        --i;
    if (i == 0 || text[i - 1] != '"')
        return std::string_view();
    const std::size_t end = --i;
    while (i > 0 && text[i - 1] != '"' && text[i - 1] != '\\')
        --i;
    if (i < 2 || text[i - 1] != '"' || text[i - 2] == '\\')
        return std::string_view();
    return text.substr(i, end - i);
}

// Finds the class arrays, values of the members of the top-level "classes"
// object, whose elements take more than `sliceBytes`, and cuts each one at
// the first comma between elements after every `sliceBytes`. The text is
// read 64 bytes at a time: the quotes that are not escaped tell where the
// strings are, and the brackets outside them the depth. Nothing is checked
// here: the parser checks every slice and the outline, and the plan is only
// used when all of them are valid. Answers nothing for a text that is not
// shaped as expected.
std::vector<TSlicedArray> PlanSlices(std::string_view text, std::size_t sliceBytes)
{
    std::vector<TSlicedArray> plan;
    std::uint64_t inString = 0;  // all ones when the previous block ended in a string
    bool escapeNext = false;     // the previous block ended with a backslash that escapes
    long depth = 0;
    int classesObjects = 0;
    bool inClasses = false;
    std::size_t classesMembers = 0;  // the colons of "classes" met so far
    bool inArray = false;
    TSlicedArray array;
    std::size_t nextCut = 0;

    for (std::size_t pos = 0; pos < text.size(); pos += 64) {
        const std::size_t left = text.size() - pos;
        char tail[64];
        const char* block = text.data() + pos;
        if (left < 64) {
            std::memset(tail, ' ', sizeof tail);
            std::memcpy(tail, block, left);
            block = tail;
        }
        const TBlockMasks masks = MasksOf(block);

        // A backslash escapes the next character, unless it is escaped itself.
        std::uint64_t escaped = 0;
        std::uint64_t backslashes = masks.backslash;
        if (escapeNext) {
            escaped |= 1;
            backslashes &= ~std::uint64_t(1);
        }
        escapeNext = false;
        while (backslashes != 0) {
            const int i = __builtin_ctzll(backslashes);
            if (i == 63) {
                escapeNext = true;
                break;
            }
            escaped |= std::uint64_t(1) << (i + 1);
            backslashes &= ~(std::uint64_t(3) << i);
        }
        // Ones from an opening quote up to its closing quote, which is left out.
        const std::uint64_t strings = PrefixParity(masks.quote & ~escaped) ^ inString;
        inString = static_cast<std::uint64_t>(static_cast<std::int64_t>(strings) >> 63);

        const std::uint64_t opens = masks.open & ~strings;
        const std::uint64_t closes = masks.close & ~strings;
        const std::uint64_t commas = masks.comma & ~strings;
        const std::uint64_t colons = masks.colon & ~strings;
        std::uint64_t events = opens | closes;
        if (inArray && nextCut < pos + 64)
            events |= commas & BitsFrom(static_cast<unsigned>(nextCut > pos ? nextCut - pos : 0));
        if (left < 64)
            events &= ~BitsFrom(static_cast<unsigned>(left));

        unsigned from = 0;  // the bits before `from` are handled
        while (events != 0) {
            const unsigned i = static_cast<unsigned>(__builtin_ctzll(events));
            events &= events - 1;
            if (inClasses && depth == 2)
                classesMembers +=
                    static_cast<std::size_t>(__builtin_popcountll(colons & BitsFrom(from) & ~BitsFrom(i)));
            from = i + 1;
            const std::size_t at = pos + i;
            const std::uint64_t bit = std::uint64_t(1) << i;
            if (opens & bit) {
                ++depth;
                if (depth == 2 && text[at] == '{' && KeyBefore(text, at) == "classes") {
                    if (++classesObjects > 1)
                        return {};
                    inClasses = true;
                } else if (depth == 3 && inClasses && text[at] == '[') {
                    const std::string_view key = KeyBefore(text, at);
                    if (!key.empty() && classesMembers > 0) {
                        inArray = true;
                        array = TSlicedArray{key, classesMembers - 1, at, 0, {}};
                        nextCut = at + 1 + sliceBytes;
                        if (nextCut < pos + 64)
                            events |= commas &
                                BitsFrom(static_cast<unsigned>(nextCut > pos ? nextCut - pos : 0)) &
                                ~BitsFrom(static_cast<unsigned>(left < 64 ? left : 64));
                    }
                }
            } else if (closes & bit) {
                if (depth == 3 && inArray) {
                    inArray = false;
                    array.close = at;
                    if (!array.cuts.empty())
                        plan.push_back(std::move(array));
                    events &= ~commas;
                } else if (depth == 2 && inClasses) {
                    inClasses = false;
                }
                if (--depth < 0)
                    return {};
            } else if (inArray && depth == 3) {
                // A comma between the array's elements.
                array.cuts.push_back(at);
                nextCut = at + 1 + sliceBytes;
                events &= ~commas;
                if (nextCut < pos + 64)
                    events |= commas & BitsFrom(static_cast<unsigned>(nextCut - pos));
            }
        }
        if (inClasses && depth == 2)
            classesMembers += static_cast<std::size_t>(__builtin_popcountll(colons & BitsFrom(from)));
    }
    if (depth != 0 || inString != 0 || inArray || inClasses)
        return {};
    return plan;
}

// The member names of one object met so far, so that a duplicate is found as
// it comes. Objects have few members: a look over the earlier names is cheap,
// and the names are kept rather than read from the document again.
class TMemberNames {
public:
    // Adds `name`; false when it was met before.
    bool Add(std::string_view name)
    {
        const std::size_t inlined = fCount < kInline ? fCount : kInline;
        for (std::size_t i = 0; i < inlined; ++i)
            if (fSizes[i] == name.size() && std::memcmp(fData[i], name.data(), name.size()) == 0)
                return false;
        for (const std::string_view earlier : fMore)
            if (earlier == name)
                return false;
        if (fCount < kInline) {
            fData[fCount] = name.data();
            fSizes[fCount] = name.size();
        } else {
            fMore.push_back(name);
        }
        ++fCount;
        return true;
    }

private:
    static constexpr std::size_t kInline = 16;
    // Only the first fCount entries are set.
    const char* fData[kInline];
    std::size_t fSizes[kInline];
    std::size_t fCount = 0;
    std::vector<std::string_view> fMore;
};

class TChecker {
public:
    TChecker(const std::string& source) : fSource(source) { }

    [[noreturn]] void Fail(const TPath& path, const std::string& problem) const
    {
        throw TInventoryError(fSource, "at " + FormatPath(&path) + ": " + problem);
    }

    dom::object ExpectObject(dom::element element, const TPath& path, const char* what) const
    {
        if (!element.is_object())
            Fail(path, std::string(what) + " must be an object");
        return element.get_object().value_unsafe();
    }

    dom::array ExpectArray(dom::element element, const TPath& path, const char* what) const
    {
        if (!element.is_array())
            Fail(path, std::string(what) + " must be an array");
        return element.get_array().value_unsafe();
    }

    TErrorForm ErrorForm(dom::element element, const TPath& path, bool allowEmpty) const
    {
        const dom::object form = ExpectObject(element, path, "an error form");
        TErrorForm result;
        bool onValue = false;
        std::string problem;
        if (!ReadErrorForm(form, allowEmpty, false, result, onValue, problem))
            Fail(path, problem);
        return result;
    }

    void CheckInstances(dom::array instances, const TPath& path) const
    {
        CheckInstances(TInstanceArrays{instances}, path);
    }

    // The instances of all the arrays, numbered as one list.
    void CheckInstances(const TInstanceArrays& arrays, const TPath& path) const
    {
        std::size_t index = 0;
        for (const dom::array instances : arrays) {
            for (const dom::element instance : instances) {
                const TPath here = path.Index(index++);
                CheckInstance(instance, here);
            }
        }
    }

    void CheckInstance(dom::element element, const TPath& path) const
    {
        const dom::object instance = ExpectObject(element, path, "an instance");
        std::string problem;
        TMemberNames names;
        for (const dom::key_value_pair member : instance) {
            if (!names.Add(member.key))
                FailDuplicate(path.Member(member.key), member.key);
            if (member.key == "@associations") {
                CheckAssociations(member.value, path.Member(member.key));
            } else if ((member.value.is_object() || member.value.is_array()) &&
                !CheckPropertyEntry(member.value, problem)) {
                // Plain JSON values are always valid entries.
                Fail(path.Member(member.key), problem);
            }
        }
    }

    void CheckAssociations(dom::element element, const TPath& path) const
    {
        const dom::object associations = ExpectObject(element, path, "@associations");
        TMemberNames names;
        for (const dom::key_value_pair member : associations) {
            const TPath here = path.Member(member.key);
            if (!names.Add(member.key))
                FailDuplicate(here, member.key);
            if (member.value.is_array())
                CheckInstances(member.value.get_array().value_unsafe(), here);
            else
                ErrorForm(member.value, here, false);
        }
    }

    [[noreturn]] void FailDuplicate(const TPath& path, std::string_view key) const
    {
        Fail(path, "duplicate member \"" + std::string(key) + "\"");
    }

private:
    std::string fSource;
};

}  // namespace

std::shared_ptr<const TInventory> TInventory::LoadFile(const std::string& path)
{
    const std::string source = path == "-" ? std::string("<stdin>") : path;
    std::shared_ptr<TInventory> inventory(new TInventory());
    inventory->fSource = source;
    {
        TPaddedText text = ReadWhole(path, source);
        inventory->Parse(text.Data(), text.Size(), kSliceBytes);
    }  // the text is given back before the document is checked and used
    inventory->Check();
    return inventory;
}

std::shared_ptr<const TInventory> TInventory::LoadText(std::string_view text, const std::string& source)
{
    return LoadText(text, source, kSliceBytes);
}

std::shared_ptr<const TInventory> TInventory::LoadText(
    std::string_view text, const std::string& source, std::size_t sliceBytes)
{
    std::shared_ptr<TInventory> inventory(new TInventory());
    inventory->fSource = source;
    {
        simdjson::padded_string padded(text);
        inventory->Parse(padded.data(), padded.size(), sliceBytes);
    }
    inventory->Check();
    return inventory;
}

void TInventory::Parse(char* text, std::size_t size, std::size_t sliceBytes)
{
    if (sliceBytes != 0 && size > sliceBytes && ParseInSlices(text, size, sliceBytes))
        return;
    ParseWhole(std::string_view(text, size));
}

namespace {

// Puts brackets around the elements of one slice, for the time of its parse:
// the characters before and after them are '[' or ',', and ',' or ']'.
class TBracketedSlice {
public:
    TBracketedSlice(char* text, std::size_t open, std::size_t close)
        : fOpen(text + open), fClose(text + close), fOpenWas(*fOpen), fCloseWas(*fClose)
    {
        *fOpen = '[';
        *fClose = ']';
    }
    ~TBracketedSlice()
    {
        *fOpen = fOpenWas;
        *fClose = fCloseWas;
    }
    TBracketedSlice(const TBracketedSlice&) = delete;
    TBracketedSlice& operator=(const TBracketedSlice&) = delete;

private:
    char* fOpen;
    char* fClose;
    char fOpenWas;
    char fCloseWas;
};

// Whether the outline is the document the plan was made for: an object with
// one "classes" member, an object, whose planned members have the planned
// names and are empty arrays.
bool OutlineMatches(dom::element root, const std::vector<TSlicedArray>& plan)
{
    dom::object top;
    if (root.get(top))
        return false;
    dom::object classes;
    int found = 0;
    for (const dom::key_value_pair member : top) {
        if (member.key == "classes") {
            ++found;
            if (member.value.get(classes))
                return false;
        }
    }
    if (found != 1)
        return false;
    auto next = plan.begin();
    std::size_t place = 0;
    for (const dom::key_value_pair member : classes) {
        if (next != plan.end() && next->member == place) {
            dom::array instances;
            if (member.key != next->key || member.value.get(instances) || instances.size() != 0)
                return false;
            ++next;
        }
        ++place;
    }
    return next == plan.end();
}

}  // namespace

bool TInventory::ParseInSlices(char* text, std::size_t size, std::size_t sliceBytes)
{
    const std::vector<TSlicedArray> plan = PlanSlices(std::string_view(text, size), sliceBytes);
    if (plan.empty())
        return false;
    for (const TSlicedArray& array : plan) {
        if (text[array.open] != '[' || text[array.close] != ']')
            return false;
        for (const std::size_t cut : array.cuts)
            if (text[cut] != ',')
                return false;
    }

    // The outline keeps the brackets of the sliced arrays and nothing between.
    std::string outline;
    std::size_t from = 0;
    for (const TSlicedArray& array : plan) {
        outline.append(text + from, array.open + 1 - from);
        from = array.close;
    }
    outline.append(text + from, size - from);
    {
        const simdjson::padded_string padded(outline);
        simdjson::dom::parser parser;
        if (parser.parse_into_document(fDocument, padded).get(fRoot) || !OutlineMatches(fRoot, plan))
            return false;
    }

    // A slice is parsed as an array two levels nearer the top than its
    // elements are in the document, so it may nest two levels less.
    simdjson::dom::parser parser;
    if (parser.allocate(sliceBytes + 64, simdjson::DEFAULT_MAX_DEPTH - 2))
        return false;
    std::vector<std::pair<std::size_t, TInstanceArrays>> sliced;
    std::vector<std::unique_ptr<dom::document>> documents;
    for (const TSlicedArray& array : plan) {
        TInstanceArrays arrays;
        std::size_t open = array.open;
        for (std::size_t k = 0; k <= array.cuts.size(); ++k) {
            const std::size_t close = k < array.cuts.size() ? array.cuts[k] : array.close;
            const TBracketedSlice bracketed(text, open, close);
            auto document = std::make_unique<dom::document>();
            dom::element root;
            dom::array elements;
            // Each slice holds one element or more, as the commas between
            // the slices demand.
            if (parser.parse_into_document(*document, text + open, close + 1 - open, false).get(root) ||
                root.get(elements) || elements.size() == 0)
                return false;
            arrays.push_back(elements);
            documents.push_back(std::move(document));
            open = close;
        }
        sliced.emplace_back(array.member, std::move(arrays));
    }
    fSlicedClasses = std::move(sliced);
    fSlices = std::move(documents);
    return true;
}

void TInventory::ParseWhole(std::string_view text)
{
    simdjson::dom::parser parser;
    const simdjson::error_code error =
        parser
            .parse_into_document(
                fDocument, reinterpret_cast<const std::uint8_t*>(text.data()), text.size(), false)
            .get(fRoot);
    if (!error)
        return;
    if (error == simdjson::CAPACITY || error == simdjson::MEMALLOC)
        throw TInventoryError(fSource, simdjson::error_message(error));
    std::string place = LocateSyntaxError(text);
    if (place.empty())
        place = simdjson::error_message(error);
    throw TInventoryError(fSource, place);
}

void TInventory::Check()
{
    const TChecker checker(fSource);
    const TPath top{nullptr, std::string_view(), 0};
    const dom::object root = checker.ExpectObject(fRoot, top, "the inventory");
    TMemberNames names;
    for (const dom::key_value_pair member : root) {
        const TPath here = top.Member(member.key);
        if (!names.Add(member.key))
            checker.FailDuplicate(here, member.key);
        if (!member.key.empty() && member.key.front() == '_')
            continue;
        if (member.key == "operatingSystemType") {
            const dom::element value = member.value;
            if (value.is_object()) {
                fOsError = checker.ErrorForm(value, here, false);
                fHasOsError = true;
            } else if (value.is_int64() && value.get_int64().value_unsafe() >= 0 &&
                value.get_int64().value_unsafe() <= 65535) {
                fOsType = static_cast<unsigned short>(value.get_int64().value_unsafe());
            } else {
                checker.Fail(here, "must be an integer from 0 to 65535, or an error form");
            }
        } else if (member.key == "classes") {
            const dom::object classes = checker.ExpectObject(member.value, here, "classes");
            // The classes parsed in slices are empty arrays in the outline.
            auto sliced = fSlicedClasses.begin();
            std::size_t place = 0;
            for (const dom::key_value_pair cls : classes) {
                const TPath clsPath = here.Member(cls.key);
                TClassEntry entry;
                entry.name = cls.key;
                if (sliced != fSlicedClasses.end() && sliced->first == place) {
                    entry.instances = sliced->second;
                    ++sliced;
                    checker.CheckInstances(entry.instances, clsPath);
                } else if (cls.value.is_array()) {
                    entry.instances = {cls.value.get_array().value_unsafe()};
                    checker.CheckInstances(entry.instances, clsPath);
                } else if (cls.value.is_object() && !cls.value.at_key("error").error()) {
                    entry.lookupError = checker.ErrorForm(cls.value, clsPath, true);
                    entry.hasLookupError = true;
                } else {
                    const dom::object form = checker.ExpectObject(
                        cls.value, clsPath, "a class entry (an array of instances, or an object)");
                    bool hasInstances = false;
                    for (const dom::key_value_pair part : form) {
                        const TPath partPath = clsPath.Member(part.key);
                        if (part.key == "instances") {
                            entry.instances = {checker.ExpectArray(part.value, partPath, "instances")};
                            checker.CheckInstances(entry.instances, partPath);
                            hasInstances = true;
                        } else if (part.key == "enumerate") {
                            entry.enumerateError = checker.ErrorForm(part.value, partPath, false);
                            entry.hasEnumerateError = true;
                        } else {
                            checker.Fail(partPath,
                                "unexpected member; a class entry object holds "
                                "\"instances\" and \"enumerate\", or \"error\"");
                        }
                    }
                    if (!hasInstances)
                        checker.Fail(clsPath, "a class entry object needs \"instances\"");
                }
                if (!fClasses.emplace(cls.key, entry).second)
                    checker.Fail(clsPath, "duplicate class \"" + std::string(cls.key) + "\"");
                ++place;
            }
        } else {
            checker.Fail(here,
                "unknown member (the inventory holds \"classes\" and "
                "\"operatingSystemType\"; members starting with _ are comments)");
        }
    }
}

const TClassEntry* TInventory::FindClass(std::string_view name) const
{
    const auto found = fClasses.find(name);
    return found == fClasses.end() ? nullptr : &found->second;
}

}  // namespace standin
}  // namespace NQXRHVP20
