// Whole-file output: temporaries beside their targets, checked writes, sync and rename; cutting
// an appended file back to a record boundary.
#include "files/files.h"

#include <stdio_ext.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace {

// The permissions an ordinary fopen would give a new file: the temporary must not end up
// private to its owner once it becomes the book or database others read.
mode_t NewFileMode() {
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

}  // namespace

std::string SystemReason() { return std::strerror(errno); }

ReplacementFile::ReplacementFile(std::string path) : path_(std::move(path)) {}

ReplacementFile::~ReplacementFile() { Discard(); }

void ReplacementFile::Fail() {
    if (!failed_) reason_ = SystemReason();
    failed_ = true;
}

bool ReplacementFile::Open() {
    Discard();
    failed_ = false;
    reason_.clear();
    std::string pattern = path_ + ".XXXXXX";
    const int fd = mkstemp(pattern.data());
    if (fd < 0) {
        Fail();
        return false;
    }
    temporary_ = pattern;
    if (fchmod(fd, NewFileMode()) != 0 || (file = fdopen(fd, "wb")) == nullptr) {
        Fail();
        close(fd);
        unlink(temporary_.c_str());
        temporary_.clear();
        return false;
    }
    // Large writes: a book or list of many megabytes goes out in few system calls.
    std::setvbuf(file, nullptr, _IOFBF, std::size_t{1} << 16);
    return true;
}

bool ReplacementFile::Write(const void* bytes, std::size_t size) {
    if (failed_ || !file) return false;
    if (size > 0 && std::fwrite(bytes, 1, size, file) != size) Fail();
    return !failed_;
}

bool ReplacementFile::Finish() {
    if (!file) return !failed_ && !temporary_.empty();
    // The first failed write is the one worth reporting; stdio may only tell at the flush.
    if (std::fflush(file) != 0 || std::ferror(file)) Fail();
    if (!failed_ && fsync(fileno(file)) != 0) Fail();
    if (std::fclose(file) != 0) Fail();
    file = nullptr;
    if (failed_) Discard();
    return !failed_;
}

bool ReplacementFile::Commit() {
    if (failed_ || file || temporary_.empty()) return false;
    if (std::rename(temporary_.c_str(), path_.c_str()) != 0) {
        Fail();
        Discard();
        return false;
    }
    temporary_.clear();
    return true;
}

void ReplacementFile::Discard() {
    if (file) std::fclose(file);
    file = nullptr;
    if (!temporary_.empty()) unlink(temporary_.c_str());
    temporary_.clear();
}

bool CommitTogether(ReplacementFile* const* files, int count, const ReplacementFile*& failed) {
    failed = nullptr;
    for (int i = 0; i < count && !failed; ++i)
        if (!files[i]->Finish()) failed = files[i];
    for (int i = 0; i < count && !failed; ++i)
        if (!files[i]->Commit()) failed = files[i];
    if (failed)
        for (int i = 0; i < count; ++i) files[i]->Discard();
    return failed == nullptr;
}

bool FileLength(std::FILE* file, u64& length) {
    struct stat status;
    if (fstat(fileno(file), &status) != 0) return false;
    length = static_cast<u64>(status.st_size);
    return true;
}

bool CutBack(std::FILE* file, u64 length) {
    // What stdio still holds must never reach the file after the cut (a later flush or the close
    // would write part of a record again): the buffer is dropped first.
    __fpurge(file);
    std::clearerr(file);
    const bool cut = ftruncate(fileno(file), static_cast<off_t>(length)) == 0;
    std::fseek(file, 0, SEEK_END);
    return cut;
}
