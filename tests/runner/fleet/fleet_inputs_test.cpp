// How the arguments of hvp-run expand into inventories: folders in byte
// order of their relative paths, archives in archive order, compressed files
// by their content, and a clear problem for whatever cannot be read.
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "archives.hpp"
#include "inputs.hpp"
#include "output.hpp"
#include "temp_folder.hpp"
#include "case_file.hpp"
#include "text_files.hpp"

namespace {

namespace fs = std::filesystem;
using tarvotest::Compressed;
using tarvotest::TMember;
using tarvotest::TTempFolder;
using tarvotest::Written;

// What the queue hands out: the name, and the text or "problem: ..." with
// the message's tail after the name.
using TExpected = std::pair<std::string, std::string>;

std::vector<TExpected> Expand(const std::vector<std::string>& arguments)
{
    tarvorun::TInputQueue queue(arguments);
    std::vector<TExpected> got;
    for (tarvorun::TInventoryInput input; queue.Next(input);) {
        // Files are read by the worker; here, as the worker reads them.
        if (!input.fPath.empty() &&
            !tarvorun::ReadInventoryFile(input.fPath, input.fSource, input.fText, input.fProblem))
            input.fText.clear();
        if (input.fProblem.empty()) {
            got.push_back({input.fName, input.fText});
        } else {
            const bool named = input.fProblem.compare(0, input.fName.size() + 2, input.fName + ": ") == 0;
            got.push_back({input.fName,
                "problem: " + (named ? input.fProblem.substr(input.fName.size() + 2) : input.fProblem)});
        }
    }
    return got;
}

const std::string kGz = Compressed("{\"_\":\"gz\"}", false);
const std::string kZst = Compressed("{\"_\":\"zst\"}", true);

// The gzip data with one byte of its trailer's checksum changed.
std::string WithBadChecksum(std::string gzip)
{
    gzip[gzip.size() - 8] = static_cast<char>(gzip[gzip.size() - 8] ^ 1);
    return gzip;
}

// The entries of a case's list: "name=text" parted by " | ".
std::vector<TExpected> Entries(const std::string& listed)
{
    std::vector<TExpected> entries;
    const std::string text = tarvotest::Unescaped(listed);
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = std::min(text.find(" | ", at), text.size());
        const std::size_t equals = text.find('=', at);
        const std::string content = text.substr(equals + 1, end - equals - 1);
        entries.push_back({text.substr(at, equals - at),
            content == "GZ"        ? kGz
                : content == "ZST" ? kZst
                                   : content});
        at = end + 3;
    }
    return entries;
}

class Expansion : public ::testing::TestWithParam<tarvotest::TTextCase> { };

TEST_P(Expansion, HandsOutTheInventoriesInInputOrder)
{
    const std::string in = GetParam()["in"];
    TTempFolder temp("fleet-inputs");
    std::vector<TMember> members;
    // A member written LINK(NAME) is a hard link to the member NAME, one
    // written SYMLINK(PATH) a symbolic link holding PATH.
    for (const TExpected& entry : Entries(GetParam()["members"]))
        if (entry.second.compare(0, 5, "LINK(") == 0)
            members.push_back({entry.first, "", entry.second.substr(5, entry.second.size() - 6)});
        else if (entry.second.compare(0, 8, "SYMLINK(") == 0)
            members.push_back({entry.first, "", "", entry.second.substr(8, entry.second.size() - 9)});
        else
            members.push_back({entry.first, entry.second});
    // Each form's file, and the format and filter libarchive writes it in.
    const std::map<std::string, std::array<const char*, 3>> forms = {{"folder", {"in", "", ""}},
        {"zip", {"in.zip", "zip", ""}}, {"tzst", {"in.tar.zst", "paxr", "zstd"}},
        {"tgz", {"in.tgz", "paxr", "gzip"}}};
    const auto& [file, format, filter] = forms.at(in);
    const std::string argument = temp / file;
    if (in == "folder") {
        fs::create_directory(argument);
        for (const TMember& member : members)
            if (member.fPath.back() == '/')
                fs::create_directories(fs::path(argument) / member.fPath);
            else if (!member.fSymbolicLinkTo.empty())
                fs::create_directories((fs::path(argument) / member.fPath).parent_path()),
                    fs::create_symlink(member.fSymbolicLinkTo, fs::path(argument) / member.fPath);
            else if (!member.fHardLinkTo.empty())
                fs::create_hard_link(
                    fs::path(argument) / member.fHardLinkTo, fs::path(argument) / member.fPath);
            else
                tarvotest::WriteFile(fs::path(argument) / member.fPath, member.fContent);
    } else {
        tarvotest::WriteFile(argument, Written(format, filter, members));
    }
    std::vector<TExpected> expected = Entries(GetParam()["hands out"]);
    for (TExpected& one : expected)
        one.first = one.first == "." ? argument : argument + (in == "folder" ? "/" : ":") + one.first;
    EXPECT_EQ(Expand({argument}), expected);
}

INSTANTIATE_TEST_SUITE_P(Inputs, Expansion,
    ::testing::ValuesIn(
        tarvotest::ReadTextCases(TARVOANAL_TEST_DIR "/fleet_inputs.cases", "hands out|in|members")),
    tarvotest::TTextCaseName());

class DamagedInput : public ::testing::TestWithParam<tarvotest::TTextCase> { };

TEST_P(DamagedInput, IsReportedForItselfAndTheRestGoesOn)
{
    const tarvotest::TTextCase& c = GetParam();
    TTempFolder temp("fleet-inputs");
    const std::string path = temp / c["file"];
    const std::string gzip = c["gzip"];
    tarvotest::WriteFile(path,
        gzip == "first half"           ? kGz.substr(0, kGz.size() / 2)
            : gzip == "first 12 bytes" ? kGz.substr(0, 12)
            : gzip == "bad checksum"   ? WithBadChecksum(kGz)
                                       : c["bytes"]);
    const std::string after = temp / "after.json";
    std::ofstream(after) << "{}";
    const std::vector<TExpected> got = Expand({path, after});
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].first, path);
    EXPECT_EQ(got[0].second.rfind("problem: " + tarvotest::Unescaped(c["problem starts"]), 0), 0u)
        << got[0].second;
    EXPECT_EQ(got[1], TExpected(after, "{}"));
}

INSTANTIATE_TEST_SUITE_P(Inputs, DamagedInput,
    ::testing::ValuesIn(tarvotest::ReadTextCases(
        TARVOANAL_TEST_DIR "/damaged_inputs.cases", "bytes|file|gzip|problem starts")),
    tarvotest::TTextCaseName());

// A damaged member costs that member alone, and is reported where it was: a
// tar header whose checksum does not match, a zip member whose data does not,
// a .tar.gz whose gzip checksum does not.
TEST(Inputs, DamagedArchiveMembersAreReportedInTheirPlace)
{
    const std::vector<TMember> members = {{"a.json", "AAAA"}, {"b.json", "BBBB"}, {"c.json", "CCCC"}};
    std::string tar = Written("ustar", "", members);
    tar[512 + 512 + 148] = 'x';  // b.json's header checksum; a.json takes one block of data
    std::string zip = Written("zip", "", members, "zip:compression=store");
    zip[zip.find("BBBB")] = 'b';
    TTempFolder temp("fleet-inputs");
    for (const auto& [name, bytes, damage] : {std::tuple<std::string, std::string, std::string>{
                                                  "in.tar", tar, "damaged after the member a.json: "},
             {"in.zip", zip, "cannot read the member: "}}) {
        const std::string path = (temp.Path() / name).string();
        std::ofstream(path, std::ios::binary) << bytes;
        const std::vector<TExpected> got = Expand({path});
        ASSERT_EQ(got.size(), 3u) << name;
        EXPECT_EQ(got[0].second, "AAAA") << name;
        EXPECT_EQ(got[1].second.rfind("problem: " + damage, 0), 0u) << got[1].second;
        EXPECT_EQ(got[2].second, "CCCC") << name;
    }
    // A .tar.gz whose gzip checksum fails is found out at its end.
    const std::string path = (temp.Path() / "in.tgz").string();
    std::ofstream(path, std::ios::binary)
        << WithBadChecksum(Compressed(Written("ustar", "", members), false));
    const std::vector<TExpected> got = Expand({path});
    ASSERT_EQ(got.size(), 4u) << got[0].second;
    EXPECT_EQ(got[2].second, "CCCC");
    EXPECT_EQ(got[3].second, "problem: damaged after the member c.json: gzip data: incorrect data check");
}

// Answers what `work` answers, run as the unprivileged user nobody when the
// test runs as root, for whom permissions do not hold: in a child that drops
// its groups and identity before it looks, its answer sent back through a pipe.
std::string AsUnprivilegedUser(const std::function<std::string()>& work)
{
    if (geteuid() != 0)
        return work();
    constexpr uid_t kNobody = 65534;
    int ends[2];
    if (pipe(ends) != 0)
        return "no pipe";
    const pid_t pid = fork();
    if (pid == 0) {
        close(ends[0]);
        const bool dropped = setgroups(0, nullptr) == 0 && setgid(kNobody) == 0 && setuid(kNobody) == 0;
        const std::string answer = dropped ? work() : "could not become nobody";
        const bool written = write(ends[1], answer.data(), answer.size()) == ssize_t(answer.size());
        _exit(written ? 0 : 1);
    }
    close(ends[1]);
    std::string answer;
    char buffer[4096];
    for (ssize_t got; (got = read(ends[0], buffer, sizeof buffer)) > 0;)
        answer.append(buffer, std::size_t(got));
    close(ends[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? answer : "the unprivileged child failed";
}

// Links read their targets' texts from the last 16 MiB of them: a link to
// a text let go since says so and names both; one to a text still held gets
// it.
TEST(Inputs, HardLinkToATextNoLongerHeldIsAProblem)
{
    const std::string first(9u << 20, 'a');
    const std::string second(9u << 20, 'b');
    const std::vector<TMember> members = {{"one.json", first}, {"two.json", second},
        {"to-one.json", "", "one.json"}, {"to-two.json", "", "two.json"}};
    TTempFolder temp("fleet-inputs");
    const std::string path = temp / "links.tar";
    tarvotest::WriteFile(path, Written("paxr", "", members));
    const std::vector<TExpected> got = Expand({path});
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(got[2],
        TExpected(path + ":to-one.json",
            "problem: a hard link to the member one.json, whose text is no longer held (links are "
            "read from the last 16 MiB of texts); unpack the archive and give its folder"));
    EXPECT_EQ(got[3].first, path + ":to-two.json");
    EXPECT_TRUE(got[3].second == second);
}

// A member of 10 GB made only of holes (a sparse file, stored in a few
// blocks) is too large by the size its header states, never read as an
// empty text.
TEST(Inputs, HugeSparseMemberIsTooLarge)
{
    TTempFolder temp("fleet-inputs");
    fs::create_directory(temp.Path() / "in");
    std::ofstream(fs::path(temp / "in") / "holes.json").close();
    fs::resize_file(fs::path(temp / "in") / "holes.json", 10'000'000'000ull);
    const std::string path = temp / "sparse.tar";
    ASSERT_EQ(std::system(("tar -cSf '" + path + "' -C '" + (temp / "in") + "' holes.json").c_str()), 0);
    ASSERT_LT(fs::file_size(path), 1u << 20);
    EXPECT_EQ(Expand({path}),
        std::vector<TExpected>({{path + ":holes.json",
            "problem: larger than the 1 GiB limit on an inventory; the archive is not "
            "read past it"}}));
}

TEST(Inputs, UnreadableSubfolderIsReportedInItsPlace)
{
    TTempFolder temp("fleet-inputs");
    fs::create_directories(temp.Path() / "in" / "locked");
    std::ofstream(temp.Path() / "in" / "a.json") << "A";
    std::ofstream(temp.Path() / "in" / "z.json") << "Z";
    // The unprivileged reader may enter the folder and read the two files;
    // only the subfolder is closed to it.
    for (const fs::path& path : {temp.Path(), temp.Path() / "in"})
        fs::permissions(path, fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec);
    for (const char* name : {"a.json", "z.json"})
        fs::permissions(temp.Path() / "in" / name, fs::perms::others_read, fs::perm_options::add);
    fs::permissions(temp.Path() / "in" / "locked", fs::perms::none);
    const std::string got = AsUnprivilegedUser([&] {
        std::string lines;
        for (const auto& [name, text] : Expand({(temp.Path() / "in").string()}))
            lines += text + "\n";
        return lines;
    });
    fs::permissions(temp.Path() / "in" / "locked", fs::perms::owner_all);
    EXPECT_EQ(got, "A\nproblem: cannot open the folder: Permission denied\nZ\n");
}

TEST(Inputs, PipeInAFolderIsReportedNotRead)
{
    TTempFolder temp("fleet-inputs");
    fs::create_directory(temp.Path() / "in");
    ASSERT_EQ(mkfifo((temp.Path() / "in" / "pipe.json").c_str(), 0600), 0);
    std::ofstream(temp.Path() / "in" / "z.json") << "Z";
    const std::vector<TExpected> got = Expand({(temp.Path() / "in").string()});
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].second, "problem: not a regular file");
    EXPECT_EQ(got[1].second, "Z");
}

// A name with odd bytes is kept as it is (a case of the folders above) and
// shown escaped.
TEST(Inputs, NamesWithOddBytesAreShownEscaped)
{
    EXPECT_EQ(tarvorun::PrintableName("tab\there-\x01-\xff-\xc3\xa9.json"),
        "tab\\x09here-\\x01-\\xff-\xc3\xa9.json");
    EXPECT_EQ(tarvorun::PrintableName("back\\slash"), "back\\\\slash");
}

}  // namespace
