#pragma once
// The Database panel of a running program, shown by the dialog bar's "D",
// with helpers that type, click and read its widgets as a user does.
#include "database/DatabaseDlg.h"

#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QDockWidget>
#include <QFontMetrics>
#include <QCheckBox>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>
#include <QToolButton>

#include <functional>

#include "base/Archive.h"
#include "core/DataSet.h"
#include "core/DataShell.h"
#include "platform/PaintHelpers.h"
#include "database/DBFindDlg.h"
#include "database/DatabaseIds.h"
#include "database/RecordModel.h"
#include "report/app/FrameDlgBar.h"
#include "report/app/MainFrame.h"
#include "report/page/Cell.h"
#include "report/page/Grid.h"
#include "report/page/LumitraDoc.h"
#include "tests/database/DbTestUtil.h"
#include "tests/report/ViewEvents.h"
#include "tests/support/ReadOnlyFolder.h"

namespace dbtest {

using Kind = lm::ScriptedUiServices::Kind;

const QDateTime kNow(QDate(2024, 2, 29), QTime(10, 0));

class PanelTest : public rtest::ProgramTest {
protected:
    // Files the program finds when it starts.
    virtual void BeforeStart() {}
    void SetUp() override {
        ProgramTest::SetUp();
        BeforeStart();
        ASSERT_TRUE(app->InitInstance({}));
        frame = app->GetMainFrame();
        panel = dynamic_cast<CDatabaseDlg*>(frame->GetDatabasePanel());
        ASSERT_NE(panel, nullptr);
        panel->SetNow(kNow);
        base = panel->BaseFolder();
        // The dialog bar's second "D" shows the panel.
        auto* button = qobject_cast<QToolButton*>(frame->GetDialogBar()->Control(kCtlPaneDatabase));
        ASSERT_NE(button, nullptr);
        ASSERT_TRUE(button->isVisible());
        button->click();
        ASSERT_TRUE(panel->isVisible());
        shownMessages = Messages();
        ui.Clear();
    }

    QLineEdit* Edit(int32_t id) const { return qobject_cast<QLineEdit*>(panel->Control(id)); }
    void Type(int32_t id, const QString& text) const { Edit(id)->setText(text); }
    void Return(int32_t id) const {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QApplication::sendEvent(Edit(id), &press);
    }
    void Click(int32_t id) const { qobject_cast<QPushButton*>(panel->Control(id))->click(); }
    void ClickRow(int row) const {
        QTableView* list = panel->RecordList();
        const QPoint at = list->visualRect(list->model()->index(row, 1)).center();
        for (QEvent::Type t : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
            QMouseEvent e(t, at, list->viewport()->mapToGlobal(at), Qt::LeftButton,
                          t == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
            QApplication::sendEvent(list->viewport(), &e);
        }
    }
    // New ▸ choice with the fields typed so far.
    void New(int32_t choice) {
        ui.QueueMenuChoice(choice);
        Click(kDbNew);
    }
    void Register(const QString& id, const QString& name, const QString& age = QStringLiteral("30")) {
        Type(kDbId, id);
        Type(kDbName, name);
        Type(kDbAge, age);
        New(kMenuDbOnly);
    }
    std::vector<SampleRow> All() { return panel->Db().List({}, nullptr); }
    QStringList Messages() const {
        QStringList texts;
        for (const auto& c : ui.CallsOf(Kind::MessageBox)) texts << c.text;
        return texts;
    }
    // A template with nothing on it in "Database/Template".
    QString MakeTemplate(const QString& name) {
        QDir().mkpath(base + QStringLiteral("Template"));
        CLumitraDoc doc;
        QString error;
        EXPECT_TRUE(doc.OnSaveDocument(base + QStringLiteral("Template/") + name, &error)) << error.toStdString();
        return base + QStringLiteral("Template/") + name;
    }
    CLumitraDoc* LastDocument() const { return app->GetDocuments().back().get(); }
    static QString CellText(CGrid* grid, int r, int c) { return QString::fromStdString(grid->GetCell(r, c)->GetText()); }

    CMainFrame* frame = nullptr;
    CDatabaseDlg* panel = nullptr;
    QString base;
    QStringList shownMessages;  // said when the panel was first shown
};

// Types text into a widget key by key, as a user does (edits learn it was typed).
inline void KeyIn(QWidget* w, const QString& text) {
    for (const QChar ch : text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(ch));
        QApplication::sendEvent(w, &press);
    }
}

// Leaves a widget by losing the keyboard focus; what the panel does after
// the focus moved runs too.
inline void Leave(QWidget* w) {
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(w, &out);
    QCoreApplication::processEvents();
}

}  // namespace dbtest
