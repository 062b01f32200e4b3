#include "report/app/AboutDlg.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "report/app/LumitraApp.h"

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("关于 Lumitra"));
    auto* icon = new QLabel(this);
    icon->setPixmap(QIcon(QStringLiteral(":/lumitra/lumitra.png")).pixmap(48, 48));
    auto* text = new QLabel(VersionLine() + QStringLiteral("\nFlow-cytometry analysis"), this);
    text->setObjectName(QStringLiteral("versionLine"));
    auto* ok = new QPushButton(QStringLiteral("确定"), this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* row = new QHBoxLayout;
    row->addWidget(icon, 0, Qt::AlignTop);
    row->addWidget(text, 1);
    auto* col = new QVBoxLayout(this);
    col->addLayout(row);
    col->addWidget(ok, 0, Qt::AlignRight);
}

QString CAboutDlg::VersionLine() {
    return QStringLiteral("Lumitra Version %1").arg(QString::fromLatin1(kProgramVersion));
}
