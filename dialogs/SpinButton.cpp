#include "dialogs/SpinButton.h"

#include <QBoxLayout>
#include <QKeyEvent>
#include <QToolButton>
#include <QWheelEvent>

#include <algorithm>

namespace {

QToolButton* ArrowButton(Qt::ArrowType arrow, QWidget* parent) {
    auto* b = new QToolButton(parent);
    b->setArrowType(arrow);
    b->setAutoRepeat(true);
    b->setFocusPolicy(Qt::NoFocus);
    return b;
}

}  // namespace

CSpinButton::CSpinButton(Qt::Orientation orientation, QWidget* parent) : QWidget(parent) {
    const bool vertical = orientation == Qt::Vertical;
    m_up = ArrowButton(vertical ? Qt::UpArrow : Qt::RightArrow, this);
    m_down = ArrowButton(vertical ? Qt::DownArrow : Qt::LeftArrow, this);
    m_up->setObjectName(QStringLiteral("up"));
    m_down->setObjectName(QStringLiteral("down"));
    auto* layout = new QBoxLayout(vertical ? QBoxLayout::TopToBottom : QBoxLayout::LeftToRight, this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    // Up above down; left of right, as the arrows point.
    if (vertical) {
        layout->addWidget(m_up);
        layout->addWidget(m_down);
        m_up->setFixedSize(18, 11);
        m_down->setFixedSize(18, 11);
    } else {
        layout->addWidget(m_down);
        layout->addWidget(m_up);
        m_up->setFixedSize(14, 22);
        m_down->setFixedSize(14, 22);
    }
    setFocusPolicy(Qt::StrongFocus);
    connect(m_up, &QToolButton::clicked, this, [this] { Step(1); });
    connect(m_down, &QToolButton::clicked, this, [this] { Step(-1); });
    UpdateButtons();
}

void CSpinButton::SetRange(int32_t low, int32_t high) {
    m_low = std::min(low, high);
    m_high = std::max(low, high);
    m_pos = std::clamp(m_pos, m_low, m_high);
    UpdateButtons();
}

void CSpinButton::SetPos(int32_t pos) {
    m_pos = std::clamp(pos, m_low, m_high);
    UpdateButtons();
}

void CSpinButton::Step(int32_t delta) {
    if (!isEnabled()) return;
    const int32_t next = std::clamp(m_pos + delta, m_low, m_high);
    if (next == m_pos) return;
    m_pos = next;
    UpdateButtons();
    emit positionStepped(m_pos);
}

void CSpinButton::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Up:
        case Qt::Key_Right:
            Step(1);
            return;
        case Qt::Key_Down:
        case Qt::Key_Left:
            Step(-1);
            return;
        default:
            QWidget::keyPressEvent(event);
    }
}

void CSpinButton::wheelEvent(QWheelEvent* event) {
    // Touch pads send small deltas: a step per 120 units, however they come.
    m_wheel += event->angleDelta().y();
    while (m_wheel >= 120) {
        m_wheel -= 120;
        Step(1);
    }
    while (m_wheel <= -120) {
        m_wheel += 120;
        Step(-1);
    }
    event->accept();
}

void CSpinButton::changeEvent(QEvent* event) {
    if (event->type() == QEvent::EnabledChange) UpdateButtons();
    QWidget::changeEvent(event);
}

void CSpinButton::UpdateButtons() {
    m_up->setEnabled(isEnabled() && m_pos < m_high);
    m_down->setEnabled(isEnabled() && m_pos > m_low);
}
