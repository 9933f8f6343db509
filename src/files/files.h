// Whole-file output: a file that replaces another appears complete or not at all, and a file
// that grows by records can be cut back to its last whole record after a failed write. Used by
// the book, database and game-record writers; knows nothing of what they write.
#pragma once

#include <cstdio>
#include <string>

#include "board/types.h"

// The new content of `path`, written to a temporary file in the same directory (so that the
// final rename stays on one file system and cannot be seen half done). Every failure is kept
// with its reason; the temporary is removed unless Commit renamed it over `path`.
class ReplacementFile {
public:
    explicit ReplacementFile(std::string path);
    ~ReplacementFile();
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;

    // Creates the temporary, empty, buffered by stdio; false (with Reason) when it cannot be.
    bool Open();
    // False once any write has failed; later writes are skipped.
    bool Write(const void* bytes, std::size_t size);
    // Flushes, checks every write, syncs the data to disk and closes; false on any failure.
    bool Finish();
    // Renames the finished temporary over the target; false (temporary removed) on failure.
    bool Commit();
    // Closes and removes the temporary: the target stays as it was.
    void Discard();

    bool Failed() const { return failed_; }
    const std::string& Path() const { return path_; }
    // Why the first failure happened, in the system's words ("File too large").
    const std::string& Reason() const { return reason_; }
    std::FILE* file =
        nullptr;  // the temporary, while open; writes through it are checked by Finish

private:
    void Fail();
    std::string path_;
    std::string temporary_;
    std::string reason_;
    bool failed_ = false;
};

// Finishes every file, then renames them all: none is renamed unless all are complete. On
// failure every temporary is removed and `failed` points at the file that failed.
bool CommitTogether(ReplacementFile* const* files, int count, const ReplacementFile*& failed);

// The size of an open file, from the system (whatever stdio still buffers is not counted).
bool FileLength(std::FILE* file, u64& length);
// Drops stdio's unwritten buffer and cuts the file to `length` bytes: what a failed append
// leaves behind its last whole record goes. False when the file cannot be cut.
bool CutBack(std::FILE* file, u64 length);
// The text of the system's last error (errno), for a message.
std::string SystemReason();
