// Helpers shared by the bitbase tests: scratch directories and the built plug-ins' places.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#ifndef ZELMOR_EGBB_MODULE_DIR
#define ZELMOR_EGBB_MODULE_DIR ""
#endif
#ifndef ZELMOR_EGBB_TABLE_DIR
#define ZELMOR_EGBB_TABLE_DIR ""
#endif

// The real plug-in's directory with its trailing '/', or "" when it was not built.
inline std::string ModuleDirectory() {
    std::string dir = ZELMOR_EGBB_MODULE_DIR;
    return dir.empty() ? dir : dir + "/";
}

// Debian's installed Gaviota tables of one compression scheme, e.g. .../gtb4.
inline std::string InstalledTables(int scheme) {
    return std::string(ZELMOR_EGBB_TABLE_DIR) + "/gtb" + std::to_string(scheme);
}

// A fresh directory under /tmp, removed with everything in it when the object goes.
class ScratchDirectory {
public:
    ScratchDirectory() {
        char pattern[] = "/tmp/zelmor-egbb-test-XXXXXX";
        path_ = mkdtemp(pattern) ? pattern : "";
    }
    ~ScratchDirectory() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    const std::string& Path() const { return path_; }
    std::string Slash() const { return path_ + "/"; }
    void Write(const std::string& name, const std::string& bytes) const {
        std::ofstream(path_ + "/" + name, std::ios::binary) << bytes;
    }
    void CopyIn(const std::string& from, const std::string& name) const {
        std::filesystem::copy_file(from, path_ + "/" + name);
    }

private:
    std::string path_;
};
