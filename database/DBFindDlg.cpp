#include "database/DBFindDlg.h"

#include <QComboBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>

#include "base/Numbers.h"
#include "database/DatabaseIds.h"
#include "platform/UiServices.h"

namespace {

enum class ColumnKind { Text, Number, Date };

struct FindColumn {
    const char* text;    // as the column box shows it
    const char* column;  // as the statement names it
    ColumnKind kind;
    const char* operators;  // '|' separated
};

// The only columns a condition can name.
constexpr FindColumn kColumns[] = {
    {"ID", "Name.ID", ColumnKind::Text, "=|LIKE"},
    {"姓名", "Name.姓名", ColumnKind::Text, "=|LIKE"},
    {"性别", "Name.性别", ColumnKind::Text, "="},
    {"年龄", "Sample.年龄", ColumnKind::Number, "="},
    {"科室", "Sample.科室", ColumnKind::Text, "="},
    {"床号", "Sample.床号", ColumnKind::Text, "="},
    {"诊断", "Sample.诊断", ColumnKind::Text, "="},
    {"标本", "Sample.标本", ColumnKind::Text, "="},
    {"接收日期", "Sample.接收日期", ColumnKind::Date, "=|>|<"},
    {"检测日期", "Sample.检测日期", ColumnKind::Date, "=|>|<"},
    {"标本状态", "Sample.标本状态", ColumnKind::Text, "="},
};

const FindColumn* ColumnOf(const QString& text) {
    for (const FindColumn& c : kColumns)
        if (text == QString::fromUtf8(c.text)) return &c;
    return nullptr;
}

constexpr int kRowHeight = 30;
constexpr int kConjX = 5, kColumnX = 75, kOperatorX = 175, kValueX = 245;
constexpr int kTextX = 100, kConjTextX = 50;

void SetId(QWidget* w, int32_t id) {
    w->setProperty("controlId", id);
    w->setObjectName(QStringLiteral("ctl%1").arg(id));
}

}  // namespace

const QStringList& DBFindColumns() {
    static const QStringList list = [] {
        QStringList l;
        for (const FindColumn& c : kColumns) l << QString::fromUtf8(c.text);
        return l;
    }();
    return list;
}

QStringList DBFindOperators(const QString& column) {
    const FindColumn* c = ColumnOf(column);
    return c ? QString::fromLatin1(c->operators).split(QLatin1Char('|')) : QStringList{QStringLiteral("=")};
}

bool CDBFindDlg::BuildWhere(const std::vector<DbCondition>& conditions, ListQuery* out, QString* error) {
    ListQuery q;
    QString body;
    for (size_t i = 0; i < conditions.size(); ++i) {
        const DbCondition& d = conditions[i];
        const FindColumn* c = ColumnOf(d.column);
        if (!c) {
            if (error) *error = QStringLiteral("Unknown column \"%1\".").arg(d.column);
            return false;
        }
        if (!DBFindOperators(d.column).contains(d.op)) {
            if (error) *error = QStringLiteral("\"%1\" cannot be compared with \"%2\".").arg(d.column, d.op);
            return false;
        }
        // "NOT" keeps its meaning on the first row too (a row moves there
        // when the rows before it are deleted); AND and OR join nothing there.
        const bool negated = d.conjunction == QLatin1String("NOT");
        if (i > 0) {
            if (d.conjunction == QLatin1String("OR")) body += QStringLiteral(" OR ");
            else if (negated || d.conjunction == QLatin1String("AND")) body += QStringLiteral(" AND ");
            else {
                if (error) *error = QStringLiteral("Unknown conjunction \"%1\".").arg(d.conjunction);
                return false;
            }
        }
        if (negated) body += QStringLiteral("NOT ifnull(");
        const QString column = QString::fromUtf8(c->column);
        // Stored values are trimmed, so typed ones are compared trimmed.
        QVariant value = d.value.trimmed();
        if (c->kind == ColumnKind::Number) {
            // Plain decimals only: "nan" or "inf" would be taken and match nothing.
            double v = 0;
            if (!lm::TryParseDouble(d.value.trimmed().toStdString(), &v)) {
                if (error) *error = QStringLiteral("%1 must be a number, not \"%2\".").arg(d.column, d.value);
                return false;
            }
            value = v;
        } else if (c->kind == ColumnKind::Date) {
            const QDate day = QDate::fromString(d.value.trimmed(), QStringLiteral("yyyy-MM-dd"));
            if (!day.isValid()) {
                if (error) *error = QStringLiteral("%1 must be a date YYYY-MM-DD, not \"%2\".").arg(d.column, d.value);
                return false;
            }
            value = day.toString(QStringLiteral("yyyy-MM-dd"));
        }
        if (d.op == QLatin1String("LIKE")) {
            body += CFlowDb::Contains(column);
        } else if (c->kind == ColumnKind::Date) {
            // Only a real day compares: an empty, "**", unreadable or missing
            // date is before, after and equal to no day at all.
            body += QStringLiteral("(date(%1, '+0 days') = %1 AND %1 %2 ?)").arg(column, d.op);
        } else {
            body += column + QLatin1Char(' ') + d.op + QStringLiteral(" ?");
            // Text matches as LIKE and the ID column do: ASCII letters in either case.
            if (c->kind == ColumnKind::Text) body += QStringLiteral(" COLLATE NOCASE");
        }
        // A column left empty (NULL) is not the value either: without this
        // NOT would drop the row, as NOT of an unknown is unknown.
        if (negated) body += QStringLiteral(", 0)");
        q.values << value;
    }
    if (!body.isEmpty()) q.where = QLatin1Char('(') + body + QLatin1Char(')');
    *out = q;
    return true;
}

CDBFindDlg::CDBFindDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Find"));
    setObjectName(QStringLiteral("dlg196"));
    resize(520, 330);
    m_conjunction = new QComboBox(this);
    m_conjunction->addItems({QStringLiteral("AND"), QStringLiteral("OR"), QStringLiteral("NOT")});
    m_conjunction->setGeometry(kConjX, 0, 65, 24);
    SetId(m_conjunction, kFindConjunction);
    m_column = new QComboBox(this);
    m_column->addItems(DBFindColumns());
    m_column->setGeometry(kColumnX, 0, 95, 24);
    SetId(m_column, kFindColumn);
    m_operator = new QComboBox(this);
    m_operator->setGeometry(kOperatorX, 0, 65, 24);
    SetId(m_operator, kFindOperator);
    m_value = new QLineEdit(this);
    m_value->setGeometry(kValueX, 0, 150, 24);
    SetId(m_value, kFindValue);
    m_date = new QDateEdit(QDate::currentDate(), this);
    m_date->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    m_date->setCalendarPopup(true);
    m_date->setGeometry(kValueX, 0, 150, 24);
    SetId(m_date, kFindDate);
    m_add = new QPushButton(QStringLiteral("Add"), this);
    m_add->setGeometry(420, 10, 90, 26);
    SetId(m_add, kFindAdd);
    m_del = new QPushButton(QStringLiteral("Del"), this);
    m_del->setGeometry(420, 42, 90, 26);
    SetId(m_del, kFindDel);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setGeometry(420, 260, 90, 26);
    ok->setDefault(true);
    SetId(ok, 1);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setGeometry(420, 292, 90, 26);
    SetId(cancel, 2);
    connect(m_add, &QPushButton::clicked, this, &CDBFindDlg::OnAdd);
    connect(m_del, &QPushButton::clicked, this, &CDBFindDlg::OnDel);
    connect(ok, &QPushButton::clicked, this, &CDBFindDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &CDBFindDlg::reject);
    connect(m_column, &QComboBox::currentIndexChanged, this, &CDBFindDlg::OnColumnChanged);
    m_column->setCurrentIndex(0);
    PlaceConditionControls(0);
}

QWidget* CDBFindDlg::Control(int32_t id) const {
    for (QWidget* w : findChildren<QWidget*>())
        if (w->property("controlId").isValid() && w->property("controlId").toInt() == id) return w;
    return nullptr;
}

void CDBFindDlg::PlaceConditionControls(int32_t row) {
    const int y = kRowHeight * row;
    for (QWidget* w : {static_cast<QWidget*>(m_value), static_cast<QWidget*>(m_date),
                       static_cast<QWidget*>(m_column), static_cast<QWidget*>(m_conjunction),
                       static_cast<QWidget*>(m_operator)})
        w->move(w->x(), y);
    if (height() < y + 2 * kRowHeight) resize(width(), y + 2 * kRowHeight);
    const QString column = m_column->currentText();
    const QStringList ops = DBFindOperators(column);
    const QString keep = m_operator->currentText();
    m_operator->clear();
    m_operator->addItems(ops);
    if (ops.contains(keep)) m_operator->setCurrentText(keep);
    m_operator->setEnabled(ops.size() > 1);
    const FindColumn* c = ColumnOf(column);
    const bool date = c && c->kind == ColumnKind::Date;
    m_value->setVisible(!date);
    m_date->setVisible(date);
    if (!date) m_value->clear();
    m_column->setVisible(true);
    m_operator->setVisible(true);
    // The first row shows its conjunction only when it is a NOT one.
    m_conjunction->setVisible(row > 0 || (size_t(row) < m_conditions.size() &&
                                          m_conditions[size_t(row)].conjunction == QLatin1String("NOT")));
}

void CDBFindDlg::OnColumnChanged() {
    PlaceConditionControls(m_current);
    m_operator->setCurrentIndex(0);
}

bool CDBFindDlg::StoreCondition() {
    const FindColumn* c = ColumnOf(m_column->currentText());
    if (c && c->kind == ColumnKind::Date) m_value->setText(m_date->date().toString(QStringLiteral("yyyy-MM-dd")));
    const QString value = m_value->text().trimmed();
    if (value.isEmpty()) {
        lm::Ui().MessageBox(this, QStringLiteral("Please enter value"), windowTitle(), lm::MsgButtons::Ok,
                            lm::MsgIcon::None);
        return false;
    }
    if (m_current < 0 || size_t(m_current) > m_conditions.size()) m_current = int32_t(m_conditions.size());
    if (size_t(m_current) == m_conditions.size()) m_conditions.emplace_back();
    DbCondition& d = m_conditions[size_t(m_current)];
    d.conjunction = m_conjunction->isVisibleTo(this) ? m_conjunction->currentText() : QString();
    d.column = m_column->currentText();
    d.op = m_operator->currentText();
    d.value = value;
    m_newRow = false;
    update();
    return true;
}

void CDBFindDlg::SelectCondition(int32_t row) {
    if (row < 0 || size_t(row) >= m_conditions.size()) return;
    const DbCondition& d = m_conditions[size_t(row)];
    m_current = row;
    m_conjunction->setCurrentIndex(std::max(0, m_conjunction->findText(d.conjunction, Qt::MatchStartsWith)));
    {
        const QSignalBlocker block(m_column);
        m_column->setCurrentIndex(std::max(0, m_column->findText(d.column, Qt::MatchStartsWith)));
    }
    PlaceConditionControls(row);
    m_operator->setCurrentIndex(std::max(0, m_operator->findText(d.op, Qt::MatchStartsWith)));
    m_value->setText(d.value);
    const QDate day = QDate::fromString(d.value, QStringLiteral("yyyy-MM-dd"));
    if (day.isValid()) m_date->setDate(day);
    m_newRow = false;
}

void CDBFindDlg::OnAdd() {
    if (!StoreCondition()) return;
    m_newRow = true;
    m_conjunction->setCurrentIndex(0);
    m_current = int32_t(m_conditions.size());
    {
        const QSignalBlocker block(m_column);
        m_column->setCurrentIndex(0);
    }
    // The operator box follows the column it now shows.
    PlaceConditionControls(m_current);
    m_operator->setCurrentIndex(0);
    m_value->clear();
    update();
}

void CDBFindDlg::OnDel() {
    if (size_t(m_current) < m_conditions.size()) {
        m_conditions.erase(m_conditions.begin() + m_current);
        // A row that moves up to first place joins nothing any more, but a
        // NOT keeps excluding what it names.
        if (m_current == 0 && !m_conditions.empty() && m_conditions.front().conjunction != QLatin1String("NOT"))
            m_conditions.front().conjunction.clear();
    }
    if (size_t(m_current) < m_conditions.size()) {
        SelectCondition(m_current);
    } else {
        m_current = int32_t(m_conditions.size());
        m_newRow = true;
        PlaceConditionControls(m_current);
        m_value->clear();
    }
    update();
}

bool CDBFindDlg::IsBlankNewRow() const { return m_newRow && !m_date->isVisibleTo(this) && m_value->text().isEmpty(); }

void CDBFindDlg::accept() {
    // A fresh row left empty is simply not a condition.
    if (!IsBlankNewRow()) StoreCondition();
    QDialog::accept();
}

void CDBFindDlg::mousePressEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    if (event->button() != Qt::LeftButton || p.x() < 5 || p.x() > 300) return QDialog::mousePressEvent(event);
    const int32_t row = p.y() / kRowHeight;
    if (row == m_current) return;
    if (!IsBlankNewRow() && !StoreCondition()) return;
    if (size_t(row) < m_conditions.size()) SelectCondition(row);
    update();
}

void CDBFindDlg::paintEvent(QPaintEvent* event) {
    QDialog::paintEvent(event);
    QPainter p(this);
    const int ascent = p.fontMetrics().ascent();
    for (size_t i = 0; i < m_conditions.size(); ++i) {
        if (int32_t(i) == m_current) continue;  // the controls show it
        const DbCondition& d = m_conditions[i];
        const int y = kRowHeight * int(i) + 4 + ascent;
        if (i > 0 || d.conjunction == QLatin1String("NOT")) p.drawText(kConjTextX, y, d.conjunction);
        p.drawText(kTextX, y, d.column + QStringLiteral("  ") + d.op + QStringLiteral("  ") + d.value);
    }
}
