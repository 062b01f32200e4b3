#pragma once
// Binary archive in the layout of the Windows program's document files:
// 32-bit little-endian integers, IEEE floats and doubles as raw little-endian
// bytes, and length-prefixed strings whose bytes are code page 936 on disk and
// UTF-8 in memory. Loading works on a byte buffer held in memory, storing
// appends to one; files are read whole and written through a temporary file.
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/Geometry.h"

// Thrown for every read past the end, absurd length or I/O failure. The
// archive is left in a failed state; callers catch it at the document level.
class CArchiveException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class CArchive {
public:
    enum Mode { load, store };

    // Loading archive over a copy of the given bytes.
    explicit CArchive(std::vector<uint8_t> bytes);
    // Storing archive writing into an internal buffer.
    CArchive();

    bool IsLoading() const { return m_mode == load; }
    bool IsStoring() const { return m_mode == store; }

    // --- storing ---
    void WriteInt32(int32_t v);
    void WriteUInt32(uint32_t v);
    void WriteUInt16(uint16_t v);
    void WriteByte(uint8_t v);
    void WriteFloat(float v);
    void WriteDouble(double v);
    void WriteBytes(const void* p, size_t n);
    // left, top, right, bottom as four 32-bit integers (16 raw bytes).
    void WriteRect(const CRect& r);
    // UTF-8 text converted to code page 936, then length prefix and bytes.
    void WriteString(const std::string& utf8);
    // Bytes written as they are, no conversion (for texts already in cp936).
    void WriteRawString(const std::string& bytes);

    // Characters WriteString had to store as '?' (they have no cp936 form),
    // gathered by what was being written when they came: the writer names
    // each part (an object, a data set) before writing it.
    struct Replaced {
        std::string what;   // the part, as SetContext named it
        std::string chars;  // each character once, UTF-8
    };
    void SetContext(std::string what) { m_context = std::move(what); }
    const std::vector<Replaced>& GetReplaced() const { return m_replaced; }

    // --- loading (throw CArchiveException past the end) ---
    int32_t ReadInt32();
    uint32_t ReadUInt32();
    uint16_t ReadUInt16();
    uint8_t ReadByte();
    float ReadFloat();
    double ReadDouble();
    void ReadBytes(void* p, size_t n);
    CRect ReadRect();
    // Length prefix and bytes, converted from code page 936 to UTF-8.
    std::string ReadString();
    std::string ReadRawString();

    // Stream-style helpers used by the records.
    CArchive& operator<<(int32_t v) { WriteInt32(v); return *this; }
    CArchive& operator<<(uint32_t v) { WriteUInt32(v); return *this; }
    CArchive& operator<<(float v) { WriteFloat(v); return *this; }
    CArchive& operator<<(double v) { WriteDouble(v); return *this; }
    CArchive& operator<<(const std::string& s) { WriteString(s); return *this; }
    CArchive& operator>>(int32_t& v) { v = ReadInt32(); return *this; }
    CArchive& operator>>(uint32_t& v) { v = ReadUInt32(); return *this; }
    CArchive& operator>>(float& v) { v = ReadFloat(); return *this; }
    CArchive& operator>>(double& v) { v = ReadDouble(); return *this; }
    CArchive& operator>>(std::string& s) { s = ReadString(); return *this; }

    // Bytes not yet read (loading); callers check counts against it before
    // reserving anything.
    size_t Remaining() const { return m_buf.size() - m_pos; }
    size_t Position() const { return m_pos; }
    // Throws unless at least n more bytes can be read.
    void Require(size_t n) const;
    // Checks that count items of at least minItemBytes each can still be read;
    // throws otherwise (negative counts too). Returns count as size_t.
    size_t CheckCount(int64_t count, size_t minItemBytes) const;

    const std::vector<uint8_t>& Bytes() const { return m_buf; }

    // Whole-file helpers. ReadFile refuses files larger than maxBytes.
    static bool ReadFile(const std::string& path, std::vector<uint8_t>* out,
                         std::string* error, size_t maxBytes = size_t(1) << 31);
    // lm::WriteFileAtomic (base/AtomicFile.h): a temporary file beside path,
    // flushed and renamed over it.
    static bool WriteFileAtomic(const std::string& path, const std::vector<uint8_t>& bytes,
                                std::string* error);

private:
    Mode m_mode;
    std::vector<uint8_t> m_buf;
    size_t m_pos = 0;
    std::string m_context;
    std::vector<Replaced> m_replaced;
};
