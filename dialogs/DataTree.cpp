#include "dialogs/DataTree.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>

#include <algorithm>

#include "core/DataShell.h"
#include "core/GateNode.h"
#include "core/Region.h"
#include "platform/UiServices.h"

namespace {

constexpr QRgb kSelectedBack = qRgb(50, 50, 221);
constexpr QRgb kPlainBack = qRgb(251, 251, 251);
constexpr QRgb kSelectedText = qRgb(210, 210, 255);
constexpr QRgb kPlainText = qRgb(50, 50, 150);
constexpr int kSwatchSide = 15;
constexpr int kSwatchLeft = 20;
constexpr int kGateTextLeft = 38;
// A data set's row starts with its expand button; its text follows.
constexpr int kButtonLeft = 4;
constexpr int kButtonSide = 9;
constexpr int kDataSetTextLeft = 18;
// A label is hit a little beyond its text.
constexpr int kLabelSlack = 2;

QColor FromColorRef(COLORREF c) { return QColor(GetRValue(c), GetGValue(c), GetBValue(c)); }

// The label editor starts from the name as the user gave it and hands the
// edited text to the tree, which checks it; Escape closes it unapplied.
class RenameDelegate : public QStyledItemDelegate {
public:
    explicit RenameDelegate(CDataTree* tree) : QStyledItemDelegate(tree), m_tree(tree) {}
    // Rows leave room for the 15-pixel swatch and a line of text.
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize s = QStyledItemDelegate::sizeHint(option, index);
        s.setHeight(std::max(s.height(), 19));
        return s;
    }
    void setEditorData(QWidget* editor, const QModelIndex& index) const override {
        if (auto* edit = qobject_cast<QLineEdit*>(editor))
            edit->setText(m_tree->EditTextOf(m_tree->itemFromIndex(index)));
    }
    void setModelData(QWidget* editor, QAbstractItemModel*, const QModelIndex& index) const override {
        if (auto* edit = qobject_cast<QLineEdit*>(editor)) m_tree->ApplyRename(m_tree->itemFromIndex(index), edit->text());
    }

private:
    CDataTree* m_tree;
};

}  // namespace

CDataTree::CDataTree(QWidget* parent) : QTreeWidget(parent) {
    setObjectName(QStringLiteral("tree1212"));
    setColumnCount(1);
    header()->hide();
    setIndentation(0);
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setItemDelegate(new RenameDelegate(this));
    setExpandsOnDoubleClick(false);
    connect(this, &QTreeWidget::itemCollapsed, this, &CDataTree::OnItemCollapsed);
    connect(this, &QTreeWidget::itemExpanded, this, &CDataTree::OnItemExpanded);
}

CDataTree::~CDataTree() = default;

// ================================================================ items

bool CDataTree::IsDataSetItem(const QTreeWidgetItem* item) {
    return item && item->data(0, kRoleKind).toInt() == kItemDataSet;
}
bool CDataTree::IsGateItem(const QTreeWidgetItem* item) { return item && item->data(0, kRoleKind).toInt() == kItemGate; }

VexaDataShell* CDataTree::ShellOf(const QTreeWidgetItem* item) {
    return IsDataSetItem(item) ? reinterpret_cast<VexaDataShell*>(item->data(0, kRolePtr).value<quintptr>()) : nullptr;
}
CGateNode* CDataTree::GateOf(const QTreeWidgetItem* item) {
    return IsGateItem(item) ? reinterpret_cast<CGateNode*>(item->data(0, kRolePtr).value<quintptr>()) : nullptr;
}

QString CDataTree::ItemText(const QTreeWidgetItem* item) {
    if (CGateNode* g = GateOf(item)) return QString::fromStdString(g->GetDisplayName());
    if (VexaDataShell* s = ShellOf(item))
        return QString::fromStdString(s->GetName().empty() ? s->GetFileName() : s->GetName());
    return {};
}

QTreeWidgetItem* CDataTree::AddDataSetItem(VexaDataShell* shell) {
    auto* item = new QTreeWidgetItem;
    item->setData(0, kRoleKind, int(kItemDataSet));
    item->setData(0, kRolePtr, quintptr(shell));
    item->setFlags(item->flags() | Qt::ItemIsEditable);
    item->setText(0, ItemText(item));
    addTopLevelItem(item);
    RebuildGateItems(item);
    return item;
}

QTreeWidgetItem* CDataTree::MakeGateItem(CGateNode* gate) {
    auto* item = new QTreeWidgetItem;
    item->setData(0, kRoleKind, int(kItemGate));
    item->setData(0, kRolePtr, quintptr(gate));
    item->setFlags(item->flags() | Qt::ItemIsEditable);
    item->setText(0, QString::fromStdString(gate->GetDisplayName()));
    return item;
}

void CDataTree::RebuildGateItems(QTreeWidgetItem* dataSetItem) {
    VexaDataShell* shell = ShellOf(dataSetItem);
    if (!shell) return;
    const std::vector<CGateNode*>& gates = shell->GetGates();
    // Gates only added (a region, AND, OR, NOT, a quadrant's parts): the
    // items there stay as they are, picked or not, and the new ones follow.
    bool added = size_t(dataSetItem->childCount()) <= gates.size();
    for (int i = 0; added && i < dataSetItem->childCount(); ++i) added = GateOf(dataSetItem->child(i)) == gates[size_t(i)];
    if (added) {
        QList<QTreeWidgetItem*> items;
        for (size_t i = size_t(dataSetItem->childCount()); i < gates.size(); ++i) items.push_back(MakeGateItem(gates[i]));
        dataSetItem->addChildren(items);
        viewport()->update();
        return;
    }
    ForgetTracking();
    const bool expanded = dataSetItem->isExpanded();
    const bool wasCaretChild = currentItem() && currentItem()->parent() == dataSetItem;
    const CGateNode* caretGate = wasCaretChild ? GateOf(currentItem()) : nullptr;
    std::vector<const CGateNode*> picked;
    for (int i = 0; i < dataSetItem->childCount(); ++i)
        if (dataSetItem->child(i)->isSelected()) picked.push_back(GateOf(dataSetItem->child(i)));
    const bool blocked = blockSignals(true);
    qDeleteAll(dataSetItem->takeChildren());
    QList<QTreeWidgetItem*> items;
    items.reserve(int(gates.size()));
    QTreeWidgetItem* caret = nullptr;
    for (CGateNode* g : gates) {
        QTreeWidgetItem* item = MakeGateItem(g);
        if (g == caretGate) caret = item;
        items.push_back(item);
    }
    dataSetItem->addChildren(items);
    dataSetItem->setExpanded(expanded);
    // The gates that stay keep their picks.
    for (QTreeWidgetItem* item : items)
        if (std::find(picked.begin(), picked.end(), GateOf(item)) != picked.end()) item->setSelected(true);
    blockSignals(blocked);
    if (wasCaretChild) {
        if (m_bMultiSelect) FocusItem(caret ? caret : dataSetItem);
        else setCurrentItem(caret ? caret : dataSetItem);
    }
    viewport()->update();
}

void CDataTree::DeleteItem(QTreeWidgetItem* item) {
    if (!item) return;
    ForgetTracking();
    delete item;
}

void CDataTree::ClearItems() {
    ForgetTracking();
    clear();
}

void CDataTree::ForgetTracking() {
    m_hAnchor = nullptr;
    m_trackItem = nullptr;
    m_remembered.clear();
    if (m_track != Track::None) {
        m_bandTimer.stop();
        m_track = Track::None;
        m_bandStarted = false;
        m_band = QRect();
    }
}

QTreeWidgetItem* CDataTree::FindDataSetItem(const VexaDataShell* shell) const {
    for (int i = 0; i < topLevelItemCount(); ++i)
        if (ShellOf(topLevelItem(i)) == shell) return topLevelItem(i);
    return nullptr;
}

QTreeWidgetItem* CDataTree::FindGateItem(const CGateNode* gate) const {
    if (!gate) return nullptr;
    QTreeWidgetItem* root = FindDataSetItem(gate->GetShell());
    if (!root) return nullptr;
    for (int i = 0; i < root->childCount(); ++i)
        if (GateOf(root->child(i)) == gate) return root->child(i);
    return nullptr;
}

void CDataTree::ExpandAndSelect(const VexaDataShell* shell) {
    if (QTreeWidgetItem* item = FindDataSetItem(shell)) {
        item->setExpanded(true);
        setCurrentItem(item);
    }
}

void CDataTree::CollapseAllOf(const VexaDataShell* shell) {
    for (int i = 0; i < topLevelItemCount(); ++i)
        if (ShellOf(topLevelItem(i)) == shell) topLevelItem(i)->setExpanded(false);
}

// ====================================================== multi-selection

bool CDataTree::SetMultiSelect(bool on) {
    const bool previous = m_bMultiSelect;
    if (on == previous) return previous;
    ForgetTracking();
    m_bMultiSelect = on;
    if (on) {
        setSelectionMode(QAbstractItemView::MultiSelection);
        collapseAll();
    } else {
        QTreeWidgetItem* caret = currentItem();
        if (caret && !caret->isSelected()) caret = nullptr;
        setSelectionMode(QAbstractItemView::SingleSelection);
        const bool blocked = blockSignals(true);
        clearSelection();
        blockSignals(blocked);
        if (caret) setCurrentItem(caret);
    }
    viewport()->update();
    return previous;
}

QTreeWidgetItem* CDataTree::GetFirstSelected() const {
    for (QTreeWidgetItem* it = topLevelItemCount() ? topLevelItem(0) : nullptr; it; it = itemBelow(it))
        if (it->isSelected()) return it;
    return nullptr;
}

QTreeWidgetItem* CDataTree::GetNextSelected(QTreeWidgetItem* item) const {
    for (QTreeWidgetItem* it = item ? itemBelow(item) : nullptr; it; it = itemBelow(it))
        if (it->isSelected()) return it;
    return nullptr;
}

std::vector<QTreeWidgetItem*> CDataTree::CollectSelected() const {
    std::vector<QTreeWidgetItem*> out;
    for (QTreeWidgetItem* it = GetFirstSelected(); it; it = GetNextSelected(it)) out.push_back(it);
    return out;
}

bool CDataTree::SetItemSelected(QTreeWidgetItem* item, bool select) {
    if (!item) return false;
    if (item->isSelected() == select) return true;
    if (m_bMultiSelect) {
        bool veto = false;
        m_bNotifying = true;
        emit SelChanging(item, select, &veto);
        m_bNotifying = false;
        if (veto) return false;
    }
    item->setSelected(select);
    if (m_bMultiSelect) {
        m_bNotifying = true;
        emit SelChanged(item, select);
        m_bNotifying = false;
    }
    return true;
}

void CDataTree::FocusItem(QTreeWidgetItem* item) {
    if (item) setCurrentItem(item, 0, QItemSelectionModel::NoUpdate);
}

void CDataTree::SelectAll(bool select) {
    for (QTreeWidgetItem* it = topLevelItemCount() ? topLevelItem(0) : nullptr; it; it = itemBelow(it))
        SetItemSelected(it, select);
}

void CDataTree::DeselectAllExcept(QTreeWidgetItem* keep) {
    for (QTreeWidgetItem* it = topLevelItemCount() ? topLevelItem(0) : nullptr; it; it = itemBelow(it))
        if (it != keep) SetItemSelected(it, false);
}

void CDataTree::SelectRange(QTreeWidgetItem* anchor, QTreeWidgetItem* item, bool clearOthers) {
    if (!anchor) anchor = item;
    if (!item) return;
    int inside = 0;  // 0 before the range, 1 in it, 2 after it
    for (QTreeWidgetItem* it = topLevelItemCount() ? topLevelItem(0) : nullptr; it; it = itemBelow(it)) {
        const bool end = it == anchor || it == item;
        if (inside == 0 && end) {
            inside = 1;
            SetItemSelected(it, true);
            if (anchor == item) inside = 2;
            continue;
        }
        if (inside == 1) {
            SetItemSelected(it, true);
            if (end) inside = 2;
            continue;
        }
        if (clearOthers) SetItemSelected(it, false);
    }
}

void CDataTree::OnItemCollapsed(QTreeWidgetItem* item) {
    if (!m_bMultiSelect || !item) return;
    bool caretInside = false;
    for (int i = 0; i < item->childCount(); ++i) {
        QTreeWidgetItem* c = item->child(i);
        if (c == currentItem()) caretInside = true;
        SetItemSelected(c, false);
    }
    if (caretInside && !item->isSelected()) FocusItem(item);
}

void CDataTree::OnItemExpanded(QTreeWidgetItem* item) {
    // While several items are picked only one data set is open at a time.
    if (!m_bMultiSelect) return;
    for (int i = 0; i < topLevelItemCount(); ++i)
        if (topLevelItem(i) != item && topLevelItem(i)->isExpanded()) topLevelItem(i)->setExpanded(false);
}

// ================================================================ painting

void CDataTree::drawRow(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    const QTreeWidgetItem* item = itemFromIndex(index);
    const bool selected = item && item->isSelected();
    QRect row = option.rect;
    row.setLeft(0);
    row.setRight(viewport()->width() - 1);
    painter->fillRect(row, QColor::fromRgb(selected ? kSelectedBack : kPlainBack));
    int textLeft = kDataSetTextLeft;
    if (IsDataSetItem(item)) DrawExpandButton(painter, ExpandButtonRect(item), item->isExpanded(), selected);
    if (CGateNode* gate = GateOf(item)) {
        const int inset = (row.height() - kSwatchSide) / 2;
        painter->fillRect(QRect(row.left() + kSwatchLeft, row.top() + inset, kSwatchSide, kSwatchSide),
                          FromColorRef(gate->GetColor()));
        textLeft = kGateTextLeft;
    }
    painter->setPen(QColor::fromRgb(selected ? kSelectedText : kPlainText));
    const QRect textRect(row.left() + textLeft, row.top(), row.width() - textLeft, row.height());
    painter->drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, ItemText(item));
}

void CDataTree::DrawExpandButton(QPainter* painter, const QRect& box, bool expanded, bool selected) {
    const QColor line = QColor::fromRgb(selected ? kSelectedText : kPlainText);
    painter->save();
    painter->fillRect(box, QColor(Qt::white));
    painter->setPen(line);
    painter->drawRect(box.adjusted(0, 0, -1, -1));
    const QPoint c = box.center();
    painter->drawLine(c.x() - 2, c.y(), c.x() + 2, c.y());
    if (!expanded) painter->drawLine(c.x(), c.y() - 2, c.x(), c.y() + 2);
    painter->restore();
}

QRect CDataTree::ExpandButtonRect(const QTreeWidgetItem* item) const {
    if (!IsDataSetItem(item)) return {};
    const QRect row = visualItemRect(item);
    if (!row.isValid()) return {};
    return QRect(kButtonLeft, row.top() + (row.height() - kButtonSide) / 2, kButtonSide, kButtonSide);
}

QRect CDataTree::LabelRect(const QTreeWidgetItem* item) const {
    const QRect row = visualItemRect(item);
    if (!item || !row.isValid()) return {};
    // A gate's label begins with its swatch.
    const int left = IsGateItem(item) ? kSwatchLeft : kDataSetTextLeft;
    const int textLeft = IsGateItem(item) ? kGateTextLeft : kDataSetTextLeft;
    const int text = fontMetrics().horizontalAdvance(ItemText(item));
    return QRect(left - kLabelSlack, row.top(), textLeft - left + text + 2 * kLabelSlack, row.height());
}

CDataTree::HitPart CDataTree::HitTestAt(const QPoint& pos, QTreeWidgetItem** item) const {
    QTreeWidgetItem* it = itemAt(pos);
    if (item) *item = it;
    if (!it) return HitPart::Nowhere;
    if (ExpandButtonRect(it).contains(pos)) return HitPart::Button;
    return LabelRect(it).contains(pos) ? HitPart::Label : HitPart::Beside;
}

void CDataTree::paintEvent(QPaintEvent* e) {
    QTreeWidget::paintEvent(e);
    if (!m_band.isNull()) {
        QPainter p(viewport());
        p.setPen(QPen(Qt::black, 1, Qt::DotLine));
        p.drawRect(m_band.adjusted(0, 0, -1, -1));
    }
}

// ================================================================= mouse

QPoint CDataTree::ScrollOffset() const {
    const int rowH = topLevelItemCount() ? std::max(1, visualItemRect(topLevelItem(0)).height()) : 1;
    return QPoint(horizontalScrollBar()->value(), verticalScrollBar()->value() * rowH);
}

void CDataTree::mousePressEvent(QMouseEvent* e) {
    const QPoint pos = e->position().toPoint();
    QTreeWidgetItem* item = nullptr;
    const HitPart part = HitTestAt(pos, &item);
    if (part == HitPart::Button && e->button() == Qt::LeftButton) {
        // Opens or closes the data set; the selection stays as it is.
        item->setExpanded(!item->isExpanded());
        e->accept();
        return;
    }
    if (!m_bMultiSelect) {
        QTreeWidget::mousePressEvent(e);
        return;
    }
    if (e->button() != Qt::LeftButton) {
        e->accept();
        return;
    }
    // Rows span the tree's width: only a press on a label picks its item,
    // beside it (or below the last row) a rubber band starts.
    if (part != HitPart::Label) item = nullptr;
    const Qt::KeyboardModifiers mods = e->modifiers();
    m_trackMods = mods;
    m_trackStart = pos;
    m_bandStarted = false;
    m_band = QRect();
    if (item) {
        if (mods & Qt::ShiftModifier) {
            SelectRange(m_hAnchor ? m_hAnchor : currentItem(), item, !(mods & Qt::ControlModifier));
            FocusItem(item);
        } else if (!(mods & Qt::ControlModifier)) {
            if (!item->isSelected()) DeselectAllExcept(item);
            SetItemSelected(item, true);
            FocusItem(item);
            m_hAnchor = nullptr;
        } else {
            m_hAnchor = nullptr;  // Ctrl toggles at the release
        }
        m_track = Track::ClickOrDrag;
        m_trackItem = item;
    } else {
        setFocus(Qt::MouseFocusReason);
        m_remembered.clear();
        if (mods & (Qt::ControlModifier | Qt::ShiftModifier)) m_remembered = CollectSelected();
        m_bandStartScroll = pos + ScrollOffset();
        m_track = Track::Band;
        m_bandTimer.start(kBandTimerMs, this);
    }
    e->accept();
}

void CDataTree::mouseMoveEvent(QMouseEvent* e) {
    if (!m_bMultiSelect) {
        QTreeWidget::mouseMoveEvent(e);
        return;
    }
    const QPoint pos = e->position().toPoint();
    if (m_track == Track::ClickOrDrag) {
        const QPoint d = pos - m_trackStart;
        if (std::abs(d.x()) > QApplication::startDragDistance() || std::abs(d.y()) > QApplication::startDragDistance()) {
            QTreeWidgetItem* item = m_trackItem;
            m_track = Track::None;
            m_trackItem = nullptr;
            SetItemSelected(item, true);
            FocusItem(item);
            emit BeginDrag(item);
        }
    } else if (m_track == Track::Band) {
        BandMove(pos);
    }
    e->accept();
}

void CDataTree::BandMove(const QPoint& pos) {
    if (!m_bandStarted) {
        const QPoint start = m_bandStartScroll - ScrollOffset();
        const QPoint d = pos - start;
        if (std::abs(d.x()) <= QApplication::startDragDistance() && std::abs(d.y()) <= QApplication::startDragDistance())
            return;
        m_bandStarted = true;
        if (!(m_trackMods & (Qt::ControlModifier | Qt::ShiftModifier))) SelectAll(false);
    }
    const QRect client = viewport()->rect();
    if (pos.y() < client.top()) verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
    else if (pos.y() > client.bottom()) verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    if (pos.x() < client.left()) horizontalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
    else if (pos.x() > client.right()) horizontalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    const QPoint start = m_bandStartScroll - ScrollOffset();
    m_band = QRect(start, pos).normalized();
    SelectItemsInRect(m_band);
    viewport()->update();
}

void CDataTree::SelectItemsInRect(const QRect& band) {
    const bool ctrl = m_trackMods & Qt::ControlModifier;
    const bool shift = m_trackMods & Qt::ShiftModifier;
    for (QTreeWidgetItem* it = topLevelItemCount() ? topLevelItem(0) : nullptr; it; it = itemBelow(it)) {
        QRect label = visualItemRect(it);
        label.setLeft(0);
        auto pos = std::find(m_remembered.begin(), m_remembered.end(), it);
        const bool remembered = pos != m_remembered.end();
        if (band.intersects(label)) {
            if (!it->isSelected() && !remembered) SetItemSelected(it, true);
            else if (ctrl && remembered) SetItemSelected(it, false);
            else if (shift && remembered) m_remembered.erase(pos);
        } else {
            // Outside the band only what was selected before it stays so.
            SetItemSelected(it, remembered);
        }
    }
}

void CDataTree::mouseReleaseEvent(QMouseEvent* e) {
    if (!m_bMultiSelect) {
        QTreeWidget::mouseReleaseEvent(e);
        return;
    }
    if (m_track == Track::ClickOrDrag) {
        QTreeWidgetItem* item = m_trackItem;
        m_track = Track::None;
        m_trackItem = nullptr;
        if (item && !(m_trackMods & Qt::ShiftModifier)) {
            if (m_trackMods & Qt::ControlModifier) {
                SetItemSelected(item, !item->isSelected());
            } else {
                DeselectAllExcept(item);
                SetItemSelected(item, true);
            }
            FocusItem(item);
        }
        setFocus(Qt::MouseFocusReason);
        emit Clicked();
    } else if (m_track == Track::Band) {
        EndTrack(false);
    }
    e->accept();
}

void CDataTree::EndTrack(bool cancelled) {
    m_bandTimer.stop();
    const bool started = m_bandStarted;
    m_track = Track::None;
    m_bandStarted = false;
    m_band = QRect();
    m_remembered.clear();
    viewport()->update();
    if (cancelled) {
        SelectAll(false);
        return;
    }
    if (!started && !(m_trackMods & (Qt::ControlModifier | Qt::ShiftModifier))) SelectAll(false);
    emit Clicked();
}

void CDataTree::timerEvent(QTimerEvent* e) {
    if (e->timerId() != m_bandTimer.timerId()) {
        QTreeWidget::timerEvent(e);
        return;
    }
    if (m_track != Track::Band) {
        m_bandTimer.stop();
        return;
    }
    const QPoint pos = viewport()->mapFromGlobal(QCursor::pos());
    if (!viewport()->rect().contains(pos)) BandMove(pos);
}

void CDataTree::mouseDoubleClickEvent(QMouseEvent* e) {
    QTreeWidgetItem* item = nullptr;
    if (HitTestAt(e->position().toPoint(), &item) == HitPart::Button) {
        // The second click on a button is a click like the first.
        item->setExpanded(!item->isExpanded());
        e->accept();
        return;
    }
    if (m_bMultiSelect) {
        // Only opening and closing a data set; no colour dialog while picking.
        if (IsDataSetItem(item)) item->setExpanded(!item->isExpanded());
        e->accept();
        return;
    }
    if (!item) return;
    setCurrentItem(item);
    if (IsDataSetItem(item)) item->setExpanded(!item->isExpanded());
    else EditColor(item);
    e->accept();
}

void CDataTree::EditColor(QTreeWidgetItem* item) {
    CGateNode* gate = GateOf(item);
    if (!gate) return;
    COLORREF c = gate->GetColor();
    if (!lm::Ui().ChooseColor(this, &c)) return;
    // The gate may have gone while the dialog was open; the colour it has
    // chosen again is no edit.
    if (!FindGateItem(gate) || c == gate->GetColor()) return;
    gate->SetColor(c);
    viewport()->update();
    emit GateRecoloured(gate);
}

// ================================================================== keys

void CDataTree::keyPressEvent(QKeyEvent* e) {
    if (!m_bMultiSelect) {
        QTreeWidget::keyPressEvent(e);
        return;
    }
    if (m_track == Track::Band && e->key() == Qt::Key_Escape) {
        EndTrack(true);
        return;
    }
    if (e->key() != Qt::Key_Up && e->key() != Qt::Key_Down) {
        if (e->key() == Qt::Key_Left || e->key() == Qt::Key_Right) QTreeWidget::keyPressEvent(e);
        return;
    }
    const bool ctrl = e->modifiers() & Qt::ControlModifier;
    const bool shift = e->modifiers() & Qt::ShiftModifier;
    QTreeWidgetItem* caret = currentItem();
    if (!caret) {
        caret = topLevelItemCount() ? topLevelItem(0) : nullptr;
        if (!caret) return;
        FocusItem(caret);
        if (!ctrl) SetItemSelected(caret, true);
        return;
    }
    if (!m_hAnchor) m_hAnchor = caret;
    QTreeWidgetItem* next = e->key() == Qt::Key_Up ? itemAbove(caret) : itemBelow(caret);
    if (!next) next = caret;
    if (!ctrl && !shift) {
        m_hAnchor = nullptr;
        SelectAll(false);
        SetItemSelected(next, true);
    } else if (shift) {
        SelectRange(m_hAnchor, next, true);
    }
    FocusItem(next);
    scrollToItem(next);
}

void CDataTree::focusInEvent(QFocusEvent* e) {
    QTreeWidget::focusInEvent(e);
    if (m_bMultiSelect) viewport()->update();
}

void CDataTree::focusOutEvent(QFocusEvent* e) {
    QTreeWidget::focusOutEvent(e);
    if (m_bMultiSelect) viewport()->update();
}

// ================================================================ rename

QString CDataTree::EditTextOf(const QTreeWidgetItem* item) const {
    if (CGateNode* g = GateOf(item)) return QString::fromStdString(g->GetDisplayName(false));
    if (VexaDataShell* s = ShellOf(item)) return QString::fromStdString(s->GetName());
    return {};
}

void CDataTree::EditLabel(QTreeWidgetItem* item) {
    if (!item) return;
    setCurrentItem(item);
    editItem(item, 0);
}

bool CDataTree::ApplyRename(QTreeWidgetItem* item, const QString& text) {
    if (VexaDataShell* shell = ShellOf(item)) {
        // An empty name is allowed: the item then shows the file name. The
        // same name again is no edit: the report stays as it was.
        if (text.toStdString() == shell->GetName()) {
            item->setText(0, ItemText(item));
            return true;
        }
        shell->SetName(text.toStdString());
        item->setText(0, ItemText(item));
        emit ItemRenamed(item);
        return true;
    }
    CGateNode* gate = GateOf(item);
    if (!gate) return false;
    const std::string name = text.trimmed().toStdString();
    if (name.empty()) {
        lm::Ui().MessageBox(this, QStringLiteral("A gate needs a name."), QStringLiteral("Rename"), lm::MsgButtons::Ok,
                            lm::MsgIcon::Warning);
        return false;
    }
    // The parts of a quadrant share one name.
    std::vector<CGateNode*> parts{gate};
    if (gate->GetQuadrantPart() >= 0) {
        auto* q = static_cast<CrQuadrant*>(gate->GetRegion());
        parts.clear();
        for (int32_t i = 0; i < 4; ++i)
            if (CGateNode* p = q->GetPartGate(i)) parts.push_back(p);
    }
    if (name == gate->GetName()) return true;
    for (CGateNode* other : gate->GetShell()->GetGates()) {
        if (std::find(parts.begin(), parts.end(), other) != parts.end()) continue;
        if (other->GetName() == name || other->GetDisplayName() == name) {
            lm::Ui().MessageBox(this, QStringLiteral("Another gate is named %1.").arg(QString::fromStdString(name)),
                                QStringLiteral("Rename"), lm::MsgButtons::Ok, lm::MsgIcon::Warning);
            return false;
        }
    }
    for (CGateNode* p : parts) p->SetName(name);
    if (QTreeWidgetItem* root = item->parent())
        for (int i = 0; i < root->childCount(); ++i) root->child(i)->setText(0, ItemText(root->child(i)));
    viewport()->update();
    emit ItemRenamed(item);
    return true;
}
