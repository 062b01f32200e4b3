// The report view's context menus: the menu of a multi-selection, the menu
// of the object under the pointer (built by the object, a few of its
// commands carried out here), and the page menu with the pilot point, the
// picture of one page and the number of pages.
#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QScrollBar>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>

#include "platform/UiServices.h"
#include "report/app/CommandIds.h"
#include "report/app/LumitraApp.h"
#include "report/page/LumitraDoc.h"
#include "report/page/LumitraView.h"
#include "report/page/PagePainter.h"
#include "report/page/PictureFile.h"
#include "report/plot/Plot.h"
#include "report/page/TrkKinds.h"
#include "report/page/TrkObj.h"

namespace {

constexpr char kJpgFilter[] = "JPG Files (*.jpg)|*.jpg||";
constexpr char kPdfFilter[] = "PDF Files (*.pdf)|*.pdf||";
// Pages a report may span down, as the page-count dialog offers them.
constexpr int32_t kMaxPagesDownAsked = 99;

lm::MenuItem Item(int32_t id, const char* text) { return lm::MenuItem::Command(id, QString::fromUtf8(text)); }

// How many pages the report spans across and down.
class PageCountDialog : public QDialog {
public:
    PageCountDialog(QWidget* parent, int32_t across, int32_t down) : QDialog(parent) {
        setWindowTitle(QStringLiteral("Set Page Num"));
        m_across = new QSpinBox(this);
        m_across->setObjectName(QStringLiteral("pagesAcross"));
        m_across->setRange(1, kMaxPagesAcross);
        m_across->setValue(std::clamp(across, 1, kMaxPagesAcross));
        m_down = new QSpinBox(this);
        m_down->setObjectName(QStringLiteral("pagesDown"));
        m_down->setRange(1, std::min(kMaxPagesDown, kMaxPagesDownAsked));
        m_down->setValue(std::clamp(down, 1, std::min(kMaxPagesDown, kMaxPagesDownAsked)));
        auto* vertical = new QCheckBox(QStringLiteral("Vertical Arrange"), this);
        vertical->setChecked(true);
        vertical->setEnabled(false);
        auto* form = new QFormLayout;
        form->addRow(QStringLiteral("Horizontal"), m_across);
        form->addRow(QStringLiteral("Vertical"), m_down);
        auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
        connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
        connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
        auto* layout = new QVBoxLayout(this);
        layout->addLayout(form);
        layout->addWidget(vertical);
        layout->addWidget(buttons);
    }
    int32_t Across() const { return m_across->value(); }
    int32_t Down() const { return m_down->value(); }

private:
    QSpinBox* m_across;
    QSpinBox* m_down;
};

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
    } else if (m_trackState == kTrackIdle && hit) {
        m_doc->SetActiveObject(hit);
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
    const std::vector<lm::MenuItem> items{Item(kPageCmdSetPilot, "Set Pilot"), Item(kPageCmdSaveJpg, "Save As Jpg"),
                                          Item(kPageCmdSetPageNum, "Set Page Num")};
    const int32_t cmd = lm::Ui().TrackPopupMenu(this, items, globalPos);
    if (cmd != 0) OnPageCommand(cmd, page);
}

void CLumitraView::OnPageCommand(int32_t id, CPoint page) {
    if (!m_doc) return;
    const ViewObjectMakers& makers = GetObjectMakers();
    switch (id) {
        case kPageCmdSetPilot:
            m_doc->SetPilot(page);
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
        case kPageCmdPdf: {
            // The PDF export takes the name and writes nothing.
            lm::FileDialogRequest request;
            request.filter = lm::FilterFromMfc(QString::fromLatin1(kPdfFilter));
            request.defaultSuffix = QStringLiteral("PDF");
            lm::Ui().GetSaveFileName(this, request);
            break;
        }
        default:
            break;
    }
}

void CLumitraView::SetPageNum() {
    PageCountDialog dialog(this, m_doc->GetPagesAcross(), m_doc->GetPagesDown());
    if (lm::Ui().ExecDialog(&dialog) != lm::kDialogAccepted || !m_doc) return;
    const int32_t across = dialog.Across(), down = dialog.Down();
    if (across == m_doc->GetPagesAcross() && down == m_doc->GetPagesDown()) return;
    // Every view takes the new canvas at its own zoom.
    m_doc->SetPageCount(across, down);
    m_doc->SetModifiedFlag();
}

void CLumitraView::ExportAreaAsJpg(const CRect& area) {
    if (!m_doc || area.IsRectEmpty()) return;
    lm::FileDialogRequest request;
    request.filter = lm::FilterFromMfc(QString::fromLatin1(kJpgFilter));
    request.defaultSuffix = QStringLiteral("jpg");
    const QString path = lm::Ui().GetSaveFileName(this, request);
    if (path.isEmpty()) return;  // cancelled: nothing written
    if (PictureFormatOf(path) != PictureFormat::Jpg) {
        lm::ErrorBox(this, QStringLiteral("Pictures of the page are written as JPG files (\".jpg\"):\n%1").arg(path),
                     ProgramName());
        return;
    }
    const QImage picture = CPagePainter::RenderArea(*m_doc, area);
    if (picture.isNull()) {
        lm::ErrorBox(this, QStringLiteral("The area is too large for a picture."), ProgramName());
        return;
    }
    QString error;
    if (!SavePictureJpg(picture, path, &error)) lm::ErrorBox(this, error, ProgramName());
}
