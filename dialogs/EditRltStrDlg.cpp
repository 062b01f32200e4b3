#include "dialogs/EditRltStrDlg.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include <algorithm>

#include "dialogs/DialogControls.h"
#include "dialogs/InfoAstDlg.h"
#include "dialogs/ResultDlgIds.h"
#include "platform/UiServices.h"

namespace {
constexpr COLORREF kWhite = 0xFFFFFF;
}

CEditRltStrDlg::CEditRltStrDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Edit String"));
    m_edit = lm::WithControlId(new QLineEdit(this), kEditStrEdit);
    m_list = lm::WithControlId(new QListWidget(this), kEditStrList);
    auto* add = lm::WithControlId(new QPushButton(QStringLiteral("Add"), this), kEditStrAdd);
    auto* del = lm::WithControlId(new QPushButton(QStringLiteral("Delete"), this), kEditStrDelete);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(add, &QPushButton::clicked, this, &CEditRltStrDlg::OnAdd);
    connect(del, &QPushButton::clicked, this, &CEditRltStrDlg::OnDelete);
    connect(buttons, &QDialogButtonBox::accepted, this, &CEditRltStrDlg::OnOK);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    // Enter adds the typed string; it must not close the dialog.
    add->setDefault(true);
    for (QAbstractButton* b : buttons->buttons())
        if (auto* push = qobject_cast<QPushButton*>(b)) push->setAutoDefault(false);
    auto* grid = new QGridLayout(this);
    grid->addWidget(m_edit, 0, 0);
    grid->addWidget(add, 0, 1);
    grid->addWidget(m_list, 1, 0, 2, 1);
    grid->addWidget(del, 1, 1, Qt::AlignTop);
    grid->addWidget(buttons, 3, 0, 1, 2);
}

void CEditRltStrDlg::InitList() {
    m_list->clear();
    for (const std::string& s : m_strings) m_list->addItem(QString::fromStdString(s));
}

void CEditRltStrDlg::OnAdd() {
    const QString text = m_edit->text();
    if (text.isEmpty()) return;
    if (!m_list->findItems(text, Qt::MatchExactly | Qt::MatchCaseSensitive).isEmpty()) {
        lm::Ui().MessageBox(this, QStringLiteral("String already existed"), QStringLiteral("Notice"),
                            lm::MsgButtons::Ok, lm::MsgIcon::Information);
        return;
    }
    if (!CInfoAstDlg::AcceptText(this, QStringLiteral("Para table"), text)) return;
    m_list->addItem(text);
    m_edit->clear();
}

void CEditRltStrDlg::OnDelete() {
    const int row = m_list->currentRow();
    if (row >= 0) delete m_list->takeItem(row);
}

void CEditRltStrDlg::OnOK() {
    std::vector<std::string> strings;
    std::vector<COLORREF> colors;
    for (int i = 0; i < m_list->count(); ++i) {
        strings.push_back(m_list->item(i)->text().toStdString());
        const auto it = std::find(m_strings.begin(), m_strings.end(), strings.back());
        const size_t old = size_t(it - m_strings.begin());
        colors.push_back(it != m_strings.end() && old < m_colors.size() ? m_colors[old] : kWhite);
    }
    m_strings = std::move(strings);
    m_colors = std::move(colors);
    accept();
}
