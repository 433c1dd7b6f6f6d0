// The pieces the inventory generators share: a pseudo-random stream, JSON
// text written in large pieces, and the class arrays of an inventory.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "inventory_generator.hpp"

namespace tarvobench {

// splitmix64: small, fast and the same everywhere, unlike the standard
// library's distributions.
class TRandom {
public:
    explicit TRandom(std::uint64_t seed) : fState(seed) { }

    std::uint64_t Next()
    {
        std::uint64_t z = (fState += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // A number below `bound`.
    std::size_t Below(std::size_t bound) { return static_cast<std::size_t>(Next() % bound); }
    // True with a chance of `perMille` in a thousand.
    bool Chance(unsigned perMille) { return Next() % 1000 < perMille; }
    template <typename T, std::size_t N> const T& Pick(const T (&items)[N]) { return items[Below(N)]; }

private:
    std::uint64_t fState;
};

// JSON text gathered in a buffer and handed on in large pieces.
class TJsonText {
public:
    explicit TJsonText(const TTextWriter& write) : fWrite(write) { fBuffer.reserve(kFlushSize + 4096); }
    ~TJsonText() { Flush(); }

    TJsonText& Raw(std::string_view text)
    {
        fBuffer.append(text.data(), text.size());
        if (fBuffer.size() >= kFlushSize)
            Flush();
        return *this;
    }
    TJsonText& Number(long long number)
    {
        char digits[24];
        const int length = std::snprintf(digits, sizeof digits, "%lld", number);
        return Raw(std::string_view(digits, static_cast<std::size_t>(length)));
    }
    // A string literal; the texts made here need only quotes and backslashes
    // escaped.
    TJsonText& String(std::string_view text)
    {
        fBuffer.push_back('"');
        for (const char c : text) {
            if (c == '"' || c == '\\')
                fBuffer.push_back('\\');
            fBuffer.push_back(c);
        }
        fBuffer.push_back('"');
        return *this;
    }
    // "name":
    TJsonText& Key(std::string_view name) { return String(name).Raw(":"); }
    TJsonText& Member(std::string_view name, std::string_view text) { return Key(name).String(text); }
    TJsonText& Member(std::string_view name, long long number) { return Key(name).Number(number); }

    void Flush()
    {
        if (!fBuffer.empty())
            fWrite(fBuffer.data(), fBuffer.size());
        fBuffer.clear();
    }

private:
    static constexpr std::size_t kFlushSize = 1 << 20;
    const TTextWriter& fWrite;
    std::string fBuffer;
};

template <typename... Args> inline std::string Format(const char* format, Args... args)
{
    char text[512];
    const int length = std::snprintf(text, sizeof text, format, args...);
    return std::string(text, static_cast<std::size_t>(length));
}

// Opens one class: "name": [ and writes each instance on its own line.
class TClassArray {
public:
    TClassArray(TJsonText& out, std::string_view name, bool& firstClass) : fOut(out)
    {
        fOut.Raw(firstClass ? "\n    " : ",\n    ").Key(name).Raw("[");
        firstClass = false;
    }
    ~TClassArray() { fOut.Raw(fEmpty ? "]" : "\n    ]"); }
    // Starts the next instance; the caller writes its members and closes it.
    TJsonText& NextInstance()
    {
        fOut.Raw(fEmpty ? "\n      {" : ",\n      {");
        fEmpty = false;
        return fOut;
    }

private:
    TJsonText& fOut;
    bool fEmpty = true;
};

// The event-log records, one class array.
void WriteEvents(TJsonText& out, TRandom& random, std::size_t count, bool heavy, bool& firstClass);

// The disks with their firmware records, the device records and the bad
// stripes, a class array each.
void WriteDisks(TJsonText& out, TRandom& random, const TInventorySize& size, bool& firstClass);
void WriteDeviceData(TJsonText& out, TRandom& random, const TInventorySize& size, bool& firstClass);
void WriteBadStripes(TJsonText& out, TRandom& random, const TInventorySize& size, bool& firstClass);

}  // namespace tarvobench
