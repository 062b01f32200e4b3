#pragma once
// Event values of one data set as float columns (raw, current, linear) and
// spillover compensation.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/MappedFile.h"

class CParamSet;

// Square spillover matrix over a list of parameter indices. Value (i, j) is
// the fraction of parameter indices[i]'s signal measured in indices[j].
class CSpillMatrix {
public:
    CSpillMatrix() = default;
    explicit CSpillMatrix(int32_t n);  // n x n zeros, indices 0..n-1
    CSpillMatrix(const CSpillMatrix&) = default;
    CSpillMatrix& operator=(const CSpillMatrix&) = default;

    // Address of value (i, j); null (and "value out of order" on stdout) when
    // i or j is outside 0..n-1.
    float* Element(int32_t i, int32_t j);
    const float* Element(int32_t i, int32_t j) const;
    // 1.0 on the diagonal; other values unchanged.
    void SetIdentity();
    // Copies n indices from the array.
    void SetIndices(const int32_t* idx);
    void Free();

    // Inverse by Gauss-Jordan elimination with partial pivoting. Writes "BOp"
    // for each zero pivot; returns false (and leaves *out alone) when the
    // matrix is singular or the result is not finite.
    bool Invert(CSpillMatrix* out) const;

    std::vector<float> values;  // n x n, row-major
    int32_t n = 0;
    std::vector<int32_t> indices;
};

// How compensation sums are computed. Every path gives the same bits; the
// choice exists so that tests can hold the fast ones against the plain rule.
enum class CompensationPath : int {
    Best = 0,      // the fastest this processor runs
    Plain = 1,     // one product and one sum at a time
    Portable = 2,  // two events to a vector (any x86-64)
};

class CEventMatrix {
public:
    // Empty matrix: no parameters, no events.
    CEventMatrix();
    // Decodes the inclusive DATA segment [dataBegin, dataEnd] of file.
    CEventMatrix(const lm::MappedFile& file, int64_t dataBegin, int64_t dataEnd, CParamSet* params,
                 int32_t dataType);
    ~CEventMatrix();
    CEventMatrix(const CEventMatrix&) = delete;
    CEventMatrix& operator=(const CEventMatrix&) = delete;

    int32_t GetEventCount() const { return m_eventCount; }
    int32_t GetParamCount() const { return m_paramCount; }
    int32_t GetDataType() const { return m_dataType; }

    // Current column i (what every reader uses), null when i is out of range.
    float* GetColumn(int32_t i) const;
    const float* GetRawColumn(int32_t i) const;
    // False for a parameter that could not be decoded: its column is a
    // zero column shared with the others like it.
    bool HasValues(int32_t i) const;
    // Why parameter i could not be decoded ("$P3B 128: ..."); empty when it
    // was, or when i is out of range.
    const std::string& UndecodableWhy(int32_t i) const;
    // Parameters that could not be decoded, whether or not there were events.
    int32_t UndecodableCount() const;
    // Table of current column pointers (GetParamCount() entries).
    float* const* CurrentColumns() const { return currentColumns.data(); }

    void ResetCurrentColumns();
    void FreeLinearColumns();
    void SeparateCurrentColumns();
    // Recomputes the current columns from the raw ones with matrix m. Returns
    // false and keeps the current values when m is singular or names
    // parameters the matrix does not have. The matrix the current columns
    // already follow (same values, same parameters) changes nothing, not
    // even the generations.
    bool ApplyCompensation(const CSpillMatrix& m);

    // Changes whenever the current columns change (compensation or reset), so
    // caches derived from them can tell they are stale. Unique across all
    // matrices: a new matrix at a freed one's address never matches its values.
    uint64_t GetGeneration() const { return m_generation; }
    // The same for one column: a compensation changes only the columns of its
    // matrix (and of the one before), so caches of the others stay valid.
    uint64_t GetColumnGeneration(int32_t i) const {
        return i >= 0 && size_t(i) < m_columnGeneration.size() ? m_columnGeneration[size_t(i)] : 0;
    }

    // Event blocks larger than bytes fail with std::bad_alloc, as when the
    // memory is not there; 0 (the default) sets no limit. Lets tests reach
    // what a file too large for the machine does.
    static void SetBlockLimit(size_t bytes);
    // Path of the compensation sums for every matrix from now on (tests).
    static void SetCompensationPath(CompensationPath path);
    // True when Best uses 4-event (AVX2) vectors on this processor.
    static bool HasWideCompensation();

    std::vector<float*> currentColumns;
    std::vector<float*> rawColumns;
    std::vector<float*> linearColumns;
    std::vector<int32_t> errors;

private:
    struct Block;  // aligned float storage
    void Decode(const lm::MappedFile& file, int64_t dataBegin, int64_t dataEnd);
    // A zero-filled block; the pages of its first touchColumns columns are
    // faulted in at once, on all cores (for columns about to be written).
    float* AllocBlock(std::unique_ptr<Block>& b, int32_t columns = -1, int32_t touchColumns = 0);
    void AllocColumns(const std::vector<bool>& decoded);
    bool LogParam(int32_t u, double* r, double* d);

    CParamSet* m_params = nullptr;
    int32_t m_dataType = 0;
    int32_t m_eventCount = 0;
    int32_t m_paramCount = 0;
    std::unique_ptr<Block> m_raw, m_current, m_linear;
    int32_t m_storedColumns = 0;     // decoded columns, the first ones of the raw block
    float* m_zeroColumn = nullptr;   // shared by every parameter that was not decoded
    static uint64_t NextGeneration();
    uint64_t m_generation = NextGeneration();
    std::vector<uint64_t> m_columnGeneration;
    std::vector<std::string> m_undecodable;  // per parameter: why it was not decoded
    std::vector<int32_t> m_compensated;  // columns the last compensation changed
    struct Applied;
    std::unique_ptr<Applied> m_applied;  // what the current columns were computed with
    void TouchColumns(const std::vector<int32_t>& cols);
    void TouchAllColumns();
};
