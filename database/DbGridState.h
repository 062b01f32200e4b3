#pragma once
// The database panel's state file "dbgrid": the report layout (rows x
// columns of field ids), the linked grid's page rectangle and column borders,
// and the automatic-ID counter. Every int is 32-bit little-endian:
//   rows, columns, rectangle (left, top, right, bottom), n, n borders,
//   rows x columns field ids row by row, counter.
// Reading checks everything: counts 1..100, borders strictly ascending,
// unknown field ids read as 0 (empty), nothing missing and nothing left
// over. A bad file never half-loads: the defaults stand.
//
// Several programs may share the file: each change writes only its own part
// over what the file holds at that moment (MergedInto).
#include <cstdint>
#include <string>
#include <vector>

#include "base/Geometry.h"

constexpr int32_t kLayoutMaxSide = 100;

// The part of the state one change writes.
enum class DbGridPart {
    Layout,   // counts, cells, the linked grid's rectangle and borders
    Counter,  // the automatic-ID counter
};

struct CDbGridState {
    int32_t rows = 1;
    int32_t cols = 2;
    CRect rect{0, 0, 0, 0};
    std::vector<int32_t> borders;
    std::vector<int32_t> cells = std::vector<int32_t>(2, 0);  // rows x cols, row by row
    int32_t counter = 0;

    int32_t Cell(int32_t row, int32_t col) const;
    void SetCell(int32_t row, int32_t col, int32_t id);
    // New counts (clamped to 1..100); cells still inside keep their field.
    void Resize(int32_t newRows, int32_t newCols);

    // onDisk with this state's part laid over it. The counter only ever goes
    // up: two programs handing out IDs must not step back to one handed out.
    CDbGridState MergedInto(const CDbGridState& onDisk, DbGridPart part) const;

    std::vector<uint8_t> Write() const;
    // False with *error, *this unchanged, when bytes are not a whole state.
    bool Read(const std::vector<uint8_t>& bytes, std::string* error);
};

// True for the ids a layout cell can hold (the entry fields with a label).
bool IsLayoutFieldId(int32_t id);
