#include "report/app/DragDropData.h"

#include <QApplication>
#include <QFontMetrics>
#include <QPainter>
#include <QPalette>
#include <QWidget>

#include <algorithm>
#include <utility>

#include "core/DataShell.h"
#include "core/GateNode.h"
#include "platform/PaintHelpers.h"

// ============================================================ CDragDropData

CDragDropData::~CDragDropData() = default;

QImage CDragDropData::CreateDragImage(QWidget* window, CRect* extent) {
    const QFont font = window ? window->font() : QApplication::font();
    const CSize size = GetDragImageSize(font);
    // A payload that measures nothing still shows a dot under the pointer.
    const int w = std::max<int32_t>(size.cx, 1);
    const int h = std::max<int32_t>(size.cy, 1);
    if (extent) *extent = CRect(0, 0, w, h);

    const QPalette palette = window ? window->palette() : QApplication::palette();
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(palette.color(QPalette::Highlight));
    {
        QPainter p(&image);
        p.setFont(font);
        p.setPen(Qt::white);
        DrawDragImage(p, CRect(0, 0, w, h));
    }
    // Pixels of the light 3-D colour are see-through, as the image list's
    // mask colour makes them.
    const QRgb maskColour = palette.color(QPalette::Midlight).rgb();
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < w; ++x)
            if ((line[x] | 0xFF000000u) == (maskColour | 0xFF000000u)) line[x] = 0;
    }
    m_bitmap = image;
    return image;
}

void CDragDropData::NotifyLost() {
    // Told once: the handler may end the drag, which deletes this payload
    // later, never now.
    if (auto handler = std::exchange(m_onLost, nullptr)) handler();
}

// ============================================================ CDragDropGNEx

CDragDropGNEx::CDragDropGNEx(CGateNode* gate) : CGateUser(gate) {}

CDragDropGNEx::~CDragDropGNEx() = default;

QString CDragDropGNEx::Name() const {
    return m_gate ? QString::fromUtf8(m_gate->GetDisplayName(true).c_str()) : QString();
}

CSize CDragDropGNEx::GetDragImageSize(const QFont& font) const {
    const QFontMetrics fm(font);
    const int32_t height = std::max(fm.height(), 1);
    const int32_t measured = fm.horizontalAdvance(Name());
    // An empty name would make an image of no size, which cannot be shown.
    const int32_t width = measured > 0 ? measured : height;
    return CSize(std::min(width, kDragImageMaxWidth), height);
}

QString CDragDropGNEx::DisplayText(const QFont& font, int32_t width) const {
    const QFontMetrics fm(font);
    const QString name = Name();
    // The image is as wide as the name's advance; eliding measures a little
    // wider and would cut a name that fits.
    if (fm.horizontalAdvance(name) <= width) return name;
    return fm.elidedText(name, Qt::ElideRight, std::max<int32_t>(width, 0));
}

void CDragDropGNEx::DrawDragImage(QPainter& painter, const CRect& rect) const {
    const QString text = DisplayText(painter.font(), rect.Width());
    painter.drawText(lm::ToQRect(rect), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
}

void CDragDropGNEx::DetachGate(bool remove, bool notify) {
    const bool had = m_gate != nullptr;
    CGateUser::DetachGate(remove, notify);
    if (had) NotifyLost();
}

void CDragDropGNEx::DetachShell(bool remove, bool notify) {
    // The shell is going (its gates with it): the gate must not be reached
    // after this.
    const bool had = m_gate != nullptr;
    CGateUser::DetachShell(remove, notify);
    if (had && !remove) {
        if (m_gate) m_gate->RemoveUser(this, false);
        m_gate = nullptr;
        NotifyLost();
    }
}
