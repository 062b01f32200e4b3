#include "dialogs/StatMatrix.h"

#include <QCheckBox>
#include <QPainter>

#include "core/DataShell.h"
#include "core/StatItem.h"
#include "dialogs/DialogControls.h"
#include "dialogs/ResultDlgIds.h"

namespace {
// A box sits centred in its cell, narrower than the cell.
constexpr int32_t kBoxInsetX = 10;
constexpr int32_t kBoxInsetY = 2;
}  // namespace

CStatMatrix::CStatMatrix(Geometry geometry, QWidget* parent) : QWidget(parent), m_geometry(geometry) {
    setObjectName(QStringLiteral("statMatrix"));
    resize(MatrixSize());
}

QSize CStatMatrix::MatrixSize() const {
    return QSize(m_geometry.labelWidth + kColumns * m_geometry.columnWidth,
                 (GetParamCount() + 1) * m_geometry.rowHeight);
}

void CStatMatrix::LayOut(const VexaDataShell* shell) {
    qDeleteAll(m_boxes);
    m_boxes.clear();
    m_labels.clear();
    const int32_t n = shell ? shell->GetParamCount() : 0;
    for (int32_t p = 0; p < n; ++p)
        m_labels.push_back(QString::fromStdString(shell->GetParamLabel(p, 2) + " " + shell->GetParamLabel(p, 1)));
    const Geometry& g = m_geometry;
    for (int32_t p = 0; p < n; ++p) {
        for (int32_t k = 0; k < kColumns; ++k) {
            auto* box = lm::WithControlId(new QCheckBox(this), kStatPageMatrixBox);
            box->setObjectName(QStringLiteral("stat_%1_%2").arg(p).arg(k));
            box->setGeometry(g.labelWidth + k * g.columnWidth + kBoxInsetX, (p + 1) * g.rowHeight + kBoxInsetY,
                             g.columnWidth - 2 * kBoxInsetX, g.rowHeight - 2 * kBoxInsetY);
            box->show();
            m_boxes.push_back(box);
        }
    }
    resize(MatrixSize());
    update();
}

bool CStatMatrix::HasBox(int32_t code, int32_t param) const {
    return code >= kFirstCode && code < kFirstCode + kColumns && param >= 0 && param < GetParamCount();
}

QCheckBox* CStatMatrix::Box(int32_t param, int32_t column) const {
    if (param < 0 || param >= GetParamCount() || column < 0 || column >= kColumns) return nullptr;
    return m_boxes[size_t(param * kColumns + column)];
}

void CStatMatrix::Check(int32_t code, int32_t param, bool on) {
    if (HasBox(code, param)) Box(param, code - kFirstCode)->setChecked(on);
}

void CStatMatrix::ClearAll() {
    for (QCheckBox* b : m_boxes) b->setChecked(false);
}

void CStatMatrix::AppendChecked(std::vector<int32_t>* codes, std::vector<int32_t>* params) const {
    for (int32_t p = 0; p < GetParamCount(); ++p) {
        for (int32_t k = 0; k < kColumns; ++k) {
            if (!Box(p, k)->isChecked()) continue;
            codes->push_back(k + kFirstCode);
            params->push_back(p);
        }
    }
}

void CStatMatrix::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    painter.setFont(QFont(QStringLiteral("Arial"), 8));
    painter.setPen(Qt::black);
    const Geometry& g = m_geometry;
    for (int32_t k = 0; k < kColumns; ++k) {
        const QRect cell(g.labelWidth + k * g.columnWidth, 0, g.columnWidth, g.rowHeight);
        painter.drawText(cell, Qt::AlignCenter | Qt::TextSingleLine,
                         QString::fromStdString(CStatItem::GetStatName(k + kFirstCode)));
    }
    for (int32_t p = 0; p < GetParamCount(); ++p) {
        const QRect cell(0, (p + 1) * g.rowHeight, g.labelWidth, g.rowHeight);
        const QString text = painter.fontMetrics().elidedText(m_labels[size_t(p)], Qt::ElideRight, g.labelWidth - 2);
        painter.drawText(cell, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
    }
}
