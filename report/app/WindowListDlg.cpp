#include "report/app/WindowListDlg.h"

#include <QDialogButtonBox>
#include <QListWidget>
#include <QVBoxLayout>

CWindowListDlg::CWindowListDlg(const QStringList& titles, int current, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Windows"));
    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("windowList"));
    m_list->addItems(titles);
    if (current >= 0 && current < titles.size()) m_list->setCurrentRow(current);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_list, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_list);
    layout->addWidget(buttons);
    resize(360, 320);
}

int CWindowListDlg::Chosen() const { return m_list->currentRow(); }
