// The report view's creation operations: plots from files, gates, templates
// and other plots, and the text boxes, result tables and grids whose makers
// other parts of the program register.
#include <QScrollBar>

#include "base/Paths.h"
#include "core/DataShell.h"
#include "core/GateNode.h"
#include "dialogs/NewGridDlg.h"
#include "platform/UiServices.h"
#include "report/page/Grid.h"
#include "report/page/LumitraDoc.h"
#include "report/page/ResultTable.h"
#include "report/page/LumitraView.h"
#include "report/app/MainFrame.h"
#include "report/app/LumitraApp.h"
#include "report/plot/Plot.h"
#include "report/plot/PlotDefaults.h"
#include "report/page/TrkKinds.h"
#include "report/page/TrkObj.h"
#include "report/page/TrkText.h"

namespace {

void ShowInfoAssistant(CLumitraDoc* doc) {
    if (CMainFrame* frame = GetMainFrame()) frame->ShowInfoAssistant(doc);
}

ViewObjectMakers& Makers() {
    static ViewObjectMakers makers = [] {
        ViewObjectMakers m;
        m.textBox = &MakeTextBox;
        m.grid = &MakeGridAt;
        m.newGridDialog = &CNewGridDlg::Ask;
        m.resultTable = &MakeResultTable;
        m.infoAssistant = &ShowInfoAssistant;
        return m;
    }();
    return makers;
}

}  // namespace

void CLumitraView::SetObjectMakers(const ViewObjectMakers& makers) { Makers() = makers; }

const ViewObjectMakers& CLumitraView::GetObjectMakers() { return Makers(); }

CTrkObj* CLumitraView::InsertObject(std::unique_ptr<CTrkObj> obj, bool arrange, bool keepPlace) {
    if (!m_doc || !obj) return nullptr;
    CTrkObj* p = m_doc->AddObject(std::move(obj));
    if (!p) return nullptr;
    if (!m_placingDrop) m_doc->PlaceNew(p, keepPlace);
    if (arrange && m_doc->IsAutoArranged()) m_doc->AutoArrange();
    m_doc->SetActiveObject(p);
    return p;
}

// ================================================================ plots

void CLumitraView::OpenFailed(const std::string& path, const std::string& why) {
    lm::OpenFailedBox(this, QString::fromStdString(lm::FileNameOf(path)), QString::fromStdString(why));
}

CPLOT* CLumitraView::NewPlotAt(int32_t x, int32_t y, int32_t xPar, int32_t yPar, const std::string& path) {
    if (!m_doc) return nullptr;
    // The first object takes the hint off the whole view.
    if (m_doc->GetObjectCount() == 0) viewport()->update();
    VexaDataShell* shell = m_doc->OpenDataFile(path, 0);
    CGateNode* gate = shell ? shell->GetGate(0) : nullptr;
    if (!gate) {
        OpenFailed(path, m_doc->GetOpenProblem());
        return nullptr;
    }
    const int32_t count = shell->GetParamCount();
    if (xPar < 0 || xPar >= count) xPar = GetPlotDefaults().UsedParamX(count);
    if (yPar < 0 || yPar >= count) yPar = GetPlotDefaults().UsedParamY(count);
    auto plot = std::make_unique<CPLOT>(x, y, gate, m_doc, xPar, yPar);
    return static_cast<CPLOT*>(InsertObject(std::move(plot), true));
}

CPLOT* CLumitraView::NewPlotInRect(const CRect& rect, int32_t xPar, int32_t yPar, CGateNode* gate,
                                   bool keepPlace) {
    if (!m_doc) return nullptr;
    // Only a gate of a data set this document holds.
    if (gate && (!gate->GetShell() || m_doc->GetDataShellIndex(gate->GetShell()) < 0)) return nullptr;
    std::unique_ptr<CPLOT> plot;
    if (gate)
        plot = std::make_unique<CPLOT>(rect, gate, m_doc, xPar, yPar);
    else
        plot = std::make_unique<CPLOT>(rect, m_doc, xPar, yPar);
    return static_cast<CPLOT*>(InsertObject(std::move(plot), true, keepPlace));
}

CPLOT* CLumitraView::NewPlotAtPilot(int32_t xPar, int32_t yPar, CGateNode* gate) {
    if (!m_doc) return nullptr;
    const PlotDefaults& d = GetPlotDefaults();
    const CPoint at = m_doc->FindFreePlace(CSize(d.UsedWidth(), d.UsedHeight()), m_doc->GetPilot());
    return NewPlotInRect(d.UsedRectAt(at.x, at.y), xPar, yPar, gate);
}

CPLOT* CLumitraView::OpenShellInNewPlot(VexaDataShell* shell) {
    if (!m_doc || !shell || m_doc->GetDataShellIndex(shell) < 0) return nullptr;
    const PlotDefaults& d = GetPlotDefaults();
    const int32_t count = shell->GetParamCount();
    CPLOT* plot = NewPlotAtPilot(d.UsedParamX(count), d.UsedParamY(count), shell->GetGate(0));
    m_doc->RedrawDirty();
    return plot;
}

CPLOT* CLumitraView::NewPlotFromPayload(int32_t x, int32_t y, CGateNode* gate) {
    if (!m_doc) return nullptr;
    // A gate dragged from another document's window: a plot here would keep
    // it after that document closed.
    if (gate && (!gate->GetShell() || m_doc->GetDataShellIndex(gate->GetShell()) < 0)) {
        lm::Ui().MessageBox(this, QStringLiteral("The gate belongs to another document: drop it on a page of that document."),
                            QStringLiteral("警告"), lm::MsgButtons::Ok, lm::MsgIcon::Warning);
        return nullptr;
    }
    const PlotDefaults& d = GetPlotDefaults();
    const int32_t count = gate && gate->GetShell() ? gate->GetShell()->GetParamCount() : 0;
    CPLOT* plot = NewPlotInRect(d.UsedRectAt(x, y), d.UsedParamX(count), d.UsedParamY(count), gate);
    if (CMainFrame* frame = GetMainFrame()) frame->RefreshNavigatePlots(m_doc);
    m_doc->RedrawDirty();
    return plot;
}

CPLOT* CLumitraView::NewPlotFromTemplate(int32_t x, int32_t y, CPLOT* templ, VexaDataShell* shell) {
    if (!m_doc) return nullptr;
    if (!shell || m_doc->GetDataShellIndex(shell) < 0) {
        OpenFailed(shell ? shell->GetPathName() : std::string(), "its data set is not open in this report");
        return nullptr;
    }
    if (!templ || m_doc->GetObjectIndex(templ) < 0) {
        auto plot = std::make_unique<CPLOT>(x, y, m_doc);
        return static_cast<CPLOT*>(InsertObject(std::move(plot), true));
    }
    // The template's own data set, or one laid out like it: a copy of the
    // template on the new data set, its size kept.
    if (templ->GetShell() == shell || shell->IsLayoutCompatible(templ->GetDataSet())) {
        const CRect rect(CPoint(x, y), templ->GetRect().Size());
        auto plot = std::make_unique<CPLOT>(rect, shell, *templ);
        plot->CopyRecordFrom(*templ);
        return static_cast<CPLOT*>(InsertObject(std::move(plot), true));
    }
    const QString text = QStringLiteral("数据不兼容！仅打开FCS文件不套用模板请按ok") +
                         RenamedParamsText(*shell, templ->GetShell()->GetPathName(), templ->GetShell()->GetParamCount());
    const int32_t answer =
        lm::Ui().MessageBox(this, text, QStringLiteral("警告"), lm::MsgButtons::OkCancel, lm::MsgIcon::Warning);
    if (answer != lm::kIdOk) return nullptr;
    CGateNode* gate = shell->GetGate(0);
    if (!gate) return nullptr;
    const PlotDefaults& d = GetPlotDefaults();
    const int32_t count = shell->GetParamCount();
    auto plot = std::make_unique<CPLOT>(x, y, gate, m_doc, d.UsedParamX(count), d.UsedParamY(count));
    return static_cast<CPLOT*>(InsertObject(std::move(plot), true));
}

CPLOT* CLumitraView::CopyPlotTo(const CRect& rect, CPLOT* source) {
    if (!m_doc || !source || m_doc->GetObjectIndex(source) < 0) return nullptr;
    auto plot = std::make_unique<CPLOT>(rect, *source);
    CPLOT* made = static_cast<CPLOT*>(InsertObject(std::move(plot), true, true));
    m_doc->RedrawDirty();
    return made;
}

// ============================================ text boxes, tables, grids

CTrkObj* CLumitraView::NewTextItem(const CRect& rect) {
    if (!m_doc || !Makers().textBox) return nullptr;
    CRect r = rect;
    r.NormalizeRect();
    // Text boxes stay where they are drawn, over a plot too: the page is not
    // re-arranged.
    CTrkObj* made = InsertObject(Makers().textBox(m_doc, r), false, true);
    m_doc->RedrawDirty();
    return made;
}

CTrkObj* CLumitraView::NewTextItemAt(CPoint page) {
    if (!m_doc || !Makers().textBox) return nullptr;
    CTrkObj* made = InsertObject(Makers().textBox(m_doc, CRect(page, page)), false);
    m_doc->RedrawDirty();
    return made;
}

CTrkObj* CLumitraView::NewResultItem(int32_t x, int32_t y, VexaDataShell* shell) {
    return NewResultFromTemplate(x, y, shell, nullptr);
}

CTrkObj* CLumitraView::NewResultItemInView(VexaDataShell* shell) {
    const CPoint origin = ClientToLogical(QPoint(0, 0));
    return NewResultItem(origin.x + 10, origin.y + 10, shell);
}

CTrkObj* CLumitraView::NewResultFromTemplate(int32_t x, int32_t y, VexaDataShell* shell, CTrkObj* templ) {
    if (!m_doc || !shell || m_doc->GetDataShellIndex(shell) < 0) return nullptr;
    if (m_doc->HasResultTable(shell)) {
        lm::Ui().MessageBox(this, QStringLiteral("Result Item can't create twice"), QStringLiteral("警告"),
                            lm::MsgButtons::Ok, lm::MsgIcon::None);
        return nullptr;
    }
    if (!Makers().resultTable) return nullptr;
    if (templ && m_doc->GetObjectIndex(templ) < 0) templ = nullptr;
    CTrkObj* made = InsertObject(Makers().resultTable(m_doc, shell, CPoint(x, y), templ), true);
    m_doc->RedrawDirty();
    return made;
}

CTrkObj* CLumitraView::NewGridAt(int32_t x, int32_t y, int32_t rows, int32_t columns) {
    if (!m_doc || !Makers().grid || rows <= 0 || columns <= 0) return nullptr;
    CTrkObj* made = InsertObject(Makers().grid(m_doc, CPoint(x, y), rows, columns), false);
    m_doc->RedrawDirty();
    return made;
}
