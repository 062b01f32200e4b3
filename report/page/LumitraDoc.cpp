#include "report/page/LumitraDoc.h"


#include <algorithm>
#include <climits>
#include <cstdint>
#include <exception>
#include <new>
#include <stdexcept>

#include "base/Archive.h"
#include "base/Paths.h"
#include "core/DataSet.h"
#include "core/DataShell.h"
#include "core/ErrorCodes.h"
#include "core/FcsText.h"
#include "core/GateNode.h"
#include "core/Observers.h"
#include "core/StatItem.h"
#include "platform/UiServices.h"
#include "report/app/LumitraApp.h"
#include "report/page/LumitraView.h"
#include "report/app/MainFrame.h"
#include "report/plot/Plot.h"
#include "report/plot/PlotDefaults.h"
#include "report/plot/RegionClip.h"
#include "report/page/TrkKinds.h"
#include "report/page/TrkObj.h"

namespace {

QWidget* DialogParent() { return GetMainFrame(); }

template <class T>
bool Contains(const std::vector<T*>& v, const T* p) {
    return std::find(v.begin(), v.end(), p) != v.end();
}

template <class T>
void Erase(std::vector<T*>& v, const T* p) {
    v.erase(std::remove(v.begin(), v.end(), p), v.end());
}

// The shell found its data set in the file (a missing data set of a file
// leaves no keyword table).
bool HasDataSet(const VexaDataShell& shell) {
    return shell.GetDataSet() && shell.GetDataSet()->GetKeywordTable();
}

// Loading never throws on bad input, but a genuine file can still need more
// memory than there is: that file could not be opened, like any other, and
// *problem says why.
template <class... Args>
std::unique_ptr<VexaDataShell> LoadShell(std::string* problem, Args&&... args) {
    try {
        return std::make_unique<VexaDataShell>(std::forward<Args>(args)...);
    } catch (const std::bad_alloc&) {
        *problem = kFcsNoMemoryProblem;
    } catch (const std::length_error&) {
        *problem = kFcsNoMemoryProblem;
    } catch (const std::exception& e) {
        *problem = e.what();
    }
    return nullptr;
}

// Why data set index of the file at canon (canonical, "" when there is no
// such file) cannot be opened before any shell is made; "" when it can.
std::string FileProblem(const std::string& path, const std::string& canon, int32_t index) {
    if (canon.empty()) {
        const std::string why = FcsFileProblem(path);
        return why.empty() ? "no such file" : why;
    }
    if (index < 0) return "no data set " + std::to_string(index);
    return FcsFileProblem(canon);
}

void ShowAlreadyOpen(const char* text) {
    lm::Ui().MessageBox(DialogParent(), QString::fromUtf8(text), QStringLiteral("Notic"), lm::MsgButtons::Ok,
                        lm::MsgIcon::Question);
}

}  // namespace

// A file whose DATA is cut short (or cannot be decoded in part) still opens,
// but the user must know its numbers are not the whole sample.
void WarnIfIncomplete(QWidget* parent, const CDataSet* ds) {
    const std::string text = ds ? DataSetReadWarning(*ds) : std::string();
    if (text.empty()) return;
    lm::Ui().MessageBox(parent, QString::fromStdString(text), QStringLiteral("警告"), lm::MsgButtons::Ok,
                        lm::MsgIcon::Warning);
}

CLumitraDoc* GetActiveLumitraDoc() {
    CMainFrame* frame = GetMainFrame();
    return frame ? frame->GetActiveDocument() : nullptr;
}

// ==================================================================== life

CLumitraDoc::CLumitraDoc() {
    m_title = QStringLiteral("Untitled");
    if (CMainFrame* frame = GetMainFrame()) frame->BindDocument(this);
}

CLumitraDoc::~CLumitraDoc() {
    if (CMainFrame* frame = GetMainFrame()) frame->OnDocumentClosing(this);
    // Views normally go first (their frames close before the document);
    // any left must not reach a freed document.
    const std::vector<CLumitraView*> views = m_views;
    for (CLumitraView* v : views) v->DetachDocument();
    m_views.clear();

    m_copyBuffer.reset();
    m_activeObject = nullptr;
    m_selection.clear();
    m_dirtyObjects.clear();
    m_dbLinkGrid = nullptr;
    m_draggedCell = nullptr;
    // Objects observe shells: they go before the shells they observe. The
    // panels hear of each one, as when it is removed alone.
    while (!m_objects.empty()) {
        DropPointersTo(m_objects.back().get());
        m_objects.pop_back();
    }
    m_currentShell = nullptr;
    m_templateShell = nullptr;
    while (!m_shells.empty()) m_shells.pop_back();
    m_keywordColumns.clear();
}

void CLumitraDoc::SetCopiedItem(std::unique_ptr<CRegionClip> clip) { m_copyBuffer = std::move(clip); }

void CLumitraDoc::SetPathName(const QString& path) {
    m_pathName = path;
    SetTitle(QString::fromStdString(lm::FileNameOf(path.toStdString())));
}

void CLumitraDoc::SetTitle(const QString& title) {
    if (title == m_title) return;
    m_title = title;
    emit titleChanged(m_title);
}

void CLumitraDoc::SetModifiedFlag(bool modified) {
    if (modified == m_modified) return;
    m_modified = modified;
    emit modifiedChanged(m_modified);
}

bool CLumitraDoc::OnNewDocument() {
    SetModifiedFlag(false);
    return true;
}

// Reading and writing ".fld" files: DocFile.cpp.

void CLumitraDoc::AddView(CLumitraView* view) {
    if (view && !Contains(m_views, view)) m_views.push_back(view);
}

void CLumitraDoc::RemoveView(CLumitraView* view) { Erase(m_views, view); }

void CLumitraDoc::UpdateAllViews(CLumitraView* sender) {
    const std::vector<CLumitraView*> views = m_views;
    for (CLumitraView* v : views)
        if (v != sender) v->OnUpdate();
}

// ============================================================ page objects

CTrkObj* CLumitraDoc::AddObject(std::unique_ptr<CTrkObj> obj) {
    if (!obj) return nullptr;
    CTrkObj* p = obj.get();
    p->SetDocument(this);
    m_objects.push_back(std::move(obj));
    GrowToFit(p->GetRect().bottom);
    m_pilot = CPoint(p->GetRect().right + kPilotGap, p->GetRect().top);
    if (p->GetType() == kObjPlot)
        if (CMainFrame* frame = GetMainFrame()) frame->RefreshNavigatePlots(this);
    SetModifiedFlag();
    return p;
}

void CLumitraDoc::DropPointersTo(CTrkObj* obj) {
    if (m_dbLinkGrid == obj) m_dbLinkGrid = nullptr;
    if (obj->GetType() == kObjGrid) m_draggedCell = nullptr;  // the cell may be the grid's
    if (m_activeObject == obj) m_activeObject = nullptr;
    Erase(m_selection, obj);
    Erase(m_dirtyObjects, obj);
    const std::vector<CLumitraView*> views = m_views;
    for (CLumitraView* v : views) v->OnObjectRemoving(obj);
    if (CMainFrame* frame = GetMainFrame()) frame->OnObjectRemoving(obj);
}

void CLumitraDoc::RemoveObject(CTrkObj* obj, bool redraw) {
    const int32_t index = GetObjectIndex(obj);
    if (index < 0) return;
    AddDirtyRect(obj->GetRect());
    DropPointersTo(obj);
    // Taken out of the list before it is freed: its destructor may reach
    // the document and must not find itself there.
    std::unique_ptr<CTrkObj> owned = std::move(m_objects[size_t(index)]);
    m_objects.erase(m_objects.begin() + index);
    owned.reset();
    SetModifiedFlag();
    ShrinkToObjects();
    if (redraw) RedrawDirty();
}

CTrkObj* CLumitraDoc::ReplaceObject(CTrkObj* old, std::unique_ptr<CTrkObj> obj) {
    const int32_t index = GetObjectIndex(old);
    if (index < 0 || !obj) return nullptr;
    CTrkObj* p = obj.get();
    p->SetDocument(this);
    AddDirtyRect(old->GetRect());
    DropPointersTo(old);
    // Out of the list before it is freed, as in RemoveObject.
    std::unique_ptr<CTrkObj> owned = std::move(m_objects[size_t(index)]);
    m_objects[size_t(index)] = std::move(obj);
    owned.reset();
    InvalidateObject(p);
    if (p->GetType() == kObjPlot)
        if (CMainFrame* frame = GetMainFrame()) frame->RefreshNavigatePlots(this);
    SetModifiedFlag();
    return p;
}

CTrkObj* CLumitraDoc::InsertNewObject(std::unique_ptr<CTrkObj> obj, bool allowArrange, bool keepPlace) {
    CTrkObj* p = AddObject(std::move(obj));
    if (!p) return nullptr;
    PlaceNew(p, keepPlace);
    if (allowArrange && m_arranged) AutoArrange();
    SetActiveObject(p);
    RedrawDirty();
    return p;
}

CTrkObj* CLumitraDoc::CreatePlot(int32_t x, int32_t y, VexaDataShell* shell) {
    if (shell && GetDataShellIndex(shell) < 0) return nullptr;  // not a shell of this document
    if (CMainFrame* frame = GetMainFrame()) frame->RefreshNavigatePlots(this);
    std::unique_ptr<CPLOT> plot;
    CGateNode* gate = shell ? shell->GetGate(0) : nullptr;
    if (gate) {
        const PlotDefaults& d = GetPlotDefaults();
        const int32_t count = shell->GetParamCount();
        plot = std::make_unique<CPLOT>(x, y, gate, this, d.UsedParamX(count), d.UsedParamY(count));
    } else {
        plot = std::make_unique<CPLOT>(x, y, this);
    }
    return InsertNewObject(std::move(plot));
}

CTrkObj* CLumitraDoc::CreatePlotAtPilot(VexaDataShell* shell) {
    // The pilot may lie on an object moved or made since: the plot goes to
    // the nearest place that covers nothing.
    const PlotDefaults& d = GetPlotDefaults();
    const CPoint at = FindFreePlace(CSize(d.UsedWidth(), d.UsedHeight()), m_pilot);
    return CreatePlot(at.x, at.y, shell);
}

void CLumitraDoc::RecalcAllPlots() {
    for (const auto& obj : m_objects)
        if (obj->GetType() == kObjPlot)
            if (auto* plot = dynamic_cast<CPLOT*>(obj.get())) plot->RecalcLayers(true, false);
}

CTrkObj* CLumitraDoc::GetObjectAt(int32_t index) const {
    return index >= 0 && index < GetObjectCount() ? m_objects[size_t(index)].get() : nullptr;
}

int32_t CLumitraDoc::GetObjectIndex(const CTrkObj* obj) const {
    if (!obj) return -1;
    for (size_t i = 0; i < m_objects.size(); ++i)
        if (m_objects[i].get() == obj) return int32_t(i);
    return -1;
}

void CLumitraDoc::SetActiveObject(CTrkObj* obj) {
    if (obj == m_activeObject) return;
    if (obj && GetObjectIndex(obj) < 0) return;  // not on this page
    ClearSelection();
    CTrkObj* old = m_activeObject;
    if (obj) {
        // Drawn last, on top of everything.
        const int32_t index = GetObjectIndex(obj);
        std::unique_ptr<CTrkObj> moved = std::move(m_objects[size_t(index)]);
        m_objects.erase(m_objects.begin() + index);
        m_objects.push_back(std::move(moved));
        if (old) {
            InvalidateObject(old);
            old->OnDeactivate();
        }
        obj->OnActivate();
        InvalidateObject(obj);
        if (obj->GetType() == kObjPlot)
            if (auto* user = dynamic_cast<CDataShellUser*>(obj)) SetCurrentDataShell(user->GetShell());
    } else if (old) {
        AddDirtyRect(old->GetRect());
        old->OnDeactivate();
    }
    m_activeObject = obj;
    if (CMainFrame* frame = GetMainFrame()) frame->BindPropertyObject(obj);
}

bool CLumitraDoc::IsInSelection(const CTrkObj* obj) const { return Contains(m_selection, obj); }

void CLumitraDoc::AddToSelection(CTrkObj* obj) {
    if (!obj || GetObjectIndex(obj) < 0 || IsInSelection(obj)) return;
    m_selection.push_back(obj);
    obj->OnAddedToSelection();
    if (obj != m_activeObject)
        for (CLumitraView* v : m_views) v->UpdateTrackers();
}

void CLumitraDoc::ToggleSelection(CTrkObj* obj) {
    if (!obj || GetObjectIndex(obj) < 0) return;
    if (!IsInSelection(obj)) {
        if (CTrkObj* active = m_activeObject) {
            AddToSelection(active);
            active->OnDeactivate();
            m_activeObject = nullptr;
        }
        AddToSelection(obj);
    } else {
        obj->OnDeactivate();
        Erase(m_selection, obj);
        for (CLumitraView* v : m_views) v->UpdateTrackers();
    }
}

void CLumitraDoc::ClearSelection() {
    if (m_selection.empty()) return;
    const std::vector<CTrkObj*> members = m_selection;
    for (CTrkObj* o : members) o->OnDeactivate();
    m_selection.clear();
    for (CLumitraView* v : m_views) v->UpdateTrackers();
}

// ======================================================= dirty bookkeeping

void CLumitraDoc::AddDirtyRect(const CRect& rect) {
    if (std::find(m_dirtyRects.begin(), m_dirtyRects.end(), rect) == m_dirtyRects.end())
        m_dirtyRects.push_back(rect);
}

int32_t CLumitraDoc::InvalidateObject(CTrkObj* obj) {
    if (!obj) return -1;
    const auto it = std::find(m_dirtyObjects.begin(), m_dirtyObjects.end(), obj);
    if (it != m_dirtyObjects.end()) return int32_t(it - m_dirtyObjects.begin());
    m_dirtyObjects.push_back(obj);
    return int32_t(m_dirtyObjects.size() - 1);
}

void CLumitraDoc::RedrawDirty() {
    const std::vector<CLumitraView*> views = m_views;
    for (CLumitraView* v : views) v->RedrawDirtyAreas();
    m_dirtyRects.clear();
    m_dirtyObjects.clear();
}

void CLumitraDoc::RedrawActiveObject() {
    const std::vector<CLumitraView*> views = m_views;
    for (CLumitraView* v : views) v->RedrawActiveObject();
    m_dirtyRects.clear();
}

// ============================================================= data shells

VexaDataShell* CLumitraDoc::FindDataShell(const std::string& path, int32_t index) const {
    const std::string canon = lm::CanonicalFilePath(path);
    if (canon.empty()) return nullptr;
    for (const auto& s : m_shells) {
        // A data set rebuilt without its file holds no events: the file,
        // back again, opens as a data set of its own.
        if (!HasDataSet(*s)) continue;
        const std::string p = s->GetPathName();
        if (!p.empty() && s->GetDataSetIndex() == index && lm::CanonicalFilePath(p) == canon) return s.get();
    }
    return nullptr;
}

VexaDataShell* CLumitraDoc::AppendShell(std::unique_ptr<VexaDataShell> shell) {
    VexaDataShell* p = shell.get();
    m_shells.push_back(std::move(shell));
    SetModifiedFlag();
    if (CMainFrame* frame = GetMainFrame()) frame->AddDataShell(this, p);
    return p;
}

VexaDataShell* CLumitraDoc::OpenDataFile(const std::string& path, int32_t index) {
    return OpenFcsShell(path, index, nullptr);
}

VexaDataShell* CLumitraDoc::OpenDataFileAndNotify(const std::string& path, int32_t index,
                                                  VexaDataShell* other) {
    return OpenFcsShell(path, index, other);
}

VexaDataShell* CLumitraDoc::OpenFcsShell(const std::string& path, int32_t index, VexaDataShell* other) {
    m_openProblem.clear();
    if (VexaDataShell* open = FindDataShell(path, index)) {
        ShowAlreadyOpen("FCS Data already open!");
        return open;
    }
    const std::string canon = lm::CanonicalFilePath(path);
    m_openProblem = FileProblem(path, canon, index);
    if (!m_openProblem.empty()) return nullptr;
    std::unique_ptr<VexaDataShell> shell =
        other ? LoadShell(&m_openProblem, *other, canon, index, lm::FileNameOf(canon))
                              : LoadShell(&m_openProblem, canon, index, lm::FileNameOf(canon), true);
    if (!shell) return nullptr;
    if (!HasDataSet(*shell)) {  // no such data set in the file
        m_openProblem = index == 0 ? "it holds no data set" : "it holds no data set " + std::to_string(index + 1);
        return nullptr;
    }
    m_openProblem = UnreadableDataSetProblem(*shell->GetDataSet());
    if (!m_openProblem.empty()) return nullptr;
    WarnIfIncomplete(DialogParent(), shell->GetDataSet());
    return AppendShell(std::move(shell));
}

VexaDataShell* CLumitraDoc::AttachDataShell(std::unique_ptr<VexaDataShell> shell) {
    if (!shell) return AppendShell(std::make_unique<VexaDataShell>());
    if (VexaDataShell* open = FindDataShell(shell->GetPathName(), shell->GetDataSetIndex())) {
        ShowAlreadyOpen("FCS Data already open?");
        return open;  // the duplicate is freed here
    }
    return AppendShell(std::move(shell));
}

void CLumitraDoc::RemoveDataShell(VexaDataShell* shell) {
    m_currentShell = nullptr;
    const int32_t index = GetDataShellIndex(shell);
    if (index >= 0) RemoveDataShellAt(index);
}

void CLumitraDoc::RemoveDataShellAt(int32_t index) {
    VexaDataShell* shell = GetDataShellAt(index);
    if (!shell) return;
    if (m_currentShell == shell) m_currentShell = nullptr;
    if (m_templateShell == shell) m_templateShell = nullptr;
    // Plots and result tables of the shell, last first; each leaves the
    // shell's user list as it goes.
    const std::vector<CDataShellUser*> users = shell->GetUsers();
    for (auto it = users.rbegin(); it != users.rend(); ++it) {
        if (!Contains(shell->GetUsers(), *it)) continue;  // left meanwhile
        const int32_t kind = (*it)->GetUserKind();
        if (kind != kUserPlot && kind != kUserResultTable) continue;
        if (auto* obj = dynamic_cast<CTrkObj*>(*it); obj && GetObjectIndex(obj) >= 0) RemoveObject(obj, false);
    }
    // The index may have moved if an object's destructor touched the list.
    const int32_t now = GetDataShellIndex(shell);
    if (now >= 0) m_shells.erase(m_shells.begin() + now);
    SetModifiedFlag();
    if (CMainFrame* frame = GetMainFrame()) {
        frame->RefreshFileList();
        frame->RebuildNavigate(this);
    }
    if (m_arranged) AutoArrange();
    if (!m_views.empty()) m_views.front()->RedrawDirtyAreas();
}

void CLumitraDoc::SetCurrentDataShell(VexaDataShell* shell) {
    m_currentShell = (shell && GetDataShellIndex(shell) >= 0) ? shell : nullptr;
    if (CMainFrame* frame = GetMainFrame()) frame->OnCurrentShellChanged(m_currentShell);
}

void CLumitraDoc::SetCurrentDataShellAt(int32_t index) { SetCurrentDataShell(GetDataShellAt(index)); }

int32_t CLumitraDoc::GetDataShellIndex(const VexaDataShell* shell) const {
    if (!shell) return -1;
    for (size_t i = 0; i < m_shells.size(); ++i)
        if (m_shells[i].get() == shell) return int32_t(i);
    return -1;
}

VexaDataShell* CLumitraDoc::GetDataShellAt(int32_t index) const {
    if (m_readingFile)
        return index >= 0 && size_t(index) < m_fileShells.size() ? m_fileShells[size_t(index)] : nullptr;
    return index >= 0 && index < GetDataShellCount() ? m_shells[size_t(index)].get() : nullptr;
}

std::vector<CTrkObj*> CLumitraDoc::ObjectsOfShell(const VexaDataShell* shell, int32_t userKind) const {
    std::vector<CTrkObj*> out;
    if (!shell) return out;
    for (CDataShellUser* u : shell->GetUsers()) {
        if (u->GetUserKind() != userKind) continue;
        if (auto* obj = dynamic_cast<CTrkObj*>(u); obj && GetObjectIndex(obj) >= 0) out.push_back(obj);
    }
    return out;
}

bool CLumitraDoc::HasResultTable(const VexaDataShell* shell) const {
    if (!shell) return false;
    for (CDataShellUser* u : shell->GetUsers())
        if (u->GetUserKind() == kUserResultTable) return true;
    return false;
}

void CLumitraDoc::OnShellMessage(VexaDataShell*) {}

void CLumitraDoc::ShowDataShellChange(VexaDataShell* shell) {
    if (GetDataShellIndex(shell) < 0) return;
    // Grid cells and table rows go stale and mark their objects.
    for (CGateNode* gate : std::vector<CGateNode*>(shell->GetGates()))
        if (CStatItem* item = gate->GetStatItem()) item->NotifyUsers();
    // Titles, axes and layers are read when drawn.
    for (CDataShellUser* user : std::vector<CDataShellUser*>(shell->GetUsers()))
        if (auto* obj = dynamic_cast<CTrkObj*>(user); obj && GetObjectIndex(obj) >= 0) InvalidateObject(obj);
    RedrawDirty();
}

void CLumitraDoc::SetTemplateShell(VexaDataShell* shell) {
    m_templateShell = (shell && GetDataShellIndex(shell) >= 0) ? shell : nullptr;
}

// =============================================================== placement

CSize CLumitraDoc::GetCanvasSize() const {
    return CSize(m_pagesAcross * m_pageWidth, m_pagesDown * m_pageHeight);
}

CPoint CLumitraDoc::PointToPage(int32_t x, int32_t y) const {
    return CPoint(m_pageWidth > 0 ? x / m_pageWidth : 0, m_pageHeight > 0 ? y / m_pageHeight : 0);
}

void CLumitraDoc::SetPageCount(int32_t across, int32_t down) {
    m_pagesAcross = std::clamp(across, 1, kMaxPagesAcross);
    m_pagesDown = std::clamp(down, 1, kMaxPagesDown);
    m_pagesDownChosen = m_pagesDown;
    UpdateAllViews();
}

bool CLumitraDoc::GrowToFit(int32_t bottom) {
    bool grown = false;
    while (bottom > GetCanvasSize().cy && m_pagesDown < kMaxPagesDown) {
        ++m_pagesDown;
        grown = true;
    }
    if (grown) UpdateAllViews();
    return grown;
}

bool CLumitraDoc::PlaceNewObject(CRect& rect, bool forceNewRow) {
    bool moved = false;
    if (rect.bottom > m_rowBottom) m_rowBottom = rect.bottom;
    if (rect.right > GetCanvasSize().cx || forceNewRow) {
        const CSize size = rect.Size();
        rect = CRect(CPoint(kPilotGap, m_rowBottom + kRowGap), size);
        // The moved object starts the new row: its bottom is the row's
        // bottom now, so the next row cannot overlap it.
        m_rowBottom = rect.bottom;
        moved = true;
    }
    GrowToFit(rect.bottom);
    m_pilot = CPoint(rect.right + kRowGap, rect.top);
    return moved;
}

bool CLumitraDoc::FitObjectInPages(CTrkObj* obj) {
    if (!obj) return false;
    bool moved = false;
    CRect r = obj->GetRect();
    r.NormalizeRect();
    // An object that covers another or leaves the canvas goes to the nearest
    // free place: moving it to the left below itself, unlooked, put it on
    // what lay there or pages away from where the user asked for it.
    if (!IsFreePlace(r, obj)) {
        const CPoint at = FindFreePlace(r.Size(), r.TopLeft(), obj);
        if (at != r.TopLeft()) {
            obj->SetRect(CRect(at, r.Size()), true);
            m_pilot = CPoint(at.x + r.Width() + kRowGap, at.y);
            moved = true;
        }
    }
    GrowToFit(obj->GetRect().bottom);
    for (CLumitraView* v : std::vector<CLumitraView*>(m_views)) v->ShowPageRect(obj->GetRect());
    return moved;
}

void CLumitraDoc::PlaceNew(CTrkObj* obj, bool keepPlace) {
    if (!keepPlace) {
        if (FitObjectInPages(obj)) m_pilot = CPoint(obj->GetRect().right + kPilotGap, obj->GetRect().top);
        return;
    }
    for (CLumitraView* v : std::vector<CLumitraView*>(m_views)) v->ShowPageRect(obj->GetRect());
}

bool CLumitraDoc::IsFreePlace(const CRect& rect, const CTrkObj* except) const {
    CRect r = rect;
    r.NormalizeRect();
    if (r.left < 0 || r.top < 0 || r.right > GetCanvasSize().cx) return false;
    CRect meet;
    for (const auto& obj : m_objects) {
        if (obj.get() == except) continue;
        if (meet.IntersectRect(r, Normalized(obj->GetRect()))) return false;
    }
    return true;
}

void CLumitraDoc::ShrinkToObjects() {
    int64_t bottom = 0;
    for (const auto& obj : m_objects) bottom = std::max<int64_t>(bottom, Normalized(obj->GetRect()).bottom);
    const int64_t need = m_pageHeight > 0 ? (bottom + m_pageHeight - 1) / m_pageHeight : 1;
    const int32_t down = int32_t(std::clamp<int64_t>(need, m_pagesDownChosen, m_pagesDown));
    if (down == m_pagesDown) return;
    m_pagesDown = down;
    UpdateAllViews();
}

void CLumitraDoc::PlaceAtPilot(CTrkObj* obj) {
    if (!obj || obj->GetType() != kObjPlot || GetObjectIndex(obj) < 0) return;
    const PlotDefaults& d = GetPlotDefaults();
    obj->SetRect(CRect(m_pilot, CSize(d.UsedWidth(), d.UsedHeight())));
    if (!FitObjectInPages(obj)) m_pilot.x += d.UsedWidth() + kPilotGap;
    SetModifiedFlag();
    RedrawDirty();
}

CPoint CLumitraDoc::FindFreePlace(CSize size, CPoint wish, const CTrkObj* except) const {
    const CSize want(std::max(size.cx, 1), std::max(size.cy, 1));
    const int32_t maxLeft = std::max(0, GetCanvasSize().cx - want.cx);
    const CPoint start(std::clamp(wish.x, 0, maxLeft), std::max(wish.y, 0));
    // Each object is kept apart by the gap, so a place that touches none of
    // these grown rectangles leaves room to click between neighbours.
    std::vector<CRect> taken;
    taken.reserve(m_objects.size());
    for (const auto& obj : m_objects) {
        if (obj.get() == except) continue;
        CRect r = obj->GetRect();
        r.NormalizeRect();
        taken.emplace_back(r.left - kPilotGap, r.top - kPilotGap, r.right + kPilotGap, r.bottom + kPilotGap);
    }
    auto isFree = [&](CPoint at) {
        const CRect r(at, want);
        CRect meet;
        return std::none_of(taken.begin(), taken.end(), [&](const CRect& t) { return meet.IntersectRect(r, t); });
    };
    if (isFree(start)) return start;
    // The nearest free place touches the wish's own row or column, or an edge
    // of some object; those lines are the only candidates worth trying. The
    // line below every object is always free, so the search always ends.
    std::vector<int32_t> xs{start.x, 0};
    std::vector<int32_t> ys{start.y, 0};
    int32_t lowest = 0;
    for (const CRect& t : taken) {
        xs.push_back(t.right);
        xs.push_back(t.left - want.cx);
        ys.push_back(t.bottom);
        ys.push_back(t.top - want.cy);
        lowest = std::max(lowest, t.bottom);
    }
    ys.push_back(lowest);
    CPoint best(start.x, lowest);
    int64_t bestDist = INT64_MAX;
    for (int32_t y : ys) {
        if (y < 0) continue;
        for (int32_t x : xs) {
            if (x < 0 || x > maxLeft) continue;
            const int64_t dx = int64_t(x) - start.x, dy = int64_t(y) - start.y;
            const int64_t dist = dx * dx + dy * dy;
            // Ties go to the higher place, then the left one: reading order.
            const bool better = dist < bestDist || (dist == bestDist && (y < best.y || (y == best.y && x < best.x)));
            if (better && isFree(CPoint(x, y))) {
                best = CPoint(x, y);
                bestDist = dist;
            }
        }
    }
    return best;
}

void CLumitraDoc::SetAutoArrange(bool on) {
    m_arranged = on;
    AutoArrange();
}

void CLumitraDoc::AutoArrange() {
    if (!m_arranged) return;
    const PlotDefaults& d = GetPlotDefaults();
    const int32_t cellW = d.UsedWidth() + kRowGap;
    const int32_t cellH = d.UsedHeight() + kRowGap;
    CPoint at(kRowGap, kRowGap);
    int32_t rowBottom = at.y;
    auto place = [&](CTrkObj* obj, bool plotCell) {
        const CSize size = plotCell ? CSize(d.UsedWidth(), d.UsedHeight()) : obj->GetRect().Size();
        if (at.x > kRowGap && at.x + size.cx > GetCanvasSize().cx) {
            at = CPoint(kRowGap, rowBottom);
        }
        obj->SetRect(CRect(at, size));
        rowBottom = std::max(rowBottom, at.y + (plotCell ? cellH : size.cy + kRowGap));
        GrowToFit(at.y + size.cy);
        at.x += plotCell ? cellW : size.cx + kRowGap;
    };
    auto newRow = [&] {
        if (at.x > kRowGap) at = CPoint(kPilotGap, rowBottom);
    };
    if (m_arrangeMode == kArrangeByData) {
        for (const auto& s : m_shells) {
            for (CTrkObj* plot : ObjectsOfShell(s.get(), kUserPlot)) place(plot, true);
            for (CTrkObj* table : ObjectsOfShell(s.get(), kUserResultTable)) {
                newRow();
                place(table, false);
            }
            newRow();
        }
    } else {
        for (const auto& s : m_shells)
            for (CTrkObj* plot : ObjectsOfShell(s.get(), kUserPlot)) place(plot, true);
        newRow();
        for (const auto& s : m_shells)
            for (CTrkObj* table : ObjectsOfShell(s.get(), kUserResultTable)) place(table, false);
    }
    UpdateAllViews();
}

void CLumitraDoc::SetDbLinkGrid(CTrkObj* grid) {
    m_dbLinkGrid = (grid && grid->GetType() == kObjGrid && GetObjectIndex(grid) >= 0) ? grid : nullptr;
}
