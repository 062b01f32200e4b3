// The report document as a ".fld" file: the head, one record per data shell,
// then the page objects, each behind its kind. Reading goes into the live
// document and is taken back whole when the file turns out to be bad, so a
// failed open leaves nothing behind (and never binds the document to the
// path). Saves write a temporary file and rename it over the old one.
#include "report/page/LumitraDoc.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <map>
#include <string>
#include <utility>

#include "base/Archive.h"
#include "base/AtomicFile.h"
#include "base/Paths.h"
#include "core/DataSet.h"
#include "core/DataShell.h"
#include "core/GateNode.h"
#include "platform/ReplacedChars.h"
#include "platform/UiServices.h"
#include "report/page/FileRecords.h"
#include "report/page/FiledPdf.h"
#include "report/page/Grid.h"
#include "report/page/ResultTable.h"
#include "report/page/SampleCopies.h"
#include "report/page/TrkText.h"
#include "report/app/LumitraApp.h"
#include "report/app/MainFrame.h"
#include "report/plot/Plot.h"
#include "report/page/TrkKinds.h"
#include "report/page/TrkObj.h"

namespace {

// Smallest record a page object can have behind its kind: the base record
// with an empty face name.
constexpr size_t kMinObjectRecordBytes = 4 + 16 + 5 * 4 + 8 + 1 + 3 * 4;
// Largest page side a file may give, in page units (a page is 1024 x 1414).
constexpr int32_t kMaxPageSide = 1 << 16;
// Where report templates are kept under the program folder.
constexpr char kTemplateFolder[] = "Database/Template";
// The register's folder in the program folder, and where the PDFs of the
// reports filed there go in it.
constexpr char kDatabaseFolder[] = "Database";
constexpr char kPdfReportFolder[] = "PDFReport";
// Bytes of a file enough to hold the head of a report up to its template flag.
constexpr qint64 kFldHeadProbeBytes = 512;

std::unique_ptr<CTrkObj> LoadPlot(CLumitraDoc* doc) { return std::make_unique<CPLOT>(doc); }

std::map<int32_t, CLumitraDoc::PageObjectLoader>& Loaders() {
    static std::map<int32_t, CLumitraDoc::PageObjectLoader> loaders{
        {kObjText, &LoadTextBox},
        {kObjPlot, &LoadPlot},
        {kObjResult, &LoadResultTable},
        {kObjGrid, &LoadGrid},
    };
    return loaders;
}

// What a kind is called in a message.
std::string KindName(int32_t kind) {
    switch (kind) {
        case kObjText: return "text boxes";
        case kObjPlot: return "plots";
        case kObjResult: return "result tables";
        case kObjComText: return "label-and-value texts";
        case kObjGrid: return "grids";
        default: return "page objects of kind " + std::to_string(kind);
    }
}

// Kinds the program has (or will have) but cannot read in this version.
bool IsKnownKind(int32_t kind) {
    return kind == kObjText || kind == kObjPlot || kind == kObjResult || kind == kObjGrid;
}

void CheckRange(int32_t v, int32_t lo, int32_t hi, const char* what) {
    if (v < lo || v > hi)
        throw CFldFormatError(std::string(what) + " " + std::to_string(v) + " outside " + std::to_string(lo) +
                              ".." + std::to_string(hi));
}

QString ErrorText(const std::exception& e) { return QString::fromUtf8(e.what()); }

// An object as the user finds it on the page, for messages.
std::string ObjectName(const CTrkObj& obj) {
    const char* kind = "object";
    switch (obj.GetType()) {
        case kObjText: kind = "text box"; break;
        case kObjPlot: kind = "plot"; break;
        case kObjResult: kind = "result table"; break;
        case kObjGrid: kind = "grid"; break;
        default: break;
    }
    const CRect& r = obj.GetRect();
    return std::string("the ") + kind + " at (" + std::to_string(r.left) + ", " + std::to_string(r.top) + ")";
}

// Text that the file's code page cannot hold is written as '?': the user is
// told where and which characters first, and may keep the file as it was.
bool AcceptReplacedCharacters(const std::vector<CArchive::Replaced>& replaced) {
    return lm::AcceptReplacedCharacters(GetMainFrame(), replaced, QStringLiteral("a report"));
}

// Serializes the document into *bytes; false with *error (when given) on
// failure, and false with an empty *error when the user would rather not
// lose characters.
bool RecordBytes(CLumitraDoc& doc, std::vector<uint8_t>* bytes, QString* error) {
    CArchive ar;
    try {
        doc.Serialize(ar);
    } catch (const std::exception& e) {
        if (error) *error = ErrorText(e);
        return false;
    }
    if (!AcceptReplacedCharacters(ar.GetReplaced())) {
        if (error) error->clear();
        return false;
    }
    *bytes = ar.Bytes();
    return true;
}

bool WriteBytes(const QString& path, const std::vector<uint8_t>& bytes, QString* error,
                lm::FileStamp* stamp = nullptr, uint64_t* hash = nullptr) {
    std::string why;
    if (!lm::WriteFileAtomic(path.toStdString(), bytes, &why, stamp)) {
        if (error) *error = QString::fromStdString(why);
        return false;
    }
    if (hash) *hash = lm::ContentHash(bytes.data(), bytes.size());
    return true;
}

// Serializes the document and writes the record atomically to path; false
// as RecordBytes and WriteBytes are.
bool WriteRecord(CLumitraDoc& doc, const QString& path, QString* error, lm::FileStamp* stamp = nullptr,
                 uint64_t* hash = nullptr) {
    std::vector<uint8_t> bytes;
    return RecordBytes(doc, &bytes, error) && WriteBytes(path, bytes, error, stamp, hash);
}

QString ProgramFolder() {
    CMainFrame* frame = GetMainFrame();
    return QString::fromStdString(frame ? frame->GetAppDirectory() : CLumitraApp::GetProgramFolder());
}

QString DatabaseFolder() { return QDir(ProgramFolder()).filePath(QString::fromLatin1(kDatabaseFolder)); }

QString PdfReportFolder() { return QDir(DatabaseFolder()).filePath(QString::fromLatin1(kPdfReportFolder)); }

bool SamePath(const QString& a, const QString& b) {
    return !a.isEmpty() && !b.isEmpty() && lm::CanonicalFilePath(a.toStdString()) == lm::CanonicalFilePath(b.toStdString());
}

// Where the database panel looks for templates; made when missing, so the
// first template goes where it will be found.
QString TemplateFolder() {
    const QString program = ProgramFolder();
    const QString folder = QDir(program).filePath(QString::fromLatin1(kTemplateFolder));
    return QDir().mkpath(folder) ? folder : program;
}

}  // namespace

// =========================================================== object kinds

void CLumitraDoc::SetPageObjectLoader(int32_t kind, PageObjectLoader loader) {
    if (loader) Loaders()[kind] = loader;
    else Loaders().erase(kind);
}

CLumitraDoc::PageObjectLoader CLumitraDoc::GetPageObjectLoader(int32_t kind) {
    const auto it = Loaders().find(kind);
    return it == Loaders().end() ? nullptr : it->second;
}

// ============================================================== the record

void CLumitraDoc::Serialize(CArchive& ar) {
    if (ar.IsStoring()) StoreFile(ar);
    else LoadFile(ar);
}

void CLumitraDoc::StoreFile(CArchive& ar) {
    // A reader must be able to make every object again; refuse before
    // writing anything rather than write a file that cannot be opened.
    for (const auto& obj : m_objects)
        if (!GetPageObjectLoader(obj->GetType()))
            throw CFldUnsupported("This version of Lumitra cannot save " + KindName(obj->GetType()) + " yet.");

    FldDocumentHead head;
    head.pilot = m_pilot;
    head.headerOnly = m_headerOnly;
    head.pagesAcross = m_pagesAcross;
    head.pagesDown = m_pagesDown;
    head.pageWidth = m_pageWidth;
    head.pageHeight = m_pageHeight;
    head.pageSetting1 = m_pageSetting1;
    head.pageSetting2 = m_pageSetting2;
    std::copy(std::begin(m_reserved), std::end(m_reserved), std::begin(head.reserved));
    head.shellCount = int32_t(m_shells.size());
    head.templateFlag = m_templateFlag != 0 ? 1 : 0;
    StoreFldHead(ar, head);
    if (m_headerOnly != 0) return;

    if (CLumitraApp* app = GetLumitraApp()) app->GetLog().Write("Storing Data Cnt", head.shellCount);
    for (const auto& s : m_shells) {
        ar.SetContext("data set " + s->GetName());
        CFileFCSShell(s.get(), m_sampleFolder).Store(ar, head.templateFlag != 0);
    }

    ar.WriteInt32(kFldMarker);
    ar.WriteInt32(int32_t(m_objects.size()));
    for (const auto& obj : m_objects) {
        ar.SetContext(ObjectName(*obj));
        ar.WriteInt32(obj->GetType());
        obj->Store(ar);
    }
    ar.SetContext({});
    ar.WriteInt32(m_dbLinkGrid ? GetObjectIndex(m_dbLinkGrid) : int32_t(kFldNoLinkGrid));
    // The File List's keyword columns live in the last word, which every
    // reader skips and every older file has as 0 (no columns): the count,
    // then the names behind it, where a reader that skips the word stops.
    ar.SetContext("the File List's keyword columns");
    ar.WriteInt32(int32_t(m_keywordColumns.size()));
    for (const std::string& k : m_keywordColumns) ar.WriteString(k);
    ar.SetContext({});
}

void CLumitraDoc::LoadFile(CArchive& ar) {
    // What reading may change, to be put back when the file is bad.
    const size_t objects0 = m_objects.size();
    const size_t shells0 = m_shells.size();
    const CPoint pilot0 = m_pilot;
    const int32_t headerOnly0 = m_headerOnly;
    const int32_t across0 = m_pagesAcross, down0 = m_pagesDown, chosen0 = m_pagesDownChosen;
    const int32_t width0 = m_pageWidth, height0 = m_pageHeight;
    const int32_t setting10 = m_pageSetting1, setting20 = m_pageSetting2;
    int32_t reserved0[3];
    std::copy(std::begin(m_reserved), std::end(m_reserved), reserved0);
    CTrkObj* linkGrid0 = m_dbLinkGrid;

    std::vector<std::vector<COLORREF>> palettes;
    std::vector<std::string> keywords;
    m_readingFile = true;
    m_fileShells.clear();
    m_fileProblems.clear();
    try {
        ReadFileBody(ar, &palettes, &keywords);
    } catch (const std::exception& e) {
        m_readingFile = false;
        m_fileShells.clear();
        m_dbLinkGrid = linkGrid0;
        // Objects observe shells: they go first.
        while (m_objects.size() > objects0) {
            DropPointersTo(m_objects.back().get());
            m_objects.pop_back();
        }
        // The shells read were never announced: they just go.
        while (m_shells.size() > shells0) m_shells.pop_back();
        m_pilot = pilot0;
        m_headerOnly = headerOnly0;
        m_pagesAcross = across0;
        m_pagesDown = down0;
        m_pagesDownChosen = chosen0;
        m_pageWidth = width0;
        m_pageHeight = height0;
        m_pageSetting1 = setting10;
        m_pageSetting2 = setting20;
        std::copy(std::begin(reserved0), std::end(reserved0), m_reserved);
        if (dynamic_cast<const CFldUnsupported*>(&e)) throw;
        const std::string what = e.what();
        if (what == kInvalidFldMessage) throw;
        throw CFldFormatError(std::string(kInvalidFldMessage) + "\n" + what);
    }
    m_readingFile = false;
    m_fileShells.clear();
    if (!keywords.empty()) m_keywordColumns = std::move(keywords);

    // The palette follows the file only once all of it has been read.
    COLORREF* palette = GateColorPalette();
    for (const auto& entries : palettes)
        for (size_t j = 0; j < entries.size() && j < size_t(kGatePaletteSize); ++j) palette[j] = entries[j];

    // The panels learn of the shells once the whole file is in.
    if (m_shells.size() > shells0) SetModifiedFlag();
    if (CMainFrame* frame = GetMainFrame()) {
        for (size_t i = shells0; i < m_shells.size(); ++i) frame->AddDataShell(this, m_shells[i].get());
        frame->RefreshFileList();
        frame->RebuildNavigate(this);
    }
    UpdateAllViews();

    // A file that was there but could not be loaded is not simply missing:
    // the user is told which and why, once the report is in.
    const std::vector<std::string> problems = std::move(m_fileProblems);
    m_fileProblems.clear();
    for (const std::string& text : problems)
        lm::Ui().MessageBox(GetMainFrame(), QString::fromStdString(text), QStringLiteral("警告"), lm::MsgButtons::Ok,
                            lm::MsgIcon::Warning);
}

void CLumitraDoc::ReadFileBody(CArchive& ar, std::vector<std::vector<COLORREF>>* palettes,
                               std::vector<std::string>* keywords) {
    FldDocumentHead head;
    LoadFldHead(ar, &head);
    m_readTemplateFlag = head.hasShells && head.templateFlag != 0;
    m_pilot = head.pilot;
    // A writer that set the flag stopped after it, and such a file cannot be
    // opened: whatever did open is the whole document and is saved whole.
    m_headerOnly = 0;
    if (!head.hasPageSetup) return;
    CheckRange(head.pagesAcross, 1, kMaxPagesAcross, "pages across");
    CheckRange(head.pagesDown, 1, kMaxPagesDown, "pages down");
    CheckRange(head.pageWidth, 1, kMaxPageSide, "page width");
    CheckRange(head.pageHeight, 1, kMaxPageSide, "page height");
    m_pagesAcross = head.pagesAcross;
    m_pagesDown = head.pagesDown;
    m_pagesDownChosen = head.pagesDown;
    m_pageWidth = head.pageWidth;
    m_pageHeight = head.pageHeight;
    m_pageSetting1 = head.pageSetting1;
    m_pageSetting2 = head.pageSetting2;
    std::copy(std::begin(head.reserved), std::end(head.reserved), m_reserved);
    if (!head.hasShells) return;

    for (int32_t i = 0; i < head.shellCount; ++i) {
        CFileFCSShell rec;
        rec.SetDocumentFolder(m_readingFolder);
        rec.Load(ar, head.templateFlag != 0);
        palettes->push_back(rec.GetPalette());
        std::unique_ptr<VexaDataShell> shell = rec.TakeShell();
        if (!rec.GetProblem().empty())
            m_fileProblems.push_back("The FCS file " + shell->GetPath() + " could not be loaded: " +
                                     rec.GetProblem() + ". The report opens without its events.");
        if (!rec.GetWarning().empty()) m_fileProblems.push_back(rec.GetWarning());
        // A record of a data set that is open already names the open shell;
        // the one read is dropped.
        if (VexaDataShell* open = FindDataShell(shell->GetPathName(), shell->GetDataSetIndex())) {
            lm::Ui().MessageBox(GetMainFrame(), QStringLiteral("FCS Data already open?"), QStringLiteral("Notic"),
                                lm::MsgButtons::Ok, lm::MsgIcon::Question);
            m_fileShells.push_back(open);
            continue;
        }
        // Appended now (the page objects name them) and announced when the
        // whole file is in: nothing outside sees a half-read document.
        m_shells.push_back(std::move(shell));
        m_fileShells.push_back(m_shells.back().get());
    }

    if (ar.ReadInt32() == kFldEndMarker) return;
    const size_t count = ar.CheckCount(ar.ReadInt32(), kMinObjectRecordBytes);
    const size_t first = m_objects.size();
    for (size_t k = 0; k < count; ++k) {
        const int32_t kind = ar.ReadInt32();
        const PageObjectLoader load = GetPageObjectLoader(kind);
        if (!load) {
            if (IsKnownKind(kind))
                throw CFldUnsupported("This version of Lumitra cannot read " + KindName(kind) +
                                      " yet; the report holds one.");
            throw CFldFormatError("page object of kind " + std::to_string(kind));
        }
        std::unique_ptr<CTrkObj> obj = load(this);
        obj->Load(ar);
        m_objects.push_back(std::move(obj));
    }

    const int32_t link = ar.ReadInt32();
    if (link != kFldNoLinkGrid && (link < 0 || size_t(link) >= count))
        throw CFldFormatError("database-link grid " + std::to_string(link) + " of " + std::to_string(count) +
                              " objects");
    CTrkObj* grid = link == kFldNoLinkGrid ? nullptr : m_objects[first + size_t(link)].get();
    m_dbLinkGrid = grid && grid->GetType() == kObjGrid ? grid : nullptr;
    ReadKeywordColumns(ar, keywords);
}

void CLumitraDoc::ReadKeywordColumns(CArchive& ar, std::vector<std::string>* keywords) {
    // The last word was skipped by every reader before this one: a file
    // whose word is not followed by the names it counts opens as before,
    // without columns.
    const int32_t count = ar.ReadInt32();
    std::vector<std::string> names;
    try {
        const size_t n = ar.CheckCount(count, 1);
        for (size_t i = 0; i < n; ++i) names.push_back(ar.ReadString());
    } catch (const CArchiveException&) {
        return;
    }
    *keywords = std::move(names);
}

// ============================================================ open and save

bool CLumitraDoc::OnOpenDocument(const QString& path, QString* error) {
    // Taken before the bytes: a change made while they are read shows later.
    const lm::FileStamp stamp = lm::StampOfFile(path.toStdString());
    std::vector<uint8_t> bytes;
    std::string why;
    if (!CArchive::ReadFile(path.toStdString(), &bytes, &why)) {
        if (error) *error = QString::fromStdString(why);
        return false;
    }
    // FCS files moved next to the report are found there.
    m_readingFolder = QFileInfo(path).absolutePath().toStdString();
    m_readTemplateFlag = false;
    const uint64_t hash = lm::ContentHash(bytes.data(), bytes.size());
    bool ok = true;
    try {
        CArchive ar(std::move(bytes));
        Serialize(ar);
    } catch (const std::exception& e) {
        if (error) *error = ErrorText(e);
        ok = false;
    }
    m_readingFolder.clear();
    if (!ok) return false;
    SetPathName(path);
    SetModifiedFlag(false);
    m_fromTemplate = m_readTemplateFlag;
    m_fileStamp = stamp;
    m_fileHash = hash;
    // Leftovers of saves that died here go when the report opens again.
    lm::RemoveStaleTempFiles(lm::LocalFolderOf(QFileInfo(path).absoluteFilePath().toStdString()));
    // However the report was opened: one lying in a sample folder is filed.
    m_sampleFolder = FiledSampleFolder(DatabaseFolder(), path).toStdString();
    if (!m_sampleFolder.empty()) WriteMissingPdf();
    return true;
}

bool CLumitraDoc::FileChangedOnDisk() const {
    if (m_pathName.isEmpty()) return false;
    const lm::FileStamp now = lm::StampOfFile(m_pathName.toStdString());
    if (!now.exists || now == m_fileStamp) return false;
    // Touched, or copied back whole: nothing of it would be lost.
    std::vector<uint8_t> bytes;
    if (!CArchive::ReadFile(m_pathName.toStdString(), &bytes, nullptr)) return true;
    return lm::ContentHash(bytes.data(), bytes.size()) != m_fileHash;
}

bool CLumitraDoc::IsTemplateFile(const QString& path) {
    // The head is all it takes; a report may be large.
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    const QByteArray head = file.read(kFldHeadProbeBytes);
    try {
        CArchive ar(std::vector<uint8_t>(head.begin(), head.end()));
        FldDocumentHead h;
        LoadFldHead(ar, &h);
        return h.hasShells && h.templateFlag != 0;
    } catch (const std::exception&) {
        return false;
    }
}

bool CLumitraDoc::OnSaveDocument(const QString& path, QString* error) {
    // Saved under another name, the report is filed when it goes into a
    // sample folder and no longer filed when it leaves one.
    const std::string folder =
        SamePath(path, m_pathName) ? m_sampleFolder : FiledSampleFolder(DatabaseFolder(), path).toStdString();
    std::vector<SampleCopy> copies;
    if (!folder.empty() && !PlanSampleCopies(*this, QString::fromStdString(folder), &copies, error)) return false;

    // The record names the copies about to be made, and the user says
    // whether characters may be lost before anything is copied.
    std::vector<uint8_t> bytes;
    {
        const std::string folder0 = std::exchange(m_sampleFolder, folder);
        std::vector<std::string> paths0;
        for (const SampleCopy& c : copies) {
            paths0.push_back(c.dataSet->GetPathName());
            c.dataSet->SetPathName(c.target.toStdString());
        }
        const bool ok = RecordBytes(*this, &bytes, error);
        m_sampleFolder = folder0;
        for (size_t i = 0; i < copies.size(); ++i) copies[i].dataSet->SetPathName(paths0[i]);
        if (!ok) return false;
    }
    if (!copies.empty()) {
        if (!MakeSampleCopies(QString::fromStdString(folder), copies, error)) return false;
        for (const SampleCopy& c : copies) c.dataSet->SetPathName(c.target.toStdString());
    }
    lm::FileStamp stamp;
    uint64_t hash = 0;
    if (!WriteBytes(path, bytes, error, &stamp, &hash)) return false;
    m_sampleFolder = folder;
    SetPathName(path);
    SetModifiedFlag(false);
    m_fromTemplate = false;
    m_fileStamp = stamp;
    m_fileHash = hash;
    // A filed report's picture goes with the register's reports; the report
    // itself is saved whatever becomes of it.
    if (!folder.empty()) WriteOwnPdf(QStringLiteral("The report was saved, but its PDF could not be written:\n%1"));
    return true;
}

void CLumitraDoc::WriteOwnPdf(const QString& warning) {
    const lm::WaitCursor busy;
    QString why;
    const auto write = [this](const QString& pdf, QString* e) { return ExportPdf(pdf, e); };
    if (!WriteFiledPdf(PdfReportFolder(), m_pathName, write, &why))
        lm::Ui().MessageBox(GetMainFrame(), warning.arg(why), QStringLiteral("警告"), lm::MsgButtons::Ok,
                            lm::MsgIcon::Warning);
}

void CLumitraDoc::WriteMissingPdf() {
    // Every save writes the PDF after the report: one missing, or older than
    // its report, is what a save that stopped half-way left.
    const QString pdf = FindFiledPdf(PdfReportFolder(), m_pathName);
    if (!pdf.isEmpty() && QFileInfo(pdf).lastModified() >= QFileInfo(m_pathName).lastModified()) return;
    WriteOwnPdf(QStringLiteral("The PDF of this filed report was missing or out of date and could not be written:\n%1"));
}

bool CLumitraDoc::SaveTemplateTo(const QString& path, QString* error) {
    // Set for this write only, whatever happens.
    struct FlagReset {
        int32_t& flag;
        ~FlagReset() { flag = 0; }
    } reset{m_templateFlag};
    m_templateFlag = 1;
    return WriteRecord(*this, path, error);
}

bool CLumitraDoc::OnSaveAsTemplate() {
    lm::FileDialogRequest req;
    req.caption = QStringLiteral("Save As Template");
    req.folder = TemplateFolder();
    req.filter = lm::FilterFromMfc(QString::fromLatin1(kDocumentFilter));
    req.defaultSuffix = QStringLiteral("fld");
    const QString path = lm::Ui().GetSaveFileName(GetMainFrame(), req);
    if (path.isEmpty()) return false;
    QString error;
    if (!SaveTemplateTo(path, &error)) {
        if (error.isEmpty()) return false;  // the user chose not to save
        lm::ErrorBox(GetMainFrame(), QStringLiteral("Cannot save %1:\n%2").arg(QDir::toNativeSeparators(path), error),
                     QStringLiteral("错误信息"));
        return false;
    }
    return true;
}
