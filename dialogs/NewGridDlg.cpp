#include "dialogs/NewGridDlg.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QVBoxLayout>

#include "base/Numbers.h"
#include "platform/UiServices.h"
#include "report/page/Grid.h"

namespace {

// The value of an edit when it is a whole number in 1..kMaxGridSide.
bool ReadSide(const QLineEdit* edit, int32_t* out) {
    int32_t v = 0;
    if (!lm::TryParseInt(edit->text().toStdString(), &v) || v < 1 || v > kMaxGridSide) return false;
    *out = v;
    return true;
}

}  // namespace

CNewGridDlg::CNewGridDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Grid"));
    m_rows = new QLineEdit(this);
    m_rows->setObjectName(QStringLiteral("rows"));
    m_cols = new QLineEdit(this);
    m_cols->setObjectName(QStringLiteral("cols"));
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Row"), m_rows);
    form->addRow(QStringLiteral("Column"), m_cols);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &CNewGridDlg::OnOK);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    UpdateData(false);
}

bool CNewGridDlg::UpdateData(bool save) {
    if (!save) {
        m_rows->setText(QString::number(m_nRows));
        m_cols->setText(QString::number(m_nCols));
        return true;
    }
    int32_t rows = 0, cols = 0;
    for (auto [edit, out] : {std::pair{m_rows, &rows}, std::pair{m_cols, &cols}}) {
        if (ReadSide(edit, out)) continue;
        lm::Ui().MessageBox(this, QStringLiteral("Please enter an integer between 1 and %1.").arg(kMaxGridSide),
                            QStringLiteral("Grid"), lm::MsgButtons::Ok, lm::MsgIcon::Warning);
        edit->setFocus();
        edit->selectAll();
        return false;
    }
    m_nRows = rows;
    m_nCols = cols;
    return true;
}

void CNewGridDlg::OnOK() {
    if (UpdateData(true)) accept();
}

bool CNewGridDlg::Ask(QWidget* parent, int32_t* rows, int32_t* cols) {
    CNewGridDlg dlg(parent);
    if (lm::Ui().ExecDialog(&dlg) != lm::kDialogAccepted) return false;
    if (rows) *rows = dlg.m_nRows;
    if (cols) *cols = dlg.m_nCols;
    return true;
}
