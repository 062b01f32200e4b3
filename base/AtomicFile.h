#pragma once
// Writing a file so that its readers only ever find the old or the new whole
// content: the bytes go to a temporary file in the same folder, which is
// flushed and renamed over the target. Every writer of the program that
// replaces a file goes through here.
//
// The temporary name does not grow with the target's: it is
// ".lumitra-<pid>-<8 hex digits>.tmp" whatever is saved, so every name the
// file system takes (up to its 255 bytes) can be saved. While the file is
// written its writer holds an exclusive lock on it; a temporary file nobody
// holds whose owner process is gone is a leftover of a writer that died in
// the middle of a save, and only such files are ever removed.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace lm {

// What identifies the content a path showed at one moment: a file replaced
// by a rename has another inode, one rewritten in place another modification
// time (nanoseconds) or size.
struct FileStamp {
    bool exists = false;
    uint64_t device = 0;
    uint64_t inode = 0;
    int64_t size = 0;
    int64_t mtimeSec = 0;
    int64_t mtimeNsec = 0;
    bool operator==(const FileStamp&) const = default;
};
// The stamp of the file at path now (exists false when there is none).
FileStamp StampOfFile(const std::string& path);

// 64-bit FNV-1a of the bytes: tells a file rewritten with other bytes from
// one only touched. Not meant to resist anyone crafting a collision.
uint64_t ContentHash(const uint8_t* bytes, size_t n);

class AtomicFileWriter {
public:
    AtomicFileWriter() = default;
    // An uncommitted temporary file is removed.
    ~AtomicFileWriter();
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    // Creates and locks the temporary file beside path; it already has the
    // permissions of the file it will replace. False with *error.
    bool Open(const std::string& path, std::string* error);
    // The open temporary file, for writers that write by descriptor or
    // (TempPath) reopen it by name; -1 when not open.
    int Fd() const { return m_fd; }
    const std::string& TempPath() const { return m_temp; }
    bool Write(const void* data, size_t n, std::string* error);
    // Flushes the temporary file, renames it over the target and flushes
    // the folder. *stamp (when given) gets the stamp of the file written.
    // On failure the temporary file is removed and the target left as it was.
    bool Commit(std::string* error, FileStamp* stamp = nullptr);
    // Removes the temporary file; the target is left as it was.
    void Abandon();

private:
    std::string m_path;
    std::string m_temp;
    int m_fd = -1;
};

// The whole of bytes written to path through a temporary file.
bool WriteFileAtomic(const std::string& path, const std::vector<uint8_t>& bytes, std::string* error,
                     FileStamp* stamp = nullptr);

// True for a name AtomicFileWriter gives its temporary files.
bool IsAtomicTempName(const std::string& fileName);
// Removes the leftovers of writers that died in folder: temporary files of
// ours that no process holds and whose owner process no longer runs. Files
// another program is still writing are left alone. Returns how many went.
int RemoveStaleTempFiles(const std::string& folder);

}  // namespace lm
