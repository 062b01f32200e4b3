// The Find dialog's rows through its own controls.
#include "database/DBFindDlg.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>

#include "database/DatabaseIds.h"
#include "tests/report/ReportTestUtil.h"

namespace {

using Kind = lm::ScriptedUiServices::Kind;

class FindDlgTest : public ::testing::Test {
protected:
    QComboBox* Box(int32_t id) { return qobject_cast<QComboBox*>(dlg.Control(id)); }
    QLineEdit* Value() { return qobject_cast<QLineEdit*>(dlg.Control(kFindValue)); }
    void Click(int32_t id) { qobject_cast<QPushButton*>(dlg.Control(id))->click(); }
    void Row(const char* conj, const char* column, const char* op, const char* value) {
        if (*conj) Box(kFindConjunction)->setCurrentText(QString::fromUtf8(conj));
        Box(kFindColumn)->setCurrentText(QString::fromUtf8(column));
        Box(kFindOperator)->setCurrentText(QString::fromUtf8(op));
        Value()->setText(QString::fromUtf8(value));
    }
    void PressAt(QPoint p) {
        QMouseEvent e(QEvent::MouseButtonPress, p, dlg.mapToGlobal(p), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&dlg, &e);
    }

    // The application before any widget.
    struct App {
        App() { rtest::EnsureApp(); }
    } app;
    lm::ScriptedUiServices ui;
    lm::ScopedUiServices scoped{&ui};
    CDBFindDlg dlg;
};

TEST_F(FindDlgTest, TheOperatorBoxFollowsTheColumnAlsoAfterAdd) {
    const struct {
        const char* column;
        QStringList ops;
        bool dateShown;
    } cases[] = {
        {"姓名", {"=", "LIKE"}, false},
        {"接收日期", {"=", ">", "<"}, true},
        {"年龄", {"="}, false},
    };
    for (const auto& c : cases) {
        Box(kFindColumn)->setCurrentText(QString::fromUtf8(c.column));
        QStringList ops;
        for (int i = 0; i < Box(kFindOperator)->count(); ++i) ops << Box(kFindOperator)->itemText(i);
        EXPECT_EQ(ops, c.ops) << c.column;
        EXPECT_EQ(Box(kFindOperator)->isEnabled(), c.ops.size() > 1);
        EXPECT_EQ(dlg.Control(kFindDate)->isVisibleTo(&dlg), c.dateShown);
    }
    Box(kFindColumn)->setCurrentText(QStringLiteral("年龄"));
    Value()->setText(QStringLiteral("30"));
    Click(kFindAdd);
    // The new row shows "ID", whose operators are two: the box is usable.
    EXPECT_EQ(Box(kFindColumn)->currentText(), QStringLiteral("ID"));
    EXPECT_TRUE(Box(kFindOperator)->isEnabled());
    EXPECT_EQ(Box(kFindOperator)->count(), 2);
    EXPECT_TRUE(Box(kFindConjunction)->isVisibleTo(&dlg));
    EXPECT_EQ(Box(kFindColumn)->y(), 30);
}

TEST_F(FindDlgTest, RowsAreStoredSelectedAndDeleted) {
    Row("", "ID", "LIKE", "p1");
    Click(kFindAdd);
    Row("OR", "接收日期", ">", "");
    qobject_cast<QDateEdit*>(dlg.Control(kFindDate))->setDate(QDate(2024, 3, 1));
    Click(kFindAdd);
    Row("NOT", "性别", "=", "女");
    Click(kFindAdd);
    ASSERT_EQ(dlg.Conditions().size(), 3u);
    EXPECT_EQ(dlg.Conditions()[1].value, QStringLiteral("2024-03-01"));
    EXPECT_EQ(dlg.Conditions()[1].conjunction, QStringLiteral("OR"));
    EXPECT_TRUE(dlg.Conditions()[0].conjunction.isEmpty());

    PressAt(QPoint(100, 35));  // row 1
    EXPECT_EQ(dlg.CurrentRow(), 1);
    EXPECT_EQ(Box(kFindColumn)->currentText(), QStringLiteral("接收日期"));
    EXPECT_EQ(Box(kFindOperator)->currentText(), QStringLiteral(">"));
    Click(kFindDel);
    ASSERT_EQ(dlg.Conditions().size(), 2u);
    EXPECT_EQ(dlg.Conditions()[1].column, QStringLiteral("性别"));
    EXPECT_EQ(Box(kFindColumn)->currentText(), QStringLiteral("性别"));  // the next row is edited
    PressAt(QPoint(100, 5));
    Click(kFindDel);
    ASSERT_EQ(dlg.Conditions().size(), 1u);
    // Now first, a NOT still excludes what it names, and the row shows it.
    EXPECT_EQ(dlg.Conditions()[0].conjunction, QStringLiteral("NOT"));
    EXPECT_TRUE(Box(kFindConjunction)->isVisibleTo(&dlg));
    EXPECT_EQ(ui.Count(Kind::MessageBox), 0);
}

TEST_F(FindDlgTest, OkKeepsTheEditedRowAndAnEmptyValueIsSaid) {
    Click(kFindAdd);  // nothing typed
    EXPECT_EQ(ui.CallsOf(Kind::MessageBox).at(0).text, QStringLiteral("Please enter value"));
    EXPECT_TRUE(dlg.Conditions().empty());
    Row("", "姓名", "=", "王伟");
    Click(1);
    EXPECT_EQ(dlg.result(), int(QDialog::Accepted));
    ASSERT_EQ(dlg.Conditions().size(), 1u);
    ListQuery q;
    QString error;
    ASSERT_TRUE(dlg.BuildWhere(&q, &error));
    EXPECT_EQ(q.where, QStringLiteral("(Name.姓名 = ? COLLATE NOCASE)"));

    CDBFindDlg fresh;
    qobject_cast<QPushButton*>(fresh.Control(1))->click();  // a fresh empty row is no condition
    EXPECT_TRUE(fresh.Conditions().empty());
    EXPECT_EQ(ui.Count(Kind::MessageBox), 1);
}

}  // namespace
