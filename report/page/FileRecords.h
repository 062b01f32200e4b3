#pragma once
// The records of the ".fld" document that hold the analysis of the data
// shells: the head of the document (magic, version, pilot point, page set-up),
// one record per data shell (CFileFCSShell) with its parameters, FCS path,
// compensation matrix, transforms, gates (CFileGateNode) with their regions
// (CFileRgn), palette and id pools.
//
// Everything here works on the analysis core alone (no Qt), so the reader can
// be exercised on its own, fuzzing included. The document (CLumitraDoc) adds
// the page objects.
//
// Reading trusts nothing: every count is checked against the bytes left and
// every index against what exists before anything is reserved or looked up.
// A record that cannot be right throws CFldFormatError; whatever was built
// for it is freed on the way out.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/Archive.h"
#include "base/Geometry.h"
#include "core/DataShell.h"

class CDataRgn;
class CDataSet;
class CGateNode;

// What the user is told about a file that is not a ".fld" document.
inline constexpr char kInvalidFldMessage[] = "Invalid FLD file";
inline constexpr char kFldMagic[] = "FLD";
inline constexpr char kFldVersion[] = "0";

// Fixed words of the records.
enum FldRecordWord : int32_t {
    kFldMarker = 1,          // "more follows" in front of the page set-up, the shells, the objects
    kFldEndMarker = 0,       // a marker read as 0 ends reading there
    kFldTrailer = 0,         // last word of the document
    kFldNoLinkGrid = -1,     // no database-link grid
    kGateRecordVersion = 2,  // first word of a gate record
    kPaletteCountWord = 2,   // word in front of a shell's palette entries
};

// A file whose content cannot be a ".fld" document: wrong magic, counts or
// indices that name nothing, values no record can hold.
class CFldFormatError : public CArchiveException {
public:
    using CArchiveException::CArchiveException;
};

// Something this version cannot read or write yet (a page-object kind whose
// class is not built); the message says what.
class CFldUnsupported : public CArchiveException {
public:
    using CArchiveException::CArchiveException;
};

// ----------------------------------------------------------------- head

// Items 1-12 of the document record: everything in front of the data shells.
struct FldDocumentHead {
    CPoint pilot{5, 5};
    int32_t headerOnly = 0;      // a writer that sets it ends the file after it
    bool hasPageSetup = false;   // the first marker was not 0
    int32_t pagesAcross = 1;
    int32_t pagesDown = 2;
    int32_t pageWidth = 1024;
    int32_t pageHeight = 1414;
    int32_t pageSetting1 = 200;
    int32_t pageSetting2 = 200;
    int32_t reserved[3] = {0, 0, 0};
    bool hasShells = false;      // the second marker was not 0
    int32_t shellCount = 0;      // checked against the bytes left
    int32_t templateFlag = 0;    // the shells are stored by name only
};

// Writes items 1-12 (only 1-4 when headerOnly is set).
void StoreFldHead(CArchive& ar, const FldDocumentHead& head);
// Reads items 1-12, stopping after a marker read as 0. Anything but the magic
// "FLD" first throws CFldFormatError(kInvalidFldMessage).
void LoadFldHead(CArchive& ar, FldDocumentHead* head);

// Smallest possible data-shell record (template form, nothing in it but the
// root gate): the lower bound of the shell count check.
constexpr size_t kMinShellRecordBytes = 1 + 4 + 4 + 1 + 4 + 4 + 4 + 4 + 4 + 4 + 4;
// Smallest gate record: version, empty name, operator, region flag, input
// count, colour, id.
constexpr size_t kMinGateRecordBytes = 4 + 1 + 4 + 4 + 4 + 4 + 4;

// ----------------------------------------------------------- data shells

// A data shell rebuilt from a record whose FCS file was not found (or a
// template's): it has the stored parameters, transforms, compensation and
// gates but no events, and keeps the stored FCS path, data-set index and data
// type so that saving the report again does not lose where its data lives.
class CStoredDataShell : public VexaDataShell {
public:
    // Shares dataSet (a data set without events holding the stored
    // parameters).
    CStoredDataShell(CDataSet* dataSet, const std::string& name, const std::string& storedPath,
                     int32_t storedIndex, int32_t storedDataType);
    int32_t GetStoredDataType() const { return m_storedDataType; }

private:
    int32_t m_storedDataType;
};

// Where a shell's FCS file was found.
enum FcsFoundAt : int32_t {
    kFcsNotFound = -1,        // rebuilt without events
    kFcsAtStoredPath = 0,     // the path in the record
    kFcsInSampleFolder = 1,   // sample folder + file name (no folder: the current folder)
    kFcsNextToDocument = 2,   // the folder of the ".fld" + file name
};

// The record of one data shell. The document makes one per shell for writing
// and one per record for reading; the shell read passes to the document.
class CFileFCSShell {
public:
    // For writing: shell and the sample folder of its document.
    CFileFCSShell(VexaDataShell* shell, std::string folder);
    // For reading.
    CFileFCSShell();
    ~CFileFCSShell();
    CFileFCSShell(const CFileFCSShell&) = delete;
    CFileFCSShell& operator=(const CFileFCSShell&) = delete;

    // Writes the record: by name only when templateFlag is set. Throws
    // CArchiveException for a shell whose gates cannot be written in order.
    void Store(CArchive& ar, bool templateFlag) const;
    // Reads a record and builds its shell: on the FCS file when it is found
    // and still has the stored parameter count, else without events.
    void Load(CArchive& ar, bool templateFlag);

    // Where to look for the FCS file after the stored path and the sample
    // folder: the folder of the ".fld" being read ("" for none).
    void SetDocumentFolder(std::string folder) { m_documentFolder = std::move(folder); }

    // The shell read (null before Load or after it was taken).
    VexaDataShell* GetShell() const { return m_shell; }
    std::unique_ptr<VexaDataShell> TakeShell();
    const std::string& GetFolder() const { return m_folder; }
    // Palette entries of the record, in gate order; the document copies them
    // into the gate palette once the whole file has been read.
    const std::vector<COLORREF>& GetPalette() const { return m_palette; }
    // Which place the FCS file was found at (FcsFoundAt).
    int32_t GetFoundAt() const { return m_foundAt; }
    // Why an FCS file that was found could not be loaded (not enough memory),
    // so the shell was rebuilt without events; empty otherwise.
    const std::string& GetProblem() const { return m_problem; }
    // What the user must be told of the FCS file that was loaded (cut
    // short, parameters not decoded: DataSetReadWarning); empty otherwise.
    const std::string& GetWarning() const { return m_warning; }

    // Fuzzing and tests of hostile files switch the look-up of FCS files off:
    // every shell is then rebuilt without events.
    static void SetFileLookup(bool on);
    static bool GetFileLookup();

private:
    VexaDataShell* m_shell = nullptr;          // the shell written, or read
    std::unique_ptr<VexaDataShell> m_owned;    // the shell read, until taken
    std::string m_folder;
    std::string m_documentFolder;
    std::vector<COLORREF> m_palette;
    int32_t m_foundAt = kFcsNotFound;
    std::string m_problem;
    std::string m_warning;
};

// ------------------------------------------------------------------ gates

// The record of one gate (a quadrant's part 0 with the colours of its other
// three parts).
class CFileGateNode {
public:
    explicit CFileGateNode(VexaDataShell* shell);
    ~CFileGateNode();
    CFileGateNode(const CFileGateNode&) = delete;
    CFileGateNode& operator=(const CFileGateNode&) = delete;

    // Writes the gate at index (not a quadrant part 1-3). Throws
    // CArchiveException for a gate whose inputs or quadrant parts the record
    // cannot name.
    void Store(CArchive& ar, int32_t index) const;
    // Reads the record of the gate that will stand at index and builds the
    // node on the shell's gates below index (not yet added to the shell).
    // gateCount is the stored count: a quadrant must fit its four parts in it.
    void Load(CArchive& ar, int32_t index, int32_t gateCount);
    // The node read; a quadrant's three part colours follow with it.
    std::unique_ptr<CGateNode> TakeNode();
    const std::vector<COLORREF>& GetPartColors() const { return m_partColors; }

private:
    VexaDataShell* m_shell;
    std::unique_ptr<CGateNode> m_node;
    std::vector<COLORREF> m_partColors;
};

// --------------------------------------------------------------- regions

// The record of one region. The name is not stored: the gate gives it.
class CFileRgn {
public:
    // For writing.
    explicit CFileRgn(const CDataRgn* region);
    // For reading.
    CFileRgn();
    ~CFileRgn();
    CFileRgn(const CFileRgn&) = delete;
    CFileRgn& operator=(const CFileRgn&) = delete;

    void Store(CArchive& ar) const;
    // Reads a region whose parameters must lie below paramCount. A cross
    // (types 4 and 5) is stored with its header only and comes back centred
    // at (0.5, 0.5).
    void Load(CArchive& ar, int32_t paramCount);
    std::unique_ptr<CDataRgn> TakeRegion();

    // Centre given to a cross read back.
    static constexpr float kCrossCentre = 0.5f;
    // The unused shape code that, like 5, stands for a cross.
    static constexpr int32_t kRgnCrossAlias = 4;

private:
    const CDataRgn* m_region = nullptr;
    std::unique_ptr<CDataRgn> m_read;
};
