#include "report/app/ChildFrame.h"

#include <QCloseEvent>
#include <QIcon>
#include <QPointer>
#include <QScrollBar>
#include <QSplitter>
#include <QToolButton>

#include <algorithm>

#include "report/app/LumitraApp.h"
#include "report/page/LumitraDoc.h"
#include "report/page/LumitraView.h"

namespace {

constexpr int kMaxPanes = 2;
constexpr int kMinPaneSide = 10;

QSplitter* Row(QSplitter* rows, int i) { return qobject_cast<QSplitter*>(rows->widget(i)); }

}  // namespace

CChildFrame::CChildFrame(CLumitraDoc* doc, QWidget* parent) : QMdiSubWindow(parent), m_doc(doc) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowIcon(QIcon(QStringLiteral(":/lumitra/document.png")));
    m_rows = new QSplitter(Qt::Vertical);
    m_rows->setChildrenCollapsible(false);
    auto* first = new QSplitter(Qt::Horizontal);
    first->setChildrenCollapsible(false);
    m_rows->addWidget(first);
    CLumitraView* view = MakeView();
    first->addWidget(view);
    m_activeView = view;

    // Split boxes at the start of the first pane's scroll bars.
    m_rowBox = new QToolButton;
    m_rowBox->setObjectName(QStringLiteral("splitRows"));
    m_rowBox->setToolTip(QStringLiteral("Split into two rows"));
    m_rowBox->setFixedSize(16, 8);
    connect(m_rowBox, &QToolButton::clicked, this, [this] { SetSplit(GetRowCount() == 1 ? 2 : 1, GetColumnCount()); });
    view->addScrollBarWidget(m_rowBox, Qt::AlignTop);
    m_colBox = new QToolButton;
    m_colBox->setObjectName(QStringLiteral("splitColumns"));
    m_colBox->setToolTip(QStringLiteral("Split into two columns"));
    m_colBox->setFixedSize(8, 16);
    connect(m_colBox, &QToolButton::clicked, this, [this] { SetSplit(GetRowCount(), GetColumnCount() == 1 ? 2 : 1); });
    view->addScrollBarWidget(m_colBox, Qt::AlignLeft);
    view->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

    setWidget(m_rows);
    resize(640, 480);
}

CChildFrame::~CChildFrame() = default;

CLumitraView* CChildFrame::MakeView() {
    auto* view = new CLumitraView(m_doc);
    view->setMinimumSize(kMinPaneSide, kMinPaneSide);
    connect(view, &CLumitraView::viewActivated, this, &CChildFrame::OnViewActivated);
    return view;
}

CLumitraDoc* CChildFrame::GetDocument() const {
    const std::vector<CLumitraView*> views = GetViews();
    return views.empty() ? nullptr : views.front()->GetDocument();
}

CLumitraView* CChildFrame::GetActiveView() const { return m_activeView; }

std::vector<CLumitraView*> CChildFrame::GetViews() const {
    std::vector<CLumitraView*> out;
    for (int r = 0; r < m_rows->count(); ++r)
        if (QSplitter* row = Row(m_rows, r))
            for (int c = 0; c < row->count(); ++c)
                if (auto* v = qobject_cast<CLumitraView*>(row->widget(c))) out.push_back(v);
    return out;
}

int CChildFrame::GetRowCount() const { return m_rows->count(); }

int CChildFrame::GetColumnCount() const {
    QSplitter* first = Row(m_rows, 0);
    return first ? first->count() : 0;
}

void CChildFrame::SetSplit(int rows, int cols) {
    rows = std::clamp(rows, 1, kMaxPanes);
    cols = std::clamp(cols, 1, kMaxPanes);
    if (!GetDocument()) return;  // no document to show in new panes
    // Rows first, then the columns of every row; the first pane always stays.
    while (m_rows->count() > rows) delete m_rows->widget(m_rows->count() - 1);
    while (m_rows->count() < rows) {
        auto* row = new QSplitter(Qt::Horizontal);
        row->setChildrenCollapsible(false);
        m_rows->addWidget(row);
    }
    for (int r = 0; r < m_rows->count(); ++r) {
        QSplitter* row = Row(m_rows, r);
        while (row->count() > cols) delete row->widget(row->count() - 1);
        while (row->count() < cols) row->addWidget(MakeView());
    }
    const std::vector<CLumitraView*> views = GetViews();
    if (std::find(views.begin(), views.end(), m_activeView) == views.end()) {
        m_activeView = views.front();
        emit activeViewChanged(m_activeView);
    }
}

void CChildFrame::ActivateNextPane(bool previous) {
    const std::vector<CLumitraView*> views = GetViews();
    if (views.size() < 2) return;
    auto it = std::find(views.begin(), views.end(), m_activeView);
    size_t i = it == views.end() ? 0 : size_t(it - views.begin());
    i = previous ? (i + views.size() - 1) % views.size() : (i + 1) % views.size();
    views[i]->setFocus(Qt::OtherFocusReason);
    OnViewActivated(views[i]);
}

void CChildFrame::OnViewActivated(CLumitraView* view) {
    if (view == m_activeView) return;
    m_activeView = view;
    emit activeViewChanged(view);
}

void CChildFrame::UpdateTitle(int windowNumber, int windowCount) {
    CLumitraDoc* doc = GetDocument();
    if (!doc) return;
    QString title = doc->GetTitle();
    if (windowCount > 1) title += QStringLiteral(":%1").arg(windowNumber);
    setWindowTitle(title + QStringLiteral("[*]"));
    setWindowModified(doc->IsModified());
}

void CChildFrame::closeEvent(QCloseEvent* event) {
    if (m_closingByApp) {
        event->accept();
        return;
    }
    CLumitraApp* app = GetLumitraApp();
    if (app && !app->CanCloseFrame(this)) {
        event->ignore();
        return;
    }
    event->accept();
    // The last window of a document takes the document with it.
    if (app) app->OnFrameClosed(this);
}
