#pragma once
// One data set of an FCS file: keyword tables, parameters, event matrix and
// the reader's error codes. Data sets are shared by their VexaDataSetUser
// objects and delete themselves when the last user leaves.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/EventMatrix.h"
#include "core/FcsText.h"

class VexaDataSetUser;

class CParam {
public:
    std::string shortName;  bool hasShortName = false;  // $PnS
    std::string name;       bool hasName = false;       // $PnN
    std::string filter;     bool hasFilter = false;     // $PnF
    int32_t bits = 0;       bool hasBits = false;       // $PnB
    float range = 0.0f;     bool hasRange = false;      // $PnR (0 counts as absent)
    int32_t wavelength = 0; bool hasWavelength = false; // $PnL
    double gain = 0.0;      bool hasGain = false;       // $PnG
    double voltage = 0.0;   bool hasVoltage = false;    // $PnV
    double decades = 0.0;   bool hasDecades = false;    // $PnE first number
    double offset = 0.0;                                // $PnE second number

    // Log-amplified: $PnE present with non-zero decades.
    bool IsLogScale() const { return hasDecades && decades != 0.0; }
};

class CParamSet {
public:
    CParamSet() = default;
    CParamSet(const CParamSet& o);
    CParamSet& operator=(const CParamSet& o);

    // Fills the set from a keyword table. maxParams bounds "$PAR" (a larger
    // value is refused with error 13 rather than allocated).
    void Build(const CKeywordTable& table, int64_t maxParams);

    int32_t GetParamCount() const { return int32_t(params.size()); }
    CParam* GetParam(int32_t i) const;
    CSpillMatrix* GetSpillMatrix() const { return spill.get(); }

    std::vector<std::unique_ptr<CParam>> params;
    int32_t totalEvents = 0;   // "$TOT"
    int64_t bytesPerEvent = 0; // sum of $PnB / 8 (64-bit: widths come from the file)
    bool applyCompensation = false;
    std::vector<int32_t> byteOrder;
    std::unique_ptr<CSpillMatrix> spill;
    // Why the file's spillover keyword could not be used; empty when it was
    // used or when there is none.
    std::string spillProblem;
    std::vector<int32_t> errors;

private:
    void ReadSpill(const CKeywordTable& table);
};

class CDataSet {
public:
    // Loads data set `index` of the file at path.
    CDataSet(const std::string& path, int32_t index);
    // Empty data set without a file (a stored analysis whose FCS file is gone).
    CDataSet();
    ~CDataSet();
    CDataSet(const CDataSet&) = delete;
    CDataSet& operator=(const CDataSet&) = delete;

    void Load(const std::string& path, int32_t index);
    // Load from bytes in memory (tests, fuzzing); path is only recorded.
    void LoadFrom(const lm::MappedFile& file, const std::string& path, int32_t index);

    // A parameter as a stored analysis gives it (no name, no width); a range
    // of 0 or less counts as absent.
    void AddParam(float range, double decades, double offset);
    int32_t GetEventCount() const;
    int32_t GetParamCount() const { return params ? params->GetParamCount() : 0; }
    CParam* GetParam(int32_t i) const { return params ? params->GetParam(i) : nullptr; }
    CParamSet* GetParamSet() const { return params.get(); }
    CEventMatrix* GetEventMatrix() const { return matrix.get(); }
    const CKeywordTable* GetKeywordTable() const { return primary.get(); }
    const CKeywordTable* GetSupplementalTable() const { return supplemental.get(); }
    std::string GetKeywordValue(std::string_view kw) const;
    // Keyword bytes as every panel, message and export shows them: UTF-8 as
    // it is, else code page 936 (older Chinese systems wrote their values so).
    // GetKeywordValue stays the bytes for parsing and matching.
    static std::string ShownText(std::string_view bytes);
    std::string GetKeywordText(std::string_view kw) const { return ShownText(GetKeywordValue(kw)); }
    // The $PnN of parameter i as shown ("" when it has none).
    std::string GetParamNameText(int32_t i) const;

    std::string GetFileName() const;  // after the last '\' or '/'
    std::string GetFileDir() const;   // up to and including it, or ""
    const std::string& GetPathName() const { return path; }
    // The file was copied elsewhere (a report's sample folder): the copy is
    // what the document names from now on.
    void SetPathName(const std::string& p) { path = p; }
    int32_t GetIndex() const { return index; }
    // The HEADER of the data set as the file gives it (before any offset is
    // clamped to the file); not valid when none was read.
    const FcsHeader& GetHeader() const { return header; }
    int32_t GetDataType() const { return dataType; }

    // Compensates the current columns; false when refused (singular matrix,
    // bad indices) or when there is nothing to compensate.
    bool Compensate(const CSpillMatrix* m);

    void AddUser(VexaDataSetUser* user);
    // Drops a user; deletes this data set when it was the last one. The data
    // set must have been created with new.
    void RemoveUser(VexaDataSetUser* user, bool notify);
    const std::vector<VexaDataSetUser*>& GetUsers() const { return users; }

    std::vector<int32_t> errors;

private:
    std::unique_ptr<CKeywordTable> primary;
    std::unique_ptr<CKeywordTable> supplemental;
    std::unique_ptr<CParamSet> params;
    std::unique_ptr<CEventMatrix> matrix;
    int32_t index = 0;
    std::string path;
    int32_t dataType = 0;
    FcsHeader header;
    std::vector<VexaDataSetUser*> users;
};

// Why a data set read from a file cannot be shown although its HEADER is
// valid (TEXT that gives no keywords, no parameters, a $TOT that is no
// count), in a few words naming the values for a message about the file;
// empty when it can be shown. A data set made without a file has none.
std::string UnreadableDataSetProblem(const CDataSet& ds);

// What the user must be told about a data set that opens but is not all its
// file describes: events cut short, parameters that could not be decoded, a
// spillover matrix that cannot be used. Whole sentences naming the file;
// empty when there is nothing to say. Every way a file is read shows it.
std::string DataSetReadWarning(const CDataSet& ds);
