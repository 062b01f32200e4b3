#include "dialogs/NavigateDlg.h"

#include <QContextMenuEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QScrollBar>
#include <QSplitter>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

#include "core/DataShell.h"
#include "core/GateNode.h"
#include "core/Observers.h"
#include "core/Region.h"
#include "dialogs/DataTree.h"
#include "dialogs/GateDelete.h"
#include "platform/UiServices.h"
#include "report/app/DragDropData.h"
#include "report/app/DragDropMgr.h"
#include "report/app/LumitraApp.h"
#include "report/app/MainFrame.h"
#include "report/page/LumitraDoc.h"
#include "report/page/LumitraView.h"
#include "report/page/TrkKinds.h"
#include "report/plot/Plot.h"
#include "report/plot/PlotDefaults.h"

// Follows one shell for the panel. Its user kind is the plain base kind, so
// nothing counts it among a shell's plots or tables.
class CNavigateDlg::ShellWatch : public CDataShellUser {
public:
    ShellWatch(CNavigateDlg* panel, VexaDataShell* shell) : m_panel(panel) { SetShell(shell, false); }
    void OnGatesChanged() override { m_panel->OnShellGatesChanged(m_shell); }
    void OnDataChanged() override {
        if (m_shell) m_panel->OnShellGatesChanged(m_shell);
    }
    void OnGateRemoving(CGateNode* gate) override { m_panel->OnShellGateRemoving(gate); }
    void DetachShell(bool remove, bool notify) override {
        VexaDataShell* shell = m_shell;
        CDataShellUser::DetachShell(remove, false);
        (void)notify;
        // The shell is going (or let go of us): its items go with it.
        if (shell && !remove) m_panel->OnShellGone(shell);
    }

private:
    CNavigateDlg* m_panel;
};

namespace {

// Drags a gate out of the tree onto a page: the tree's answer to the drag
// manager's "WM_DD_DRAGENTER".
class TreeDragFilter : public QObject {
public:
    explicit TreeDragFilter(CDataTree* tree) : QObject(tree), m_tree(tree) {}
    bool eventFilter(QObject*, QEvent* e) override {
        CDragDropMsg* msg = CDragDropMsg::From(e);
        if (!msg) return false;
        if (msg->type() == DragMessages().enter && msg->GetRecord() && !m_tree->IsMultiSelect()) {
            CDragRecord* record = msg->GetRecord();
            QTreeWidgetItem* item = m_tree->itemAt(QPoint(record->point.x, record->point.y));
            if (CGateNode* gate = CDataTree::GateOf(item)) {
                record->payload = std::make_unique<CDragDropGNEx>(gate);
                msg->SetResult(1);
            }
        }
        return true;
    }

private:
    CDataTree* m_tree;
};

}  // namespace

CNavigateDlg::CNavigateDlg(QWidget* parent) : CDocPanel(QStringLiteral("Navigate"), OwnLayout{}, parent) {
    m_btnAnd = new QPushButton(QStringLiteral("AND"), this);
    m_btnOr = new QPushButton(QStringLiteral("OR"), this);
    m_btnNot = new QPushButton(QStringLiteral("NOT"), this);
    m_btnAnd->setObjectName(QStringLiteral("btn1032"));
    m_btnOr->setObjectName(QStringLiteral("btn1033"));
    m_btnNot->setObjectName(QStringLiteral("btn1034"));
    for (QPushButton* b : {m_btnAnd, m_btnOr, m_btnNot}) {
        b->setCheckable(true);
        b->setFocusPolicy(Qt::NoFocus);
    }
    connect(m_btnAnd, &QPushButton::clicked, this, &CNavigateDlg::OnAnd);
    connect(m_btnOr, &QPushButton::clicked, this, &CNavigateDlg::OnOr);
    connect(m_btnNot, &QPushButton::clicked, this, &CNavigateDlg::OnNot);

    m_tree = new CDataTree;
    m_listPlots = new QTreeWidget;
    m_listPlots->setObjectName(QStringLiteral("list1147"));
    m_listPlots->setRootIsDecorated(false);
    m_listPlots->setSelectionMode(QAbstractItemView::SingleSelection);
    m_listPlots->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_listPlots->setHeaderLabels({QStringLiteral("X label"), QStringLiteral("Y label"), QStringLiteral("Gate"),
                                  QStringLiteral("Style")});
    const int widths[4] = {80, 80, 50, 20};
    for (int c = 0; c < 4; ++c) m_listPlots->setColumnWidth(c, widths[c]);
    connect(m_listPlots, &QTreeWidget::itemDoubleClicked, this, [this] { OnPlotListDblClk(); });

    // Both panes keep a usable height whatever the user drags.
    m_splitter = new QSplitter(Qt::Vertical, this);
    m_splitter->addWidget(m_tree);
    m_splitter->addWidget(m_listPlots);
    m_splitter->setChildrenCollapsible(false);
    m_tree->setMinimumHeight(kMinPaneHeight);
    m_listPlots->setMinimumHeight(kMinPaneHeight);
    m_splitter->setStretchFactor(0, 3);
    m_splitter->setStretchFactor(1, 2);

    auto* buttons = new QHBoxLayout;
    buttons->setContentsMargins(0, 0, 0, 0);
    buttons->addWidget(m_btnAnd);
    buttons->addWidget(m_btnOr);
    buttons->addWidget(m_btnNot);
    buttons->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(3);
    layout->addLayout(buttons);
    layout->addWidget(m_splitter, 1);

    connect(m_tree, &QTreeWidget::currentItemChanged, this, [this] { ListPlotsOfGate(); });
    connect(m_tree, &CDataTree::SelChanged, this, [this] { ListPlotsOfGate(); });
    connect(m_tree, &CDataTree::GateRecoloured, this, [this] {
        MarkModified();
        if (CMainFrame* frame = GetMainFrame()) frame->RedrawDocument();
    });
    connect(m_tree, &CDataTree::ItemRenamed, this, [this](QTreeWidgetItem* item) {
        MarkModified();
        ListPlotsOfGate();
        if (CDataTree::IsDataSetItem(item)) {
            if (CMainFrame* frame = GetMainFrame()) frame->RefreshFileList();
        }
        RedrawActive();
    });
    m_tree->viewport()->installEventFilter(this);
    // The main frame registers the tree with its drag manager as a source.
    m_tree->installEventFilter(new TreeDragFilter(m_tree));
}

CNavigateDlg::~CNavigateDlg() {
    // The watches leave their shells before the tree they update goes.
    m_watches.clear();
}

// ============================================================== relays

void CNavigateDlg::BindDocument(CLumitraDoc* doc) {
    if (doc == GetDocument()) return;
    Rebuild(doc);
}

void CNavigateDlg::Rebuild(CLumitraDoc* doc) {
    // The same data sets in the same order keep their items (and what is
    // open and chosen); only their gate lists are brought up to date.
    if (doc && doc == GetDocument() && doc->GetDataShellCount() == m_tree->topLevelItemCount()) {
        bool same = true;
        for (int32_t i = 0; same && i < doc->GetDataShellCount(); ++i)
            same = CDataTree::ShellOf(m_tree->topLevelItem(i)) == doc->GetDataShellAt(i);
        if (same) {
            for (int32_t i = 0; i < doc->GetDataShellCount(); ++i) {
                OnShellGatesChanged(doc->GetDataShellAt(i));
                m_tree->topLevelItem(i)->setText(0, CDataTree::ItemText(m_tree->topLevelItem(i)));
            }
            ListPlotsOfGate();
            return;
        }
    }
    ClearAll();
    CDocPanel::BindDocument(doc);
    if (!doc) return;
    for (int32_t i = 0; i < doc->GetDataShellCount(); ++i) AddDataSet(doc->GetDataShellAt(i));
}

void CNavigateDlg::ClearAll() {
    for (QPushButton* b : {m_btnAnd, m_btnOr, m_btnNot}) b->setChecked(false);
    m_tree->SetMultiSelect(false);
    m_watches.clear();
    m_tree->ClearItems();
    m_listPlots->clear();
}

void CNavigateDlg::OnDataShellAdded(CLumitraDoc* doc, VexaDataShell* shell) {
    if (doc != GetDocument()) {
        Rebuild(doc);
        return;
    }
    if (!m_tree->FindDataSetItem(shell)) AddDataSet(shell);
}

void CNavigateDlg::Refresh() { ListPlotsOfGate(); }

QString CNavigateDlg::GetText() const {
    CLumitraDoc* doc = GetDocument();
    if (!doc) return QStringLiteral("(none)");
    QString text = doc->GetTitle();
    for (int i = 0; i < m_tree->topLevelItemCount(); ++i)
        text += QStringLiteral("\n  ") + CDataTree::ItemText(m_tree->topLevelItem(i));
    return text;
}

void CNavigateDlg::OnObjectRemoving(CTrkObj* obj) {
    CDocPanel::OnObjectRemoving(obj);
    for (int row = m_listPlots->topLevelItemCount() - 1; row >= 0; --row) {
        QTreeWidgetItem* it = m_listPlots->topLevelItem(row);
        if (reinterpret_cast<CTrkObj*>(it->data(0, Qt::UserRole).value<quintptr>()) == obj) delete it;
    }
}

bool CNavigateDlg::IsOwnShell(const VexaDataShell* shell) const {
    CLumitraDoc* doc = GetDocument();
    return shell && doc && doc->GetDataShellIndex(shell) >= 0;
}

void CNavigateDlg::Watch(VexaDataShell* shell) {
    for (const auto& w : m_watches)
        if (w->GetShell() == shell) return;
    m_watches.push_back(std::make_unique<ShellWatch>(this, shell));
}

void CNavigateDlg::AddDataSet(VexaDataShell* shell) {
    if (!shell) return;
    Watch(shell);
    m_tree->AddDataSetItem(shell);
}

void CNavigateDlg::AddGateItem(VexaDataShell* shell, CGateNode* gate) {
    QTreeWidgetItem* root = m_tree->FindDataSetItem(shell);
    if (!root || !gate || gate->GetShell() != shell) return;
    // Rebuilt from the shell's list: a quadrant brings four gates, and a gate
    // the shell already announced is never listed twice.
    if (!m_tree->FindGateItem(gate) || gate->GetRegionType() == kRgnQuadrant) m_tree->RebuildGateItems(root);
    root->setExpanded(true);
}

void CNavigateDlg::RemoveDataSetItem(VexaDataShell* shell) {
    m_tree->DeleteItem(m_tree->FindDataSetItem(shell));
    m_watches.erase(std::remove_if(m_watches.begin(), m_watches.end(),
                                   [shell](const std::unique_ptr<ShellWatch>& w) { return w->GetShell() == shell; }),
                    m_watches.end());
    ListPlotsOfGate();
}

void CNavigateDlg::OnShellGatesChanged(VexaDataShell* shell) {
    QTreeWidgetItem* root = m_tree->FindDataSetItem(shell);
    if (!root) return;
    // Only a real change rebuilds: a region being dragged re-evaluates gates
    // many times a second without changing the list.
    const auto& gates = shell->GetGates();
    bool same = int(gates.size()) == root->childCount();
    for (int i = 0; same && i < root->childCount(); ++i) same = CDataTree::GateOf(root->child(i)) == gates[size_t(i)];
    if (same) {
        m_tree->viewport()->update();
        return;
    }
    m_tree->RebuildGateItems(root);
    ListPlotsOfGate();
}

void CNavigateDlg::OnShellGateRemoving(CGateNode* gate) {
    QTreeWidgetItem* item = m_tree->FindGateItem(gate);
    if (!item) return;
    const bool listed = m_tree->currentItem() == item;
    m_tree->DeleteItem(item);
    if (listed) ListPlotsOfGate();
}

void CNavigateDlg::OnShellGone(VexaDataShell* shell) {
    // Called from the shell's own notification: the watch object stays until
    // the next rebuild, only the items go.
    if (QTreeWidgetItem* root = m_tree->FindDataSetItem(shell)) {
        m_tree->DeleteItem(root);
        ListPlotsOfGate();
    }
}

void CNavigateDlg::ListPlotsOfGate() {
    m_listPlots->clear();
    QTreeWidgetItem* caret = m_tree->currentItem();
    if (!caret) return;
    std::vector<CPLOT*> plots;
    if (CGateNode* gate = CDataTree::GateOf(caret)) {
        for (CGateUser* u : gate->GetUsers())
            if (u->GetUserKind() == kUserPlot)
                if (auto* p = dynamic_cast<CPLOT*>(u)) plots.push_back(p);
    } else if (VexaDataShell* shell = CDataTree::ShellOf(caret)) {
        for (CDataShellUser* u : shell->GetUsers())
            if (u->GetUserKind() == kUserPlot)
                if (auto* p = dynamic_cast<CPLOT*>(u)) plots.push_back(p);
    }
    QList<QTreeWidgetItem*> rows;
    for (CPLOT* p : plots) {
        auto* row = new QTreeWidgetItem;
        row->setText(0, QString::fromStdString(p->GetXAxisTitle(0)));
        row->setText(1, QString::fromStdString(p->GetYAxisTitle(0)));
        row->setText(2, p->GetGate() ? QString::fromStdString(p->GetGate()->GetDisplayName()) : QString());
        row->setData(0, Qt::UserRole, quintptr(static_cast<CTrkObj*>(p)));
        rows.push_back(row);
    }
    m_listPlots->addTopLevelItems(rows);
}

CPLOT* CNavigateDlg::PlotOfRow(int row) const {
    QTreeWidgetItem* it = m_listPlots->topLevelItem(row);
    CLumitraDoc* doc = GetDocument();
    if (!it || !doc) return nullptr;
    auto* obj = reinterpret_cast<CTrkObj*>(it->data(0, Qt::UserRole).value<quintptr>());
    // Only a plot still on the page counts.
    if (doc->GetObjectIndex(obj) < 0) return nullptr;
    return dynamic_cast<CPLOT*>(obj);
}

void CNavigateDlg::SelectDataSetItem(VexaDataShell* shell) { m_tree->ExpandAndSelect(shell); }
void CNavigateDlg::CollapseDataSetItem(VexaDataShell* shell) { m_tree->CollapseAllOf(shell); }

void CNavigateDlg::ShowGate(CLumitraDoc* doc, int32_t shellIndex, int32_t) {
    if (!doc) return;
    if (doc != GetDocument()) Rebuild(doc);
    VexaDataShell* shell = doc->GetDataShellAt(shellIndex);
    if (QTreeWidgetItem* root = shell ? m_tree->FindDataSetItem(shell) : nullptr) {
        OnShellGatesChanged(shell);
        if (!m_tree->IsMultiSelect()) root->setExpanded(true);
    }
}

// ============================================================ operators

void CNavigateDlg::OnAnd() { OnLogic(kGateAnd, m_btnAnd); }
void CNavigateDlg::OnOr() { OnLogic(kGateOr, m_btnOr); }

void CNavigateDlg::OnLogic(char op, QPushButton* button) {
    if (button->isChecked()) {
        for (QPushButton* b : {m_btnAnd, m_btnOr, m_btnNot})
            if (b != button) b->setChecked(false);
        m_tree->SetMultiSelect(false);  // a fresh pick
        m_tree->SetMultiSelect(true);
        return;
    }
    // Only gate items are inputs; a data set's item is never read as a gate.
    std::vector<CGateNode*> inputs;
    for (QTreeWidgetItem* it = m_tree->GetFirstSelected(); it; it = m_tree->GetNextSelected(it))
        if (CGateNode* g = CDataTree::GateOf(it)) inputs.push_back(g);
    m_tree->SetMultiSelect(false);
    if (inputs.size() < 2) return;
    VexaDataShell* shell = inputs.front()->GetShell();
    const bool oneShell =
        std::all_of(inputs.begin(), inputs.end(), [shell](const CGateNode* g) { return g->GetShell() == shell; });
    if (!oneShell) {
        lm::Ui().MessageBox(this, QStringLiteral("Gates of different data sets cannot be combined."),
                            QStringLiteral("Navigate"), lm::MsgButtons::Ok, lm::MsgIcon::Warning);
        return;
    }
    if (!IsOwnShell(shell)) return;
    CGateNode* gate = shell->AddLogicGate(op, inputs, "");
    if (!gate) return;
    AddGateItem(shell, gate);
    if (QTreeWidgetItem* item = m_tree->FindGateItem(gate)) m_tree->setCurrentItem(item);
    MarkModified();
    RedrawActive();
}

void CNavigateDlg::OnNot() {
    if (m_btnNot->isChecked()) {
        m_btnAnd->setChecked(false);
        m_btnOr->setChecked(false);
        m_tree->SetMultiSelect(false);
        return;
    }
    m_tree->SetMultiSelect(false);
    CGateNode* input = CDataTree::GateOf(m_tree->currentItem());
    if (!input || !IsOwnShell(input->GetShell())) return;
    VexaDataShell* shell = input->GetShell();
    CGateNode* gate = shell->AddNotGate(input, "");
    if (!gate) return;
    AddGateItem(shell, gate);
    if (QTreeWidgetItem* item = m_tree->FindGateItem(gate)) m_tree->setCurrentItem(item);
    MarkModified();
    RedrawActive();
}

// ================================================================= menus

bool CNavigateDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_tree->viewport() && event->type() == QEvent::ContextMenu) {
        OnTreeRightClick(static_cast<QContextMenuEvent*>(event)->pos());
        return true;
    }
    return CDocPanel::eventFilter(watched, event);
}

void CNavigateDlg::OnTreeRightClick(const QPoint& viewportPos) {
    if (m_tree->IsMultiSelect() || !GetDocument()) return;
    QTreeWidgetItem* item = m_tree->itemAt(viewportPos);
    if (!item) return;
    m_tree->setCurrentItem(item);
    const bool dataSet = CDataTree::IsDataSetItem(item);
    CGateNode* gate = CDataTree::GateOf(item);
    // "All" is the data set itself: it is never deleted on its own.
    const bool deletable = dataSet || (gate && gate->GetShell()->GetGateIndex(gate) > 0);
    std::vector<lm::MenuItem> menu{
        lm::MenuItem::Command(kNavRename, QStringLiteral("Rename")),
        lm::MenuItem::Command(kNavSelectPlots, QStringLiteral("Select Plots")),
        lm::MenuItem::Command(kNavToPilot, QStringLiteral("To Pilot"), false),
    };
    if (dataSet) {
        menu.push_back(lm::MenuItem::Command(kNavDeleteDataSet, QStringLiteral("Delete")));
        menu.push_back(lm::MenuItem::Command(kNavNewPlotDataSet, QStringLiteral("New Plot")));
    } else {
        menu.push_back(lm::MenuItem::Command(kNavDeleteGate, QStringLiteral("Delete"), deletable));
        menu.push_back(lm::MenuItem::Command(kNavNewPlotGate, QStringLiteral("New Plot")));
    }
    const int32_t cmd = lm::Ui().TrackPopupMenu(this, menu, m_tree->viewport()->mapToGlobal(viewportPos));
    // What the menu was opened on may have gone while it was up.
    CLumitraDoc* doc = GetDocument();
    if (!doc) return;
    if (dataSet ? !m_tree->FindDataSetItem(CDataTree::ShellOf(item)) : !m_tree->FindGateItem(gate)) return;
    switch (cmd) {
        case kNavRename: m_tree->EditLabel(item); break;
        case kNavSelectPlots: SelectPlots(); break;
        case kNavDeleteDataSet: {
            VexaDataShell* shell = CDataTree::ShellOf(item);
            if (!DataSetDeleteAgreed(this, doc, {shell}) || doc->GetDataShellIndex(shell) < 0) break;
            RemoveDataSetItem(shell);
            doc->RemoveDataShell(shell);
            MarkModified();
            break;
        }
        case kNavNewPlotDataSet: NewPlotOf(CDataTree::ShellOf(item), nullptr); break;
        case kNavDeleteGate:
            if (deletable && DeleteGateAsked(this, gate)) {
                MarkModified();
                RedrawActive();
            }
            break;
        case kNavNewPlotGate: NewPlotOf(gate->GetShell(), gate); break;
        default: break;
    }
}

void CNavigateDlg::SelectPlots() {
    CLumitraDoc* doc = GetDocument();
    if (!doc) return;
    std::vector<CPLOT*> plots;
    for (int row = 0; row < m_listPlots->topLevelItemCount(); ++row)
        if (CPLOT* p = PlotOfRow(row)) plots.push_back(p);
    doc->ClearSelection();
    doc->RedrawDirty();
    for (CPLOT* p : plots) doc->AddToSelection(p);
    if (doc->GetSelection().size() == 1) doc->SelectObject(doc->GetSelection().front());
    doc->RedrawDirty();
}

void CNavigateDlg::NewPlotOf(VexaDataShell* shell, CGateNode* gate) {
    CLumitraDoc* doc = GetDocument();
    if (!doc || !IsOwnShell(shell)) return;
    if (!gate || gate == shell->GetGate(0)) {
        doc->CreatePlotAtPilot(shell);
    } else {
        const PlotDefaults& d = GetPlotDefaults();
        const int32_t count = shell->GetParamCount();
        const CPoint at = doc->FindFreePlace(CSize(d.UsedWidth(), d.UsedHeight()), doc->GetPilot());
        doc->InsertNewObject(std::make_unique<CPLOT>(at.x, at.y, gate, doc, d.UsedParamX(count), d.UsedParamY(count)));
    }
    MarkModified();
    ListPlotsOfGate();
}

void CNavigateDlg::OnPlotListDblClk() {
    QTreeWidgetItem* row = m_listPlots->currentItem();
    if (!row) return;
    CPLOT* plot = PlotOfRow(m_listPlots->indexOfTopLevelItem(row));
    CLumitraDoc* doc = GetDocument();
    CMainFrame* frame = GetMainFrame();
    CLumitraView* view = frame ? frame->GetActiveReportView() : nullptr;
    // Without a view of the plot's page there is nothing to show it in.
    if (!plot || !doc || !view || view->GetDocument() != doc) return;
    const CRect r = plot->GetRect();
    const QPoint corner = view->LogicalToClient(CPoint(r.left - 10, r.top - 10));
    view->horizontalScrollBar()->setValue(view->horizontalScrollBar()->value() + corner.x());
    view->verticalScrollBar()->setValue(view->verticalScrollBar()->value() + corner.y());
    view->viewport()->update();
    doc->SelectObject(plot);
    if (m_bZoomOnDblClk) plot->ToggleZoom();
    doc->RedrawDirty();
}

// =============================================================== helpers

void CNavigateDlg::MarkModified() {
    if (CLumitraDoc* doc = GetDocument()) doc->SetModifiedFlag(true);
}

void CNavigateDlg::RedrawActive() {
    if (CLumitraDoc* doc = GetDocument()) doc->RedrawDirty();
}
