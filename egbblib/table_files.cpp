#include "table_files.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <memory>

namespace {

// Layout of a compressed Gaviota table as the probing library reads it (little-endian):
//   bytes  0..7   zero
//   bytes  8..15  u64 uncompressed block size, a power of two
//   bytes 16..31  two u64 remainders of the table's plain size by the block size
//   bytes 32..35  u32 where the block data starts, just past the block index
//   bytes 36..39  table-specific, not checked here
//   bytes 40..    block index: u32 file offsets, the first one again where the data starts,
//                 each later one where the next block starts.
// The probing library trusts every one of these fields; a wild value makes it read or write
// far outside its buffers.
constexpr long HeaderBytes = 40;
constexpr std::uint64_t LargestBlock = 1u << 24;

// Table names are the white men then the black men, each group led by its king: "kqk", "krpkr".
bool IsTableName(const std::string& name, int& scheme) {
    const std::string suffix = ".gtb.cp";
    std::size_t dot = name.find(suffix);
    if (dot == std::string::npos || dot + suffix.size() + 1 != name.size()) return false;
    char digit = name.back();
    if (digit < '1' || digit > '4') return false;
    std::string stem = name.substr(0, dot);
    if (stem.size() < 3 || stem.size() > 5 || stem[0] != 'k') return false;
    int kings = 0;
    for (char c : stem) {
        if (c == 'k') {
            ++kings;
        } else if (std::string("qrbnp").find(c) == std::string::npos) {
            return false;
        }
    }
    if (kings != 2) return false;
    scheme = digit - '0';
    return true;
}

std::uint32_t ReadU32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

std::uint64_t ReadU64(const unsigned char* p) {
    return ReadU32(p) | static_cast<std::uint64_t>(ReadU32(p + 4)) << 32;
}

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

}  // namespace

TableDirectory ScanTableDirectory(const std::string& path) {
    TableDirectory found;
    found.path = path;
    std::vector<std::string> byScheme[5];
    if (DIR* dir = opendir(path.empty() ? "." : path.c_str())) {
        while (dirent* entry = readdir(dir)) {
            std::string name = entry->d_name;
            int scheme = 0;
            if (IsTableName(name, scheme)) byScheme[scheme].push_back(name);
        }
        closedir(dir);
    }
    // cp4 is the probing library's recommended default, so it wins a tie.
    for (int scheme = 4; scheme >= 1; --scheme) {
        if (byScheme[scheme].size() > found.names.size()) {
            found.scheme = scheme;
            found.names = byScheme[scheme];
        }
    }
    return found;
}

std::string CheckTableFile(const std::string& filePath) {
    struct stat info {};
    if (stat(filePath.c_str(), &info) != 0) return "cannot be read";
    if (!S_ISREG(info.st_mode)) return "not a regular file";
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(filePath.c_str(), "rb"));
    if (!file) return "cannot be read";
    const std::uint64_t size = static_cast<std::uint64_t>(info.st_size);

    unsigned char header[HeaderBytes + 4];
    if (size < sizeof header || std::fread(header, 1, sizeof header, file.get()) != sizeof header)
        return "too short for a table header";
    std::uint64_t blockSize = ReadU64(header + 8);
    if (blockSize == 0 || blockSize > LargestBlock || (blockSize & (blockSize - 1)) != 0)
        return "implausible block size";
    if (ReadU64(header + 16) > blockSize || ReadU64(header + 24) > blockSize)
        return "damaged header";

    std::uint32_t first = ReadU32(header + HeaderBytes);
    if (first < HeaderBytes + 8 || (first - HeaderBytes) % 4 != 0 || first > size ||
        ReadU32(header + 32) != first)
        return "damaged block index";
    std::size_t entries = (first - HeaderBytes) / 4;
    std::vector<unsigned char> raw(entries * 4);
    if (std::fseek(file.get(), HeaderBytes, SEEK_SET) != 0 ||
        std::fread(raw.data(), 1, raw.size(), file.get()) != raw.size())
        return "truncated block index";
    std::uint32_t previous = first;
    for (std::size_t i = 1; i < entries; ++i) {
        std::uint32_t offset = ReadU32(raw.data() + 4 * i);
        // A compressed block may outgrow its plain size a little, never by twice.
        if (offset < previous || offset - previous > 2ull * blockSize) return "damaged block index";
        previous = offset;
    }
    if (previous > size) return "truncated (blocks missing at the end)";
    return {};
}
