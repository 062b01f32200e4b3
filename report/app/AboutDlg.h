#pragma once
// The About box: the program icon, a name-and-version line and "确定".
#include <QDialog>

class CAboutDlg : public QDialog {
    Q_OBJECT

public:
    explicit CAboutDlg(QWidget* parent = nullptr);
    // "Lumitra Version 0.1"
    static QString VersionLine();
};
