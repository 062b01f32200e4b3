#include "core/EventMatrix.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <limits>
#include <new>
#include <string>
#include <sys/mman.h>

#include "core/DataSet.h"
#include "core/ErrorCodes.h"
#include "core/Slices.h"

// ---------------------------------------------------------------- CSpillMatrix

CSpillMatrix::CSpillMatrix(int32_t size) : n(size < 0 ? 0 : size) {
    values.assign(size_t(n) * size_t(n), 0.0f);
    indices.resize(size_t(n));
    for (int32_t i = 0; i < n; ++i) indices[size_t(i)] = i;
}

float* CSpillMatrix::Element(int32_t i, int32_t j) {
    return const_cast<float*>(static_cast<const CSpillMatrix*>(this)->Element(i, j));
}

const float* CSpillMatrix::Element(int32_t i, int32_t j) const {
    if (i < 0 || j < 0 || i >= n || j >= n || values.size() < size_t(n) * size_t(n)) {
        std::cout << "value out of order" << std::endl;
        return nullptr;
    }
    return &values[size_t(i) * size_t(n) + size_t(j)];
}

void CSpillMatrix::SetIdentity() {
    for (int32_t i = 0; i < n; ++i)
        if (float* e = Element(i, i)) *e = 1.0f;
}

void CSpillMatrix::SetIndices(const int32_t* idx) {
    indices.assign(idx, idx + n);
}

void CSpillMatrix::Free() {
    values.clear();
    indices.clear();
    n = 0;
}

namespace {

// Gauss-Jordan elimination with partial pivoting (ties keep the upper row),
// in double. Returns false for a singular matrix or a non-finite inverse.
bool InvertSpill(const CSpillMatrix& m, std::vector<double>& inv) {
    const int n = m.n;
    if (n < 1 || m.values.size() != size_t(n) * size_t(n)) return false;
    std::vector<double> a(m.values.begin(), m.values.end());
    inv.assign(size_t(n) * size_t(n), 0.0);
    for (int i = 0; i < n; ++i) inv[size_t(i) * n + i] = 1.0;
    auto A = [&](int r, int c) -> double& { return a[size_t(r) * n + c]; };
    auto I = [&](int r, int c) -> double& { return inv[size_t(r) * n + c]; };
    bool singular = false;
    for (int k = 0; k + 1 < n; ++k) {
        int piv = k;
        for (int r = k + 1; r < n; ++r)
            if (std::fabs(A(r, k)) > std::fabs(A(piv, k))) piv = r;
        if (A(piv, k) == 0.0) {
            std::cout << "BOp" << std::endl;
            singular = true;
            continue;
        }
        if (piv != k)
            for (int c = 0; c < n; ++c) {
                std::swap(A(k, c), A(piv, c));
                std::swap(I(k, c), I(piv, c));
            }
        const double p = A(k, k);
        for (int c = 0; c < n; ++c) {
            A(k, c) /= p;
            I(k, c) /= p;
        }
        for (int r = k + 1; r < n; ++r) {
            const double f = A(r, k);
            if (f == 0.0) continue;
            for (int c = 0; c < n; ++c) {
                A(r, c) -= f * A(k, c);
                I(r, c) -= f * I(k, c);
            }
        }
    }
    const double last = A(n - 1, n - 1);
    if (last == 0.0) {
        std::cout << "BOp" << std::endl;
        return false;
    }
    if (singular) return false;
    for (int c = 0; c < n; ++c) I(n - 1, c) /= last;
    for (int k = n - 1; k >= 1; --k)
        for (int r = 0; r < k; ++r) {
            const double f = A(r, k);
            if (f == 0.0) continue;
            for (int c = 0; c < n; ++c) {
                A(r, c) -= f * A(k, c);
                I(r, c) -= f * I(k, c);
            }
        }
    for (double v : inv)
        if (!std::isfinite(v)) return false;
    return true;
}

}  // namespace

bool CSpillMatrix::Invert(CSpillMatrix* out) const {
    std::vector<double> inv;
    if (!out || !InvertSpill(*this, inv)) return false;
    out->n = n;
    out->values.assign(inv.begin(), inv.end());
    out->indices = indices;
    return true;
}

// ---------------------------------------------------------------- storage

struct CEventMatrix::Block {
    float* data = nullptr;
    size_t bytes = 0;
    bool mapped = false;
    ~Block() {
        if (mapped) munmap(data, bytes);
        else std::free(data);
    }
};

namespace {
constexpr size_t kMapThreshold = size_t(8) << 20;
std::atomic<size_t> g_blockLimit{0};

// Faults the pages of columns about to be written whole in on all cores
// (what they held does not matter). Clearing new pages is the kernel's work
// and costs about as much as writing the values: on one thread it would be
// most of a large file's load.
void TouchColumnPages(const std::vector<float*>& columns, size_t bytesEach) {
    constexpr size_t kPage = 4096;
    const size_t perColumn = (bytesEach + kPage - 1) / kPage;
    lm::ForSlices(columns.size() * perColumn, 512, [&](size_t b, size_t e) {
        for (size_t i = b; i < e; ++i) {
            auto* col = reinterpret_cast<volatile uint8_t*>(columns[i / perColumn]);
            const size_t at = (i % perColumn) * kPage;
            if (at < bytesEach) col[at] = 0;
        }
    });
}
}

void CEventMatrix::SetBlockLimit(size_t bytes) { g_blockLimit = bytes; }

// Zero-filled block of paramCount x eventCount floats. Large blocks come
// straight from the kernel, on plain pages: huge ones would mean fewer
// faults, but getting them often means compacting memory first, which
// costs more than faulting plain pages in on all cores.
float* CEventMatrix::AllocBlock(std::unique_ptr<Block>& b, int32_t columns, int32_t touchColumns) {
    b.reset();
    const size_t count = size_t(columns < 0 ? m_paramCount : columns) * size_t(m_eventCount);
    if (count == 0) return nullptr;
    const size_t limit = g_blockLimit;
    if (limit != 0 && count > limit / sizeof(float)) throw std::bad_alloc();
    auto blk = std::make_unique<Block>();
    blk->bytes = count * sizeof(float);
    if (blk->bytes >= kMapThreshold) {
        void* p = mmap(nullptr, blk->bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p != MAP_FAILED) {
            blk->data = static_cast<float*>(p);
            blk->mapped = true;
            std::vector<float*> touch;
            for (int32_t c = 0; c < std::min(touchColumns, int32_t(count / size_t(m_eventCount))); ++c)
                touch.push_back(blk->data + size_t(c) * size_t(m_eventCount));
            TouchColumnPages(touch, size_t(m_eventCount) * sizeof(float));
        }
    }
    if (!blk->data) {
        blk->data = static_cast<float*>(std::calloc(count, sizeof(float)));
        if (!blk->data) throw std::bad_alloc();
    }
    b = std::move(blk);
    return b->data;
}

// Raw storage for the decoded parameters only. Parameters that cannot be
// decoded share one zero column, so their number (which only the TEXT
// bounds) costs no event memory: every stored column is backed by DATA bytes.
void CEventMatrix::AllocColumns(const std::vector<bool>& decoded) {
    m_storedColumns = 0;
    for (bool d : decoded) m_storedColumns += d ? 1 : 0;
    const bool anyZero = m_storedColumns < m_paramCount;
    float* base = AllocBlock(m_raw, m_storedColumns + (anyZero ? 1 : 0), m_storedColumns);
    m_zeroColumn = anyZero ? base + size_t(m_storedColumns) * size_t(m_eventCount) : nullptr;
    int32_t slot = 0;
    for (int32_t j = 0; j < m_paramCount; ++j) {
        const bool d = size_t(j) < decoded.size() && decoded[size_t(j)];
        rawColumns[size_t(j)] = d ? base + size_t(slot++) * size_t(m_eventCount) : m_zeroColumn;
    }
    currentColumns = rawColumns;
}

bool CEventMatrix::HasValues(int32_t u) const {
    return u >= 0 && u < m_paramCount && rawColumns[size_t(u)] && rawColumns[size_t(u)] != m_zeroColumn;
}

// ---------------------------------------------------------------- decoding

namespace {

enum class Kernel { None, F32LE, F32BE, U8, U16LE, U16BE, U32LE, U32BE, Generic, Packed };

struct ParamPlan {
    int64_t offset = 0;   // position inside the event: bytes, or bits in a packed event
    int32_t bytes = 0;
    int32_t bits = 0;     // width of the field in a packed event
    Kernel kernel = Kernel::None;
    int shifts[8] = {};
    uint64_t mask = ~uint64_t(0);
};

inline uint16_t Load16(const uint8_t* p) { uint16_t v; std::memcpy(&v, p, 2); return v; }
inline uint32_t Load32(const uint8_t* p) { uint32_t v; std::memcpy(&v, p, 4); return v; }

// Bits a value of range r needs: values run from 0 to r - 1.
uint64_t RangeMask(const CParam& p, int bits) {
    if (!p.hasRange || !(p.range > 1.0f)) return ~uint64_t(0);
    const double r = std::ceil(double(p.range));
    int k = 0;
    while (k < 64 && std::ldexp(1.0, k) < r) ++k;
    if (k >= bits) return ~uint64_t(0);
    return (uint64_t(1) << k) - 1;
}

// Events a decoding thread takes at least.
constexpr size_t kDecodeMinSlice = size_t(1) << 16;

template <typename F>
void ForEvents(const uint8_t* src, int64_t bpe, int64_t n, float* dst, F f) {
    for (int64_t i = 0; i < n; ++i) dst[i] = f(src + i * bpe);
}

std::string WidthText(const CParam& p, int32_t j) {
    return "$P" + std::to_string(j + 1) + "B " + std::to_string(p.bits);
}

std::string OrderText(const std::vector<int32_t>& order) {
    std::string s;
    for (int32_t e : order) s += (s.empty() ? "" : ",") + std::to_string(e);
    return s;
}

// Why a field of this width cannot hold a value of the data type; empty
// when it can.
std::string WidthProblem(const CParam& p, int32_t j, int32_t type) {
    if (!p.hasBits) return "it has no $P" + std::to_string(j + 1) + "B";
    if (p.bits <= 0) return WidthText(p, j) + " is no field width";
    if (type == 'F' && p.bits != 32) return WidthText(p, j) + ": a float ($DATATYPE F) takes 32 bits";
    if (type == 'D' && p.bits != 64) return WidthText(p, j) + ": a double ($DATATYPE D) takes 64 bits";
    if (type == 'I' && p.bits > 64) return WidthText(p, j) + ": integers wider than 64 bits are not supported";
    return {};
}

// Plans parameter j of an event of whole bytes; empty when it can be
// decoded, else why not.
std::string PlanBytes(const CParam& p, int32_t j, const std::vector<int32_t>& order, int32_t type, ParamPlan& pl) {
    if (std::string why = WidthProblem(p, j, type); !why.empty()) return why;
    const int b = pl.bytes;
    int count = 0;
    if (type == 'D' && !order.empty()) {
        // Doubles are often declared with a 4-byte order: take its direction.
        bool little = order.front() == 1;
        for (int k = 0; k < b; ++k) pl.shifts[k] = (little ? k : b - 1 - k) * 8;
        count = b;
    } else {
        uint32_t seen = 0;
        for (int32_t e : order) {
            if (e < 1 || e > b) continue;
            if (seen & (1u << e)) return "$BYTEORD " + OrderText(order) + " names byte " + std::to_string(e) + " twice";
            seen |= 1u << e;
            pl.shifts[count++] = (e - 1) * 8;
        }
    }
    if (order.empty()) return "it has no $BYTEORD";
    if (count != b)
        return "$BYTEORD " + OrderText(order) + " places " + std::to_string(count) + " of the " + std::to_string(b) +
               " bytes of " + WidthText(p, j);
    if (type == 'I') pl.mask = RangeMask(p, b * 8);
    auto is = [&](std::initializer_list<int> s) {
        int k = 0;
        for (int v : s) if (pl.shifts[k++] != v) return false;
        return true;
    };
    if (type == 'F') {
        pl.kernel = is({0, 8, 16, 24}) ? Kernel::F32LE : is({24, 16, 8, 0}) ? Kernel::F32BE : Kernel::Generic;
    } else if (type == 'I') {
        if (b == 1) pl.kernel = Kernel::U8;
        else if (b == 2) pl.kernel = is({0, 8}) ? Kernel::U16LE : Kernel::U16BE;
        else if (b == 4) pl.kernel = is({0, 8, 16, 24}) ? Kernel::U32LE : is({24, 16, 8, 0}) ? Kernel::U32BE : Kernel::Generic;
        else pl.kernel = Kernel::Generic;
    } else {
        pl.kernel = Kernel::Generic;
    }
    return {};
}

// How the bit fields of a packed event lie in its bytes. The event is one
// number written in the file's byte order, its first parameter at the end
// written first: least significant bits first for 1,2,3,4, most
// significant first for 4,3,2,1. A mixed order says nothing about bits.
enum class BitOrder { LowFirst, HighFirst, Unknown };

BitOrder BitOrderOf(const std::vector<int32_t>& order) {
    if (order.empty()) return BitOrder::Unknown;
    const size_t n = order.size();
    bool up = true, down = true;
    for (size_t k = 0; k < n; ++k) {
        up = up && order[k] == int32_t(k + 1);
        down = down && order[k] == int32_t(n - k);
    }
    if (up) return BitOrder::LowFirst;  // a single byte "1" counts as ascending
    if (down) return BitOrder::HighFirst;
    return BitOrder::Unknown;
}

// width bits (1..32) from bit position at of a bit stream.
inline uint64_t BitsAt(const uint8_t* data, uint64_t at, int width, bool highFirst) {
    const uint8_t* p = data + (at >> 3);
    const int skip = int(at & 7);
    const int bytes = (skip + width + 7) >> 3;  // at most 5
    uint64_t acc = 0;
    if (highFirst) {
        for (int k = 0; k < bytes; ++k) acc = (acc << 8) | p[k];
        acc >>= bytes * 8 - skip - width;
    } else {
        for (int k = 0; k < bytes; ++k) acc |= uint64_t(p[k]) << (8 * k);
        acc >>= skip;
    }
    return acc & ((uint64_t(1) << width) - 1);
}

// A field of up to 64 bits, read as two of at most 32.
inline uint64_t FieldAt(const uint8_t* data, uint64_t at, int width, bool highFirst) {
    if (width <= 32) return BitsAt(data, at, width, highFirst);
    const int rest = width - 32;
    if (highFirst) return (BitsAt(data, at, rest, true) << 32) | BitsAt(data, at + uint64_t(rest), 32, true);
    return BitsAt(data, at, 32, false) | (BitsAt(data, at + 32, rest, false) << 32);
}

}  // namespace

uint64_t CEventMatrix::NextGeneration() {
    static std::atomic<uint64_t> counter{1};
    return counter.fetch_add(1, std::memory_order_relaxed);
}

CEventMatrix::CEventMatrix() = default;

CEventMatrix::CEventMatrix(const lm::MappedFile& file, int64_t dataBegin, int64_t dataEnd,
                           CParamSet* params, int32_t dataType)
    : m_params(params), m_dataType(dataType) {
    if (!params) return;
    Decode(file, dataBegin, dataEnd);
}

CEventMatrix::~CEventMatrix() = default;

const std::string& CEventMatrix::UndecodableWhy(int32_t i) const {
    static const std::string none;
    return i >= 0 && size_t(i) < m_undecodable.size() ? m_undecodable[size_t(i)] : none;
}

int32_t CEventMatrix::UndecodableCount() const {
    int32_t n = 0;
    for (const std::string& why : m_undecodable) n += why.empty() ? 0 : 1;
    return n;
}

void CEventMatrix::Decode(const lm::MappedFile& file, int64_t dataBegin, int64_t dataEnd) {
    m_paramCount = m_params->GetParamCount();
    const int64_t bpe = m_params->bytesPerEvent;
    const int64_t tot = m_params->totalEvents;
    const bool knownType = m_dataType == 'I' || m_dataType == 'F' || m_dataType == 'D';
    const std::vector<int32_t>& order = m_params->byteOrder;

    // A width that is not whole bytes packs the event: its fields follow one
    // another bit by bit, with nothing between them.
    bool packed = false;
    for (const auto& p : m_params->params) packed = packed || (p->hasBits && p->bits > 0 && p->bits % 8 != 0);
    const BitOrder bitOrder = packed ? BitOrderOf(order) : BitOrder::Unknown;

    // Plan every parameter once: where its bytes are, how they are ordered
    // and which fast path gives exactly the generic rule's values.
    std::vector<ParamPlan> plans(static_cast<size_t>(m_paramCount));
    m_undecodable.assign(size_t(m_paramCount), std::string());
    bool undecodable = false;
    int64_t pos = 0;
    for (int32_t j = 0; j < m_paramCount; ++j) {
        const CParam& p = *m_params->params[size_t(j)];
        ParamPlan& pl = plans[size_t(j)];
        pl.offset = pos;
        std::string why;
        if (packed) {
            pl.bits = (p.hasBits && p.bits > 0) ? p.bits : 0;
            pos += pl.bits;
            why = WidthProblem(p, j, m_dataType);
            if (why.empty() && bitOrder == BitOrder::Unknown)
                why = order.empty() ? "it has no $BYTEORD"
                                    : "$BYTEORD " + OrderText(order) + " gives no order for fields of " +
                                          WidthText(p, j) + " bits";
            if (why.empty()) {
                pl.kernel = Kernel::Packed;
                if (m_dataType == 'I') pl.mask = RangeMask(p, pl.bits);
            }
        } else {
            pl.bytes = (p.hasBits && p.bits > 0) ? p.bits / 8 : 0;
            pos += pl.bytes;
            why = PlanBytes(p, j, order, m_dataType, pl);
        }
        if (!knownType) why = "the data type cannot be read";
        if (!why.empty()) {
            pl.kernel = Kernel::None;
            m_undecodable[size_t(j)] = std::move(why);
            undecodable = true;
        }
    }

    // The caller clamps the end to the file; a segment that starts outside
    // the file or ends before it begins holds nothing.
    int64_t size = 0;
    if (dataBegin >= 0 && dataEnd >= dataBegin && dataBegin < file.Size())
        size = std::min(dataEnd, file.Size() - 1) - dataBegin + 1;
    int64_t n = tot;
    int64_t strideBits = 0;  // packed: bits from one event to the next
    if (!packed) {
        // Widths come from the file: the product may not even fit 64 bits.
        int64_t expected = 0;
        const bool fits = !__builtin_mul_overflow(tot, bpe, &expected);
        if (bpe <= 0 || !fits || size != expected) {
            if (!fits || size != expected) errors.push_back(kErrDataSize);
            n = bpe > 0 ? size / bpe : 0;
        }
    } else {
        // The events follow one another as one stream of bits; writers that
        // start each event on a new byte are read as such when the size says so.
        const int64_t bits = pos;
        const int64_t paddedBytes = (bits + 7) / 8;
        int64_t streamBits = 0, paddedSize = 0;
        const bool streamFits = !__builtin_mul_overflow(tot, bits, &streamBits);
        const bool paddedFits = !__builtin_mul_overflow(tot, paddedBytes, &paddedSize);
        strideBits = bits;
        if (streamFits && size == streamBits / 8 + (streamBits % 8 != 0 ? 1 : 0)) {
            // n = tot
        } else if (paddedFits && size == paddedSize) {
            strideBits = paddedBytes * 8;
        } else {
            errors.push_back(kErrDataSize);
            n = bits > 0 ? (size > INT64_MAX / 8 ? INT64_MAX : size * 8) / bits : 0;
        }
    }
    // Only events that are really in the file become rows.
    m_eventCount = int32_t(std::min(n, tot));

    rawColumns.assign(size_t(m_paramCount), nullptr);
    currentColumns = rawColumns;
    TouchAllColumns();
    if (m_eventCount == 0 || m_paramCount == 0) return;

    if (!knownType) {
        errors.push_back(kErrParamUndecodable);
        AllocColumns({});
        return;
    }
    if (undecodable) errors.push_back(kErrParamUndecodable);
    std::vector<bool> decoded(plans.size());
    for (size_t j = 0; j < plans.size(); ++j) decoded[j] = plans[j].kernel != Kernel::None;
    AllocColumns(decoded);

    const uint8_t* data = file.Data() + dataBegin;
    if (packed) {
        const bool highFirst = bitOrder == BitOrder::HighFirst;
        const int32_t type = m_dataType;
        lm::ForSlices(size_t(m_eventCount), kDecodeMinSlice, [&](size_t sliceBegin, size_t sliceEnd) {
            for (int32_t j = 0; j < m_paramCount; ++j) {
                const ParamPlan& pl = plans[size_t(j)];
                if (pl.kernel != Kernel::Packed) continue;
                float* dst = rawColumns[size_t(j)];
                for (size_t i = sliceBegin; i < sliceEnd; ++i) {
                    const uint64_t at = uint64_t(i) * uint64_t(strideBits) + uint64_t(pl.offset);
                    const uint64_t v = FieldAt(data, at, pl.bits, highFirst);
                    if (type == 'F') dst[i] = std::bit_cast<float>(uint32_t(v));
                    else if (type == 'D') dst[i] = float(std::bit_cast<double>(v));
                    else dst[i] = float(v & pl.mask);
                }
            }
        });
        return;
    }

    // A block of events small enough to stay in cache while every column
    // takes its values from it.
    const int64_t blockEvents = std::max<int64_t>(1, (int64_t(256) << 10) / bpe);
    const int64_t releaseBytes = int64_t(16) << 20;
    // Each event is decoded on its own: the events are split over the
    // cores, each slice a block at a time.
    lm::ForSlices(size_t(m_eventCount), kDecodeMinSlice, [&](size_t sliceBegin, size_t sliceEnd) {
        int64_t released = int64_t(sliceBegin) * bpe;
        for (int64_t e0 = int64_t(sliceBegin); e0 < int64_t(sliceEnd); e0 += blockEvents) {
            const int64_t cnt = std::min<int64_t>(blockEvents, int64_t(sliceEnd) - e0);
            const uint8_t* blk = data + e0 * bpe;
            for (int32_t j = 0; j < m_paramCount; ++j) {
                const ParamPlan& pl = plans[size_t(j)];
                float* dst = rawColumns[size_t(j)] + e0;
                const uint8_t* src = blk + pl.offset;
                const uint32_t m32 = uint32_t(pl.mask);
                switch (pl.kernel) {
                case Kernel::None:
                case Kernel::Packed: break;
                case Kernel::F32LE:
                    ForEvents(src, bpe, cnt, dst, [](const uint8_t* s) { return std::bit_cast<float>(Load32(s)); });
                    break;
                case Kernel::F32BE:
                    ForEvents(src, bpe, cnt, dst, [](const uint8_t* s) { return std::bit_cast<float>(__builtin_bswap32(Load32(s))); });
                    break;
                case Kernel::U8:
                    ForEvents(src, bpe, cnt, dst, [m32](const uint8_t* s) { return float(uint32_t(*s) & m32); });
                    break;
                case Kernel::U16LE:
                    ForEvents(src, bpe, cnt, dst, [m32](const uint8_t* s) { return float(uint32_t(Load16(s)) & m32); });
                    break;
                case Kernel::U16BE:
                    ForEvents(src, bpe, cnt, dst, [m32](const uint8_t* s) { return float(uint32_t(__builtin_bswap16(Load16(s))) & m32); });
                    break;
                case Kernel::U32LE:
                    ForEvents(src, bpe, cnt, dst, [m32](const uint8_t* s) { return float(Load32(s) & m32); });
                    break;
                case Kernel::U32BE:
                    ForEvents(src, bpe, cnt, dst, [m32](const uint8_t* s) { return float(__builtin_bswap32(Load32(s)) & m32); });
                    break;
                case Kernel::Generic: {
                    const int b = pl.bytes;
                    const int32_t type = m_dataType;
                    const uint64_t mask = pl.mask;
                    ForEvents(src, bpe, cnt, dst, [&pl, b, type, mask](const uint8_t* s) {
                        uint64_t v = 0;
                        for (int k = 0; k < b; ++k) v |= uint64_t(s[k]) << pl.shifts[k];
                        if (type == 'F') return std::bit_cast<float>(uint32_t(v));
                        if (type == 'D') return float(std::bit_cast<double>(v));
                        return float(v & mask);
                    });
                    break;
                }
                }
            }
            // Decoded bytes are not needed again: keep the mapping from growing
            // the resident set beyond one window of the file per slice (only
            // whole pages inside the range go, never a neighbour's).
            const int64_t done = (e0 + cnt) * bpe;
            if (done - released >= releaseBytes) {
                file.Release(dataBegin + released, done - released);
                released = done;
            }
        }
    });
}

// ---------------------------------------------------------------- columns

float* CEventMatrix::GetColumn(int32_t i) const {
    if (i < 0 || i >= m_paramCount) return nullptr;
    return currentColumns[size_t(i)];
}

const float* CEventMatrix::GetRawColumn(int32_t i) const {
    if (i < 0 || i >= m_paramCount) return nullptr;
    return rawColumns[size_t(i)];
}

void CEventMatrix::TouchColumns(const std::vector<int32_t>& cols) {
    m_generation = NextGeneration();
    for (int32_t u : cols)
        if (u >= 0 && size_t(u) < m_columnGeneration.size()) m_columnGeneration[size_t(u)] = m_generation;
}

void CEventMatrix::TouchAllColumns() {
    m_generation = NextGeneration();
    m_columnGeneration.assign(size_t(m_paramCount), m_generation);
}

void CEventMatrix::ResetCurrentColumns() {
    currentColumns = rawColumns;
    m_current.reset();
    m_applied.reset();
    // Only the columns a compensation changed differ from the raw values.
    TouchColumns(m_compensated);
    m_compensated.clear();
}

void CEventMatrix::SeparateCurrentColumns() {
    if (m_storedColumns == 0 || m_eventCount == 0) return;
    const size_t floats = size_t(m_storedColumns) * size_t(m_eventCount);
    // Same layout as the raw block; the shared zero column is never written,
    // so it is not copied. Columns outside the last matrix read the raw
    // values where they are until now: every one gets its copy.
    float* base = m_current ? m_current->data : AllocBlock(m_current, m_storedColumns);
    for (int32_t j = 0; j < m_paramCount; ++j)
        if (HasValues(j)) currentColumns[size_t(j)] = base + (rawColumns[size_t(j)] - m_raw->data);
    std::memcpy(m_current->data, m_raw->data, floats * sizeof(float));
    m_applied.reset();
    // The compensated columns are raw values again.
    TouchColumns(m_compensated);
    m_compensated.clear();
}

bool CEventMatrix::LogParam(int32_t u, double* r, double* d) {
    const CParam* p = m_params ? m_params->GetParam(u) : nullptr;
    if (!p || !p->IsLogScale()) return false;
    *d = p->decades;
    if (p->hasRange) {
        *r = p->range;
    } else {
        *r = 1.0;
        if (std::find(errors.begin(), errors.end(), kErrNoRange) == errors.end()) errors.push_back(kErrNoRange);
    }
    return true;
}

void CEventMatrix::FreeLinearColumns() {
    linearColumns.clear();
    m_linear.reset();
}

namespace {

// What the compensation of one stretch of events needs: for each matrix
// position k, the raw and current column (null for a parameter without
// values), its log conversion, the inverse matrix and the constant part
// the parameters without values add.
struct CompKernel {
    int32_t n = 0;
    std::vector<double> inv;  // n x n, row-major
    std::vector<double> bias;
    std::vector<const float*> raw;
    std::vector<float*> cur;
    std::vector<double> toLinear;   // decades / range
    std::vector<double> toChannel;  // range / decades
    std::vector<uint8_t> isLog;
};

template <class T>
bool SameBitsOf(const std::vector<T>& a, const std::vector<T>& b) {
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0);
}

// Same inputs to the same arithmetic: the outputs would be the same bits.
bool SameKernel(const CompKernel& a, const CompKernel& b) {
    return a.n == b.n && SameBitsOf(a.inv, b.inv) && SameBitsOf(a.bias, b.bias) && a.raw == b.raw &&
           SameBitsOf(a.toLinear, b.toLinear) && SameBitsOf(a.toChannel, b.toChannel) && a.isLog == b.isLog;
}

constexpr size_t kCompChunk = 1024;
constexpr size_t kCompMinSlice = size_t(1) << 16;
constexpr size_t kGroup = 8;  // outputs summed together in registers

std::atomic<int> g_compPath{int(CompensationPath::Best)};

// log10 has no value at 0 or below (compensation can get there): those
// events go one decade below the smallest positive float, so they stay
// below every positive value and in order with them.
double FloorDecade() { return std::log10(double(std::numeric_limits<float>::denorm_min())) - 1.0; }

// The plain rule, one chunk of events at a time; kept as the reference the
// vector sums are tested against (CompensationPath::Plain). The arithmetic
// per event is that of a plain loop over the whole column: float linear
// values, double sums in the order of the matrix rows, a float linear
// result, then the channel value.
void CompensateEventsPlain(const CompKernel& kern, size_t begin, size_t end) {
    const size_t n = size_t(kern.n);
    std::vector<float> lin(n * kCompChunk);
    std::vector<double> out(n * kCompChunk);
    const double floorDecade = FloorDecade();
    for (size_t e0 = begin; e0 < end; e0 += kCompChunk) {
        const size_t cnt = std::min(kCompChunk, end - e0);
        for (size_t j = 0; j < n; ++j) {
            const float* raw = kern.raw[j];
            if (!raw) continue;
            raw += e0;
            float* l = &lin[j * kCompChunk];
            if (!kern.isLog[j]) {
                std::memcpy(l, raw, cnt * sizeof(float));
            } else {
                const double k = kern.toLinear[j];
                for (size_t e = 0; e < cnt; ++e) l[e] = float(std::pow(10.0, double(raw[e]) * k));
            }
        }
        for (size_t k = 0; k < n; ++k) std::fill_n(&out[k * kCompChunk], cnt, kern.bias[k]);
        for (size_t j = 0; j < n; ++j) {
            if (!kern.raw[j]) continue;
            const float* l = &lin[j * kCompChunk];
            for (size_t k = 0; k < n; ++k) {
                const double c = kern.inv[j * n + k];
                if (c == 0.0 || !kern.cur[k]) continue;
                double* o = &out[k * kCompChunk];
                for (size_t e = 0; e < cnt; ++e) o[e] += double(l[e]) * c;
            }
        }
        for (size_t k = 0; k < n; ++k) {
            float* cur = kern.cur[k];
            if (!cur) continue;
            cur += e0;
            const double* o = &out[k * kCompChunk];
            if (!kern.isLog[k]) {
                for (size_t e = 0; e < cnt; ++e) cur[e] = float(o[e]);
                continue;
            }
            const double k2 = kern.toChannel[k];
            const float floor = float(floorDecade * k2);
            for (size_t e = 0; e < cnt; ++e) {
                const float l = float(o[e]);
                cur[e] = l > 0.0f ? float(std::log10(double(l)) * k2) : floor;
            }
        }
    }
}

// Up to kGroup outputs whose sums are kept in registers while the inputs
// go by once. Inputs are the positions with values, in matrix row order;
// a coefficient that is zero is skipped as the plain rule skips it (adding
// 0 * inf or -0 would change the sum).
struct CompGroup {
    size_t size = 0;
    bool dense = true;  // no coefficient skipped
    std::vector<size_t> outs;     // matrix positions
    std::vector<size_t> ins;      // matrix positions with values
    std::vector<double> coef;     // ins.size() x kGroup
    std::vector<uint8_t> use;     // ins.size() x kGroup
    double bias[kGroup] = {};
    double biasLanes[kGroup][4] = {};  // each bias in every lane of a vector
};

struct CompPlan {
    std::vector<CompGroup> groups;
    std::vector<size_t> logInputs;  // positions converted to linear values first
};

CompPlan PlanCompensation(const CompKernel& kern) {
    CompPlan plan;
    const size_t n = size_t(kern.n);
    std::vector<size_t> ins, outs;
    for (size_t j = 0; j < n; ++j) {
        if (kern.raw[j]) ins.push_back(j);
        if (kern.raw[j] && kern.isLog[j]) plan.logInputs.push_back(j);
        if (kern.cur[j]) outs.push_back(j);
    }
    for (size_t o0 = 0; o0 < outs.size(); o0 += kGroup) {
        CompGroup g;
        g.size = std::min(kGroup, outs.size() - o0);
        g.outs.assign(outs.begin() + ptrdiff_t(o0), outs.begin() + ptrdiff_t(o0 + g.size));
        g.ins = ins;
        g.coef.assign(ins.size() * kGroup, 0.0);
        g.use.assign(ins.size() * kGroup, 0);
        for (size_t q = 0; q < g.size; ++q) {
            g.bias[q] = kern.bias[g.outs[q]];
            std::fill_n(g.biasLanes[q], 4, g.bias[q]);
        }
        for (size_t i = 0; i < ins.size(); ++i)
            for (size_t q = 0; q < g.size; ++q) {
                const double c = kern.inv[ins[i] * n + g.outs[q]];
                g.coef[i * kGroup + q] = c;
                g.use[i * kGroup + q] = c != 0.0;
                if (c == 0.0) g.dense = false;
            }
        plan.groups.push_back(std::move(g));
    }
    return plan;
}

// prod + acc, the product first: where both are NaN the product's NaN comes
// out, as it does from the plain rule's compiled sum (the compiler is free
// to swap the operands of a plain +, so the instruction is spelled out).
// (Only ever inlined, as the sums below: 4-lane vectors never cross a call.)
#pragma GCC diagnostic ignored "-Wpsabi"
// Vex: the caller runs AVX code, where an SSE instruction would stall.
template <class V, bool Vex = false>
[[gnu::always_inline]] inline V AddToProduct(V prod, V acc) {
#if defined(__x86_64__) && defined(__GNUC__)
    if constexpr (sizeof(V) == 8 && Vex) asm("vaddsd %1, %0, %0" : "+x"(prod) : "x"(acc));
    else if constexpr (sizeof(V) == 8) asm("addsd %1, %0" : "+x"(prod) : "x"(acc));
    else if constexpr (sizeof(V) == 16) asm("addpd %1, %0" : "+x"(prod) : "x"(acc));
    else asm("vaddpd %1, %0, %0" : "+x"(prod) : "x"(acc));
    return prod;
#else
    return prod + acc;
#endif
}

// One event of a group the plain way (the events a whole vector leaves).
template <bool Vex>
[[gnu::always_inline]] inline void SumOneEvent(const CompGroup& g, const float* const* lin, size_t e, double* out) {
    for (size_t q = 0; q < g.size; ++q) {
        double o = g.bias[q];
        for (size_t i = 0; i < g.ins.size(); ++i)
            if (g.use[i * kGroup + q])
                o = AddToProduct<double, Vex>(double(lin[g.ins[i]][e]) * g.coef[i * kGroup + q], o);
        out[q * kCompChunk + e] = o;
    }
}

// The sums of one group over cnt events, W events to a vector: per output
// the bias, then each input's product added in row order, rounded as the
// plain rule rounds (a product, then a sum: no fused multiply-add).
template <class V, size_t G, bool Dense>
[[gnu::always_inline]] inline void SumGroupT(const CompGroup& g, const float* const* lin, size_t cnt, double* out) {
    constexpr size_t W = sizeof(V) / sizeof(double);
    typedef float VF __attribute__((vector_size(W * sizeof(float))));
    const size_t nin = g.ins.size();
    size_t e = 0;
    for (; e + W <= cnt; e += W) {
        V acc[G];
        for (size_t q = 0; q < G; ++q) std::memcpy(&acc[q], g.biasLanes[q], sizeof(V));  // -0 stays -0
        for (size_t i = 0; i < nin; ++i) {
            VF f;
            std::memcpy(&f, lin[g.ins[i]] + e, sizeof f);
            const V l = __builtin_convertvector(f, V);
            const double* c = &g.coef[i * kGroup];
            const uint8_t* u = &g.use[i * kGroup];
            for (size_t q = 0; q < G; ++q)
                if (Dense || u[q]) acc[q] = AddToProduct(l * c[q], acc[q]);
        }
        for (size_t q = 0; q < G; ++q) std::memcpy(out + q * kCompChunk + e, &acc[q], sizeof(V));
    }
    for (; e < cnt; ++e) SumOneEvent<(W > 2)>(g, lin, e, out);
}

template <class V>
[[gnu::always_inline]] inline void SumGroupV(const CompGroup& g, const float* const* lin, size_t cnt, double* out) {
#define LM_GROUP_CASE(G)                                              \
    case G:                                                           \
        if (g.dense) SumGroupT<V, G, true>(g, lin, cnt, out);         \
        else SumGroupT<V, G, false>(g, lin, cnt, out);                \
        break;
    switch (g.size) {
        LM_GROUP_CASE(1) LM_GROUP_CASE(2) LM_GROUP_CASE(3) LM_GROUP_CASE(4)
        LM_GROUP_CASE(5) LM_GROUP_CASE(6) LM_GROUP_CASE(7) LM_GROUP_CASE(8)
        default: break;
    }
#undef LM_GROUP_CASE
}

typedef double V2d __attribute__((vector_size(16)));
typedef double V4d __attribute__((vector_size(32)));

void SumGroupPortable(const CompGroup& g, const float* const* lin, size_t cnt, double* out) {
    SumGroupV<V2d>(g, lin, cnt, out);
}

// Clang checks the 4-lane asm of AddToProduct in the template's own target,
// not in the AVX2 function it is inlined into, and refuses it: a Clang build
// (the fuzzers') takes the portable sums, which give the same bits.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define LM_COMP_AVX2 1
// AVX2 only, not FMA: every product and sum is rounded on its own.
__attribute__((target("avx2"))) void SumGroupAvx2(const CompGroup& g, const float* const* lin, size_t cnt,
                                                  double* out) {
    SumGroupV<V4d>(g, lin, cnt, out);
}
bool HaveAvx2() { return __builtin_cpu_supports("avx2"); }
#else
bool HaveAvx2() { return false; }
#endif

using SumGroupFn = void (*)(const CompGroup&, const float* const*, size_t, double*);

SumGroupFn ChooseSums(CompensationPath path) {
#ifdef LM_COMP_AVX2
    if (path != CompensationPath::Portable && HaveAvx2()) return &SumGroupAvx2;
#endif
    (void)path;
    return &SumGroupPortable;
}

// Compensates events [begin, end) a chunk at a time: inputs to linear
// values (log-amplified ones; linear ones are read where they are), the
// sums of each group, then back to float channels.
void CompensateEvents(const CompKernel& kern, const CompPlan& plan, SumGroupFn sums, size_t begin, size_t end) {
    const size_t n = size_t(kern.n);
    std::vector<float> logLin(plan.logInputs.size() * kCompChunk);
    std::vector<double> out(plan.groups.size() * kGroup * kCompChunk);
    std::vector<const float*> lin(n, nullptr);
    const double floorDecade = FloorDecade();
    for (size_t e0 = begin; e0 < end; e0 += kCompChunk) {
        const size_t cnt = std::min(kCompChunk, end - e0);
        for (size_t j = 0; j < n; ++j) lin[j] = kern.raw[j] ? kern.raw[j] + e0 : nullptr;
        for (size_t i = 0; i < plan.logInputs.size(); ++i) {
            const size_t j = plan.logInputs[i];
            const float* raw = kern.raw[j] + e0;
            float* l = &logLin[i * kCompChunk];
            const double k = kern.toLinear[j];
            for (size_t e = 0; e < cnt; ++e) l[e] = float(std::pow(10.0, double(raw[e]) * k));
            lin[j] = l;
        }
        for (size_t gi = 0; gi < plan.groups.size(); ++gi) {
            const CompGroup& g = plan.groups[gi];
            double* o = &out[gi * kGroup * kCompChunk];
            sums(g, lin.data(), cnt, o);
            for (size_t q = 0; q < g.size; ++q) {
                const size_t k = g.outs[q];
                float* cur = kern.cur[k] + e0;
                const double* oq = o + q * kCompChunk;
                if (!kern.isLog[k]) {
                    for (size_t e = 0; e < cnt; ++e) cur[e] = float(oq[e]);
                    continue;
                }
                const double k2 = kern.toChannel[k];
                const float floor = float(floorDecade * k2);
                for (size_t e = 0; e < cnt; ++e) {
                    const float l = float(oq[e]);
                    cur[e] = l > 0.0f ? float(std::log10(double(l)) * k2) : floor;
                }
            }
        }
    }
}

void RunCompensation(const CompKernel& kern, size_t events) {
    const CompensationPath path = CompensationPath(g_compPath.load());
    if (path == CompensationPath::Plain) {
        lm::ForSlices(events, kCompMinSlice, [&](size_t b, size_t e) { CompensateEventsPlain(kern, b, e); });
        return;
    }
    const CompPlan plan = PlanCompensation(kern);
    const SumGroupFn sums = ChooseSums(path);
    lm::ForSlices(events, kCompMinSlice, [&](size_t b, size_t e) { CompensateEvents(kern, plan, sums, b, e); });
}

}  // namespace

void CEventMatrix::SetCompensationPath(CompensationPath path) { g_compPath = int(path); }

bool CEventMatrix::HasWideCompensation() { return HaveAvx2(); }

// The last compensation computed into the current columns.
struct CEventMatrix::Applied {
    std::vector<int32_t> indices;
    CompKernel kern;
};

bool CEventMatrix::ApplyCompensation(const CSpillMatrix& m) {
    const int32_t n = m.n;
    if (n < 1 || m.indices.size() != size_t(n) || m.values.size() != size_t(n) * size_t(n)) return false;
    for (int32_t i = 0; i < n; ++i) {
        int32_t u = m.indices[size_t(i)];
        if (u < 0 || u >= m_paramCount) return false;
        for (int32_t k = 0; k < i; ++k)
            if (m.indices[size_t(k)] == u) return false;
    }
    std::vector<double> inv;
    // A singular matrix leaves the current values as they were.
    if (!InvertSpill(m, inv)) return false;

    // Only the matrix's decoded parameters carry values. One that could not
    // be decoded reads 0 in every event: it adds the same amount to each
    // output, and its own output is not kept (it has no values).
    CompKernel kern;
    kern.n = n;
    kern.inv = inv;
    kern.bias.assign(size_t(n), 0.0);
    kern.raw.assign(size_t(n), nullptr);
    kern.cur.assign(size_t(n), nullptr);
    kern.toLinear.assign(size_t(n), 0.0);
    kern.toChannel.assign(size_t(n), 0.0);
    kern.isLog.assign(size_t(n), 0);
    std::vector<double> constant(size_t(n), 0.0);
    for (int32_t k = 0; k < n; ++k) {
        const int32_t u = m.indices[size_t(k)];
        double r, d;
        const bool log = LogParam(u, &r, &d);
        if (!HasValues(u)) {
            constant[size_t(k)] = log ? 1.0 : 0.0;  // 10^0 or 0
            continue;
        }
        kern.raw[size_t(k)] = rawColumns[size_t(u)];
        kern.isLog[size_t(k)] = log ? 1 : 0;
        if (log) {
            kern.toLinear[size_t(k)] = d / r;
            kern.toChannel[size_t(k)] = r / d;
        }
    }
    for (int32_t j = 0; j < n; ++j)
        for (int32_t k = 0; k < n; ++k)
            kern.bias[size_t(k)] += constant[size_t(j)] * inv[size_t(j) * size_t(n) + size_t(k)];
    // The very computation the current columns already hold: nothing moves
    // (the dialog's OK after the same values were tried live).
    if (m_current && m_applied && m_applied->indices == m.indices && m_compensated == m.indices &&
        SameKernel(m_applied->kern, kern))
        return true;

    // Same parameters and the same linear inputs: an output column whose
    // inverse column, constant and conversion are the same bits would get
    // the same values, so only the others are computed again (a coefficient
    // edited in one block of a block-diagonal matrix moves that block only).
    if (m_current && m_applied && m_applied->indices == m.indices && m_compensated == m.indices &&
        m_eventCount > 0) {
        const CompKernel& old = m_applied->kern;
        if (old.n == n && old.raw == kern.raw && old.isLog == kern.isLog && SameBitsOf(old.toLinear, kern.toLinear)) {
            auto sameBits = [](double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; };
            std::vector<int32_t> changed;
            for (int32_t k = 0; k < n; ++k) {
                const size_t kk = size_t(k);
                bool same = sameBits(old.bias[kk], kern.bias[kk]) && sameBits(old.toChannel[kk], kern.toChannel[kk]);
                for (int32_t j = 0; same && j < n; ++j) {
                    const size_t at = size_t(j) * size_t(n) + kk;
                    // A zero of either sign is skipped by the sums alike.
                    same = (old.inv[at] == 0.0 && kern.inv[at] == 0.0) || sameBits(old.inv[at], kern.inv[at]);
                }
                if (!same && kern.raw[kk]) changed.push_back(m.indices[kk]);
            }
            for (int32_t k = 0; k < n; ++k) {
                const int32_t u = m.indices[size_t(k)];
                if (std::find(changed.begin(), changed.end(), u) != changed.end())
                    kern.cur[size_t(k)] = currentColumns[size_t(u)];
            }
            if (!changed.empty()) {
                FreeLinearColumns();
                m_applied.reset();  // until the columns hold the new values
                TouchColumns(changed);
                RunCompensation(kern, size_t(m_eventCount));
            }
            // Kept whole, so that the next edit compares every column.
            for (int32_t k = 0; k < n; ++k)
                if (kern.raw[size_t(k)]) kern.cur[size_t(k)] = currentColumns[size_t(m.indices[size_t(k)])];
            m_applied = std::make_unique<Applied>(Applied{m.indices, std::move(kern)});
            return true;
        }
    }

    // Columns outside the matrix go back to their raw values, so only the
    // matrix's columns and those the previous compensation changed move.
    std::vector<int32_t> touched = m_compensated;
    touched.insert(touched.end(), m.indices.begin(), m.indices.end());
    m_compensated = m.indices;
    // A column outside the matrix reads its raw values where they are: the
    // ones the previous compensation changed go back to them without a
    // copy. Only the matrix's columns live in the current block (same
    // layout as the raw one), each written whole below.
    auto inMatrix = [&m](int32_t u) { return std::find(m.indices.begin(), m.indices.end(), u) != m.indices.end(); };
    for (int32_t u : touched)
        if (!inMatrix(u) && u >= 0 && u < m_paramCount) currentColumns[size_t(u)] = rawColumns[size_t(u)];
    std::vector<float*> newSlots;
    if (m_storedColumns > 0 && m_eventCount > 0) {
        float* base = m_current ? m_current->data : AllocBlock(m_current, m_storedColumns);
        for (int32_t u : m.indices) {
            if (!HasValues(u) || currentColumns[size_t(u)] != rawColumns[size_t(u)]) continue;
            currentColumns[size_t(u)] = base + (rawColumns[size_t(u)] - m_raw->data);
            newSlots.push_back(currentColumns[size_t(u)]);
        }
    }
    TouchColumns(touched);
    if (m_eventCount == 0) return true;
    // Pages the block has not had yet: faulted in on all cores at once.
    TouchColumnPages(newSlots, size_t(m_eventCount) * sizeof(float));

    FreeLinearColumns();
    m_applied.reset();
    for (int32_t k = 0; k < n; ++k)
        if (kern.raw[size_t(k)]) kern.cur[size_t(k)] = currentColumns[size_t(m.indices[size_t(k)])];
    // Every event is computed on its own, so any split of the events gives
    // the same values.
    RunCompensation(kern, size_t(m_eventCount));
    m_applied = std::make_unique<Applied>(Applied{m.indices, std::move(kern)});
    return true;
}
