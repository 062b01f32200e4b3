#include "report/app/CtrlStatusBar.h"

#include <QComboBox>
#include <QFont>
#include <QLabel>
#include <QSignalBlocker>

#include "report/app/ControlIds.h"
#include "report/page/LumitraView.h"

namespace {

constexpr float kZooms[] = {2.0f, 1.5f, 1.0f, 0.75f, 0.5f};
constexpr const char* kZoomTexts[] = {"200%", "150%", "100%", "75%", "50%"};
constexpr int kZoomStartIndex = 2;  // "100%"

QLabel* Indicator(const QString& text, int id, QWidget* parent) {
    auto* l = new QLabel(text, parent);
    l->setProperty("controlId", id);
    l->setAlignment(Qt::AlignCenter);
    l->setMinimumWidth(l->fontMetrics().horizontalAdvance(text) + 10);
    // The lock states are not readable here: the indicators stay dimmed.
    l->setEnabled(false);
    return l;
}

}  // namespace

CCtrlStatusBar::CCtrlStatusBar(QWidget* parent) : QStatusBar(parent) {
    setObjectName(QStringLiteral("statusBar"));
    m_zoomBox = new QComboBox(this);
    m_zoomBox->setObjectName(QStringLiteral("zoomBox"));
    m_zoomBox->setProperty("controlId", kCtlZoomBox);
    QFont bold(QStringLiteral("Arial"));
    bold.setPixelSize(13);
    bold.setWeight(QFont::Bold);
    m_zoomBox->setFont(bold);
    for (const char* t : kZoomTexts) m_zoomBox->addItem(QString::fromLatin1(t));
    m_zoomBox->setCurrentIndex(kZoomStartIndex);
    m_zoomBox->setMaxVisibleItems(5);
    connect(m_zoomBox, &QComboBox::activated, this, &CCtrlStatusBar::OnZoomChosen);

    // The "Size" pane is as wide as its text; the zoom box sits before it.
    m_sizePane = new QLabel(this);
    m_sizePane->setProperty("controlId", kIndicatorSize);
    m_sizePane->setMinimumWidth(m_sizePane->fontMetrics().horizontalAdvance(QStringLiteral("Size")) + 10);
    addPermanentWidget(m_zoomBox);
    addPermanentWidget(m_sizePane);
    addPermanentWidget(Indicator(QStringLiteral("大写"), kIndicatorCaps, this));
    addPermanentWidget(Indicator(QStringLiteral("数字"), kIndicatorNum, this));
    addPermanentWidget(Indicator(QStringLiteral("滚动"), kIndicatorScroll, this));
}

float CCtrlStatusBar::ZoomOfIndex(int index) {
    return index >= 0 && index < int(std::size(kZooms)) ? kZooms[index] : 0.0f;
}

void CCtrlStatusBar::ShowZoom(float z) {
    for (int i = 0; i < int(std::size(kZooms)); ++i) {
        if (kZooms[i] == z) {
            const QSignalBlocker block(m_zoomBox);
            m_zoomBox->setCurrentIndex(i);
            return;
        }
    }
}

void CCtrlStatusBar::OnZoomChosen(int index) {
    const float z = ZoomOfIndex(index);
    if (z <= 0.0f) return;
    // Without a document window the choice has no effect.
    if (CLumitraView* view = CLumitraView::GetActiveLumitraView()) view->SetZoom(z);
}
