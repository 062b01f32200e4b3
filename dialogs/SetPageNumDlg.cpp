#include "dialogs/SetPageNumDlg.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QVBoxLayout>

#include "base/Numbers.h"
#include "platform/UiServices.h"

CSetPageNumDlg::CSetPageNumDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Set Page Num"));
    m_across = new QLineEdit(this);
    m_across->setObjectName(QStringLiteral("pagesAcross"));
    m_down = new QLineEdit(this);
    m_down->setObjectName(QStringLiteral("pagesDown"));
    auto* vertical = new QCheckBox(QStringLiteral("Vertical Arrange"), this);
    vertical->setChecked(m_bVertArrange);
    vertical->setEnabled(false);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Horizontal"), m_across);
    form->addRow(QStringLiteral("Vertical"), m_down);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &CSetPageNumDlg::OnOK);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(vertical);
    layout->addWidget(buttons);
}

bool CSetPageNumDlg::UpdateData(bool save) {
    if (!save) {
        m_across->setText(QString::number(m_nAcross));
        m_down->setText(QString::number(m_nDown));
        return true;
    }
    struct Field {
        QLineEdit* edit;
        int32_t lo, hi;
        int32_t* out;
    };
    int32_t across = 0, down = 0;
    for (const Field& f : {Field{m_across, m_nMinAcross, m_nMaxAcross, &across},
                           Field{m_down, m_nMinDown, m_nMaxDown, &down}}) {
        int32_t v = 0;
        if (lm::TryParseInt(f.edit->text().trimmed().toStdString(), &v) && v >= f.lo && v <= f.hi) {
            *f.out = v;
            continue;
        }
        QString text = QStringLiteral("Please enter an integer between %1 and %2.").arg(f.lo).arg(f.hi);
        if (f.lo > 1) text += QStringLiteral("\nThe page objects reach page %1: fewer pages would cut them off.").arg(f.lo);
        lm::Ui().MessageBox(this, text, windowTitle(), lm::MsgButtons::Ok, lm::MsgIcon::Warning);
        f.edit->setFocus();
        f.edit->selectAll();
        return false;
    }
    m_nAcross = across;
    m_nDown = down;
    return true;
}

void CSetPageNumDlg::OnOK() {
    if (UpdateData(true)) accept();
}
