#pragma once
// The Info Assistant's phrase lists and the file that keeps them,
// "Database/RLTSTRLIST" in the program folder, in the Windows program's
// archive layout so the same file serves both:
//   32-bit count N, N x (string phrase, 32-bit COLORREF)   -- Para table
//   32-bit count E, E x (string name, 32-bit count P, P x string)  -- Dict
// Reading is all or nothing: every count and length is checked against the
// bytes left, and a file that does not read to its last byte leaves the
// lists as they were. No Qt here, so the fuzz target can read files alone.
#include <cstdint>
#include <string>
#include <vector>

#include "base/Geometry.h"

class CArchive;

struct RltDictEntry {
    std::string name;
    std::vector<std::string> phrases;
    bool operator==(const RltDictEntry&) const = default;
};

struct RltStrList {
    // Para table phrases (menu order) and their colours, kept parallel.
    std::vector<std::string> strings;
    std::vector<COLORREF> colors;
    // Dictionary entries in list order.
    std::vector<RltDictEntry> entries;
    bool operator==(const RltStrList&) const = default;
};

// Writes both sections. A missing colour is written white, so the file
// always holds one colour after each phrase.
void StoreRltStrList(CArchive& ar, const RltStrList& lists);
// Reads both sections into *out only when the whole archive reads cleanly
// (no byte left over); throws CArchiveException and leaves *out alone
// otherwise.
void LoadRltStrList(CArchive& ar, RltStrList* out);

enum class RltLoadStatus {
    missing,  // no file: both lists empty, nothing to say
    loaded,
    damaged,  // *error says what; the file was moved to RLTSTRLIST.bad
};

// Programs sharing one program folder share the file: each merges its
// changes into what the file holds now. base is what this program last read
// or wrote, ours what it holds now, theirs what the file holds now. What one
// side changed since base is kept: names and phrases added by either are
// there, those deleted by either are gone; where both changed one phrase
// list, ours is applied to theirs (its deletions taken out, its additions
// appended). A Para table phrase is never listed twice.
RltStrList MergeRltStrLists(const RltStrList& base, const RltStrList& ours, const RltStrList& theirs);

// "<folder>/Database/RLTSTRLIST".
std::string RltStrListPath(const std::string& programFolder);
// The file is read whole. A damaged one is renamed to "RLTSTRLIST.bad"
// before anything can be saved over it, and *out keeps what it held.
RltLoadStatus LoadRltStrListFile(const std::string& programFolder, RltStrList* out, std::string* error);
// Creates "Database" when missing and writes through a temporary file, so a
// failed save leaves the old file whole. false with *error on failure.
bool SaveRltStrListFile(const std::string& programFolder, const RltStrList& lists, std::string* error);
// The lists the file holds now; false when it is missing or cannot be read
// (nothing to merge with: the caller's lists are written as they are).
bool ReadRltStrListFile(const std::string& programFolder, RltStrList* out);
