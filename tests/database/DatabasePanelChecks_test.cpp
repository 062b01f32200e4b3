// The Database panel where users and other programs meet it at awkward
// moments: filing at the same time, a register busy at the first use, rows
// changed behind the list, focus moving between fields, values outside the
// lists, a folder that takes no writes.
#include <QLockFile>

#include <chrono>
#include <future>
#include <thread>

#include "tests/database/PanelFixture.h"

namespace {

using dbtest::KeyIn;
using dbtest::PanelTest;
using Kind = lm::ScriptedUiServices::Kind;

QDateEdit* DateEdit(CDatabaseDlg* panel, int32_t id) { return qobject_cast<QDateEdit*>(panel->Control(id)); }

// A press, a pixel of jitter and a release at the middle of a widget; the
// press moves the focus as it does for a user, and the program runs between
// the events as it does while a hand moves.
void ClickOn(QWidget* w, QPoint at = QPoint(-1, -1)) {
    if (at.x() < 0) at = w->rect().center();
    // What the application does for a press that comes from the window
    // system: the first widget from here up that takes focus by click gets it.
    for (QWidget* f = w; f; f = f->parentWidget())
        if (f->isEnabled() && (f->focusPolicy() & Qt::ClickFocus) == Qt::ClickFocus) {
            f->setFocus(Qt::MouseFocusReason);
            break;
        }
    const struct {
        QEvent::Type type;
        QPoint delta;
        Qt::MouseButton button;
        Qt::MouseButtons buttons;
    } steps[] = {{QEvent::MouseButtonPress, {0, 0}, Qt::LeftButton, Qt::LeftButton},
                 {QEvent::MouseMove, {1, 0}, Qt::NoButton, Qt::LeftButton},
                 {QEvent::MouseButtonRelease, {1, 0}, Qt::LeftButton, Qt::NoButton}};
    for (const auto& s : steps) {
        const QPoint p = at + s.delta;
        QMouseEvent e(s.type, p, w->mapToGlobal(p), s.button, s.buttons, Qt::NoModifier);
        QApplication::sendEvent(w, &e);
        QCoreApplication::processEvents();
    }
}

// ------------------------------------------------------------ automatic IDs

TEST_F(PanelTest, TwoProgramsFilingAtOnceNeverShareAnAutomaticId) {
    ASSERT_TRUE(panel->EnsureOpen(true));
    const QString path = panel->Db().Path();
    // The other program is in the middle of filing its own patient a0: it
    // holds the write lock and commits a moment after this one starts.
    std::promise<void> holding;
    std::thread other([&] {
        dbtest::RawConnection raw(path);
        raw.Exec({"BEGIN IMMEDIATE", "INSERT INTO Name(ID,姓名,性别,出生日期) VALUES('a0','乙','女','1990-01-01')"});
        holding.set_value();
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        raw.Exec({"COMMIT"});
    });
    holding.get_future().wait();
    ui.QueueMessageBoxAnswer(lm::kIdNo);  // no ID: an automatic one
    Register(QString(), QStringLiteral("甲"));
    other.join();
    EXPECT_TRUE(Messages() == QStringList{QStringLiteral("Please enter ID")}) << Messages().join(QLatin1Char('|')).toStdString();
    const auto rows = All();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].id, QStringLiteral("a1"));
    EXPECT_EQ(rows[0].name, QStringLiteral("甲"));
    EXPECT_EQ(rows[0].dataPath, QStringLiteral("202402/29-001a1/"));
    EXPECT_EQ(panel->Db().PatientName(QStringLiteral("a0"), nullptr), QStringLiteral("乙"));

    // An automatic patient whose sample cannot be filed is taken back.
    // Each holds a file: an empty folder no sample lists would be taken again.
    for (int k = 1; k <= 999; ++k) {
        const QString folder = QStringLiteral("202402/29-%1a2").arg(k, 3, 10, QLatin1Char('0'));
        QDir(base).mkpath(folder);
        QFile(base + folder + QStringLiteral("/x")).open(QIODevice::WriteOnly);
    }
    ui.QueueMessageBoxAnswer(lm::kIdNo);
    Register(QString(), QStringLiteral("丙"));
    EXPECT_EQ(All().size(), 1u);
    EXPECT_FALSE(panel->Db().PatientName(QStringLiteral("a2"), nullptr).has_value());
}

// ------------------------------------------------------------------- Find

// Runs Find with rows given as (conjunction, column, operator, value); a
// date column takes its value through the date picker. `then` acts on the
// dialog before OK.
void FindRows(lm::ScriptedUiServices& ui, CDatabaseDlg* panel, const std::vector<DbCondition>& rows,
              std::function<void(CDBFindDlg*)> then = {}) {
    ui.QueueDialog([&](QDialog* d) {
        auto* dlg = static_cast<CDBFindDlg*>(d);
        for (size_t i = 0; i < rows.size(); ++i) {
            const DbCondition& c = rows[i];
            if (i > 0) qobject_cast<QComboBox*>(dlg->Control(kFindConjunction))->setCurrentText(c.conjunction);
            qobject_cast<QComboBox*>(dlg->Control(kFindColumn))->setCurrentText(c.column);
            qobject_cast<QComboBox*>(dlg->Control(kFindOperator))->setCurrentText(c.op);
            if (c.column.endsWith(QStringLiteral("日期")))
                qobject_cast<QDateEdit*>(dlg->Control(kFindDate))->setDate(QDate::fromString(c.value, Qt::ISODate));
            else
                qobject_cast<QLineEdit*>(dlg->Control(kFindValue))->setText(c.value);
            if (i + 1 < rows.size()) qobject_cast<QPushButton*>(dlg->Control(kFindAdd))->click();
        }
        if (then) then(dlg);
        qobject_cast<QPushButton*>(dlg->Control(1))->click();
        return d->result();
    });
    qobject_cast<QPushButton*>(panel->Control(kDbFind))->click();
}

QStringList ListedIds(CDatabaseDlg* panel) {
    panel->Records()->Finish();
    QStringList ids;
    for (int r = 0; r < panel->Records()->rowCount(); ++r) ids << panel->Records()->Row(r)->id;
    ids.sort();
    return ids;
}

TEST_F(PanelTest, DelOnTheFirstRowLeavesAFollowingNotExcluding) {
    Register(QStringLiteral("p1"), QStringLiteral("甲"));
    Register(QStringLiteral("p2"), QStringLiteral("乙"));
    bool notShown = false;
    FindRows(ui, panel, {{"", "ID", "LIKE", "p"}, {"NOT", "姓名", "=", "甲"}}, [&](CDBFindDlg* dlg) {
        qobject_cast<QPushButton*>(dlg->Control(kFindAdd))->click();
        const QPoint row0(100, 10);
        QMouseEvent press(QEvent::MouseButtonPress, row0, dlg->mapToGlobal(row0), Qt::LeftButton, Qt::LeftButton,
                          Qt::NoModifier);
        QApplication::sendEvent(dlg, &press);
        qobject_cast<QPushButton*>(dlg->Control(kFindDel))->click();
        // The row now first still says what it excludes.
        auto* conj = qobject_cast<QComboBox*>(dlg->Control(kFindConjunction));
        notShown = conj->isVisibleTo(dlg) && conj->currentText() == QLatin1String("NOT");
    });
    EXPECT_TRUE(notShown);
    EXPECT_EQ(ListedIds(panel), QStringList{QStringLiteral("p2")});
    EXPECT_TRUE(Messages().isEmpty()) << Messages().join(QLatin1Char('|')).toStdString();
}

TEST_F(PanelTest, ADateConditionNeverMatchesAMissingOrUnreadableDate) {
    DateEdit(panel, kDbReceiveDate)->setDate(QDate(2024, 2, 1));
    for (const char* id : {"p1", "p2", "p3", "p4", "p5", "p6"}) Register(QString::fromLatin1(id), QStringLiteral("甲"));
    {
        dbtest::RawConnection raw(panel->Db().Path());
        ASSERT_TRUE(raw.Exec({"UPDATE Sample SET 接收日期='' WHERE PID='p2'", "UPDATE Sample SET 接收日期='**' WHERE PID='p3'",
                              "UPDATE Sample SET 接收日期=NULL WHERE PID='p4'",
                              "UPDATE Sample SET 接收日期='2024-13-45' WHERE PID='p5'",
                              "UPDATE Sample SET 接收日期='2024-02-30' WHERE PID='p6'"}));
    }
    const struct {
        std::vector<DbCondition> rows;
        QStringList listed;
    } cases[] = {
        {{{"", "接收日期", "<", "2024-02-10"}}, {"p1"}},
        {{{"", "接收日期", ">", "2024-02-10"}}, {}},
        {{{"", "接收日期", "=", "2024-02-01"}}, {"p1"}},
        // A sample without a readable date is not before the day either.
        {{{"", "ID", "LIKE", "p"}, {"NOT", "接收日期", "<", "2024-02-10"}}, {"p2", "p3", "p4", "p5", "p6"}},
    };
    for (const auto& c : cases) {
        panel->Records()->Clear();
        FindRows(ui, panel, c.rows);
        EXPECT_EQ(ListedIds(panel), c.listed) << c.rows.back().op.toStdString();
    }
    EXPECT_TRUE(Messages().isEmpty()) << Messages().join(QLatin1Char('|')).toStdString();
}

TEST_F(PanelTest, FindComparesTheValuesTrimmedAsTheyAreStored) {
    Type(kDbDiagnosis, QStringLiteral(" 贫血 "));
    Register(QStringLiteral("p1"), QStringLiteral("甲"));
    Register(QStringLiteral("p2"), QStringLiteral("乙"));
    for (const char* value : {"贫血 ", " 贫血"}) {
        panel->Records()->Clear();
        FindRows(ui, panel, {{"", "诊断", "=", value}});
        EXPECT_EQ(ListedIds(panel), QStringList{QStringLiteral("p1")}) << value;
    }
    panel->Records()->Clear();
    FindRows(ui, panel, {{"", "ID", "LIKE", " p2 "}});
    EXPECT_EQ(ListedIds(panel), QStringList{QStringLiteral("p2")});
    // Blanks alone are no value.
    ui.QueueDialog([](QDialog* d) {
        auto* dlg = static_cast<CDBFindDlg*>(d);
        qobject_cast<QLineEdit*>(dlg->Control(kFindValue))->setText(QStringLiteral("  "));
        qobject_cast<QPushButton*>(dlg->Control(kFindAdd))->click();
        EXPECT_TRUE(dlg->Conditions().empty());
        return int(QDialog::Rejected);
    });
    Click(kDbFind);
    EXPECT_EQ(Messages(), QStringList{QStringLiteral("Please enter value")});
}

// ----------------------------------------------------------- field checks

TEST_F(PanelTest, ANewSampleGetsTheDatesShownOrIsRefusedNamingTheField) {
    Register(QStringLiteral("p1"), QStringLiteral("甲"));
    {
        dbtest::RawConnection raw(panel->Db().Path());
        ASSERT_TRUE(raw.Exec({"UPDATE Sample SET 接收日期='', 检测日期='2024/99/1'"}));
    }
    Type(kDbId, QStringLiteral("p1"));
    Return(kDbId);
    ClickRow(0);
    ASSERT_EQ(panel->FieldValueById(kDbReceiveDate), QString());  // shown blank
    ASSERT_EQ(panel->FieldValueById(kDbTestDate), QString());
    Click(kDbClear);
    ui.Clear();
    Register(QStringLiteral("p2"), QStringLiteral("乙"));
    EXPECT_EQ(Messages(), QStringList{QStringLiteral("接收日期 shows no date: choose the sample's date first.")});
    DateEdit(panel, kDbReceiveDate)->setDate(QDate(2024, 2, 28));
    ui.Clear();
    New(kMenuDbOnly);
    EXPECT_EQ(Messages(), QStringList{QStringLiteral("检测日期 shows no date: choose the sample's date first.")});
    EXPECT_EQ(All().size(), 1u);
    DateEdit(panel, kDbTestDate)->setDate(QDate(2024, 2, 29));
    ui.Clear();
    New(kMenuDbOnly);
    EXPECT_TRUE(Messages().isEmpty()) << Messages().join(QLatin1Char('|')).toStdString();
    ASSERT_EQ(All().size(), 2u);
    EXPECT_EQ(All()[1].receiveDate, QStringLiteral("2024-02-28"));
    EXPECT_EQ(All()[1].testDate, QStringLiteral("2024-02-29"));

    // Modify: a date the user blanks is refused; one loaded blank stays as stored.
    Type(kDbId, QStringLiteral("p2"));
    Return(kDbId);
    ClickRow(0);
    DateEdit(panel, kDbTestDate)->setDate(DateEdit(panel, kDbTestDate)->minimumDate());
    ui.Clear();
    Click(kDbModify);
    EXPECT_EQ(Messages(), QStringList{QStringLiteral("检测日期 shows no date: choose the sample's date first.")});
    EXPECT_EQ(All()[1].testDate, QStringLiteral("2024-02-29"));
}

TEST_F(PanelTest, ASexOutsideTheListIsRefusedNamingTheList) {
    const struct {
        const char* typed;
        const char* shown;   // after leaving the field
        const char* stored;  // empty: refused
    } cases[] = {
        {"M", "M", nullptr},
        {" 2 ", "女", "女"},
        {"1", "男", "男"},
        {"未知", "未知", "未知"},
        {"", "", "**"},
    };
    int n = 0;
    for (const auto& c : cases) {
        const QString id = QStringLiteral("s%1").arg(++n);
        Type(kDbId, id);
        Type(kDbName, QStringLiteral("甲"));
        Edit(kDbSex)->clear();
        KeyIn(Edit(kDbSex), QString::fromUtf8(c.typed));
        dbtest::Leave(Edit(kDbSex));
        EXPECT_EQ(Edit(kDbSex)->text(), QString::fromUtf8(c.shown)) << c.typed;
        ui.Clear();
        New(kMenuDbOnly);
        dbtest::RawConnection raw(panel->Db().Path());
        QSqlQuery q(raw.Database());
        q.prepare(QStringLiteral("SELECT 性别 FROM Name WHERE ID=?"));
        q.addBindValue(id);
        ASSERT_TRUE(q.exec());
        if (!c.stored) {
            EXPECT_EQ(Messages(), QStringList{QStringLiteral("性别 must be 男 (or 1), 女 (or 2), 未知 or empty, not \"M\".")});
            EXPECT_FALSE(q.next());
            EXPECT_EQ(Edit(kDbSex)->text(), QStringLiteral("M"));  // kept for mending
        } else {
            EXPECT_TRUE(Messages().isEmpty()) << Messages().join(QLatin1Char('|')).toStdString();
            ASSERT_TRUE(q.next()) << c.typed;
            EXPECT_EQ(q.value(0).toString(), QString::fromUtf8(c.stored));
        }
    }
}

TEST_F(PanelTest, TheAgeShowsInOneFormInEveryReport) {
    MakeTemplate(QStringLiteral("Blood.fld"));
    panel->LinkGrid(1, 1, CRect(), {});
    panel->SetLayoutCell(0, 0, kDbAge);
    Type(kDbId, QStringLiteral("p1"));
    Type(kDbName, QStringLiteral("甲"));
    Type(kDbAge, QStringLiteral("30"));
    New(kMenuNewTemplateFirst);
    ASSERT_EQ(app->GetDocuments().size(), 2u) << Messages().join(QLatin1Char('|')).toStdString();
    auto* first = dynamic_cast<CGrid*>(LastDocument()->GetDbLinkGrid());
    ASSERT_NE(first, nullptr);
    Type(kDbId, QStringLiteral("p1"));
    Return(kDbId);
    ui.QueueMenuChoice(kMenuNewReportFirst);
    panel->RecordContextMenu(0, QPoint());
    ASSERT_EQ(app->GetDocuments().size(), 3u);
    auto* later = dynamic_cast<CGrid*>(LastDocument()->GetDbLinkGrid());
    ASSERT_NE(later, nullptr);
    EXPECT_EQ(CellText(later, 0, 0), QStringLiteral("年龄: 30.00"));
    EXPECT_EQ(CellText(first, 0, 0), CellText(later, 0, 0));
    EXPECT_EQ(panel->Records()->data(panel->Records()->index(0, 3), Qt::DisplayRole).toString(), QStringLiteral("30.00"));
}

// ---------------------------------------------------------- the register

TEST_F(PanelTest, ARowClickReadsTheSampleFromTheRegister) {
    Register(QStringLiteral("p1"), QStringLiteral("甲"));
    Register(QStringLiteral("p1"), QStringLiteral("甲"));
    Type(kDbId, QStringLiteral("p1"));
    Return(kDbId);
    ASSERT_EQ(panel->Records()->rowCount(), 2);
    const int64_t first = panel->Records()->Row(0)->sampleId;
    const int64_t second = panel->Records()->Row(1)->sampleId;
    ClickRow(0);
    Type(kDbBed, QStringLiteral("5"));
    Click(kDbModify);
    dbtest::RawConnection raw(panel->Db().Path());
    auto bedOf = [&](int64_t id) {
        QSqlQuery q(raw.Database());
        q.prepare(QStringLiteral("SELECT 床号 FROM Sample WHERE SampleID=?"));
        q.addBindValue(qlonglong(id));
        return q.exec() && q.next() ? q.value(0).toString() : QString();
    };
    QSqlQuery change(raw.Database());
    change.prepare(QStringLiteral("UPDATE Sample SET 床号='6' WHERE SampleID=?"));
    change.addBindValue(qlonglong(first));
    ASSERT_TRUE(change.exec());
    Type(kDbBed, QStringLiteral("7"));
    ui.Clear();
    Click(kDbModify);
    ASSERT_EQ(Messages().size(), 1);
    EXPECT_TRUE(Messages()[0].contains(QStringLiteral("changed by another program since it was loaded")))
        << Messages()[0].toStdString();
    EXPECT_TRUE(Messages()[0].contains(QStringLiteral("Load it again from the list"))) << Messages()[0].toStdString();

    // As the message advises: the row click shows what the register holds.
    ClickRow(0);
    EXPECT_EQ(panel->LoadedSampleId(), first);
    EXPECT_EQ(Edit(kDbBed)->text(), QStringLiteral("6"));
    EXPECT_EQ(panel->Records()->data(panel->Records()->index(0, 5), Qt::DisplayRole).toString(), QStringLiteral("6"));
    Type(kDbBed, QStringLiteral("7"));
    ui.Clear();
    Click(kDbModify);
    EXPECT_TRUE(Messages().isEmpty()) << Messages().join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(bedOf(first), QStringLiteral("7"));

    // A sample deleted behind the list is said and taken off it.
    QSqlQuery drop(raw.Database());
    drop.prepare(QStringLiteral("DELETE FROM Sample WHERE SampleID=?"));
    drop.addBindValue(qlonglong(second));
    ASSERT_TRUE(drop.exec());
    ui.Clear();
    ClickRow(1);
    ASSERT_EQ(Messages().size(), 1);
    EXPECT_TRUE(Messages()[0].contains(QStringLiteral("was deleted"))) << Messages()[0].toStdString();
    EXPECT_EQ(panel->Records()->rowCount(), 1);
    EXPECT_EQ(panel->LoadedSampleId(), first);
}

TEST_F(PanelTest, ASampleMovedToAnotherPatientIsSaidAsMovedNotDeleted) {
    Register(QStringLiteral("p1"), QStringLiteral("甲"));
    Register(QStringLiteral("p2"), QStringLiteral("乙"));
    Type(kDbId, QStringLiteral("p1"));
    Return(kDbId);
    ClickRow(0);
    {
        dbtest::RawConnection raw(panel->Db().Path());
        ASSERT_TRUE(raw.Exec({"UPDATE Sample SET PID='p2' WHERE PID='p1'"}));
    }
    Type(kDbBed, QStringLiteral("7"));
    ui.Clear();
    Click(kDbModify);
    ASSERT_EQ(Messages().size(), 1);
    EXPECT_TRUE(Messages()[0].contains(QStringLiteral("was moved to patient p2"))) << Messages()[0].toStdString();
    EXPECT_EQ(All().size(), 2u);  // nothing deleted, nothing written
    for (const SampleRow& r : All()) EXPECT_EQ(r.bed, QStringLiteral("**"));
}

// The register is locked by another program before this one starts.
class BusyAtStartPanelTest : public PanelTest {
protected:
    void BeforeStart() override {
        const QString path = QString::fromStdString(dir.Path()) + QStringLiteral("/Database/FlowDB.sqlite");
        {
            CFlowDb db;
            QString error;
            ASSERT_TRUE(db.Open(path, &error)) << error.toStdString();
        }
        other = std::make_unique<dbtest::RawConnection>(path);
        ASSERT_TRUE(other->Exec({"BEGIN EXCLUSIVE"}));
    }
    std::unique_ptr<dbtest::RawConnection> other;
};

TEST_F(BusyAtStartPanelTest, EachActionTriesTheRegisterAgain) {
    ASSERT_EQ(shownMessages.size(), 1);
    EXPECT_TRUE(shownMessages[0].contains(QStringLiteral("in use by another program"))) << shownMessages[0].toStdString();
    // Still busy: the action says so.
    Type(kDbId, QStringLiteral("p1"));
    Return(kDbId);
    ASSERT_EQ(Messages().size(), 1);
    EXPECT_TRUE(Messages()[0].contains(QStringLiteral("in use by another program"))) << Messages()[0].toStdString();
    // Let go: the next action works.
    ASSERT_TRUE(other->Exec({"ROLLBACK"}));
    ui.Clear();
    Register(QStringLiteral("p1"), QStringLiteral("甲"));
    EXPECT_TRUE(Messages().isEmpty()) << Messages().join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(All().size(), 1u);
}

// The register was written by a newer version: it opens read-only.
class NewerRegisterPanelTest : public PanelTest {
protected:
    void BeforeStart() override {
        const QString path = QString::fromStdString(dir.Path()) + QStringLiteral("/Database/FlowDB.sqlite");
        {
            CFlowDb db;
            QString error;
            ASSERT_TRUE(db.Open(path, &error)) << error.toStdString();
        }
        dbtest::RawConnection raw(path);
        ASSERT_TRUE(raw.Exec({"PRAGMA user_version=99"}));
    }
};

TEST_F(NewerRegisterPanelTest, ItIsSaidReadOnlyOnceAndNewChangesNothing) {
    ASSERT_EQ(shownMessages.size(), 1);
    EXPECT_TRUE(shownMessages[0].contains(QStringLiteral("opens read-only"))) << shownMessages[0].toStdString();
    // Hidden and shown again by the dialog bar's "D": the same cause is not said again.
    auto* button = qobject_cast<QToolButton*>(frame->GetDialogBar()->Control(kCtlPaneDatabase));
    button->click();
    ASSERT_FALSE(panel->isVisible());
    button->click();
    ASSERT_TRUE(panel->isVisible());
    EXPECT_TRUE(Messages().isEmpty()) << Messages().join(QLatin1Char('|')).toStdString();
    // A write opens it again, finds it still read-only and says why.
    Register(QStringLiteral("p1"), QStringLiteral("甲"));
    ASSERT_EQ(Messages().size(), 1);
    EXPECT_TRUE(Messages()[0].contains(QStringLiteral("cannot be changed"))) << Messages()[0].toStdString();
    EXPECT_TRUE(All().empty());
    EXPECT_FALSE(QFileInfo::exists(base + QStringLiteral("202402")));
}

// --------------------------------------------------------- name and focus

class NameFocusTest : public PanelTest {
protected:
    void SetUp() override {
        PanelTest::SetUp();
        Register(QStringLiteral("p1"), QStringLiteral("甲"));
        Register(QStringLiteral("p2"), QStringLiteral("乙"));
        ui.Clear();
        panel->window()->activateWindow();
        QCoreApplication::processEvents();
        ASSERT_EQ(QApplication::activeWindow(), panel->window());
    }
    void ClickEdit(int32_t id) {
        ClickOn(Edit(id));
        ASSERT_EQ(QApplication::focusWidget(), Edit(id))
            << (QApplication::focusWidget() ? QApplication::focusWidget()->metaObject()->className() : "none");
    }
    void ClickListRow(int row) {
        QTableView* list = panel->RecordList();
        ClickOn(list->viewport(), list->visualRect(list->model()->index(row, 1)).center());
    }
};

TEST_F(NameFocusTest, MovingThroughTheFieldsSaysNothingWhenNothingWasTyped) {
    // Clear, a registered ID typed, then 姓名 and 年龄 clicked: 姓名 is empty.
    Click(kDbClear);
    ClickEdit(kDbId);
    KeyIn(Edit(kDbId), QStringLiteral("p1"));
    ClickEdit(kDbName);
    ClickEdit(kDbAge);
    EXPECT_TRUE(Messages().isEmpty()) << Messages().join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(Edit(kDbName)->text().isEmpty());

    // One patient loaded, another's ID typed and Return, another field clicked.
    Type(kDbId, QStringLiteral("p1"));
    Return(kDbId);
    ClickListRow(0);
    ASSERT_NE(panel->LoadedSampleId(), 0);
    ClickEdit(kDbId);
    Edit(kDbId)->selectAll();
    KeyIn(Edit(kDbId), QStringLiteral("p2"));
    QKeyEvent ret(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(Edit(kDbId), &ret);
    ASSERT_EQ(panel->Records()->rowCount(), 1);
    ClickEdit(kDbBed);
    EXPECT_TRUE(Messages().isEmpty()) << Messages().join(QLatin1Char('|')).toStdString();
}

TEST_F(NameFocusTest, ATypedNameIsCheckedOnceAndARowClickStillLoads) {
    Type(kDbId, QStringLiteral("p1"));
    Return(kDbId);
    ASSERT_EQ(panel->Records()->rowCount(), 1);
    // A wrong name, then a row clicked: the click loads the row.
    ClickEdit(kDbName);
    KeyIn(Edit(kDbName), QStringLiteral("乙"));
    ClickListRow(0);
    EXPECT_NE(panel->LoadedSampleId(), 0);
    EXPECT_EQ(Edit(kDbName)->text(), QStringLiteral("甲"));
    EXPECT_TRUE(Messages().isEmpty()) << Messages().join(QLatin1Char('|')).toStdString();

    // A wrong name typed for the listed ID, then another field: said once.
    Click(kDbClear);
    Type(kDbId, QStringLiteral("p1"));
    Return(kDbId);
    ClickEdit(kDbName);
    KeyIn(Edit(kDbName), QStringLiteral("乙"));
    ClickEdit(kDbAge);
    ClickEdit(kDbBed);
    EXPECT_EQ(Messages(), QStringList{QStringLiteral("姓名与ID不匹配")});
    EXPECT_EQ(Edit(kDbName)->text(), QStringLiteral("甲"));
}

// ------------------------------------------------------ layout and folder

TEST_F(PanelTest, ALayoutThatCannotBeSavedNamesTheTrueCause) {
    ASSERT_TRUE(panel->EnsureOpen(true));
    qobject_cast<QCheckBox*>(panel->Control(kDbLayout))->click();
    QString folder = QDir::toNativeSeparators(base);
    folder.chop(1);
    {
        lmtest::ReadOnlyFolder locked(base.toStdString());
        qobject_cast<QSpinBox*>(panel->Control(kDbLayoutRows))->setValue(4);
        Click(kDbApply);
    }
    ASSERT_EQ(Messages().size(), 1);
    EXPECT_TRUE(Messages()[0].contains(QStringLiteral("the folder %1 cannot be written").arg(folder)))
        << Messages()[0].toStdString();
    EXPECT_FALSE(Messages()[0].contains(QStringLiteral("another program"))) << Messages()[0].toStdString();

    // A lock another program holds is said as such.
    QLockFile theirs(panel->GridStatePath() + QStringLiteral(".lock"));
    ASSERT_TRUE(theirs.tryLock(0));
    ui.Clear();
    qobject_cast<QSpinBox*>(panel->Control(kDbLayoutRows))->setValue(5);
    Click(kDbApply);
    ASSERT_EQ(Messages().size(), 1);
    EXPECT_TRUE(Messages()[0].contains(QStringLiteral("another program keeps it locked"))) << Messages()[0].toStdString();
}

}  // namespace
