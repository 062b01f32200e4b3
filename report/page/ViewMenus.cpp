// The report view's context menus: the menu of a multi-selection, the menu
// of the object under the pointer (built by the object, a few of its
// commands carried out here), and the page menu with the pilot point, the
// picture of one page, the PDF of every page and the number of pages.
#include <QScrollBar>

#include <algorithm>

#include "dialogs/SetPageNumDlg.h"
#include "platform/UiServices.h"
#include "report/app/CommandIds.h"
#include "report/app/LumitraApp.h"
#include "report/page/LumitraDoc.h"
#include "report/page/LumitraView.h"
#include "report/plot/Plot.h"
#include "report/page/TrkKinds.h"
#include "report/page/TrkObj.h"

namespace {

constexpr char kJpgFilter[] = "JPG Files (*.jpg)|*.jpg||";
constexpr char kPdfFilter[] = "PDF Files (*.pdf)|*.pdf||";
// Pages a report may span down, as the page-count dialog offers them.
constexpr int32_t kMaxPagesDownAsked = 99;

lm::MenuItem Item(int32_t id, const char* text) { return lm::MenuItem::Command(id, QString::fromUtf8(text)); }

// Pages needed to hold `extent` page units of objects (at least one).
int32_t PagesToHold(int32_t extent, int32_t pageSize) {
    if (pageSize <= 0 || extent <= 0) return 1;
    return int32_t((int64_t(extent) + pageSize - 1) / pageSize);
}

}  // namespace

// ======================================================== right button

void CLumitraView::OnRButtonDown(uint32_t flags, const QPoint& client, const QPoint& globalPos) {
    if (!m_doc) return;
    const CPoint page = PageAt(client);
    CTrkObj* hit = ObjectAtPoint(page);

    // A multi-selection: its own menu on one of its members; elsewhere the
    // object under the pointer (or nothing) is selected instead.
    if (m_trackState == kTrackIdle && !m_doc->GetSelection().empty()) {
        if (hit && m_doc->IsInSelection(hit)) {
            ShowSelectionMenu(globalPos);
            return;
        }
        if (hit) {
            m_doc->SetActiveObject(hit);
            SetTrackState(kTrackMove);
        } else {
            m_doc->ClearSelection();
            SetTrackState(kTrackIdle);
        }
        m_doc->RedrawDirty();
    } else if (m_trackState == kTrackIdle && (hit || m_doc->GetActiveObject())) {
        // An object made active by a panel or a command leaves the view idle:
        // the click still gets the object's menu, or the page's once the
        // object is let go.
        if (hit) m_doc->SetActiveObject(hit);
        SetTrackState(kTrackMove);
        m_doc->RedrawDirty();
    }

    if (m_trackState == kTrackMove || m_trackState == kTrackRegionSelected) {
        if (!hit) {
            m_doc->SetActiveObject(nullptr);
            SetTrackState(kTrackIdle);
            m_doc->RedrawDirty();
        } else {
            if (hit != m_doc->GetActiveObject()) {
                m_doc->SetActiveObject(hit);
                m_doc->RedrawDirty();
            }
            ShowObjectMenu(hit, flags, page, globalPos);
            return;
        }
    }

    if (m_trackState == kTrackIdle && !m_doc->GetActiveObject() && m_doc->GetSelection().empty())
        ShowPageMenu(page, globalPos);
}

void CLumitraView::ShowSelectionMenu(const QPoint& globalPos) {
    const std::vector<lm::MenuItem> items{Item(kSelCmdDelete, "Delete Item"), Item(kSelCmdSaveJpg, "Save As JPG")};
    const int32_t cmd = lm::Ui().TrackPopupMenu(this, items, globalPos);
    if (!m_doc) return;
    if (cmd == kSelCmdDelete) {
        // From the last to the first.
        const std::vector<CTrkObj*> members = m_doc->GetSelection();
        for (auto it = members.rbegin(); it != members.rend(); ++it)
            if (m_doc->IsInSelection(*it)) DeleteObject(*it);
    } else if (cmd == kSelCmdSaveJpg) {
        const std::vector<CTrkObj*>& members = m_doc->GetSelection();
        if (members.empty()) return;
        CRect bound = members.front()->GetRect();
        for (CTrkObj* o : members) {
            const CRect& r = o->GetRect();
            bound.left = std::min(bound.left, r.left);
            bound.top = std::min(bound.top, r.top);
            bound.right = std::max(bound.right, r.right);
            bound.bottom = std::max(bound.bottom, r.bottom);
        }
        ExportAreaAsJpg(bound);
    }
}

void CLumitraView::ShowObjectMenu(CTrkObj* obj, uint32_t flags, CPoint page, const QPoint& globalPos) {
    std::vector<lm::MenuItem> items;
    int32_t extra = 0;
    bool shown = false;
    CPLOT* plot = obj->GetType() == kObjPlot ? dynamic_cast<CPLOT*>(obj) : nullptr;
    if (plot)
        shown = plot->BuildContextMenu(&items, flags, page, &extra);
    else
        shown = obj->BuildContextMenu(&items, flags, page);
    if (!shown || items.empty()) return;
    const int32_t cmd = lm::Ui().TrackPopupMenu(this, items, globalPos);
    // Whatever the menu's time let happen, the object must still be here.
    if (!m_doc || m_doc->GetObjectIndex(obj) < 0) return;
    switch (cmd) {
        case kCtxNone:
            return;
        case kPlotCmdRangeTool:
        case kPlotCmdRectTool:
        case kPlotCmdEllipseTool:
        case kPlotCmdPolygonTool:
        case kPlotCmdQuadrantTool:
            // The region tools: the next press on the plot draws.
            SetTrackState(-cmd);
            return;
        case kCtxDeleteItem:
            DeleteObject(obj);
            return;
        case kCtxCopy:
            obj->CopyToClipboard();
            return;
        default:
            break;
    }
    const bool handled = obj->OnContextCommand(uint32_t(cmd), extra);
    // A choice of gate or axis leaves the repaint to the caller.
    if (!handled && m_doc->GetObjectIndex(obj) >= 0) m_doc->InvalidateObject(obj);
    m_doc->RedrawDirty();
}

void CLumitraView::ShowPageMenu(CPoint page, const QPoint& globalPos) {
    // A grid needs its maker and its dialog: without them the item shows
    // what this version cannot do yet.
    const ViewObjectMakers& makers = GetObjectMakers();
    const std::vector<lm::MenuItem> items{
        Item(kPageCmdSetPilot, "Set Pilot"),
        Item(kPageCmdSaveJpg, "Save As Jpg"),
        Item(kPageCmdPdf, "Save As PDF"),
        Item(kPageCmdSetPageNum, "Set Page Num"),
        lm::MenuItem::Command(kPageCmdInfoAssistant, QStringLiteral("Info Assistant"), makers.infoAssistant != nullptr),
        lm::MenuItem::Separator(),
        lm::MenuItem::Command(kPageCmdTextBox, QStringLiteral("Text Box"), makers.textBox != nullptr),
        lm::MenuItem::Command(kPageCmdNewGrid, QStringLiteral("Grid..."), makers.grid && makers.newGridDialog),
    };
    const int32_t cmd = lm::Ui().TrackPopupMenu(this, items, globalPos);
    if (cmd != 0) OnPageCommand(cmd, page);
}

void CLumitraView::OnPageCommand(int32_t id, CPoint page) {
    if (!m_doc) return;
    const ViewObjectMakers& makers = GetObjectMakers();
    switch (id) {
        case kPageCmdSetPilot:
            // The report keeps its pilot point: a new one is an edit.
            if (page == m_doc->GetPilot()) break;
            m_doc->SetPilot(page);
            m_doc->SetModifiedFlag();
            break;
        case kPageCmdSaveJpg: {
            // The page under the pointer; a point on the grey beyond the
            // canvas takes the nearest page.
            const CSize ps = m_doc->GetPageSize();
            if (ps.cx <= 0 || ps.cy <= 0) return;
            const CPoint at = m_doc->PointToPage(std::max(page.x, 0), std::max(page.y, 0));
            const int32_t col = std::min(at.x, m_doc->GetPagesAcross() - 1);
            const int32_t row = std::min(at.y, m_doc->GetPagesDown() - 1);
            ExportAreaAsJpg(CRect(CPoint(col * ps.cx, row * ps.cy), ps));
            break;
        }
        case kPageCmdSetPageNum:
            SetPageNum();
            break;
        case kPageCmdTextBox:
            NewTextItemAt(page);
            break;
        case kPageCmdNewGrid: {
            int32_t rows = 0, columns = 0;
            if (makers.newGridDialog && makers.newGridDialog(this, &rows, &columns))
                NewGridAt(page.x, page.y, rows, columns);
            break;
        }
        case kPageCmdInfoAssistant:
            if (makers.infoAssistant) makers.infoAssistant(m_doc);
            break;
        case kPageCmdPdf:
            ExportPdf();
            break;
        default:
            break;
    }
}

void CLumitraView::SetPageNum() {
    CSetPageNumDlg dialog(this);
    dialog.m_nAcross = m_doc->GetPagesAcross();
    dialog.m_nDown = m_doc->GetPagesDown();
    // No fewer pages than the objects reach, no more than the document keeps.
    int32_t right = 0, bottom = 0;
    for (const auto& o : m_doc->GetObjects()) {
        right = std::max(right, o->GetRect().right);
        bottom = std::max(bottom, o->GetRect().bottom);
    }
    const CSize ps = m_doc->GetPageSize();
    dialog.m_nMaxAcross = kMaxPagesAcross;
    dialog.m_nMaxDown = std::min(kMaxPagesDown, kMaxPagesDownAsked);
    dialog.m_nMinAcross = std::min(PagesToHold(right, ps.cx), dialog.m_nMaxAcross);
    dialog.m_nMinDown = std::min(PagesToHold(bottom, ps.cy), dialog.m_nMaxDown);
    dialog.UpdateData(false);
    if (lm::Ui().ExecDialog(&dialog) != lm::kDialogAccepted || !m_doc) return;
    const int32_t across = dialog.m_nAcross, down = dialog.m_nDown;
    if (across == m_doc->GetPagesAcross() && down == m_doc->GetPagesDown()) return;
    // Every view takes the new canvas at its own zoom.
    m_doc->SetPageCount(across, down);
    m_doc->SetModifiedFlag();
}

void CLumitraView::ExportAreaAsJpg(const CRect& area) {
    if (!m_doc) return;
    if (area.IsRectEmpty()) {
        lm::ErrorBox(this, QStringLiteral("The area to save is empty: there is nothing to write."), ProgramName());
        return;
    }
    lm::FileDialogRequest request;
    request.filter = lm::FilterFromMfc(QString::fromLatin1(kJpgFilter));
    request.defaultSuffix = QStringLiteral("jpg");
    const QString path = lm::Ui().GetSaveFileName(this, request);
    if (path.isEmpty() || !m_doc) return;  // cancelled: nothing written
    QString error;
    bool written = false;
    {
        const lm::WaitCursor busy;
        written = m_doc->SaveAreaAsJpg(area.left, area.top, area.Width(), area.Height(), path, &error);
    }
    if (!written) lm::ErrorBox(this, error, ProgramName());
}

void CLumitraView::ExportPdf() {
    if (!m_doc) return;
    lm::FileDialogRequest request;
    request.filter = lm::FilterFromMfc(QString::fromLatin1(kPdfFilter));
    request.defaultSuffix = QStringLiteral("pdf");
    const QString path = lm::Ui().GetSaveFileName(this, request);
    if (path.isEmpty() || !m_doc) return;  // cancelled: nothing written
    QString error;
    bool written = false;
    {
        // Every page is drawn at printer resolution: this takes a moment.
        const lm::WaitCursor busy;
        written = m_doc->ExportPdf(path, &error);
    }
    if (!written) lm::ErrorBox(this, error, ProgramName());
}
