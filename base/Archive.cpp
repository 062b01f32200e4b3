#include "base/Archive.h"

#include "base/AtomicFile.h"
#include "base/Codepage.h"
#include "base/Paths.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string Errno(const char* what, const std::string& path) {
    return std::string(what) + " \"" + path + "\": " + std::strerror(errno);
}

// UTF-16LE code units to UTF-8; unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(const std::vector<uint16_t>& u) {
    std::string out;
    out.reserve(u.size() * 3);
    auto put = [&](uint32_t cp) {
        if (cp < 0x80) {
            out.push_back(char(cp));
        } else if (cp < 0x800) {
            out.push_back(char(0xC0 | (cp >> 6)));
            out.push_back(char(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(char(0xE0 | (cp >> 12)));
            out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(char(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(char(0xF0 | (cp >> 18)));
            out.push_back(char(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(char(0x80 | (cp & 0x3F)));
        }
    };
    for (size_t i = 0; i < u.size(); ++i) {
        const uint32_t c = u[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < u.size() && u[i + 1] >= 0xDC00 && u[i + 1] <= 0xDFFF) {
            put(0x10000 + ((c - 0xD800) << 10) + (u[i + 1] - 0xDC00));
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            put(0xFFFD);
        } else {
            put(c);
        }
    }
    return out;
}

}  // namespace

CArchive::CArchive(std::vector<uint8_t> bytes) : m_mode(load), m_buf(std::move(bytes)) {}

CArchive::CArchive() : m_mode(store) {}

// --- storing ---------------------------------------------------------------

void CArchive::WriteBytes(const void* p, size_t n) {
    if (m_mode != store) throw CArchiveException("archive: write to a loading archive");
    if (n == 0) return;
    const auto* b = static_cast<const uint8_t*>(p);
    m_buf.insert(m_buf.end(), b, b + n);
}

void CArchive::WriteByte(uint8_t v) { WriteBytes(&v, 1); }

void CArchive::WriteRect(const CRect& r) {
    WriteInt32(r.left);
    WriteInt32(r.top);
    WriteInt32(r.right);
    WriteInt32(r.bottom);
}

void CArchive::WriteUInt16(uint16_t v) {
    const uint8_t b[2] = {uint8_t(v), uint8_t(v >> 8)};
    WriteBytes(b, 2);
}

void CArchive::WriteUInt32(uint32_t v) {
    const uint8_t b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
    WriteBytes(b, 4);
}

void CArchive::WriteInt32(int32_t v) { WriteUInt32(uint32_t(v)); }

void CArchive::WriteFloat(float v) {
    uint32_t bits;
    std::memcpy(&bits, &v, 4);
    WriteUInt32(bits);
}

void CArchive::WriteDouble(double v) {
    uint64_t bits;
    std::memcpy(&bits, &v, 8);
    WriteUInt32(uint32_t(bits));
    WriteUInt32(uint32_t(bits >> 32));
}

void CArchive::WriteRawString(const std::string& bytes) {
    const size_t n = bytes.size();
    if (n < 0xFF) {
        WriteByte(uint8_t(n));
    } else if (n < 0xFFFE) {
        WriteByte(0xFF);
        WriteUInt16(uint16_t(n));
    } else if (n < 0xFFFFFFFFu) {
        WriteByte(0xFF);
        WriteUInt16(0xFFFF);
        WriteUInt32(uint32_t(n));
    } else {
        throw CArchiveException("archive: string too long to store");
    }
    WriteBytes(bytes.data(), n);
}

void CArchive::WriteString(const std::string& utf8) {
    const std::string bytes = lm::Utf8ToCp936(utf8);
    // Every character without a cp936 form is one more '?' than the text had.
    if (std::count(bytes.begin(), bytes.end(), '?') > std::count(utf8.begin(), utf8.end(), '?')) {
        auto part = std::find_if(m_replaced.begin(), m_replaced.end(),
                                 [this](const Replaced& r) { return r.what == m_context; });
        if (part == m_replaced.end()) part = m_replaced.insert(part, {m_context, {}});
        std::string& chars = part->chars;
        const std::string missing = lm::Cp936Missing(utf8);
        // Each character once per part (one character's bytes never occur
        // inside another's in UTF-8).
        for (size_t i = 0; i < missing.size();) {
            const unsigned char c = static_cast<unsigned char>(missing[i]);
            const size_t len = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
            const std::string ch = missing.substr(i, len);
            if (chars.find(ch) == std::string::npos) chars += ch;
            i += len;
        }
    }
    WriteRawString(bytes);
}

// --- loading ---------------------------------------------------------------

void CArchive::Require(size_t n) const {
    if (m_mode != load) throw CArchiveException("archive: read from a storing archive");
    if (n > Remaining())
        throw CArchiveException("archive: unexpected end of data (need " + std::to_string(n) +
                                " bytes at offset " + std::to_string(m_pos) + ", " +
                                std::to_string(Remaining()) + " left)");
}

size_t CArchive::CheckCount(int64_t count, size_t minItemBytes) const {
    if (count < 0) throw CArchiveException("archive: negative count " + std::to_string(count));
    const size_t rem = m_mode == load ? Remaining() : 0;
    // Items of no stated size are taken as one byte each, so the count the
    // caller goes on to reserve is still bounded by the data.
    if (minItemBytes == 0) minItemBytes = 1;
    // count * minItemBytes > rem, written without the multiplication overflowing.
    if (uint64_t(count) > rem / minItemBytes)
        throw CArchiveException("archive: count " + std::to_string(count) + " exceeds the " +
                                std::to_string(rem) + " bytes left");
    return size_t(count);
}

void CArchive::ReadBytes(void* p, size_t n) {
    Require(n);
    if (n == 0) return;
    std::memcpy(p, m_buf.data() + m_pos, n);
    m_pos += n;
}

uint8_t CArchive::ReadByte() {
    Require(1);
    return m_buf[m_pos++];
}

uint16_t CArchive::ReadUInt16() {
    Require(2);
    const uint8_t* b = m_buf.data() + m_pos;
    m_pos += 2;
    return uint16_t(b[0] | (b[1] << 8));
}

uint32_t CArchive::ReadUInt32() {
    Require(4);
    const uint8_t* b = m_buf.data() + m_pos;
    m_pos += 4;
    return uint32_t(b[0]) | (uint32_t(b[1]) << 8) | (uint32_t(b[2]) << 16) | (uint32_t(b[3]) << 24);
}

int32_t CArchive::ReadInt32() { return int32_t(ReadUInt32()); }

float CArchive::ReadFloat() {
    const uint32_t bits = ReadUInt32();
    float v;
    std::memcpy(&v, &bits, 4);
    return v;
}

double CArchive::ReadDouble() {
    Require(8);
    const uint64_t lo = ReadUInt32();
    const uint64_t hi = ReadUInt32();
    const uint64_t bits = lo | (hi << 32);
    double v;
    std::memcpy(&v, &bits, 8);
    return v;
}

namespace {

constexpr uint32_t kUnicodeMarker = 0xFFFE;  // after 0xFF: a UTF-16 string follows

// The length prefix; *marker is set when it is the Unicode marker instead.
uint32_t ReadLengthPrefix(CArchive& ar, bool* marker) {
    *marker = false;
    uint32_t len = ar.ReadByte();
    if (len != 0xFF) return len;
    len = ar.ReadUInt16();
    if (len == kUnicodeMarker) {
        *marker = true;
        return 0;
    }
    if (len != 0xFFFF) return len;
    return ar.ReadUInt32();
}

// One archive string. Byte strings come back as stored (*utf8 false). A
// Unicode build of the framework writes 0xFF 0xFFFE, then the string's own
// prefix counting UTF-16 code units; such strings come back as UTF-8.
std::string ReadArchiveString(CArchive& ar, bool* utf8) {
    bool marker;
    uint32_t len = ReadLengthPrefix(ar, &marker);
    if (marker) {
        bool again;
        const uint32_t units = ReadLengthPrefix(ar, &again);
        if (again) throw CArchiveException("archive: repeated string marker");
        ar.Require(size_t(units) * 2);  // before allocating
        std::vector<uint16_t> u(units);
        for (auto& c : u) c = ar.ReadUInt16();
        *utf8 = true;
        return Utf16ToUtf8(u);
    }
    ar.Require(len);  // before allocating: an absurd length is an error, not a huge buffer
    std::string s(len, '\0');
    ar.ReadBytes(s.data(), len);
    *utf8 = false;
    return s;
}

}  // namespace

std::string CArchive::ReadRawString() {
    bool utf8;
    std::string s = ReadArchiveString(*this, &utf8);
    return utf8 ? lm::Utf8ToCp936(s) : s;
}

std::string CArchive::ReadString() {
    bool utf8;
    std::string s = ReadArchiveString(*this, &utf8);
    return utf8 ? s : lm::Cp936ToUtf8(s);
}

// --- files -----------------------------------------------------------------

bool CArchive::ReadFile(const std::string& path, std::vector<uint8_t>* out, std::string* error,
                        size_t maxBytes) {
    auto fail = [&](const std::string& msg) {
        if (error) *error = msg;
        out->clear();
        return false;
    };
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return fail(Errno("cannot open", path));
    struct stat st {};
    if (fstat(fd, &st) != 0) {
        std::string msg = Errno("cannot read", path);
        ::close(fd);
        return fail(msg);
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        return fail("\"" + path + "\" is not a regular file");
    }
    if (uint64_t(st.st_size) > maxBytes) {
        ::close(fd);
        return fail("\"" + path + "\" is too large (" + std::to_string(st.st_size) +
                    " bytes, at most " + std::to_string(maxBytes) + ")");
    }
    out->resize(size_t(st.st_size));
    size_t got = 0;
    for (;;) {
        if (got == out->size()) {
            // The file may have grown since fstat: look for more, within the limit.
            if (out->size() >= maxBytes) {
                uint8_t probe;
                const ssize_t r = ::read(fd, &probe, 1);
                if (r < 0 && errno == EINTR) continue;
                if (r > 0) {
                    ::close(fd);
                    return fail("\"" + path + "\" is too large (more than " +
                                std::to_string(maxBytes) + " bytes)");
                }
                break;
            }
            out->resize(std::min(maxBytes, out->size() + 65536));
        }
        const ssize_t r = ::read(fd, out->data() + got, out->size() - got);
        if (r < 0) {
            if (errno == EINTR) continue;
            std::string msg = Errno("cannot read", path);
            ::close(fd);
            return fail(msg);
        }
        if (r == 0) break;
        got += size_t(r);
    }
    ::close(fd);
    out->resize(got);
    return true;
}

bool CArchive::WriteFileAtomic(const std::string& path, const std::vector<uint8_t>& bytes,
                               std::string* error) {
    return lm::WriteFileAtomic(path, bytes, error);
}

CRect CArchive::ReadRect() {
    Require(16);
    CRect r;
    r.left = ReadInt32();
    r.top = ReadInt32();
    r.right = ReadInt32();
    r.bottom = ReadInt32();
    return r;
}
