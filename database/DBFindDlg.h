#pragma once
// The "Find" dialog (196): a list of conditions on patient and sample
// columns, each row a conjunction, a column, an operator and a value, turned
// into the condition of the panel's list statement. The conditions stand in
// parentheses of their own, so they never loosen the join of samples to
// patients; inside, AND binds before OR, and "NOT" means AND NOT. Values are
// always bound; columns and operators come from fixed tables.
#include <QDialog>
#include <QString>

#include <cstdint>
#include <vector>

#include "database/FlowDb.h"

class QComboBox;
class QDateEdit;
class QLineEdit;
class QPushButton;

// One row of the find dialog, as the user chose it.
struct DbCondition {
    QString conjunction;  // "AND", "OR", "NOT"; ignored on the first row
    QString column;       // one of DBFindColumns()
    QString op;           // "=", "LIKE", ">", "<" as the column allows
    QString value;        // dates as "YYYY-MM-DD"
};

// The column texts of the column box, in order.
const QStringList& DBFindColumns();
// The operators a column allows, in order.
QStringList DBFindOperators(const QString& column);

class CDBFindDlg : public QDialog {
    Q_OBJECT

public:
    explicit CDBFindDlg(QWidget* parent = nullptr);

    // The condition of the stored rows. False with *error (nothing built)
    // when a row names an unknown column or operator, or a value does not fit
    // its column (年龄 must be a number, dates YYYY-MM-DD).
    static bool BuildWhere(const std::vector<DbCondition>& conditions, ListQuery* out, QString* error);
    bool BuildWhere(ListQuery* out, QString* error) const { return BuildWhere(m_conditions, out, error); }

    const std::vector<DbCondition>& Conditions() const { return m_conditions; }
    int32_t CurrentRow() const { return m_current; }
    // The control of an id of FindControlId (null when unknown).
    QWidget* Control(int32_t id) const;

    // Row i's controls moved there, the operator list rebuilt for the column.
    void PlaceConditionControls(int32_t row);
    // The edited row stored; false after "Please enter value" when empty.
    bool StoreCondition();
    void SelectCondition(int32_t row);
    void OnAdd();
    // Removes the edited row (a row not yet stored is only emptied).
    void OnDel();
    void accept() override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void OnColumnChanged();
    // A new row the user has filled nothing into (a date column always holds
    // its date).
    bool IsBlankNewRow() const;

    QComboBox* m_operator = nullptr;
    QLineEdit* m_value = nullptr;
    QComboBox* m_conjunction = nullptr;
    QComboBox* m_column = nullptr;
    QDateEdit* m_date = nullptr;
    QPushButton* m_add = nullptr;
    QPushButton* m_del = nullptr;
    std::vector<DbCondition> m_conditions;
    int32_t m_current = 0;
    bool m_newRow = true;
};
