// The inventories of one call of hvp-run: files, standard input, folders and
// archives, each file read compressed or not by its content.
#pragma once

#include <cstddef>
#include <memory>
#include <cstdint>
#include <string>
#include <vector>

#include "inventory.hpp"

namespace tarvorun {

class TArchiveStream;

// One inventory to run, read into memory, or one that cannot be read.
struct TInventoryInput {
    std::string fName;  // as the output names it
    // Its name within the folder it was found in, where it was; a file's
    // or an archive member's is told by its name (RelativeName).
    std::string fRelative;
    std::string fSource;   // as the loader's messages name it
    std::string fPath;     // a file the worker reads itself, as a single run would
    std::string fText;     // or the document, read and decompressed (an archive's member)
    std::string fProblem;  // when it cannot be read: the whole message, naming it
    bool fLive = false;    // or this machine's, collected by the worker
};

enum class EArgumentKind { File, Folder, Archive };

// A folder is a folder; an existing regular file whose name ends as an
// archive's does (.tar, .tar.gz, .tgz, .tar.zst, .zip) is an archive; anything
// else, standard input included, is one file.
EArgumentKind ClassifyArgument(const std::string& argument);

// Whether the name ends as an archive's does.
bool IsArchiveName(const std::string& name);

// Whether a folder's member is an inventory by its name: *.json, *.json.gz
// or *.json.zst.
bool IsInventoryName(const std::string& name);

// The largest inventory read, as a file or once decompressed; set once from
// --max-inventory-size before anything is read.
void SetInventorySizeLimit(std::uint64_t bytes);
std::uint64_t InventorySizeLimit();
// "SOURCE: larger than the 1 GiB limit on an inventory".
std::string TooLargeProblem(const std::string& source);

// The inventory's name within the folder or archive it was found in, with
// any leading "./" left out; a file given alone is named as it was given.
std::string RelativeNameOf(const TInventoryInput& input);

// Whether the bytes begin as gzip or zstd data do.
bool IsCompressed(const std::string& head);

// Reads a file, or standard input for "-", whole, and decompresses it when
// its content is gzip or zstd data. Answers false with the message in
// `problem` when that fails.
bool ReadInventoryFile(
    const std::string& path, const std::string& source, std::string& text, std::string& problem);

// Loads a file, or standard input for "-", as a single run does; a file whose
// content is gzip or zstd data is decompressed first. Throws with the
// message a single run prints when it cannot be read or is not valid.
std::shared_ptr<const NQXRHVP20::standin::TInventory> LoadInventoryFile(const std::string& path);

// Decompresses `text` in place when it is gzip or zstd data.
bool DecompressInPlace(std::string& text, const std::string& source, std::string& problem);

// Expands the arguments into inventories one at a time, in input order:
// only the inventory being handed out is held in memory. A folder is listed
// when it is reached; an archive is read as a stream.
class TInputQueue {
public:
    explicit TInputQueue(std::vector<std::string> arguments);
    ~TInputQueue();
    TInputQueue(const TInputQueue&) = delete;
    TInputQueue& operator=(const TInputQueue&) = delete;

    // The next inventory; false when there is none left.
    bool Next(TInventoryInput& input);

private:
    struct TFolderEntry {
        std::string fRelative;
        std::string fProblem;
    };
    void ListFolder(const std::string& folder);
    void NextFromFolder(TInventoryInput& input);

    std::vector<std::string> fArguments;
    std::size_t fNextArgument = 0;
    std::string fFolder;
    std::vector<TFolderEntry> fEntries;
    std::size_t fNextEntry = 0;
    std::unique_ptr<TArchiveStream> fArchive;
};

}  // namespace tarvorun
