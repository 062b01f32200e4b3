#include "dialogs/GateListBox.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>

#include <algorithm>
#include <cstdlib>

namespace {

constexpr QRgb kSelectedRow = qRgb(200, 255, 255);

// A row: check box, a square swatch of the row's colour, the text.
class GateRowDelegate : public QStyledItemDelegate {
public:
    explicit GateRowDelegate(CGateListBox* list) : QStyledItemDelegate(list), m_list(list) {}
    void paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        const QRect r = option.rect;
        p->fillRect(r, (option.state & QStyle::State_Selected) ? QColor::fromRgb(kSelectedRow) : QColor(Qt::white));
        QStyleOptionViewItem check = option;
        check.rect = QRect(r.left() + 2, r.top(), r.height(), r.height());
        check.state = option.state & ~QStyle::State_HasFocus;
        check.state |= index.data(Qt::CheckStateRole).toInt() == Qt::Checked ? QStyle::State_On : QStyle::State_Off;
        m_list->style()->drawPrimitive(QStyle::PE_IndicatorItemViewItemCheck, &check, p, m_list);
        const int side = std::max(1, r.height() - 4);
        const int left = r.left() + r.height() + 4;
        const COLORREF c = m_list->GetRowColor(index.row());
        p->fillRect(QRect(left + 2, r.top() + 2, side, side), QColor(GetRValue(c), GetGValue(c), GetBValue(c)));
        p->setPen(Qt::black);
        p->drawText(QRect(left + 2 + side + 5, r.top() + 2, r.width(), r.height() - 2),
                    Qt::AlignLeft | Qt::AlignVCenter, index.data().toString());
    }
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize s = QStyledItemDelegate::sizeHint(option, index);
        s.setHeight(std::max(s.height(), 18));
        return s;
    }

private:
    CGateListBox* m_list;
};

}  // namespace

CGateListBox::CGateListBox(QWidget* parent) : QListWidget(parent) {
    setItemDelegate(new GateRowDelegate(this));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformItemSizes(true);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
}

CGateListBox::~CGateListBox() = default;

void CGateListBox::AddGate(COLORREF colour, const QString& text) {
    auto* item = new QListWidgetItem(text, this);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(Qt::Checked);
    m_colors.push_back(colour);
}

void CGateListBox::ResetContent() {
    StopScroll();
    m_bDragging = false;
    m_nDragFrom = m_nDropAt = -1;
    clear();
    m_colors.clear();
}

COLORREF CGateListBox::GetRowColor(int row) const {
    return row >= 0 && size_t(row) < m_colors.size() ? m_colors[size_t(row)] : RGB(255, 255, 255);
}

int CGateListBox::RowHeight() const { return count() ? std::max(1, sizeHintForRow(0)) : 16; }

// =============================================================== dragging

void CGateListBox::mousePressEvent(QMouseEvent* e) {
    QListWidget::mousePressEvent(e);
    StopScroll();
    m_bDragging = false;
    m_nDragFrom = m_nDropAt = -1;
    if (e->button() != Qt::LeftButton || !CanReorder()) return;
    const int row = indexAt(e->position().toPoint()).row();
    // Row 0 is never dragged.
    if (row > 0) {
        m_nDragFrom = row;
        m_pressAt = e->position().toPoint();
        setCurrentRow(row);
    }
}

void CGateListBox::mouseMoveEvent(QMouseEvent* e) {
    if (!(e->buttons() & Qt::LeftButton) || m_nDragFrom < 0) {
        QListWidget::mouseMoveEvent(e);
        return;
    }
    const QPoint pos = e->position().toPoint();
    // A hand never holds still: a press that wanders less than the drag
    // distance stays a click, so its release still toggles the check box.
    if (!m_bDragging) {
        const QPoint moved = pos - m_pressAt;
        const int far = QApplication::startDragDistance();
        if (std::abs(moved.x()) <= far && std::abs(moved.y()) <= far) {
            e->accept();
            return;
        }
        // The mark starts at the row taken, wherever the pointer went.
        m_nDropAt = m_nDragFrom;
    }
    m_bDragging = true;
    const QRect client = viewport()->rect();
    if (client.contains(pos)) {
        StopScroll();
        const int row = indexAt(pos).row();
        m_nDropAt = row >= 0 ? row : -1;
    } else {
        // The further out, the faster: 250 ms at less than a row, then
        // 250 / (rows + 1).
        const bool up = pos.y() < client.top();
        const int d = up ? client.top() - pos.y() : pos.y() - client.bottom();
        const int32_t interval = kBaseIntervalMs / (d / RowHeight() + 1);
        if (interval != m_nScrollInterval) StartScroll(up ? kTimerUp : kTimerDown, interval);
    }
    viewport()->update();
    e->accept();
}

void CGateListBox::StartScroll(int32_t timer, int32_t interval) {
    m_nScrollInterval = interval;
    m_scrollTimerId = timer;
    m_timer.start(interval, this);
    ScrollStep(timer);
}

void CGateListBox::StopScroll() {
    m_timer.stop();
    m_nScrollInterval = 0;
    m_scrollTimerId = 0;
}

void CGateListBox::ScrollStep(int32_t timer) {
    const int last = count() - 1;
    if (last < 0) return;
    if (timer == kTimerDown) {
        // Down to the last row and no further.
        const int mark = m_nDropAt < 0 ? last : m_nDropAt;
        m_nDropAt = std::min(mark + 1, last);
        verticalScrollBar()->setValue(verticalScrollBar()->value() + 1);
    } else if (timer == kTimerUp && m_nDropAt > 0) {
        --m_nDropAt;
        verticalScrollBar()->setValue(verticalScrollBar()->value() - 1);
    }
    viewport()->update();
}

void CGateListBox::timerEvent(QTimerEvent* e) {
    if (e->timerId() == m_timer.timerId()) ScrollStep(m_scrollTimerId);
    else QListWidget::timerEvent(e);
}

void CGateListBox::mouseReleaseEvent(QMouseEvent* e) {
    if (!m_bDragging) {
        m_nDragFrom = m_nDropAt = -1;
        QListWidget::mouseReleaseEvent(e);
        return;
    }
    StopScroll();
    m_bDragging = false;
    const int from = m_nDragFrom, dropAt = m_nDropAt;
    m_nDragFrom = m_nDropAt = -1;
    if (viewport()->rect().contains(e->position().toPoint())) MoveRow(from, dropAt);
    viewport()->update();
    e->accept();
}

void CGateListBox::MoveRow(int from, int dropAt) {
    const int n = count();
    if (from <= 0 || from >= n) return;
    if (dropAt == 0) return;  // nothing goes before row 0
    const int target = dropAt < 0 ? n : dropAt;
    // Moving down the row lands before the drop row's old place.
    const int to = target > from ? target - 1 : target;
    if (to == from) return;
    const int firstVisible = verticalScrollBar()->value();
    QListWidgetItem* item = takeItem(from);
    insertItem(to, item);
    const COLORREF c = m_colors[size_t(from)];
    m_colors.erase(m_colors.begin() + from);
    m_colors.insert(m_colors.begin() + to, c);
    verticalScrollBar()->setValue(firstVisible);
    setCurrentRow(to);
    emit GateMoved(from, to);
}

void CGateListBox::paintEvent(QPaintEvent* e) {
    QListWidget::paintEvent(e);
    if (!m_bDragging || count() == 0) return;
    // The insertion mark: at the top of the drop row, or under the last row.
    QRect r = m_nDropAt >= 0 ? visualItemRect(item(m_nDropAt)) : visualItemRect(item(count() - 1));
    const int y = m_nDropAt >= 0 ? r.top() : r.bottom() - 1;
    QPainter p(viewport());
    p.fillRect(QRect(0, y, viewport()->width(), 2), Qt::black);
}
