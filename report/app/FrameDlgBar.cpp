#include "report/app/FrameDlgBar.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QPushButton>
#include <QSignalBlocker>
#include <QToolButton>

#include "platform/UiServices.h"
#include "report/app/ControlIds.h"
#include "report/page/LumitraDoc.h"

namespace {

void SetCheck(QAbstractButton* b, int32_t flag) {
    const QSignalBlocker block(b);
    b->setChecked((flag & 0xFF) != 0);
}

}  // namespace

CFrameDlgBar::CFrameDlgBar(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("dialogBar"));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(2, 0, 2, 0);
    row->setSpacing(1);

    m_autoArrange = PaneButton(QStringLiteral("Auto Arrange"), QStringLiteral("autoarrange"), kCtlAutoArrange, -1);
    connect(m_autoArrange, &QToolButton::toggled, this, &CFrameDlgBar::OnAutoArrange);
    row->addWidget(m_autoArrange);
    row->addSpacing(4);
    // Two buttons read "D": the tips name the panel each one shows.
    m_fileList = PaneButton(QStringLiteral("F"), QStringLiteral("pane_f"), kCtlPaneFileList, kPaneFileList);
    m_fileList->setToolTip(QStringLiteral("File List"));
    m_gateList = PaneButton(QStringLiteral("G"), QStringLiteral("pane_g"), kCtlPaneGateList, kPaneGateList);
    m_property = PaneButton(QStringLiteral("D"), QStringLiteral("pane_d"), kCtlPaneProperty, kPaneProperty);
    m_property->setToolTip(QStringLiteral("Property"));
    m_navigate = PaneButton(QStringLiteral("N"), QStringLiteral("pane_n"), kCtlPaneNavigate, kPaneNavigate);
    m_navigate->setToolTip(QStringLiteral("Navigate"));
    m_database = PaneButton(QStringLiteral("D"), QString(), kCtlPaneDatabase, kPaneDatabase);
    m_database->setToolTip(QStringLiteral("Database"));
    for (QToolButton* b : {m_fileList, m_gateList, m_property, m_navigate, m_database}) row->addWidget(b);
    m_gateList->setVisible(false);
    m_database->setVisible(false);
    row->addSpacing(4);

    m_banner = new QPushButton(this);
    m_banner->setProperty("controlId", kCtlBannerButton);
    m_banner->setObjectName(QStringLiteral("btn"));
    m_banner->setIcon(QIcon(QStringLiteral(":/lumitra/banner.png")));
    m_banner->setIconSize(QSize(61, 19));
    m_banner->setFlat(true);
    m_banner->setToolTip(BannerUrl());
    connect(m_banner, &QPushButton::clicked, this, [] { lm::Ui().OpenUrl(BannerUrl()); });
    row->addWidget(m_banner);

    m_arrangeMode = new QComboBox(this);
    m_arrangeMode->setProperty("controlId", kCtlArrangeMode);
    m_arrangeMode->addItems({QStringLiteral("By Data"), QStringLiteral("By Item")});  // already in order
    m_arrangeMode->setCurrentIndex(0);
    m_arrangeMode->setVisible(false);
    connect(m_arrangeMode, &QComboBox::activated, this, &CFrameDlgBar::OnArrangeMode);
    row->addWidget(m_arrangeMode);
    row->addStretch(1);
}

QToolButton* CFrameDlgBar::PaneButton(const QString& text, const QString& icon, int32_t id, int32_t flag) {
    auto* b = new QToolButton(this);
    b->setText(text);
    b->setToolTip(text);
    b->setCheckable(true);
    b->setAutoRaise(true);
    b->setProperty("controlId", id);
    b->setObjectName(QStringLiteral("ctl%1").arg(id));
    if (!icon.isEmpty()) {
        b->setIcon(QIcon(QStringLiteral(":/lumitra/%1.png").arg(icon)));
        b->setIconSize(QSize(20, 20));
        b->setToolButtonStyle(Qt::ToolButtonIconOnly);
    }
    if (flag >= 0)
        connect(b, &QToolButton::toggled, this, [this, flag](bool on) { emit paneFlagChanged(flag, on); });
    return b;
}

QString CFrameDlgBar::BannerUrl() { return QStringLiteral("https://en.wikipedia.org/wiki/Flow_cytometry"); }

void CFrameDlgBar::BindDocument(CLumitraDoc* doc) {
    if (doc == m_doc) return;
    m_doc = doc;
    // The box shows the auto-arrange flag of a newly bound document, while a
    // click sets the snap flag (both off in every document made here).
    SetCheck(m_autoArrange, doc && doc->IsAutoArranged() ? 1 : 0);
}

void CFrameDlgBar::OnAutoArrange(bool checked) {
    if (m_doc) m_doc->SetSnap(checked);
}

void CFrameDlgBar::OnArrangeMode(int index) {
    if (!m_doc) return;
    m_doc->SetArrangeMode(index);
    if (m_doc->IsAutoArranged()) m_doc->AutoArrange();
}

void CFrameDlgBar::SetFileListCheck(int32_t flag) { SetCheck(m_fileList, flag); }
void CFrameDlgBar::SetGateListCheck(int32_t flag) { SetCheck(m_gateList, flag); }
void CFrameDlgBar::SetPropertyCheck(int32_t flag) { SetCheck(m_property, flag); }
void CFrameDlgBar::SetDatabaseCheck(int32_t flag) { SetCheck(m_database, flag); }
void CFrameDlgBar::SetNavigateCheck(int32_t flag) { SetCheck(m_navigate, flag); }

QWidget* CFrameDlgBar::Control(int32_t id) const {
    for (QWidget* w : findChildren<QWidget*>())
        if (w->property("controlId").isValid() && w->property("controlId").toInt() == id) return w;
    return nullptr;
}
