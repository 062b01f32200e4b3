#pragma once
// Read-only view of a whole file. Large files are memory-mapped (reading them
// through malloc + fread is page-fault bound); small or unmappable ones are
// read into memory. Every read is clamped to the file's bytes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace lm {

class MappedFile {
public:
    MappedFile() = default;
    ~MappedFile();
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;
    MappedFile(MappedFile&& o) noexcept;
    MappedFile& operator=(MappedFile&& o) noexcept;

    // False when the path cannot be opened or read (errno-style text in *error).
    bool Open(const std::string& path, std::string* error = nullptr);
    // A view over bytes the caller keeps alive (used by tests and the fuzzer).
    void OpenMemory(const void* data, size_t size);
    void Close();

    bool IsOpen() const { return m_open; }
    int64_t Size() const { return int64_t(m_size); }
    const uint8_t* Data() const { return m_data; }

    // The bytes [begin, begin + length) that exist in the file; shorter (or
    // empty) when the range runs past the end or starts outside the file.
    std::string_view Slice(int64_t begin, int64_t length) const;

    // Tells the kernel the pages of [begin, begin + length) are no longer
    // needed, so a sequential decode does not keep the whole file resident.
    void Release(int64_t begin, int64_t length) const;

private:
    const uint8_t* m_data = nullptr;
    size_t m_size = 0;
    bool m_open = false;
    bool m_mapped = false;
    std::vector<uint8_t> m_owned;
};

}  // namespace lm
