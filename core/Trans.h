#pragma once
// Axis transforms: map the values of one parameter to a display fraction
// 0..1 along a plot axis and back, build the bin tables of plots and
// histograms, draw an axis's ticks through a CScale and read and write
// themselves in document records.
//
// Three kinds, one class each: CTRANS (linear), CLogTRANS (base-10 log, min
// and max in decades) and CLogical (biexponential "Logical" display, a
// logicle). Transforms are owned by one holder (shell, plot or layer) and are
// replaced rather than edited, except through SetRange / SetParams /
// SetNegativeRange / Load, which bump GetVersion().
//
// Invalid parameters are refused everywhere: constructors throw
// std::invalid_argument, setters return false and keep the old state, Load
// throws CArchiveException. Check values first with IsValidRange /
// CLogical::CheckParams when they come from a user or a file.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/LogicleBins.h"

class CArchive;
class CScale;
namespace lm::logicle {
struct Kernel;
}

// Kind codes, as stored in document records and returned by GetType().
enum TransKind : int32_t {
    kTransLinear = 0,
    kTransLog = 1,
    kTransLogical = 2,
};

// Largest bin table a transform builds (a larger request is refused).
constexpr int32_t kMaxBinTableSize = 1 << 24;

// Index of the bin of v in the ascending table t of n entries: 0 below t[0],
// n-1 above t[n-1], else the largest i with t[i] <= v (so a value equal to
// t[i] gives i, and t[n-1] itself gives n-1). Returns -1 only for a NaN value
// or an empty table (n <= 0 or t null); callers must test for it before using
// the result as an index.
int32_t FindBinIndex(const float* t, int32_t n, float v);

class CTRANS {
public:
    // Linear from min to max. Throws std::invalid_argument unless both are
    // finite and min < max.
    CTRANS(float min, float max);
    // Unset; only used before Load.
    CTRANS();
    virtual ~CTRANS();
    CTRANS(const CTRANS&) = delete;
    CTRANS& operator=(const CTRANS&) = delete;

    // True when min and max are finite, min < max and max - min is finite.
    static bool IsValidRange(float min, float max);
    // A transform of the given kind made by its constructor without
    // arguments (to be filled by Load); null for an unknown kind.
    static std::unique_ptr<CTRANS> CreateOfKind(int32_t kind);

    // ---- bin table ----
    virtual bool MakeTable(int32_t n) { return BuildTable(n); }
    virtual bool MakeTable(float a, float b, int32_t n) { return BuildTable(a, b, n); }
    virtual void ReleaseTable() { FreeTable(); }
    // Builds (replacing any old one) a table of n entries; false and no table
    // for n < 1, n > kMaxBinTableSize or bounds that are not finite.
    virtual bool BuildTable(int32_t n);
    virtual bool BuildTable(float a, float b, int32_t n);
    // The same n values into the caller's buffer (false and nothing written
    // for n < 1 or a null buffer).
    virtual bool FillTable(float* buffer, int32_t n) const;
    virtual bool FillTable(float* buffer, float a, float b, int32_t n) const;
    virtual void FreeTable();
    virtual int32_t GetBinIndex(float v) const;
    const float* GetTable() const { return m_table.get(); }
    int32_t GetTableSize() const { return m_tableSize; }

    // ---- mapping ----
    // False (and nothing changed) unless IsValidRange(min, max).
    virtual bool SetRange(float min, float max);
    // Value at fraction f.
    virtual float ToValue(float f) const;
    // Fraction of v, clamped to 0..1. NaN gives 0.
    virtual float ToFraction(float v) const;
    // Fraction of v without clamping (may be negative, above 1, infinite or
    // NaN).
    virtual float ToFractionUnclamped(float v) const;
    // ToFraction of n values, value by value identical to ToFraction. values
    // and out must not overlap. Long columns on log and logicle axes are
    // computed on a few short-lived threads (joined before returning).
    virtual void ToFractions(const float* values, size_t n, float* out) const;
    // The same for the events whose bit is set in words (bit e & 31 of word
    // e >> 5); the other entries of out are left as they are.
    virtual void ToFractionsMasked(const float* values, size_t n, const uint32_t* words,
                                   float* out) const;
    // True when ToFractionsMasked shares long columns out over threads as
    // ToFractions does (a caller then need not convert a whole column to get
    // the cores working).
    virtual bool MaskedUsesThreads() const { return false; }

    // ---- identity ----
    virtual std::unique_ptr<CTRANS> Clone() const;
    virtual int32_t GetType() const { return kTransLinear; }
    // Same kind, min and max (a logicle compares its width too).
    virtual bool IsEqual(const CTRANS& other) const;

    // ---- drawing ----
    // Major ticks 10 pixels, minor ticks 5, labels through scale.Label.
    virtual void DrawTicks(CScale& scale) const;

    // ---- records ----
    // Store writes the whole record, kind first. Load reads the rest of a
    // record whose kind the caller has consumed; a record with values that
    // make no valid transform throws CArchiveException and leaves this
    // transform as it was.
    virtual void Store(CArchive& ar) const;
    virtual void Load(CArchive& ar);

    float GetMin() const { return m_min; }
    float GetMax() const { return m_max; }
    float GetRange() const { return m_range; }

    int32_t storedWordA = 1;
    int32_t storedWordB = 1;
    bool storedFlag = false;

    // Process-wide unique number of this object (never reused), and a counter
    // bumped by every change of its mapping. Together they tell a cache
    // whether fractions computed earlier still hold.
    uint64_t GetId() const { return m_id; }
    uint64_t GetVersion() const { return m_version; }

protected:
    void Touch() { ++m_version; }
    // Copies the words of this transform into a clone.
    void CopyWordsTo(CTRANS& c) const {
        c.storedWordA = storedWordA;
        c.storedWordB = storedWordB;
    }
    void SetTable(std::unique_ptr<float[]> t, int32_t n);

    float m_min = 0.0f;
    float m_max = 0.0f;
    float m_range = 0.0f;

private:
    std::unique_ptr<float[]> m_table;
    int32_t m_tableSize = 0;
    uint64_t m_id;
    uint64_t m_version = 1;
};

// Base-10 logarithm; min and max are decades (0 .. 4 shows 1 .. 10000).
// Values at or below 0 have no logarithm and give the fraction 0.
class CLogTRANS : public CTRANS {
public:
    CLogTRANS(float minDecade, float maxDecade);
    CLogTRANS() = default;

    static bool IsValidRange(float minDecade, float maxDecade);
    bool SetRange(float min, float max) override;

    bool BuildTable(int32_t n) override { return CTRANS::BuildTable(n); }
    bool BuildTable(float a, float b, int32_t n) override;
    bool FillTable(float* buffer, int32_t n) const override { return CTRANS::FillTable(buffer, n); }
    bool FillTable(float* buffer, float a, float b, int32_t n) const override;
    float ToValue(float f) const override;
    float ToFraction(float v) const override;
    float ToFractionUnclamped(float v) const override;
    void ToFractions(const float* values, size_t n, float* out) const override;
    std::unique_ptr<CTRANS> Clone() const override;
    int32_t GetType() const override { return kTransLog; }
    void DrawTicks(CScale& scale) const override;
    void Load(CArchive& ar) override;
};

// Biexponential display. Display units x run from 0 to m = M ln 10; the value
// at x is S(x), linear around x = w and logarithmic above. min is r and max
// is T. Fractions: 0 below r and for NaN, 1 from T up, else the inverse of S
// over m clamped to 0..1 (values between r and S(0) give 0).
class CLogical : public CTRANS {
public:
    static constexpr int32_t kTablePoints = 512;
    static constexpr float kDefaultR = -10.0f;
    static constexpr float kDefaultM = 4.5f;

    // Top T, negative range r, width M in decades. Throws
    // std::invalid_argument when CheckParams refuses them.
    CLogical(float T, float r, float M);
    // Unset; only used before Load.
    CLogical();
    ~CLogical() override;

    // Accepts finite values with T > 0, M > 0, |r| >= 1 (r is truncated to a
    // whole number, and 0 would make w infinite), r < T and w >= 0 (T / |r|
    // at most 10^(2M)). On refusal *why (when given) says which rule failed.
    static bool CheckParams(float T, float r, float M, std::string* why = nullptr);

    // False (and nothing changed) when CheckParams refuses the values.
    bool SetParams(float T, float r, float M);
    bool SetNegativeRange(float r);
    // SetRange(min, max) sets r and T (M kept).
    bool SetRange(float min, float max) override;

    float GetT() const { return m_T; }
    float GetR() const { return m_r; }
    float GetM() const { return m_m; }  // natural-log units (M x ln 10)
    float GetW() const { return m_w; }
    float GetP() const { return m_p; }
    float GetA() const { return m_a; }
    const float* GetValueTable() const { return m_values.get(); }
    const float* GetPositionTable() const { return m_positions.get(); }

    // S(x), S'(x), and the x with S(x) = y (Newton steps from the table
    // point of y). NaN gives NaN.
    double LogicalS(double x) const;
    double LogicalSlope(double x) const;
    double LogicalInverse(float y) const;
    // Newton's method on 2 p ln p / (p + 1) = w.
    static float LogicalSolveP(float w);

    bool BuildTable(int32_t n) override;
    bool BuildTable(float a, float b, int32_t n) override;
    bool FillTable(float* buffer, int32_t n) const override;
    bool FillTable(float* buffer, float a, float b, int32_t n) const override;
    float ToValue(float f) const override;
    float ToFraction(float v) const override;
    float ToFractionUnclamped(float v) const override;
    // Batch conversions with the bits of ToFraction, on the fastest path the
    // CPU has (AVX-512, AVX2 or portable; see core/TransBatch.h). Both share
    // long columns (from 2^17 events) out over a few short-lived threads.
    void ToFractions(const float* values, size_t n, float* out) const override;
    void ToFractionsMasked(const float* values, size_t n, const uint32_t* words,
                           float* out) const override;
    bool MaskedUsesThreads() const override { return true; }
    std::unique_ptr<CTRANS> Clone() const override;
    int32_t GetType() const override { return kTransLogical; }
    bool IsEqual(const CTRANS& other) const override;
    void DrawTicks(CScale& scale) const override;
    void Store(CArchive& ar) const override;
    void Load(CArchive& ar) override;

private:
    struct Derived {
        float w, p, a, p2;
    };
    // w, p and a for the given parameters; false when they are not usable.
    static bool Derive(float T, float r, float m, Derived* out, std::string* why);
    void Apply(float T, float r, float m);  // parameters already checked
    void LogicalInit();
    float FractionOf(float v) const;  // the clamped fraction, inline-friendly
    void FillKernel(lm::logicle::Kernel* k) const;  // tables set

    float m_T = 0.0f;
    float m_r = 0.0f;
    float m_m = 0.0f;
    float m_w = 0.0f;
    float m_p = 0.0f;
    float m_a = 0.0f;
    float m_p2 = 0.0f;
    std::unique_ptr<float[]> m_values;
    std::unique_ptr<float[]> m_positions;
    // S and S' at each table point as the first Newton step computes them,
    // so that step needs no exponentials of its own.
    std::unique_ptr<double[]> m_startS;
    std::unique_ptr<double[]> m_startSlope;
    // Where the batch conversion starts looking for a value's bin (see
    // core/TransBatch.h).
    std::unique_ptr<uint16_t[]> m_binStart;
    lm::logicle::Bins m_bins{};
    int32_t m_n = kTablePoints;
};

// Reads a whole transform record (kind first) and returns the transform.
// Throws CArchiveException for an unknown kind or a bad record.
std::unique_ptr<CTRANS> LoadTrans(CArchive& ar);
