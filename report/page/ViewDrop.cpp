// FCS files dropped on the report view from the desktop.
//
// Each file is checked first; one that is not an FCS file is reported and
// skipped, and the others still come in. One file dropped inside a plot's
// plot area replaces that plot's data and keeps its gates. Otherwise every
// file becomes a plot of the default size at the drop point, the plots laid
// out in reading order from there; with a template data set marked in the
// File List, every file takes the template's analysis and copies of its
// plots and result table instead.
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QScopedValueRollback>
#include <QUrl>

#include "base/Paths.h"
#include "core/DataShell.h"
#include "core/FcsText.h"
#include "platform/UiServices.h"
#include "report/app/DragDropData.h"
#include "report/app/DragDropMgr.h"
#include "report/app/LumitraApp.h"
#include "report/page/LumitraDoc.h"
#include "report/page/LumitraView.h"
#include "report/app/MainFrame.h"
#include "report/plot/Plot.h"
#include "report/plot/PlotDefaults.h"
#include "report/page/TrkKinds.h"
#include "report/page/TrkObj.h"

namespace {

bool HasLocalFiles(const QMimeData* mime) {
    if (!mime || !mime->hasUrls()) return false;
    for (const QUrl& url : mime->urls())
        if (url.isLocalFile()) return true;
    return false;
}

// The file system's bytes of a path.
std::string FilePath(const QString& path) { return QFile::encodeName(path).toStdString(); }

}  // namespace

// ======================================================== Qt's events

void CLumitraView::dragEnterEvent(QDragEnterEvent* e) {
    if (m_doc && HasLocalFiles(e->mimeData()))
        e->acceptProposedAction();
    else
        e->ignore();
}

void CLumitraView::dragMoveEvent(QDragMoveEvent* e) {
    if (m_doc && HasLocalFiles(e->mimeData()))
        e->acceptProposedAction();
    else
        e->ignore();
}

QPoint CLumitraView::DropPoint(const QPointF& pos) const { return pos.toPoint(); }

void CLumitraView::dropEvent(QDropEvent* e) {
    const QMimeData* mime = e->mimeData();
    if (!m_doc || !HasLocalFiles(mime)) {
        e->ignore();
        return;
    }
    // Every URL in the order given; one that is not a local file is not an
    // FCS file either and is reported as such.
    QStringList paths;
    for (const QUrl& url : mime->urls()) paths << url.toLocalFile();
    e->acceptProposedAction();
    OnDropFiles(paths, DropPoint(e->position()));
}

// ============================================================== drops

void CLumitraView::OnDropFiles(const QStringList& paths, const QPoint& client) {
    if (!m_doc || paths.isEmpty()) return;
    CMainFrame* frame = GetMainFrame();
    const int32_t mask = frame ? frame->GetApplyMask() : 0;
    VexaDataShell* templ = m_doc->GetTemplateShell();
    const bool useTemplate = (mask & kDropUseTemplate) && templ;

    // New objects are placed from the drop point on, in reading order.
    const QScopedValueRollback<bool> placing(m_placingDrop, true);
    const CPoint at = PageAt(client);
    m_doc->SetPilot(at);
    m_doc->SetRowBottom(at.y);
    const bool single = paths.size() == 1;
    int32_t filesPlaced = 0;

    for (const QString& name : paths) {
        const std::string path = FilePath(name);
        CTrkObj* hit = ObjectAtPoint(at);
        const std::string problem = name.isEmpty() ? "not a file on this computer" : FcsFileProblem(path);
        if (!problem.empty()) {
            // Reported and left out; the other files still come in.
            OpenFailed(path, problem);
            continue;
        }
        // One file on a plot's area that shows a data set: that data set
        // takes the file.
        CPLOT* onto = hit && hit->GetType() == kObjPlot ? dynamic_cast<CPLOT*>(hit) : nullptr;
        if (single && onto && onto->GetPlotArea().PtInRect(at) && onto->GetShell() && onto->GetDataSet()) {
            bool ended = false;
            if (ReloadInPlace(onto, path, &ended) || ended) return;
        }
        const bool force = (mask & kDropBreakRows) && filesPlaced > 0;
        if (useTemplate) {
            if (DropWithTemplate(path, templ, mask, force)) ++filesPlaced;
            continue;
        }
        if (NewPlotOfFileAtPilot(path, force)) ++filesPlaced;
    }
    if (m_doc->IsAutoArranged()) m_doc->AutoArrange();
    m_doc->RedrawDirty();
}

CPLOT* CLumitraView::NewPlotOfFileAtPilot(const std::string& path, bool forceNewRow) {
    if (!m_doc) return nullptr;
    const PlotDefaults& d = GetPlotDefaults();
    const CPoint pilot = m_doc->GetPilot();
    // A plot that could not be made is not placed.
    CPLOT* plot = NewPlotAt(pilot.x, pilot.y, d.parax, d.paray, path);
    if (plot) PlaceDropped(plot, forceNewRow);
    return plot;
}

bool CLumitraView::ReloadInPlace(CPLOT* plot, const std::string& path, bool* ended) {
    m_doc->SetActiveObject(nullptr);
    SetTrackState(kTrackIdle);
    VexaDataShell* shell = plot->GetShell();
    const int32_t index = shell->GetDataSetIndex();
    // One data set per file: a file the document holds already is not
    // loaded a second time, the plot goes over to the data set that has it.
    VexaDataShell* open = m_doc->FindDataShell(path, index);
    CPLOT* shown = nullptr;
    std::string problem;
    if (open && open != shell) {
        shown = MovePlotToShell(plot, open, path);
    } else if (shell->OpenDataSet(path, index, &problem)) {
        // Titles, panels and the saved report name the file it holds now.
        shell->SetName(shell->GetFileName());
        shown = plot;
        WarnIfIncomplete(this, shell->GetDataSet());
    }
    if (shown) {
        m_doc->SetModifiedFlag();
        m_doc->SetActiveObject(shown);
        // New events reach the gates without a notice per gate: the values a
        // grid took from the table are marked stale here, or they stay blank.
        m_doc->ShowDataShellChange(shown->GetShell());
        if (CMainFrame* frame = GetMainFrame()) {
            frame->RefreshFileList();
            frame->RefreshNavigatePlots(m_doc);
        }
        return true;
    }
    if (!problem.empty()) {
        // A file no plot can show: named once, and no new plot offered.
        OpenFailed(path, problem);
        m_doc->RedrawDirty();
        *ended = true;
        return false;
    }
    // The data set read from path is gone again: its parameters are named
    // from what the layout test kept.
    const QString text = QStringLiteral("数据切换失败!新建图形打开数据？") +
                         RenamedParamsText(*shell, path, shell->GetOfferedParamCount());
    const int32_t answer = lm::Ui().MessageBox(this, text, QStringLiteral("错误信息"), lm::MsgButtons::YesNo,
                                               lm::MsgIcon::Question);
    if (answer != lm::kIdYes) {
        m_doc->RedrawDirty();
        *ended = true;
    }
    return false;
}

CPLOT* CLumitraView::MovePlotToShell(CPLOT* plot, VexaDataShell* open, const std::string& path) {
    const int32_t gateIndex = plot->GetGateIndex();
    if (gateIndex < 0 || gateIndex >= open->GetGateCount()) return nullptr;
    m_doc->OpenDataFile(path, open->GetDataSetIndex());  // tells the user it is open already
    auto copy = std::make_unique<CPLOT>(plot->GetRect(), open, *plot);
    copy->CopyRecordFrom(*plot);
    return static_cast<CPLOT*>(m_doc->ReplaceObject(plot, std::move(copy)));
}

void CLumitraView::PlaceDropped(CTrkObj* obj, bool forceNewRow) {
    if (!obj || m_doc->GetObjectIndex(obj) < 0) return;
    CRect r = obj->GetRect();
    if (m_doc->PlaceNewObject(r, forceNewRow)) obj->SetRect(r, false);
    // A new row may start on what lies there already.
    m_doc->FitObjectInPages(obj);
}

QString CLumitraView::RenamedParamsText(const VexaDataShell& shell, const std::string& otherPath, int32_t otherCount) {
    const std::vector<VexaDataShell::RenamedParam>& renamed = shell.GetRenamedParams();
    if (renamed.empty()) return {};
    auto shown = [](const std::string& name) {
        return name.empty() ? QStringLiteral("(no name)") : QString::fromStdString(name);
    };
    const QString own = QString::fromStdString(shell.GetFileName());
    const QString other = QString::fromStdString(lm::FileNameOf(otherPath));
    QString text = QStringLiteral("\n\nThese parameters have other names (%1 / %2):").arg(own, other);
    // A file of other parameters can differ at every place: the first
    // places say enough.
    constexpr size_t kShown = 16;
    for (size_t i = 0; i < renamed.size() && i < kShown; ++i)
        text += QStringLiteral("\nP%1: %2 / %3")
                    .arg(renamed[i].index + 1)
                    .arg(shown(renamed[i].own), shown(renamed[i].other));
    if (renamed.size() > kShown) text += QStringLiteral("\n... and %1 more").arg(renamed.size() - kShown);
    if (otherCount >= 0 && otherCount != shell.GetParamCount())
        text += QStringLiteral("\n%1 has %2 parameters, %3 has %4.")
                    .arg(own)
                    .arg(shell.GetParamCount())
                    .arg(other)
                    .arg(otherCount);
    return text;
}

bool CLumitraView::DropWithTemplate(const std::string& path, VexaDataShell* templ, int32_t mask, bool forceNewRow) {
    const bool wasOpen = m_doc->FindDataShell(path, 0) != nullptr;
    VexaDataShell* shell = m_doc->OpenDataFileAndNotify(path, 0, templ);
    if (!shell) {
        // Once for the file, whatever the template holds.
        OpenFailed(path, m_doc->GetOpenProblem());
        return false;
    }
    if (shell != templ && !shell->IsLayoutCompatible(templ->GetDataSet())) {
        // The template's plots, gates and tables would show other parameters
        // than they name: asked once for the file, and nothing of the
        // template is kept on it.
        const QString text = QStringLiteral("数据不兼容！仅打开FCS文件不套用模板请按ok") +
                             RenamedParamsText(*shell, templ->GetPathName(), templ->GetParamCount());
        const int32_t answer = lm::Ui().MessageBox(this, text, QStringLiteral("警告"), lm::MsgButtons::OkCancel,
                                                   lm::MsgIcon::Warning);
        if (!wasOpen && m_doc->GetDataShellIndex(shell) >= 0) m_doc->RemoveDataShell(shell);
        if (answer != lm::kIdOk) return false;
        if (!wasOpen) return NewPlotOfFileAtPilot(path, forceNewRow) != nullptr;
        if (m_doc->GetDataShellIndex(shell) < 0) return false;
        const PlotDefaults& d = GetPlotDefaults();
        const int32_t count = shell->GetParamCount();
        CPLOT* plot = NewPlotAtPilot(d.UsedParamX(count), d.UsedParamY(count), shell->GetRoot());
        PlaceDropped(plot, forceNewRow);
        return plot != nullptr;
    }
    bool first = true;
    auto place = [&](CTrkObj* made) {
        PlaceDropped(made, forceNewRow && first);
        first = false;
    };
    // The template's objects as they are now: the copies join the same
    // shell's users when the file is the template's own.
    if (mask & kDropCopyPlots) {
        const std::vector<CTrkObj*> plots = m_doc->ObjectsOfShell(templ, kUserPlot);
        for (CTrkObj* o : plots) {
            if (m_doc->GetObjectIndex(o) < 0) continue;
            auto* source = dynamic_cast<CPLOT*>(o);
            if (!source) continue;
            const CPoint pilot = m_doc->GetPilot();
            if (CPLOT* made = NewPlotFromTemplate(pilot.x, pilot.y, source, shell)) place(made);
        }
    }
    if (mask & kDropCopyResults) {
        const std::vector<CTrkObj*> tables = m_doc->ObjectsOfShell(templ, kUserResultTable);
        for (CTrkObj* t : tables) {
            if (m_doc->GetObjectIndex(t) < 0) continue;
            const CPoint pilot = m_doc->GetPilot();
            if (CTrkObj* made = NewResultFromTemplate(pilot.x, pilot.y, shell, t)) place(made);
        }
    }
    return true;
}

// ============================================================ gate drops

intptr_t CLumitraView::OnGateDropped(const CDragRecord& record) {
    CGateNode* gate = record.payload ? record.payload->GetGateContent() : nullptr;
    if (!gate || !m_doc) return 0;
    const CPoint page = PageAt(QPoint(record.point.x, record.point.y));
    CTrkObj* obj = ObjectAtPoint(page);
    if (!obj || obj->GetType() != kObjPlot) {
        NewPlotFromPayload(page.x, page.y, gate);
        return 0;
    }
    auto* plot = static_cast<CPLOT*>(obj);
    if (plot->GetStyleFlags() & (kPlotFlagHistogram | kPlotFlagOverlay)) plot->Repaint();
    return 0;
}
