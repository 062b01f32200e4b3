#pragma once
// "Windows...": every report window in a list to choose from, for when the
// Window menu lists only the first ones. OK (or a double click) gives the
// chosen row.
#include <QDialog>
#include <QStringList>

class QListWidget;

class CWindowListDlg : public QDialog {
    Q_OBJECT

public:
    // titles in window order; current is selected at first.
    CWindowListDlg(const QStringList& titles, int current, QWidget* parent = nullptr);
    // The row chosen (-1 for none).
    int Chosen() const;

private:
    QListWidget* m_list;
};
