#pragma once
// The report document: the page objects in drawing order, the page grid, the
// open FCS data shells, the active object and the multi-selection, and the
// two dirty lists (rectangles and objects) that every edit fills and one
// redraw empties. It places new objects in reading order, adding page rows
// as needed, and is stored as a ".fld" file.
#include <QObject>
#include <QString>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/AtomicFile.h"
#include "base/Geometry.h"

class CArchive;
class CCell;
class CDataSet;
class QWidget;
class CLumitraView;
class CRegionClip;
class CTrkObj;
class QPainter;
class VexaDataShell;

// One page of the canvas, in page units.
constexpr int32_t kPageWidth = 1024;
constexpr int32_t kPageHeight = 1414;
// Gap between objects placed one after another.
constexpr int32_t kPilotGap = 5;
constexpr int32_t kRowGap = 3;
// Pages the canvas may grow to; more is never a real report.
constexpr int32_t kMaxPagesAcross = 20;
constexpr int32_t kMaxPagesDown = 200;

// How the (never enabled) automatic arrangement groups objects.
enum ArrangeMode : int32_t { kArrangeByData = 0, kArrangeByItem = 1 };

class CLumitraDoc : public QObject {
    Q_OBJECT

public:
    CLumitraDoc();
    ~CLumitraDoc() override;
    CLumitraDoc(const CLumitraDoc&) = delete;
    CLumitraDoc& operator=(const CLumitraDoc&) = delete;

    // ---------------------------------------------------------- document file
    const QString& GetPathName() const { return m_pathName; }
    // Also makes the title the file's name.
    void SetPathName(const QString& path);
    const QString& GetTitle() const { return m_title; }
    void SetTitle(const QString& title);
    bool IsModified() const { return m_modified; }
    void SetModifiedFlag(bool modified = true);

    // A fresh document: nothing to do beyond construction.
    bool OnNewDocument();
    // Reads path through Serialize. On failure *error says why ("Invalid
    // FLD file" for anything that is not a report) and the document holds
    // what it held before reading began; its path is not taken.
    bool OnOpenDocument(const QString& path, QString* error);
    // Writes through Serialize into a temporary file renamed over path.
    // Text the file's code page cannot hold is named to the user first
    // (object and characters); when the user cancels, nothing is written and
    // the result is false with an empty *error.
    bool OnSaveDocument(const QString& path, QString* error);
    // "Save As Template...": the document written with its data sets stored
    // by name only, to a file the user chooses. The document's own path,
    // title and modified flag stay as they were. False when cancelled or
    // failed (after a message).
    bool OnSaveAsTemplate();
    // Writes the template to path (asking only about characters the file
    // cannot hold, as a save does); false with *error on failure.
    bool SaveTemplateTo(const QString& path, QString* error);
    // The document was read from a template (a file "Save As Template..."
    // wrote): it becomes a new report, so a plain Save asks for its name and
    // the template is never replaced by a report of someone's data.
    bool IsFromTemplate() const { return m_fromTemplate; }
    // True for a report file whose head says a template wrote it.
    static bool IsTemplateFile(const QString& path);
    // True when the file at the document's path is no longer the one this
    // program read or last wrote there: another program saved over it, or
    // replaced it. A file that is gone, or that holds the same bytes, has
    // lost nothing and does not count.
    bool FileChangedOnDisk() const;
    // ------------------------------------------------------- picture export
    // The page area (x, y, width, height) at one pixel a page unit, written
    // as a JPG file; the file's extension, in any case, must be ".jpg" or
    // ".jpeg". False with *error saying why when the area is empty or too
    // large, the extension is another, or the file cannot be written; a
    // file already at path is then left as it was.
    bool SaveAreaAsJpg(int32_t x, int32_t y, int32_t width, int32_t height, const QString& path,
                       QString* error) const;
    // White over area, then the objects meeting it as paper shows them (no
    // frames or borders), the active one last; p is mapped in page units.
    void DrawObjectsInRect(const CRect& area, QPainter* p) const;
    // Every page of the canvas written to path as a PDF, through the same
    // page drawing as printing. The file is written beside path and renamed
    // over it only when complete: on failure (false with *error) an old
    // file at path is left as it was.
    bool ExportPdf(const QString& path, QString* error) const;

    // The ".fld" record of the whole document, both directions. Reading
    // throws CArchiveException on malformed input, after taking back
    // everything it added; the gate palette is only changed by a whole read.
    virtual void Serialize(CArchive& ar);

    // Makes the page object of a stored kind for the file reader (its Load
    // follows). Kinds without a loader are refused when read and when saved.
    using PageObjectLoader = std::unique_ptr<CTrkObj> (*)(CLumitraDoc* doc);
    static void SetPageObjectLoader(int32_t kind, PageObjectLoader loader);
    static PageObjectLoader GetPageObjectLoader(int32_t kind);

    // Views showing this document (registered by the views themselves).
    void AddView(CLumitraView* view);
    void RemoveView(CLumitraView* view);
    const std::vector<CLumitraView*>& GetViews() const { return m_views; }
    // Every view (but sender) re-reads the canvas size and repaints.
    void UpdateAllViews(CLumitraView* sender = nullptr);

    // ---------------------------------------------------------- page objects
    // Appends obj (taking it) where it is, grows the pages to hold it and
    // moves the pilot point to its right. Returns the object.
    CTrkObj* AddObject(std::unique_ptr<CTrkObj> obj);
    // Takes obj off the page and frees it. Every pointer the document keeps
    // to it (active object, multi-selection, dirty objects, database-link
    // grid) is dropped first; the views and panels are told.
    void RemoveObject(CTrkObj* obj, bool redraw);
    // Puts obj in old's place in the drawing order and frees old, which is
    // dropped as by RemoveObject. Returns obj (null, with nothing changed,
    // when old is not on this page).
    CTrkObj* ReplaceObject(CTrkObj* old, std::unique_ptr<CTrkObj> obj);
    // Creation steps shared by every new object: add, place it where it
    // covers nothing (FitObjectInPages; not with keepPlace, a rectangle the
    // user drew or dragged), re-arrange when the arranged flag is set, make
    // it active, redraw.
    CTrkObj* InsertNewObject(std::unique_ptr<CTrkObj> obj, bool allowArrange = true, bool keepPlace = false);
    // A plot of the default size at (x, y) on the shell's first gate with the
    // default axes (without a shell: an empty plot), made active.
    CTrkObj* CreatePlot(int32_t x, int32_t y, VexaDataShell* shell);
    CTrkObj* CreatePlotAtPilot(VexaDataShell* shell);
    // Plots marked dirty recompute their layers, without repainting.
    void RecalcAllPlots();

    const std::vector<std::unique_ptr<CTrkObj>>& GetObjects() const { return m_objects; }
    int32_t GetObjectCount() const { return int32_t(m_objects.size()); }
    CTrkObj* GetObjectAt(int32_t index) const;
    // Index in the drawing order, or -1 when the object is not on this page.
    int32_t GetObjectIndex(const CTrkObj* obj) const;

    CTrkObj* GetActiveObject() const { return m_activeObject; }
    void SetActiveObject(CTrkObj* obj);
    void SelectObject(CTrkObj* obj, int32_t unused = 0) { (void)unused; SetActiveObject(obj); }
    const std::vector<CTrkObj*>& GetSelection() const { return m_selection; }
    bool IsInSelection(const CTrkObj* obj) const;
    void AddToSelection(CTrkObj* obj);
    void ToggleSelection(CTrkObj* obj);
    void ClearSelection();

    // ----------------------------------------------------- dirty bookkeeping
    // Appended unless an equal rectangle is listed.
    void AddDirtyRect(const CRect& rect);
    // Appended unless listed; its index in the dirty objects either way (-1
    // for null).
    int32_t InvalidateObject(CTrkObj* obj);
    const std::vector<CRect>& GetDirtyRects() const { return m_dirtyRects; }
    const std::vector<CTrkObj*>& GetDirtyObjects() const { return m_dirtyObjects; }
    // Every view repaints what the two lists name, then both are emptied.
    void RedrawDirty();
    // Every view repaints the active object and the trackers; the dirty
    // rectangles (only) are emptied. Used when a mouse drag ends.
    void RedrawActiveObject();

    // ------------------------------------------------------------ data shells
    // Opens data set `index` of an FCS file. The same data set already open
    // (same canonical path and index) is returned after "FCS Data already
    // open!"; a file that cannot be opened gives null without a message, and
    // GetOpenProblem says why.
    VexaDataShell* OpenDataFile(const std::string& path, int32_t index);
    // The same, the new shell taking the analysis of `other`.
    VexaDataShell* OpenDataFileAndNotify(const std::string& path, int32_t index, VexaDataShell* other);
    // What was wrong with the file the last open refused, in words for a
    // message ("" after an open that worked).
    const std::string& GetOpenProblem() const { return m_openProblem; }
    // Appends a shell made elsewhere. One that duplicates an open data set is
    // dropped after "FCS Data already open?" and the open one returned. Null
    // appends a new empty shell. (The file reader follows the same rule and
    // announces its shells once the whole file is in.)
    VexaDataShell* AttachDataShell(std::unique_ptr<VexaDataShell> shell);
    // Closes a shell and the plots and result table that show it.
    void RemoveDataShell(VexaDataShell* shell);
    void RemoveDataShellAt(int32_t index);

    void SetCurrentDataShell(VexaDataShell* shell);
    void SetCurrentDataShellAt(int32_t index);
    VexaDataShell* GetCurrentDataShell() const { return m_currentShell; }
    int32_t GetDataShellIndex(const VexaDataShell* shell) const;
    // While a file is read, index counts the file's data-set records.
    VexaDataShell* GetDataShellAt(int32_t index) const;
    int32_t GetDataShellCount() const { return int32_t(m_shells.size()); }
    // The open shell of that data set (canonical path and index), or null.
    VexaDataShell* FindDataShell(const std::string& path, int32_t index) const;
    // Page objects on this page that observe shell with the given user kind
    // (ShellUserKind), in the shell's observer order.
    std::vector<CTrkObj*> ObjectsOfShell(const VexaDataShell* shell, int32_t userKind) const;
    // True when a result table already shows the shell (a second one is refused).
    bool HasResultTable(const VexaDataShell* shell) const;
    void OnShellMessage(VexaDataShell* shell);
    // A data set changed from a dialog or a panel (axes, compensation,
    // name): its statistics are marked stale wherever shown (a compensation
    // moves the columns without a notice per gate) and every object showing
    // it is repainted now rather than at the next input.
    void ShowDataShellChange(VexaDataShell* shell);
    // The data set marked as the template in the File List: files dropped on
    // the page take its analysis and copies of its plots and result table
    // (with the File List's switches). Only a data set of this document is
    // taken; it is forgotten when it closes.
    void SetTemplateShell(VexaDataShell* shell);
    VexaDataShell* GetTemplateShell() const { return m_templateShell; }

    // -------------------------------------------------------------- placement
    // Flow placement of an object the view places: wraps at the canvas's
    // right edge below the row's lowest object, adds a page row at the bottom,
    // moves the pilot point. True when rect was moved to a new row.
    bool PlaceNewObject(CRect& rect, bool forceNewRow);
    // The one placement of a new object, whatever made it: one that covers
    // another object or leaves the canvas goes to the nearest free place
    // (FindFreePlace); the pages grow to hold it and every view scrolls to
    // show it. True when it was moved.
    bool FitObjectInPages(CTrkObj* obj);
    // Whether rect lies on the canvas (inside its width; it may pass the
    // last page) and meets no object but except.
    bool IsFreePlace(const CRect& rect, const CTrkObj* except = nullptr) const;
    // A new object just added: placed by FitObjectInPages (the pilot then
    // follows it), or kept where it is and shown.
    void PlaceNew(CTrkObj* obj, bool keepPlace);
    // A plot goes to the pilot point with the default plot size.
    void PlaceAtPilot(CTrkObj* obj);
    // The top-left corner nearest to wish at which an object of that size
    // covers no object on the page (a gap of kPilotGap kept to each). The
    // place stays inside the canvas width when the size fits in it, never
    // goes above or left of the canvas, and may lie below the last page:
    // adding the object there grows the page count.
    // Objects are kept apart by kPilotGap; except is not looked at (an
    // object looking for a better place for itself).
    CPoint FindFreePlace(CSize size, CPoint wish, const CTrkObj* except = nullptr) const;
    // Lays out plots and result tables in rows (only with the arranged flag).
    void AutoArrange();
    void SetAutoArrange(bool on);
    bool IsAutoArranged() const { return m_arranged; }
    int32_t GetArrangeMode() const { return m_arrangeMode; }
    void SetArrangeMode(int32_t mode) { m_arrangeMode = mode; }

    CSize GetCanvasSize() const;
    CSize GetPageSize() const { return CSize(m_pageWidth, m_pageHeight); }
    // Page column and row of a page point (0, 0 for a degenerate page size).
    CPoint PointToPage(int32_t x, int32_t y) const;
    int32_t GetPagesAcross() const { return m_pagesAcross; }
    int32_t GetPagesDown() const { return m_pagesDown; }
    // Clamped to 1..kMaxPagesAcross and 1..kMaxPagesDown; views updated.
    // The count chosen is the least the page shrinks back to.
    void SetPageCount(int32_t across, int32_t down);
    // Page rows added for objects that have gone are taken away again, down
    // to the count the user or the file chose.
    void ShrinkToObjects();

    CPoint GetPilot() const { return m_pilot; }
    void SetPilot(CPoint p) { m_pilot = p; }
    int32_t GetRowBottom() const { return m_rowBottom; }
    void SetRowBottom(int32_t y) { m_rowBottom = y; }

    bool GetSnap() const { return m_snap; }
    void SetSnap(bool on) { m_snap = on; }
    CSize GetSnapStep() const { return m_snapStep; }

    CTrkObj* GetDbLinkGrid() const { return m_dbLinkGrid; }
    void SetDbLinkGrid(CTrkObj* grid);
    CCell* GetDraggedCell() const { return m_draggedCell; }
    void SetDraggedCell(CCell* cell) { m_draggedCell = cell; }

    // The region a plot's "Copy Region" left for "Paste Region" (null when
    // none). Setting a new one frees the old.
    void SetCopiedItem(std::unique_ptr<CRegionClip> clip);
    CRegionClip* GetCopiedItem() const { return m_copyBuffer.get(); }

    std::vector<std::string>& KeywordColumns() { return m_keywordColumns; }
    // The folder of a filed report ('/' at the end; empty for any other
    // report): set by the database panel, and by opening or saving a report
    // that lies in a sample folder. Saving such a report copies its FCS files
    // into the folder and writes its PDF into "Database/PDFReport"; opening
    // one whose PDF is missing or out of date writes the PDF.
    const std::string& GetSampleFolder() const { return m_sampleFolder; }
    void SetSampleFolder(const std::string& folder) { m_sampleFolder = folder; }
    int32_t GetTemplateFlag() const { return m_templateFlag; }
    void SetTemplateFlag(int32_t f) { m_templateFlag = f; }
    int32_t GetHeaderOnlyFlag() const { return m_headerOnly; }

signals:
    void modifiedChanged(bool modified);
    void titleChanged(const QString& title);

private:
    void StoreFile(CArchive& ar);
    void LoadFile(CArchive& ar);
    void ReadFileBody(CArchive& ar, std::vector<std::vector<COLORREF>>* palettes,
                      std::vector<std::string>* keywords);
    // The File List's keyword columns from the document's last word and the
    // names behind it.
    static void ReadKeywordColumns(CArchive& ar, std::vector<std::string>* keywords);
    VexaDataShell* AppendShell(std::unique_ptr<VexaDataShell> shell);
    // The file's shell, taking the analysis of other when given.
    VexaDataShell* OpenFcsShell(const std::string& path, int32_t index, VexaDataShell* other);
    // Adds page rows until bottom fits (at most kMaxPagesDown); true when any.
    bool GrowToFit(int32_t bottom);
    void DropPointersTo(CTrkObj* obj);
    // The filed report's PDF written (after a warning ending in warning's
    // %1 when it cannot be); WriteMissingPdf only when it is missing or
    // older than the report.
    void WriteOwnPdf(const QString& warning);
    void WriteMissingPdf();

    std::vector<std::unique_ptr<CTrkObj>> m_objects;  // drawing order, last on top
    int32_t m_pageWidth = kPageWidth;
    int32_t m_pageHeight = kPageHeight;
    int32_t m_pageSetting1 = 200;  // kept in the file only
    int32_t m_pageSetting2 = 200;
    int32_t m_furtherSetting = 2;  // not stored
    int32_t m_reserved[3] = {0, 0, 0};
    CPoint m_pilot{5, 5};
    int32_t m_templateFlag = 0;
    VexaDataShell* m_currentShell = nullptr;
    VexaDataShell* m_templateShell = nullptr;
    CTrkObj* m_activeObject = nullptr;
    std::vector<CTrkObj*> m_selection;
    std::vector<CRect> m_dirtyRects;
    std::vector<CTrkObj*> m_dirtyObjects;
    std::vector<std::unique_ptr<VexaDataShell>> m_shells;
    std::vector<std::string> m_keywordColumns;
    bool m_arranged = false;
    int32_t m_arrangeMode = kArrangeByData;
    int32_t m_pagesAcross = 1;
    int32_t m_pagesDown = 2;
    // Pages down as set by the user or read from the file; rows grown for
    // objects beyond it go again with them.
    int32_t m_pagesDownChosen = 2;
    CCell* m_draggedCell = nullptr;
    std::unique_ptr<CRegionClip> m_copyBuffer;  // follows its shell: freed before the shells
    CTrkObj* m_dbLinkGrid = nullptr;
    std::string m_sampleFolder;
    bool m_snap = false;
    CSize m_snapStep{20, 20};
    int32_t m_headerOnly = 0;
    int32_t m_rowBottom = 0;

    // While a file is read: the shell of each stored record (a record that
    // duplicates an open data set names that one), and the file's folder.
    bool m_readingFile = false;
    std::vector<VexaDataShell*> m_fileShells;
    std::string m_readingFolder;
    // FCS files of the file being read that were found but could not be
    // loaded, as messages for the user.
    std::vector<std::string> m_fileProblems;
    std::string m_openProblem;

    // The file as this program last read or wrote it at m_pathName.
    bool m_fromTemplate = false;
    bool m_readTemplateFlag = false;  // the head of the file being read
    lm::FileStamp m_fileStamp;
    uint64_t m_fileHash = 0;

    std::vector<CLumitraView*> m_views;
    QString m_pathName;
    QString m_title;
    bool m_modified = false;
};

// The active document of the main frame, or null.
CLumitraDoc* GetActiveLumitraDoc();

// Tells the user, in one warning box, what of a data set that opened could
// not be read (events cut short, parameters not decoded, a spillover matrix
// that cannot be used); nothing when all of it was read.
void WarnIfIncomplete(QWidget* parent, const CDataSet* ds);
