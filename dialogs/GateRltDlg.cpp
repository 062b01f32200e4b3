#include "dialogs/GateRltDlg.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>

#include <algorithm>

#include "core/DataShell.h"
#include "core/GateNode.h"
#include "dialogs/DialogControls.h"
#include "platform/UiServices.h"
#include "report/app/DragDropData.h"
#include "report/app/DragDropMgr.h"
#include "report/app/LumitraApp.h"
#include "report/app/MainFrame.h"
#include "report/page/LumitraDoc.h"
#include "report/page/LumitraView.h"
#include "report/plot/PlotDefaults.h"

namespace {

enum GateRltControl : int32_t {
    kGateRltTree = 1031,
    kGateRltAnd = 1032,
    kGateRltOr = 1033,
    kGateRltNot = 1034,
    kGateRltOrder = 1039,
};

constexpr int kRenameLimit = 50;

QPushButton* PushLike(const char* text, int32_t id, QWidget* parent) {
    auto* b = lm::WithControlId(new QPushButton(QString::fromLatin1(text), parent), id);
    b->setCheckable(true);
    b->setAutoDefault(false);
    return b;
}

}  // namespace

CGateRltDlg::CGateRltDlg(QWidget* parent) : QDialog(parent) {
    m_userKind = kUserGateRltDlg;
    setWindowTitle(QStringLiteral("Gate Stat"));
    m_tree = lm::WithControlId(new QCheckBox(QStringLiteral("Tree"), this), kGateRltTree);
    m_and = PushLike("AND", kGateRltAnd, this);
    m_or = PushLike("OR", kGateRltOr, this);
    m_not = PushLike("NOT", kGateRltNot, this);
    m_order = PushLike("Order", kGateRltOrder, this);
    int x = 5;
    for (QWidget* w : std::initializer_list<QWidget*>{m_tree, m_and, m_or, m_not, m_order}) {
        w->setGeometry(x, 4, 50, 22);
        x += 55;
    }
    m_tree->setChecked(true);
    for (QPushButton* b : {m_and, m_or, m_not}) b->setEnabled(false);
    m_order->hide();
    connect(m_tree, &QCheckBox::toggled, this, &CGateRltDlg::OnTree);
    connect(m_and, &QPushButton::toggled, this, [this] { OnOperator(m_and, kGateAnd); });
    connect(m_or, &QPushButton::toggled, this, [this] { OnOperator(m_or, kGateOr); });
    connect(m_not, &QPushButton::toggled, this, [this] { OnOperator(m_not, kGateNot); });
    connect(m_order, &QPushButton::toggled, this, &CGateRltDlg::OnOrder);
    m_gateView.SetOrigin(kViewLeft, kViewTop);
    m_gateView.SetTreeMode(true);
    resize(300, 400);
}

CGateRltDlg::~CGateRltDlg() {
    // The base destructor leaves the shell's list; nothing may be told first.
    m_renamed = nullptr;
}

bool CGateRltDlg::HasGate(const CGateNode* gate) const {
    return gate && std::find(m_gates.begin(), m_gates.end(), gate) != m_gates.end();
}

void CGateRltDlg::BindDataShell(VexaDataShell* shell) {
    if (shell == m_shell) return;
    SetShell(shell, false);
    for (QPushButton* b : {m_and, m_or, m_not}) b->setEnabled(shell != nullptr);
    m_order->setVisible(shell != nullptr);
    RebuildView();
}

void CGateRltDlg::RebuildView() {
    m_gates = m_shell ? m_shell->GetGates() : std::vector<CGateNode*>{};
    m_gateView.SetGates(m_gates);
    if (m_renamed && !HasGate(m_renamed)) {
        m_renamed = nullptr;
        if (m_rename) m_rename->hide();
    }
    update();
}

void CGateRltDlg::DetachShell(bool remove, bool notify) {
    CDataShellUser::DetachShell(remove, notify);
    m_renamed = nullptr;
    if (m_rename) m_rename->hide();
    m_gates.clear();
    m_gateView.SetGates(m_gates);
    for (QPushButton* b : {m_and, m_or, m_not}) {
        QSignalBlocker quiet(b);
        b->setChecked(false);
        b->setEnabled(false);
    }
    m_order->hide();
    update();
}

void CGateRltDlg::OnGatesChanged() { RebuildView(); }
void CGateRltDlg::OnDataChanged() { RebuildView(); }

void CGateRltDlg::OnGateRemoving(CGateNode* gate) {
    // The gate is freed after this notice: the view must not paint it, nor a
    // rename write into it, before the list is rebuilt.
    m_gates.erase(std::remove(m_gates.begin(), m_gates.end(), gate), m_gates.end());
    m_gateView.SetGates(m_gates);
    if (m_renamed == gate) {
        m_renamed = nullptr;
        if (m_rename) m_rename->hide();
    }
    update();
}

CGateNode* CGateRltDlg::GateAt(QPoint client) const {
    const GateViewHit hit = m_gateView.HitTest(client.x(), client.y());
    return hit.row >= 0 ? m_gateView.GetRowGate(hit.row) : nullptr;
}

void CGateRltDlg::ReleaseOperators(QPushButton* except) {
    for (QPushButton* b : {m_and, m_or, m_not, m_order}) {
        if (b == except) continue;
        QSignalBlocker quiet(b);
        b->setChecked(false);
    }
}

void CGateRltDlg::OnOperator(QPushButton* button, char op) {
    if (button->isChecked()) {
        ReleaseOperators(button);
        m_orderMode = 0;
        m_gateView.SetMultiSelect(true);
        update();
        return;
    }
    const std::vector<CGateNode*> chosen = m_gateView.GetSelectedGates();
    m_gateView.SetMultiSelect(false);
    update();
    if (!m_shell) return;
    const bool fits = op == kGateNot ? chosen.size() == 1 : chosen.size() >= 2;
    if (!fits) {
        const QString text = op == kGateNot ? QStringLiteral("NOT needs exactly one gate: choose one, then release NOT.")
                                            : QStringLiteral("%1 needs at least two gates: choose them, then release %1.")
                                                  .arg(button->text());
        lm::Ui().MessageBox(this, text, windowTitle(), lm::MsgButtons::Ok, lm::MsgIcon::Information);
        return;
    }
    if (op == kGateNot)
        m_shell->AddNotGate(chosen.front(), std::string());
    else
        m_shell->AddLogicGate(op, chosen, std::string());
    if (CMainFrame* frame = GetMainFrame())
        if (CLumitraView* view = frame->GetActiveReportView())
            if (CLumitraDoc* doc = view->GetDocument()) doc->RedrawDirty();
}

void CGateRltDlg::OnTree() {
    m_gateView.SetTreeMode(m_tree->isChecked());
    update();
}

void CGateRltDlg::OnOrder() {
    if (m_order->isChecked()) {
        ReleaseOperators(m_order);
        m_gateView.SetMultiSelect(false);
        m_orderMode = kOrderMode;
    } else {
        m_orderMode = 0;
    }
}

void CGateRltDlg::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    p.setFont(QFont(QStringLiteral("Arial"), 9, QFont::Bold));
    m_gateView.Draw(p);
}

void CGateRltDlg::mousePressEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton && m_gateView.SelectRowAt(int32_t(e->position().x()), int32_t(e->position().y())))
        update();
    QDialog::mousePressEvent(e);
}

void CGateRltDlg::contextMenuEvent(QContextMenuEvent* e) {
    ReleaseOperators(nullptr);
    m_gateView.SetMultiSelect(false);
    CGateNode* gate = GateAt(e->pos());
    if (!gate) return;
    const std::vector<lm::MenuItem> items{lm::MenuItem::Command(kCmdNewPlot, QStringLiteral("New Plot")),
                                          lm::MenuItem::Command(kCmdDeleteGate, QStringLiteral("Delete Gate")),
                                          lm::MenuItem::Command(kCmdRename, QStringLiteral("Rename"))};
    const int32_t cmd = lm::Ui().TrackPopupMenu(this, items, e->globalPos());
    // The menu ran its own loop: the gate may have gone meanwhile.
    if (!HasGate(gate)) return;
    switch (cmd) {
        case kCmdNewPlot:
            NewPlot(gate);
            break;
        case kCmdDeleteGate:
            if (m_shell) m_shell->RemoveGate(gate, true);
            break;
        case kCmdRename:
            StartRename(gate);
            break;
        default:
            break;
    }
}

void CGateRltDlg::NewPlot(CGateNode* gate) {
    CMainFrame* frame = GetMainFrame();
    CLumitraView* view = frame ? frame->GetActiveReportView() : nullptr;
    if (!view || !view->GetDocument()) return;
    const PlotDefaults& d = GetPlotDefaults();
    CLumitraDoc* doc = view->GetDocument();
    const CPoint at = doc->FindFreePlace(CSize(d.UsedWidth(), d.UsedHeight()), doc->GetPilot());
    view->NewPlotFromPayload(at.x, at.y, gate);
}

void CGateRltDlg::StartRename(CGateNode* gate) {
    if (!m_rename) {
        m_rename = new QLineEdit(this);
        m_rename->setObjectName(QStringLiteral("renameGate"));
        m_rename->setMaxLength(kRenameLimit);
        connect(m_rename, &QLineEdit::editingFinished, this, &CGateRltDlg::FinishRename);
    }
    int32_t row = -1;
    for (int32_t r = 0; r < m_gateView.GetRowCount(); ++r)
        if (m_gateView.GetRowGate(r) == gate) row = r;
    if (row < 0) return;
    m_renamed = gate;
    const CPoint at = m_gateView.GetRowOrigin(row);
    m_rename->setGeometry(at.x, at.y, std::max(80, width() - at.x - 4), m_gateView.GetRowHeight());
    m_rename->setText(QString::fromStdString(gate->GetDisplayName()));
    m_rename->selectAll();
    m_rename->show();
    m_rename->setFocus();
}

void CGateRltDlg::FinishRename() {
    if (!m_rename || m_rename->isHidden()) return;
    CGateNode* gate = m_renamed;
    m_renamed = nullptr;
    m_rename->hide();
    // A gate removed while its name was edited takes nothing.
    if (!gate || !HasGate(gate)) return;
    gate->SetName(m_rename->text().toStdString());
    update();
}

void CGateRltDlg::keyPressEvent(QKeyEvent* e) {
    // The panel stays open on Enter and Esc.
    if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter || e->key() == Qt::Key_Escape) {
        e->accept();
        return;
    }
    QDialog::keyPressEvent(e);
}

void CGateRltDlg::closeEvent(QCloseEvent* e) {
    BindDataShell(nullptr);
    QDialog::closeEvent(e);
}

bool CGateRltDlg::event(QEvent* e) {
    CDragDropMsg* msg = CDragDropMsg::From(e);
    if (msg && e->type() == DragMessages().enter) {
        CDragRecord* record = msg->GetRecord();
        const CPoint at = record->point;
        CGateNode* gate = at.x >= 1 && at.x < m_nDragZone - 3 ? GateAt(QPoint(at.x, at.y)) : nullptr;
        if (gate) {
            record->payload = std::make_unique<CDragDropGNEx>(gate);
            msg->SetResult(1);
        }
        return true;
    }
    return QDialog::event(e);
}
