#include "dialogs/CellStrDlg.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/UiServices.h"

CCellStrDlg::CCellStrDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Edit Cell"));
    m_edit = new QLineEdit(this);
    m_edit->setObjectName(QStringLiteral("text"));
    m_align = new QComboBox(this);
    m_align->setObjectName(QStringLiteral("align"));
    m_align->addItems({QStringLiteral("Left"), QStringLiteral("Centre"), QStringLiteral("Right")});
    m_align->setCurrentIndex(-1);
    auto* font = new QPushButton(QStringLiteral("Font"), this);
    font->setObjectName(QStringLiteral("font"));
    auto* clear = new QPushButton(QStringLiteral("Clear"), this);
    clear->setObjectName(QStringLiteral("clear"));
    // Neither may close the dialog when Enter is pressed.
    font->setAutoDefault(false);
    clear->setAutoDefault(false);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(font, &QPushButton::clicked, this, &CCellStrDlg::OnFont);
    connect(clear, &QPushButton::clicked, this, &CCellStrDlg::OnClear);
    connect(buttons, &QDialogButtonBox::accepted, this, &CCellStrDlg::OnOK);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* textRow = new QHBoxLayout;
    textRow->addWidget(new QLabel(QStringLiteral("Text"), this));
    textRow->addWidget(m_edit);
    auto* tools = new QHBoxLayout;
    tools->addWidget(m_align);
    tools->addWidget(font);
    tools->addWidget(clear);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(textRow);
    layout->addLayout(tools);
    layout->addWidget(buttons);
}

void CCellStrDlg::UpdateData(bool save) {
    if (save) {
        m_strText = m_edit->text().toStdString();
        m_nAlign = m_align->currentIndex();
        return;
    }
    m_edit->setText(QString::fromStdString(m_strText));
    m_align->setCurrentIndex(m_nAlign >= 0 && m_nAlign < m_align->count() ? m_nAlign : -1);
}

void CCellStrDlg::OnFont() {
    LOGFONT font = m_font;
    COLORREF colour = m_crText;
    if (!lm::Ui().ChooseFont(this, &font, &colour)) return;
    m_font = font;
    m_crText = colour;
}

void CCellStrDlg::OnClear() { m_bClear = true; }

void CCellStrDlg::OnOK() {
    UpdateData(true);
    accept();
}
