// Decompression bombs, as files and as archive members: each ends at the
// size limit with its record, in bounded time.
#include <chrono>
#include <cstdio>
#include <map>
#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "archives.hpp"
#include "hvp_run_process.hpp"

namespace {

namespace fs = std::filesystem;
using nlohmann::ordered_json;
using namespace tarvotest;

// Files and archives that expand to 20 GiB from a few MB (an archive's
// member stating 7 GiB), made here from one compressed block of zeros written
// over and over (gzip and zstd data may be a series of members or frames);
// the inventory beside them runs.
constexpr std::size_t kBlock = std::size_t{64} << 20;
constexpr int kRepeats = 320;  // 20 GiB in all

void WriteBomb(const std::string& path, const std::string& head, const std::string& block)
{
    std::ofstream out(path, std::ios::binary);
    out << head;
    for (int i = 0; i < kRepeats; ++i)
        out << block;
}

// A ustar header of one member `name` of `size` bytes (below 8 GiB, the
// most its eleven octal digits hold), compressed, ready to be followed by the
// member's compressed data. Written by hand: libarchive would pad the data it
// was not given.
std::string TarHeader(const std::string& name, unsigned long long size, bool zstd)
{
    std::string header(512, '\0');
    auto field = [&header](std::size_t at, std::size_t width, unsigned long long value) {
        std::snprintf(&header[at], width + 1, "%0*llo", static_cast<int>(width - 1), value);
    };
    header.replace(0, name.size(), name);
    field(100, 8, 0644);
    field(108, 8, 0);
    field(116, 8, 0);
    field(124, 12, size);
    field(136, 12, 0);
    header[156] = '0';
    header.replace(257, 6, std::string("ustar\0", 6));
    header.replace(263, 2, "00");
    header.replace(148, 8, std::string(8, ' '));
    unsigned sum = 0;
    for (const char c : header)
        sum += static_cast<unsigned char>(c);
    std::snprintf(&header[148], 8, "%06o", sum);
    header[155] = ' ';
    return Compressed(header, zstd);
}

TEST(Bombs, EndAtTheSizeLimitWithTheirRecord)
{
    TTempFolder temp("fleet-bombs");
    const std::string folder = temp / "bombs";
    fs::create_directory(folder);
    const std::string zeros(kBlock, '\0');
    const std::string gzipZeros = Compressed(zeros, false);
    const std::string zstdZeros = Compressed(zeros, true);
    WriteBomb(folder + "/a.json.gz", std::string(), gzipZeros);
    WriteBomb(folder + "/b.json.zst", std::string(), zstdZeros);
    std::ofstream(folder + "/c.json") << "{\"operatingSystemType\": 7}";
    const std::string archive = temp / "bomb.tar.gz";
    WriteBomb(archive, TarHeader("big.json", 7ull << 30, false), gzipZeros);
    const std::string zstdArchive = temp / "bomb.tar.zst";
    WriteBomb(zstdArchive, TarHeader("big.json", 7ull << 30, true), zstdZeros);
    ASSERT_LT(fs::file_size(folder + "/a.json.gz") + fs::file_size(archive), 64u << 20);

    const auto start = std::chrono::steady_clock::now();
    const TRun run = RunMisbehaving("--format jsonl --max-inventory-size 16M --timeout 60",
        "'" + folder + "' '" + archive + "' '" + zstdArchive + "'");
    // Generous against a busy machine, far below the 20 GiB's decompression.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    EXPECT_EQ(run.fStatus, 2);
    std::map<std::string, std::string> errors;
    for (ordered_json& record : Records(run.fOut))
        if (record["type"] == "error")
            errors[record["inventory"]] = record["message"];
    for (const std::string& name :
        {folder + "/a.json.gz", folder + "/b.json.zst", archive + ":big.json", zstdArchive + ":big.json"})
        EXPECT_NE(errors[name].find("larger than the 16 MiB limit on an inventory"), std::string::npos)
            << name << ": " << errors[name];
    EXPECT_EQ(Summary(run.fOut)["completed"], 1);
    EXPECT_NE(run.fOut.find("operating system 7"), std::string::npos);
}

}  // namespace
