#include "database/DbGridState.h"

#include <algorithm>

#include "base/Archive.h"
#include "database/DatabaseIds.h"

bool IsLayoutFieldId(int32_t id) {
    switch (id) {
        case kDbId: case kDbRemark: case kDbName: case kDbSex: case kDbAge: case kDbBed: case kDbDiagnosis:
        case kDbDepartment: case kDbSample: case kDbState: case kDbReceiveDate: case kDbTestDate:
            return true;
        default:
            return false;
    }
}

int32_t CDbGridState::Cell(int32_t row, int32_t col) const {
    if (row < 0 || col < 0 || row >= rows || col >= cols) return 0;
    return cells[size_t(row) * size_t(cols) + size_t(col)];
}

void CDbGridState::SetCell(int32_t row, int32_t col, int32_t id) {
    if (row < 0 || col < 0 || row >= rows || col >= cols) return;
    cells[size_t(row) * size_t(cols) + size_t(col)] = IsLayoutFieldId(id) ? id : 0;
}

void CDbGridState::Resize(int32_t newRows, int32_t newCols) {
    newRows = std::clamp(newRows, 1, kLayoutMaxSide);
    newCols = std::clamp(newCols, 1, kLayoutMaxSide);
    std::vector<int32_t> next(size_t(newRows) * size_t(newCols), 0);
    for (int32_t r = 0; r < std::min(rows, newRows); ++r)
        for (int32_t c = 0; c < std::min(cols, newCols); ++c) next[size_t(r) * size_t(newCols) + size_t(c)] = Cell(r, c);
    rows = newRows;
    cols = newCols;
    cells = std::move(next);
}

CDbGridState CDbGridState::MergedInto(const CDbGridState& onDisk, DbGridPart part) const {
    CDbGridState merged = part == DbGridPart::Layout ? *this : onDisk;
    merged.counter = std::max(counter, onDisk.counter);
    return merged;
}

std::vector<uint8_t> CDbGridState::Write() const {
    CArchive ar;
    ar.WriteInt32(rows);
    ar.WriteInt32(cols);
    ar.WriteRect(rect);
    ar.WriteInt32(int32_t(borders.size()));
    for (int32_t b : borders) ar.WriteInt32(b);
    for (int32_t id : cells) ar.WriteInt32(id);
    ar.WriteInt32(counter);
    return ar.Bytes();
}

bool CDbGridState::Read(const std::vector<uint8_t>& bytes, std::string* error) {
    CDbGridState s;
    try {
        CArchive ar(bytes);
        s.rows = ar.ReadInt32();
        s.cols = ar.ReadInt32();
        if (s.rows < 1 || s.rows > kLayoutMaxSide || s.cols < 1 || s.cols > kLayoutMaxSide)
            throw CArchiveException("layout of " + std::to_string(s.rows) + " x " + std::to_string(s.cols) +
                                    " outside 1..100");
        s.rect = ar.ReadRect();
        const int32_t n = ar.ReadInt32();
        if (n < 0 || n >= kLayoutMaxSide) throw CArchiveException(std::to_string(n) + " column borders");
        ar.Require(size_t(n) * 4);
        for (int32_t i = 0; i < n; ++i) {
            const int32_t b = ar.ReadInt32();
            if (!s.borders.empty() && b <= s.borders.back())
                throw CArchiveException("column border " + std::to_string(b) + " not after " +
                                        std::to_string(s.borders.back()));
            s.borders.push_back(b);
        }
        const size_t count = size_t(s.rows) * size_t(s.cols);
        ar.Require(count * 4 + 4);
        s.cells.assign(count, 0);
        for (int32_t& id : s.cells) {
            id = ar.ReadInt32();
            if (!IsLayoutFieldId(id)) id = 0;
        }
        s.counter = ar.ReadInt32();
        if (s.counter < 0) s.counter = 0;
        if (ar.Remaining() != 0) throw CArchiveException(std::to_string(ar.Remaining()) + " bytes left over");
    } catch (const std::exception& e) {
        if (error) *error = e.what();
        return false;
    }
    *this = std::move(s);
    return true;
}
