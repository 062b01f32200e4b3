// The Database panel in the running program: real clicks and keys on its
// widgets, scripted answers for its menus, boxes and the Find dialog.
#include "tests/database/PanelFixture.h"

namespace {

using dbtest::KeyIn;
using dbtest::kNow;
using dbtest::Leave;
using dbtest::PanelTest;
using Kind = lm::ScriptedUiServices::Kind;

TEST_F(PanelTest, NewDbRegistersTheSampleInAFolderOfItsOwnAndClearsTheFields) {
    Register(QStringLiteral("p1"), QStringLiteral(" 王伟 "));
    Register(QStringLiteral("p1"), QStringLiteral("王伟"));
    const auto rows = All();
    ASSERT_EQ(rows.size(), 2u) << Messages().join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(rows[0].name, QStringLiteral("王伟"));  // trimmed
    EXPECT_EQ(rows[0].dataPath, QStringLiteral("202402/29-001p1/"));
    EXPECT_EQ(rows[1].dataPath, QStringLiteral("202402/29-002p1/"));  // the next free number the same day
    EXPECT_TRUE(QFileInfo(base + rows[1].dataPath).isDir());
    EXPECT_TRUE(Edit(kDbId)->text().isEmpty());
    EXPECT_EQ(panel->Db().PatientName(QStringLiteral("P1"), nullptr), QStringLiteral("王伟"));
    // Born on a 29 February that 1994 does not have: the 28th.
    dbtest::RawConnection raw(panel->Db().Path());
    EXPECT_EQ(raw.Value("SELECT 出生日期 FROM Name").toString(), QStringLiteral("1994-02-28"));
}

TEST_F(PanelTest, FieldsAreCheckedBeforeAnythingIsMade) {
    const struct {
        const char* id;
        const char* name;
        const char* age;
        const char* message;
    } cases[] = {
        {"p1", "", "3", "Please enter Name"},
        {"p1", "甲", "151", "年龄 must be a number from 0 to 150, not \"151\"."},
        {"p1", "甲", "x", "年龄 must be a number from 0 to 150, not \"x\"."},
    };
    for (const auto& c : cases) {
        ui.Clear();
        Register(QString::fromUtf8(c.id), QString::fromUtf8(c.name), QString::fromUtf8(c.age));
        EXPECT_EQ(Messages(), QStringList{QString::fromUtf8(c.message)});
        EXPECT_EQ(Edit(kDbId)->text(), QString::fromUtf8(c.id));  // kept
    }
    Register(QStringLiteral("p1"), QStringLiteral("甲"));
    ui.Clear();
    Register(QStringLiteral("P1"), QStringLiteral("乙"));
    EXPECT_EQ(Messages(), QStringList{QStringLiteral("姓名与ID不匹配")});
    EXPECT_EQ(All().size(), 1u);
    EXPECT_FALSE(QFileInfo::exists(base + QStringLiteral("202402/29-002P1")));
    // 150 itself is an age.
    ui.Clear();
    Register(QStringLiteral("p2"), QStringLiteral("丙"), QStringLiteral("150"));
    EXPECT_TRUE(Messages().isEmpty()) << Messages().join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(All().size(), 2u);
}

TEST_F(PanelTest, AnEmptyIdAsksAndNoGivesTheNextFreeAutomaticId) {
    Register(QStringLiteral("a0"), QStringLiteral("甲"));
    ui.QueueMessageBoxAnswer(lm::kIdYes);
    Register(QString(), QStringLiteral("乙"));
    EXPECT_EQ(All().size(), 1u);
    ui.QueueMessageBoxAnswer(lm::kIdNo);
    Register(QString(), QStringLiteral("乙"));
    ASSERT_EQ(All().size(), 2u);
    EXPECT_EQ(All()[1].id, QStringLiteral("a1"));
    EXPECT_EQ(ui.CallsOf(Kind::MessageBox)[0].text, QStringLiteral("Please enter ID"));
    EXPECT_EQ(ui.CallsOf(Kind::MessageBox)[0].caption, QStringLiteral("Notice"));
    // The counter is on disk at once, not only when the program ends.
    const QByteArray bytes = dbtest::FileBytes(panel->GridStatePath());
    CDbGridState saved;
    ASSERT_TRUE(saved.Read(std::vector<uint8_t>(bytes.begin(), bytes.end()), nullptr));
    EXPECT_EQ(saved.counter, 2);
}

TEST_F(PanelTest, UnsafeIdsStayInsideTheDatabaseFolderAndAFullDayAddsNothing) {
    Register(QStringLiteral("../x"), QStringLiteral("甲"));
    ASSERT_EQ(All().size(), 1u);
    EXPECT_EQ(All()[0].dataPath, QStringLiteral("202402/29-001___x/"));
    EXPECT_FALSE(QFileInfo::exists(base + QStringLiteral("202402/x")));

    // Each holds a file: an empty folder no sample lists would be taken again.
    for (int k = 1; k <= 999; ++k) {
        const QString folder = QStringLiteral("202402/29-%1p9").arg(k, 3, 10, QLatin1Char('0'));
        QDir(base).mkpath(folder);
        QFile(base + folder + QStringLiteral("/x")).open(QIODevice::WriteOnly);
    }
    ui.Clear();
    Register(QStringLiteral("p9"), QStringLiteral("乙"));
    EXPECT_EQ(All().size(), 1u);
    ASSERT_EQ(Messages().size(), 1);
    EXPECT_TRUE(Messages()[0].contains(QStringLiteral("nothing was added")));
}

TEST_F(PanelTest, AFailedInsertLeavesThePatientsFoldersAndFieldsAsTheyWere) {
    ASSERT_TRUE(panel->EnsureOpen(true));
    QSqlQuery q(panel->Db().Database());
    ASSERT_TRUE(q.exec(QStringLiteral("CREATE TRIGGER fail BEFORE INSERT ON Sample BEGIN SELECT RAISE(ABORT,'injected'); END")));
    MakeTemplate(QStringLiteral("Blood.fld"));
    Type(kDbId, QStringLiteral("p1"));
    Type(kDbName, QStringLiteral("甲"));
    New(kMenuNewTemplateFirst);
    ASSERT_EQ(Messages().size(), 1);
    EXPECT_TRUE(Messages()[0].contains(QStringLiteral("标本资料添加失败!")));
    EXPECT_TRUE(Messages()[0].contains(QStringLiteral("injected")));
    EXPECT_FALSE(QFileInfo::exists(base + QStringLiteral("202402")));  // the month folder it made, gone again
    EXPECT_EQ(Edit(kDbId)->text(), QStringLiteral("p1"));
    EXPECT_EQ(Edit(kDbName)->text(), QStringLiteral("甲"));
    EXPECT_FALSE(panel->Db().PatientName(QStringLiteral("p1"), nullptr));
    EXPECT_EQ(app->GetDocuments().size(), 1u);  // no report opened
}

TEST_F(PanelTest, ATemplateReportOpensWithItsLinkedGridFilled) {
    MakeTemplate(QStringLiteral("Blood.FLD"));
    panel->ResizeLayoutTable(2, 2);
    panel->SetLayoutCell(0, 0, kDbId);
    panel->SetLayoutCell(0, 1, kDbName);
    panel->SetLayoutCell(1, 1, kDbReceiveDate);
    qobject_cast<QDateEdit*>(panel->Control(kDbReceiveDate))->setDate(QDate(2024, 2, 27));
    Type(kDbId, QStringLiteral("p1"));
    Type(kDbName, QStringLiteral("王伟"));
    New(kMenuNewTemplateFirst);
    ASSERT_EQ(app->GetDocuments().size(), 2u) << Messages().join(QLatin1Char('|')).toStdString();
    CLumitraDoc* doc = LastDocument();
    const QString folder = base + QStringLiteral("202402/29-001p1/");
    EXPECT_EQ(doc->GetPathName(), folder + QStringLiteral("20240229p1-000-Blood.FLD"));
    EXPECT_EQ(QString::fromStdString(doc->GetSampleFolder()), folder);
    auto* grid = dynamic_cast<CGrid*>(doc->GetDbLinkGrid());
    ASSERT_NE(grid, nullptr);
    EXPECT_EQ(grid->GetRows(), 2);
    EXPECT_EQ(CellText(grid, 0, 0), QStringLiteral("ID: p1"));
    EXPECT_EQ(CellText(grid, 0, 1), QStringLiteral("姓名: 王伟"));
    EXPECT_EQ(CellText(grid, 1, 0), QStringLiteral(" :  "));
    EXPECT_EQ(CellText(grid, 1, 1), QStringLiteral("接收日期: 2024-02-27"));
    // A second copy of the template the same day takes the next number.
    const QString copy = panel->CopyReportTemplate(base + QStringLiteral("Template/Blood.FLD"), folder,
                                                   QStringLiteral("p1"), QStringLiteral("Blood.FLD"));
    EXPECT_EQ(copy, folder + QStringLiteral("20240229p1-001-Blood.FLD"));
}

TEST_F(PanelTest, ReturnSearchesAndModifyWritesOnlyTheLoadedSample) {
    Register(QStringLiteral("p1"), QStringLiteral("甲"));
    Register(QStringLiteral("p2"), QStringLiteral("乙"));
    Type(kDbName, QStringLiteral("没有"));
    Return(kDbName);  // no hits: nothing loaded
    EXPECT_EQ(panel->LoadedSampleId(), 0);
    Type(kDbName, QStringLiteral("甲"));
    Return(kDbName);
    const int64_t first = panel->LoadedSampleId();
    ASSERT_NE(first, 0);
    EXPECT_FALSE(Edit(kDbName)->isEnabled());

    Type(kDbId, QStringLiteral("P2"));
    Return(kDbId);
    ASSERT_EQ(panel->Records()->rowCount(), 1);
    Type(kDbBed, QStringLiteral("77"));
    ui.Clear();
    Click(kDbModify);  // the fields no longer show the loaded sample
    EXPECT_EQ(Messages().size(), 1);
    for (const SampleRow& r : All()) EXPECT_EQ(r.bed, QStringLiteral("**"));

    ClickRow(0);
    EXPECT_NE(panel->LoadedSampleId(), first);
    Type(kDbBed, QStringLiteral("77"));
    Click(kDbModify);
    for (const SampleRow& r : All()) EXPECT_EQ(r.bed, r.id == QLatin1String("p2") ? QStringLiteral("77") : QStringLiteral("**"));
}

TEST_F(PanelTest, DeleteAsksRemovesTheSampleAndKeepsItsFolder) {
    Register(QStringLiteral("p1"), QStringLiteral("甲"));
    Type(kDbId, QStringLiteral("p1"));
    Return(kDbId);
    ui.QueueMenuChoice(kMenuRecordDelete);
    ui.QueueMessageBoxAnswer(lm::kIdNo);
    panel->RecordContextMenu(0, QPoint());
    EXPECT_EQ(All().size(), 1u);
    ui.QueueMenuChoice(kMenuRecordDelete);
    ui.QueueMessageBoxAnswer(lm::kIdYes);
    panel->RecordContextMenu(0, QPoint());
    EXPECT_TRUE(All().empty());
    EXPECT_EQ(panel->Records()->rowCount(), 0);
    EXPECT_TRUE(QFileInfo(base + QStringLiteral("202402/29-001p1")).isDir());
}

TEST_F(PanelTest, HistoryAndFindListTheSamplesTheyName) {
    Register(QStringLiteral("p1"), QStringLiteral("甲"), QStringLiteral("40"));
    panel->SetNow(kNow.addDays(1));
    Register(QStringLiteral("p2"), QStringLiteral("乙"), QStringLiteral("50"));
    ui.QueueMenuChoice(2);  // "Yesterday"
    Click(kDbHistory);
    ASSERT_EQ(panel->Records()->rowCount(), 1);
    EXPECT_EQ(panel->Records()->Row(0)->id, QStringLiteral("p1"));

    ui.QueueDialog([](QDialog* d) {
        auto* dlg = static_cast<CDBFindDlg*>(d);
        qobject_cast<QComboBox*>(dlg->Control(kFindColumn))->setCurrentText(QStringLiteral("年龄"));
        qobject_cast<QLineEdit*>(dlg->Control(kFindValue))->setText(QStringLiteral("40"));
        qobject_cast<QPushButton*>(dlg->Control(kFindAdd))->click();
        qobject_cast<QComboBox*>(dlg->Control(kFindConjunction))->setCurrentText(QStringLiteral("OR"));
        qobject_cast<QComboBox*>(dlg->Control(kFindColumn))->setCurrentText(QStringLiteral("ID"));
        qobject_cast<QComboBox*>(dlg->Control(kFindOperator))->setCurrentText(QStringLiteral("LIKE"));
        qobject_cast<QLineEdit*>(dlg->Control(kFindValue))->setText(QStringLiteral("2"));
        qobject_cast<QPushButton*>(dlg->Control(1))->click();
        return d->result();
    });
    Click(kDbFind);
    EXPECT_EQ(panel->Records()->rowCount(), 2);
}

TEST_F(PanelTest, AfterNewTheChoicesStartAgainAndTheNewSampleIsListed) {
    auto* department = qobject_cast<QComboBox*>(panel->Control(kDbDepartment));
    auto* sample = qobject_cast<QComboBox*>(panel->Control(kDbSample));
    auto* state = qobject_cast<QComboBox*>(panel->Control(kDbState));
    Register(QStringLiteral("p10"), QStringLiteral("丙"));
    department->setEditText(QStringLiteral("外科"));
    for (QComboBox* box : {sample, state, state}) {
        QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
        QApplication::sendEvent(box, &down);
    }
    Register(QStringLiteral("p1"), QStringLiteral("甲"));
    ASSERT_EQ(All().size(), 2u) << Messages().join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(All()[1].department, QStringLiteral("外科"));
    EXPECT_EQ(All()[1].sample, QStringLiteral("外周血"));
    EXPECT_EQ(All()[1].state, QStringLiteral("标本不足"));
    const struct {
        QComboBox* box;
        const char* text;
    } starts[] = {{department, "血液内科"}, {sample, "骨髓"}, {state, "正常"}};
    for (const auto& c : starts) EXPECT_EQ(c.box->currentText(), QString::fromUtf8(c.text));

    // The patient's samples are listed (not those of "p10"), the new one
    // selected while the fields stay empty for the next.
    Register(QStringLiteral("P1"), QStringLiteral("甲"));
    ASSERT_EQ(panel->Records()->rowCount(), 2);
    for (int row = 0; row < 2; ++row) EXPECT_EQ(panel->Records()->Row(row)->id, QStringLiteral("p1"));
    const QModelIndexList selected = panel->RecordList()->selectionModel()->selectedRows();
    ASSERT_EQ(selected.size(), 1);
    EXPECT_EQ(panel->Records()->Row(selected[0].row())->sampleId, All().back().sampleId);
    EXPECT_EQ(panel->LoadedSampleId(), 0);
    EXPECT_TRUE(Edit(kDbId)->text().isEmpty());

    // A loaded sample whose values are not in the lists leaves them blank;
    // Clear brings back the first entries.
    ClickRow(0);
    ASSERT_EQ(panel->LoadedSampleId(), All()[1].sampleId);
    EXPECT_EQ(sample->currentText(), QStringLiteral("外周血"));
    Click(kDbClear);
    for (const auto& c : starts) EXPECT_EQ(c.box->currentText(), QString::fromUtf8(c.text));
    EXPECT_EQ(panel->Records()->rowCount(), 0);
}

TEST_F(PanelTest, WithoutTemplatesTheReportSubmenusSaySo) {
    auto reportMenu = [&](const std::vector<lm::MenuItem>& menu, const char* text) -> const lm::MenuItem* {
        for (const lm::MenuItem& m : menu)
            if (m.text == QString::fromUtf8(text)) return &m;
        return nullptr;
    };
    Register(QStringLiteral("p1"), QStringLiteral("甲"));
    ui.Clear();
    New(0);  // the menu is dismissed
    ClickRow(0);
    ui.QueueMenuChoice(0);
    panel->RecordContextMenu(0, QPoint());
    const auto menus = ui.CallsOf(Kind::PopupMenu);
    ASSERT_EQ(menus.size(), 2u);
    for (const auto& [menu, text] : {std::pair{menus[0].menu, "DB && Report"}, std::pair{menus[1].menu, "New Report"}}) {
        const lm::MenuItem* m = reportMenu(menu, text);
        ASSERT_NE(m, nullptr) << text;
        EXPECT_TRUE(m->enabled) << text;  // it opens to show why it is empty
        ASSERT_EQ(m->submenu.size(), 1u) << text;
        EXPECT_FALSE(m->submenu[0].enabled);
        EXPECT_EQ(m->submenu[0].id, 0);
        EXPECT_EQ(m->submenu[0].text, QStringLiteral("(No templates in Database/Template)"));
    }
    EXPECT_EQ(All().size(), 1u);

    MakeTemplate(QStringLiteral("Blood.fld"));
    ui.Clear();
    New(0);
    const auto withTemplate = ui.CallsOf(Kind::PopupMenu);
    ASSERT_EQ(withTemplate.size(), 1u);
    const lm::MenuItem* m = reportMenu(withTemplate[0].menu, "DB && Report");
    ASSERT_NE(m, nullptr);
    ASSERT_EQ(m->submenu.size(), 1u);
    EXPECT_TRUE(m->submenu[0].enabled);
    EXPECT_EQ(m->submenu[0].id, kMenuNewTemplateFirst);
    EXPECT_EQ(m->submenu[0].text, QStringLiteral("Blood.fld"));
}

TEST_F(PanelTest, RecordAndHistoryMenusOfferTheirEntriesAndNothingPastThem) {
    MakeTemplate(QStringLiteral("Blood.fld"));
    Register(QStringLiteral("p1"), QStringLiteral("甲"));
    ui.QueueMenuChoice(kMenuNewReportFirst);
    panel->RecordContextMenu(0, QPoint());
    const size_t docs = app->GetDocuments().size();
    ASSERT_EQ(docs, 2u) << Messages().join(QLatin1Char('|')).toStdString();
    // Two reports in the folder: the entry after the second is none.
    ASSERT_TRUE(QFile::copy(base + QStringLiteral("Template/Blood.fld"), base + All()[0].dataPath + QStringLiteral("zz.fld")));
    ui.QueueMenuChoice(kMenuOpenReportFirst + 2);
    panel->RecordContextMenu(0, QPoint());
    EXPECT_EQ(app->GetDocuments().size(), docs);
    ui.QueueMenuChoice(kMenuOpenReportFirst + 1);
    panel->RecordContextMenu(0, QPoint());
    ASSERT_EQ(app->GetDocuments().size(), docs + 1);
    EXPECT_TRUE(LastDocument()->GetPathName().endsWith(QStringLiteral("/zz.fld")));

    ui.Clear();
    Click(kDbHistory);
    const auto calls = ui.CallsOf(Kind::PopupMenu);
    ASSERT_EQ(calls.size(), 1u);
    const char* const texts[] = {"Today", "Yesterday", "3 Days before", "4 Days before", "5 Days before", "6 Days before"};
    ASSERT_EQ(calls[0].menu.size(), 6u);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(calls[0].menu[size_t(i)].id, i + 1);
        EXPECT_EQ(calls[0].menu[size_t(i)].text, QString::fromLatin1(texts[i]));
    }
}

TEST_F(PanelTest, TheLayoutAreaFindsCellsToItsEdges) {
    panel->ResizeLayoutTable(2, 3);
    CLayoutArea* area = panel->LayoutArea();
    area->resize(300, 200);
    const int w = area->ColumnWidth();
    ASSERT_EQ(w, 100);
    const struct {
        QPoint at;
        bool inside;
        int row, col;
    } cases[] = {
        {{0, 0}, true, 0, 0},          {{w - 1, 29}, true, 0, 0},  {{w, 30}, true, 1, 1},
        {{3 * w - 1, 59}, true, 1, 2}, {{3 * w, 10}, false, 0, 0}, {{10, 60}, false, 0, 0},
        {{-1, 5}, false, 0, 0},        {{5, -1}, false, 0, 0},
    };
    for (const auto& c : cases) {
        int32_t row = -1, col = -1;
        EXPECT_EQ(area->CellAt(c.at, &row, &col), c.inside) << c.at.x() << "," << c.at.y();
        if (c.inside) EXPECT_EQ(std::pair(row, col), std::pair(c.row, c.col)) << c.at.x() << "," << c.at.y();
    }
}

TEST_F(PanelTest, AFiledReportKeepsItsDataAndPdfAndOpensFromAMovedDatabaseFolder) {
    MakeTemplate(QStringLiteral("Blood.fld"));
    Type(kDbId, QStringLiteral("p1"));
    Type(kDbName, QStringLiteral("甲"));
    New(kMenuNewTemplateFirst);
    CLumitraDoc* doc = LastDocument();
    const std::string fcs = dir.Write("tube.fcs", vin::FcsBytes(vin::GridEvents()));
    ASSERT_NE(doc->OpenDataFile(fcs, 0), nullptr);
    const QString folder = QString::fromStdString(doc->GetSampleFolder());
    const QString copyName = folder + QDate::currentDate().toString(QStringLiteral("yyMMdd-")) + QStringLiteral("tube.fcs");
    // A file already there under the copy's name is never replaced.
    {
        QFile f(copyName);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("keep me");
    }
    QString error;
    ASSERT_TRUE(doc->OnSaveDocument(doc->GetPathName(), &error)) << error.toStdString();
    EXPECT_EQ(dbtest::FileBytes(copyName), QByteArray("keep me"));
    EXPECT_EQ(QString::fromStdString(doc->GetDataShellAt(0)->GetPathName()), copyName + QStringLiteral("000"));
    EXPECT_TRUE(QFileInfo(base + QStringLiteral("PDFReport/") + QFileInfo(doc->GetPathName()).completeBaseName() +
                          QStringLiteral(".pdf"))
                    .isFile());
    app->CloseAllDocuments();

    lmtest::TempDir moved;
    ASSERT_TRUE(QDir().rename(base, QString::fromStdString(moved.Path()) + QStringLiteral("/Database")));
    CDatabaseDlg other(QString::fromStdString(moved.Path()));
    other.FillRecordList(CFlowDb::ById(QStringLiteral("p1")));
    ASSERT_EQ(other.Records()->rowCount(), 1);
    other.OpenRowReport(0);
    ASSERT_FALSE(app->GetDocuments().empty());
    CLumitraDoc* reopened = LastDocument();
    ASSERT_EQ(reopened->GetDataShellCount(), 1);
    EXPECT_NE(reopened->GetDataShellAt(0)->GetDataSet()->GetEventMatrix(), nullptr);
    EXPECT_TRUE(QString::fromStdString(reopened->GetDataShellAt(0)->GetPathName()).startsWith(QString::fromStdString(moved.Path())));
}

TEST_F(PanelTest, StoredFoldersOutsideTheDatabaseAreRefused) {
    QDir().mkpath(base + QStringLiteral("202401/01-001p1"));
    const struct {
        const char* stored;
        bool ok;
    } cases[] = {
        {"202401/01-001p1/", true}, {"202401\\01-001p1\\", true},  // written on Windows
        {"../202401/", false},      {"/etc/", false},  {"C:\\x\\", false},
        {"202401/missing/", false}, {"**", false},
    };
    for (const auto& c : cases) {
        QString folder, error;
        EXPECT_EQ(CDatabaseDlg::ResolveDataPath(base, QString::fromUtf8(c.stored), &folder, &error), c.ok) << c.stored;
        if (c.ok) EXPECT_EQ(folder, base + QStringLiteral("202401/01-001p1/"));
        else EXPECT_FALSE(error.isEmpty());
    }
}

// ================================================================ layout

TEST_F(PanelTest, ACaptionDraggedOntoTheLayoutFillsThatCell) {
    panel->ResizeLayoutTable(2, 3);
    qobject_cast<QCheckBox*>(panel->Control(kDbLayout))->click();
    QApplication::processEvents();
    ASSERT_TRUE(panel->LayoutArea()->isVisible());
    EXPECT_FALSE(panel->RecordList()->isVisible());
    QLabel* caption = nullptr;
    for (QLabel* l : panel->findChildren<QLabel*>())
        if (l->property("fieldId").toInt() == kDbName) caption = l;
    ASSERT_NE(caption, nullptr);
    const int w = panel->LayoutArea()->ColumnWidth();
    const struct {
        QPoint at;  // in the layout area
        int32_t row, col;
    } cases[] = {{{w + 5, 35}, 1, 1}, {{3 * w - 2, 2}, 0, 2}, {{5, 95}, -1, -1}};  // below the last row: nothing
    for (const auto& c : cases) {
        panel->ResizeLayoutTable(2, 3);
        panel->SetLayoutCell(1, 1, 0);
        panel->SetLayoutCell(0, 2, 0);
        const QPoint global = panel->LayoutArea()->mapToGlobal(c.at);
        const QPoint local = caption->rect().center();
        QMouseEvent press(QEvent::MouseButtonPress, local, caption->mapToGlobal(local), Qt::LeftButton, Qt::LeftButton,
                          Qt::NoModifier);
        QApplication::sendEvent(caption, &press);
        QMouseEvent release(QEvent::MouseButtonRelease, caption->mapFromGlobal(global), global, Qt::LeftButton,
                            Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(caption, &release);
        int filled = 0;
        for (int r = 0; r < 2; ++r)
            for (int col = 0; col < 3; ++col)
                if (panel->GridState().Cell(r, col) == kDbName) {
                    ++filled;
                    EXPECT_EQ(r, c.row);
                    EXPECT_EQ(col, c.col);
                }
        EXPECT_EQ(filled, c.row < 0 ? 0 : 1) << c.at.x() << "," << c.at.y();
    }
    // Apply: new counts, the cells that still fit kept.
    panel->SetLayoutCell(0, 0, kDbId);
    qobject_cast<QSpinBox*>(panel->Control(kDbLayoutRows))->setValue(4);
    qobject_cast<QSpinBox*>(panel->Control(kDbLayoutCols))->setValue(1);
    Click(kDbApply);
    EXPECT_EQ(panel->GridState().rows, 4);
    EXPECT_EQ(panel->GridState().cols, 1);
    EXPECT_EQ(panel->GridState().Cell(0, 0), kDbId);
    // One count changed is a change too.
    qobject_cast<QSpinBox*>(panel->Control(kDbLayoutRows))->setValue(3);
    Click(kDbApply);
    EXPECT_EQ(panel->GridState().rows, 3);
    qobject_cast<QSpinBox*>(panel->Control(kDbLayoutCols))->setValue(2);
    Click(kDbApply);
    EXPECT_EQ(panel->GridState().cols, 2);
}

TEST_F(PanelTest, DbLinkHandsTheGridToThePanelAndItsReportsReuseIt) {
    // A template whose linked grid is 2 x 3 with borders of its own.
    QDir().mkpath(base + QStringLiteral("Template"));
    {
        CLumitraDoc doc;
        auto* grid = static_cast<CGrid*>(doc.InsertNewObject(MakeGridAt(&doc, CPoint(100, 100), 2, 3), false));
        grid->SetRect(CRect(100, 100, 400, 160), true);
        ASSERT_TRUE(grid->SetBorders({50, 120}));
        grid->OnContextCommand(kCtxDbLink, 0);
        EXPECT_EQ(panel->GridState().rows, 2);
        EXPECT_EQ(panel->GridState().cols, 3);
        EXPECT_EQ(panel->GridState().rect, CRect(100, 100, 400, 160));
        EXPECT_EQ(panel->GridState().borders, (std::vector<int32_t>{50, 120}));
        QString error;
        ASSERT_TRUE(doc.OnSaveDocument(base + QStringLiteral("Template/Linked.fld"), &error));
    }
    panel->SetLayoutCell(1, 2, kDbSex);
    Type(kDbId, QStringLiteral("p1"));
    Type(kDbName, QStringLiteral("甲"));
    Type(kDbSex, QStringLiteral("2"));
    Edit(kDbSex)->editingFinished();
    EXPECT_EQ(Edit(kDbSex)->text(), QStringLiteral("女"));
    New(kMenuNewTemplateFirst);
    CLumitraDoc* doc = LastDocument();
    ASSERT_EQ(doc->GetObjectCount(), 1);  // the template's grid, no second one
    auto* grid = dynamic_cast<CGrid*>(doc->GetDbLinkGrid());
    ASSERT_NE(grid, nullptr);
    EXPECT_EQ(grid->GetBorders(), (std::vector<int32_t>{50, 120}));
    EXPECT_EQ(CellText(grid, 1, 2), QStringLiteral("性别: 女"));

    // A layout whose stored borders do not fit a new grid leaves it its own.
    panel->LinkGrid(1, 2, CRect(10, 10, 90, 40), {5000});
    Type(kDbId, QStringLiteral("p2"));
    Type(kDbName, QStringLiteral("乙"));
    New(kMenuNewTemplateFirst);
    grid = dynamic_cast<CGrid*>(LastDocument()->GetDbLinkGrid());
    ASSERT_NE(grid, nullptr);
    EXPECT_EQ(LastDocument()->GetObjectCount(), 2);
    EXPECT_EQ(grid->GetRect(), CRect(10, 10, 90, 40));
    ASSERT_EQ(grid->GetBorders().size(), 1u);
    EXPECT_LT(grid->GetBorders()[0], grid->GetGridRect().Width());

    // A stored place is taken only when it lies on the page (its left edge may).
    const struct {
        CRect stored;
        bool used;
    } places[] = {{CRect(0, 0, 90, 40), true},
                  {CRect(-50, 10, 90, 40), false},
                  {CRect(10, -1, 90, 40), false},
                  {CRect(900, 10, 1100, 40), false}};  // past the page's right edge
    for (const auto& p : places) {
        panel->LinkGrid(1, 2, p.stored, {});
        Type(kDbId, QStringLiteral("p3"));
        Type(kDbName, QStringLiteral("丙"));
        New(kMenuNewTemplateFirst);
        grid = dynamic_cast<CGrid*>(LastDocument()->GetDbLinkGrid());
        ASSERT_NE(grid, nullptr);
        EXPECT_EQ(grid->GetRect() == p.stored, p.used) << p.stored.left << "," << p.stored.top;
    }
}

TEST_F(PanelTest, AMissingReportOrTooManyCopiesOpenNothing) {
    EXPECT_EQ(panel->OpenSampleReport(base + QStringLiteral("nowhere.fld")), nullptr);
    ASSERT_EQ(ui.CallsOf(Kind::MessageBox).size(), 1u);
    EXPECT_EQ(ui.CallsOf(Kind::MessageBox)[0].caption, QStringLiteral("Notice!"));
    EXPECT_TRUE(ui.CallsOf(Kind::MessageBox)[0].text.startsWith(QStringLiteral("Report not found!")));

    const QString source = MakeTemplate(QStringLiteral("T.fld"));
    const QString folder = base + QStringLiteral("x/");
    QDir().mkpath(folder);
    for (int k = 0; k <= 100; ++k) {
        QFile f(folder + QStringLiteral("20240229p1-%1-T.fld").arg(k, 3, 10, QLatin1Char('0')));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    ui.Clear();
    EXPECT_TRUE(panel->CopyReportTemplate(source, folder, QStringLiteral("p1"), QStringLiteral("T.fld")).isEmpty());
    EXPECT_EQ(Messages(), QStringList{QStringLiteral("Too many files!")});
    ui.Clear();
    EXPECT_TRUE(panel->CopyReportTemplate(base + QStringLiteral("gone.fld"), folder, QStringLiteral("p2"),
                                          QStringLiteral("gone.fld"))
                    .isEmpty());
    ASSERT_EQ(Messages().size(), 1);
    EXPECT_TRUE(Messages()[0].contains(QStringLiteral("gone.fld")));  // the copy error is named
}

// Another program on the same register: a second connection, as a second
// workstation or a second Lumitra would have.
// Answers as the scripted services do, and lets another program act while
// the panel's question is open.
class ActWhileAsked : public lm::ScriptedUiServices {
public:
    int32_t MessageBox(QWidget* parent, const QString& text, const QString& caption, lm::MsgButtons buttons,
                       lm::MsgIcon icon) override {
        if (buttons == lm::MsgButtons::YesNo && act) std::exchange(act, {})();
        return ScriptedUiServices::MessageBox(parent, text, caption, buttons, icon);
    }
    std::function<void()> act;
};

TEST_F(PanelTest, ModifyAndDeleteWriteNothingOnASampleAnotherProgramDeletedOrChanged) {
    const struct {
        const char* what;
        const char* message;  // part of what the panel says
        // What the other program does to the loaded sample; returns the
        // sample that must come through A's Modify and Delete untouched.
        int64_t (*other)(CFlowDb& b, int64_t loaded);
    } cases[] = {
        {"deleted, then another patient registered", "was deleted",
         [](CFlowDb& b, int64_t loaded) {
             dbtest::RawConnection(b.Path()).Exec({QStringLiteral("DELETE FROM Sample WHERE SampleID=%1")
                                                        .arg(loaded).toUtf8().constData()});
             int64_t id = 0;
             QString error;
             EXPECT_EQ(b.AddSample(dbtest::Patient(QStringLiteral("q9"), QStringLiteral("乙")), {}, &id, &error),
                       AddResult::Added);
             EXPECT_GT(id, loaded);  // a SampleID is never handed out twice
             return id;
         }},
        {"changed by a plain UPDATE", "was changed",
         [](CFlowDb& b, int64_t loaded) {
             dbtest::RawConnection(b.Path()).Exec({QStringLiteral("UPDATE Sample SET 床号='5' WHERE SampleID=%1")
                                                        .arg(loaded).toUtf8().constData()});
             return loaded;
         }},
    };
    // The other program acts once before Modify, and once while Delete asks
    // (a row click or the record menu reads the sample afresh from the register).
    for (const auto& c : cases)
        for (const bool whileAsked : {false, true}) {
            const char* when = whileAsked ? " while Delete asks" : " before Modify";
            Register(QStringLiteral("p1"), QStringLiteral("甲"));
            Type(kDbId, QStringLiteral("p1"));
            Return(kDbId);
            const int last = panel->Records()->rowCount() - 1;
            ClickRow(last);  // the highest SampleID
            const int64_t loaded = panel->LoadedSampleId();
            ASSERT_EQ(loaded, All().back().sampleId) << c.what;
            CFlowDb b;
            QString error;
            ASSERT_TRUE(b.Open(panel->Db().Path(), &error)) << error.toStdString();
            int64_t theirs = 0;
            std::optional<SampleRow> before;
            auto act = [&] {
                theirs = c.other(b, loaded);
                before = b.LoadSample(theirs, &error);
            };
            ActWhileAsked asked;
            {
                const lm::ScopedUiServices use(&asked);
                if (whileAsked) {
                    asked.act = act;
                    asked.QueueMenuChoice(kMenuRecordDelete);
                    asked.QueueMessageBoxAnswer(lm::kIdYes);
                    panel->RecordContextMenu(last, QPoint());
                } else {
                    act();
                    Type(kDbBed, QStringLiteral("77"));
                    Click(kDbModify);
                }
            }
            ASSERT_TRUE(before) << c.what << when;
            QStringList said;
            for (const auto& call : asked.CallsOf(Kind::MessageBox)) said << call.text;
            // Modify; or the question, then Delete.
            ASSERT_EQ(said.size(), whileAsked ? 2 : 1) << c.what << when << said.join(QLatin1Char('|')).toStdString();
            EXPECT_TRUE(said.back().contains(QString::fromUtf8(c.message))) << said.back().toStdString();
            const auto after = b.LoadSample(theirs, &error);
            ASSERT_TRUE(after) << c.what << when;  // not deleted
            EXPECT_EQ(after->bed, before->bed) << c.what << when;
            EXPECT_EQ(after->id, before->id) << c.what << when;
            EXPECT_EQ(panel->Records()->rowCount(), last + 1) << c.what << when;  // the list lost no row
            Click(kDbClear);
        }
}

TEST_F(PanelTest, ModifyingTheSameSampleTwiceShowsAndWritesTheSecondChange) {
    Register(QStringLiteral("p1"), QStringLiteral("甲"));
    Type(kDbId, QStringLiteral("p1"));
    Return(kDbId);
    for (const char* bed : {"11", "12"}) {
        ClickRow(0);  // the row as the list shows it after the first change
        Type(kDbBed, QString::fromLatin1(bed));
        Click(kDbModify);
        EXPECT_EQ(All()[0].bed, QString::fromLatin1(bed)) << Messages().join(QLatin1Char('|')).toStdString();
        EXPECT_EQ(panel->Records()->data(panel->Records()->index(0, 5), Qt::DisplayRole).toString(),
                  QString::fromLatin1(bed));
    }
    EXPECT_TRUE(Messages().isEmpty());
}

TEST_F(PanelTest, AWriteKeepsTheLayoutOrCounterAnotherProgramSavedMeanwhile) {
    ASSERT_TRUE(panel->EnsureOpen(true));
    // The other program saves its layout after this one has read the file.
    CDbGridState theirs;
    theirs.Resize(3, 3);
    theirs.SetCell(2, 2, kDbName);
    theirs.counter = 0;
    auto save = [&] {
        std::string why;
        ASSERT_TRUE(CArchive::WriteFileAtomic(panel->GridStatePath().toStdString(), theirs.Write(), &why)) << why;
    };
    auto onDisk = [&] {
        const QByteArray bytes = dbtest::FileBytes(panel->GridStatePath());
        CDbGridState s;
        EXPECT_TRUE(s.Read(std::vector<uint8_t>(bytes.begin(), bytes.end()), nullptr));
        return s;
    };
    save();
    ui.QueueMessageBoxAnswer(lm::kIdNo);  // an automatic ID
    Register(QString(), QStringLiteral("甲"));
    ASSERT_EQ(All().size(), 1u);
    CDbGridState s = onDisk();
    EXPECT_EQ(s.rows, 3);
    EXPECT_EQ(s.Cell(2, 2), kDbName);
    EXPECT_EQ(s.counter, 1);
    EXPECT_EQ(panel->GridState().Cell(2, 2), kDbName);  // the panel shows it too
    ui.Clear();

    // The other program handed out IDs up to a9; this one changes the layout.
    theirs.counter = 10;
    save();
    qobject_cast<QCheckBox*>(panel->Control(kDbLayout))->click();
    qobject_cast<QSpinBox*>(panel->Control(kDbLayoutRows))->setValue(4);
    Click(kDbApply);
    s = onDisk();
    EXPECT_EQ(s.rows, 4);
    EXPECT_EQ(s.counter, 10);
    EXPECT_TRUE(Messages().isEmpty()) << Messages().join(QLatin1Char('|')).toStdString();
}

TEST_F(PanelTest, AReadOnlyDatabaseFolderIsNamedAndNothingIsAdded) {
    ASSERT_TRUE(panel->EnsureOpen(true));
    QString folder = QDir::toNativeSeparators(base);
    folder.chop(1);
    {
        lmtest::ReadOnlyFolder locked(base.toStdString());
        Register(QStringLiteral("p1"), QStringLiteral("甲"));
    }
    ASSERT_EQ(Messages().size(), 1);
    EXPECT_TRUE(Messages()[0].contains(folder + QLatin1Char(' '))) << Messages()[0].toStdString();
    EXPECT_TRUE(All().empty());
    EXPECT_FALSE(QFileInfo::exists(base + QStringLiteral("202402/29-001p1")));
}

// ============================================================ faults mended

TEST_F(PanelTest, ModifyWritesBackUnchangedWhatTheUserDidNotChange) {
    auto* sample = qobject_cast<QComboBox*>(panel->Control(kDbSample));
    auto* receive = qobject_cast<QDateEdit*>(panel->Control(kDbReceiveDate));
    qobject_cast<QDateEdit*>(panel->Control(kDbReceiveDate))->setDate(QDate(2024, 2, 27));
    Register(QStringLiteral("p2"), QStringLiteral("乙"));
    Register(QStringLiteral("p1"), QStringLiteral("甲"));
    const int64_t id = All().back().sampleId;
    {
        dbtest::RawConnection raw(panel->Db().Path());
        ASSERT_TRUE(raw.Exec({"UPDATE Sample SET 标本='脑脊液', 标本状态='', 接收日期='', 检测日期='2024-13-45', "
                              "年龄=30.333, 科室='**' WHERE PID='p1'"}));
    }
    const struct {
        const char* what;
        std::function<void()> edit;  // what the user changes after loading
        const char* shownSample;  // when loaded
        const char* sample;       // stored after Modify
        const char* receiveDate;
    } cases[] = {
        {"the bed only", [&] { Type(kDbBed, QStringLiteral("12")); }, "脑脊液", "脑脊液", ""},
        {"the sample too", [&] { sample->setCurrentIndex(0); }, "脑脊液", "骨髓", ""},
        {"the receive date too", [&] { receive->setDate(QDate(2024, 2, 28)); }, "骨髓", "骨髓", "2024-02-28"},
    };
    for (const auto& c : cases) {
        Type(kDbId, QStringLiteral("p2"));
        Return(kDbId);
        ClickRow(0);  // a row with a receive date of its own first
        Type(kDbId, QStringLiteral("p1"));
        Return(kDbId);
        ClickRow(0);
        ASSERT_EQ(panel->LoadedSampleId(), id);
        // What is stored shows, also outside the lists and where it is not a date.
        EXPECT_EQ(sample->currentText(), QString::fromUtf8(c.shownSample)) << c.what;
        EXPECT_EQ(panel->FieldValueById(kDbReceiveDate), QString()) << c.what;
        c.edit();
        ui.Clear();
        Click(kDbModify);
        EXPECT_TRUE(Messages().isEmpty()) << Messages().join(QLatin1Char('|')).toStdString();
        dbtest::RawConnection raw(panel->Db().Path());
        EXPECT_EQ(raw.Value("SELECT 标本 FROM Sample WHERE PID='p1'").toString(), QString::fromUtf8(c.sample)) << c.what;
        EXPECT_EQ(raw.Value("SELECT 接收日期 FROM Sample WHERE PID='p1'").toString(), QString::fromUtf8(c.receiveDate));
        EXPECT_EQ(raw.Value("SELECT 床号 FROM Sample WHERE PID='p1'").toString(), QStringLiteral("12"));
        EXPECT_EQ(raw.Value("SELECT 检测日期 FROM Sample WHERE PID='p1'").toString(), QStringLiteral("2024-13-45"));
        EXPECT_EQ(raw.Value("SELECT 标本状态 FROM Sample WHERE PID='p1'").toString(), QString());
        EXPECT_DOUBLE_EQ(raw.Value("SELECT 年龄 FROM Sample WHERE PID='p1'").toDouble(), 30.333);
        EXPECT_EQ(raw.Value("SELECT 科室 FROM Sample WHERE PID='p2'").toString(), QStringLiteral("血液内科"));
    }
    // A typed age is still checked, and nothing is written.
    Type(kDbAge, QStringLiteral("abc"));
    ui.Clear();
    Click(kDbModify);
    EXPECT_EQ(Messages(), QStringList{QStringLiteral("年龄 must be a number from 0 to 150, not \"abc\".")});
    {
        dbtest::RawConnection raw(panel->Db().Path());
        EXPECT_DOUBLE_EQ(raw.Value("SELECT 年龄 FROM Sample WHERE PID='p1'").toDouble(), 30.333);
    }
    // The stored value shown in the list is not left behind as an entry.
    Click(kDbClear);
    EXPECT_EQ(sample->count(), 2);
    EXPECT_EQ(sample->currentText(), QStringLiteral("骨髓"));
}

TEST_F(PanelTest, TheNameIsCheckedOnlyAgainstTheNameOfTheTypedId) {
    Register(QStringLiteral("p1"), QStringLiteral("甲"));
    const struct {
        const char* id;
        const char* typed;
        const char* shown;  // after leaving the name field
        bool message;
    } cases[] = {
        {"n2", "新", "新", false},   // a new ID keeps the typed name
        {"P1", "乙", "甲", true},    // a registered ID gets its own name back
        {"p1", "甲", "甲", false},
    };
    for (const auto& c : cases) {
        Type(kDbId, QStringLiteral("p1"));
        Return(kDbId);
        ClickRow(0);  // another patient loaded: the name field is locked
        ASSERT_FALSE(Edit(kDbName)->isEnabled());
        Edit(kDbId)->selectAll();
        KeyIn(Edit(kDbId), QString::fromUtf8(c.id));
        ASSERT_TRUE(Edit(kDbName)->isEnabled());
        Edit(kDbName)->selectAll();
        KeyIn(Edit(kDbName), QString::fromUtf8(c.typed));
        ui.Clear();
        Leave(Edit(kDbName));
        EXPECT_EQ(Edit(kDbName)->text(), QString::fromUtf8(c.shown)) << c.id;
        EXPECT_EQ(Messages(), c.message ? QStringList{QStringLiteral("姓名与ID不匹配")} : QStringList()) << c.id;
    }
    Edit(kDbId)->selectAll();
    KeyIn(Edit(kDbId), QStringLiteral("n2"));
    Edit(kDbName)->selectAll();
    KeyIn(Edit(kDbName), QStringLiteral("新"));
    Leave(Edit(kDbName));
    New(kMenuDbOnly);
    EXPECT_EQ(panel->Db().PatientName(QStringLiteral("n2"), nullptr), QStringLiteral("新"));
    EXPECT_EQ(panel->Db().PatientName(QStringLiteral("p1"), nullptr), QStringLiteral("甲"));
}

TEST_F(PanelTest, AfterDeleteTheFieldsAndTheListShowNoSample) {
    Register(QStringLiteral("p1"), QStringLiteral("甲"), QStringLiteral("41"));
    Register(QStringLiteral("p1"), QStringLiteral("甲"), QStringLiteral("42"));
    Type(kDbId, QStringLiteral("p1"));
    Return(kDbId);
    ClickRow(0);
    ui.QueueMenuChoice(kMenuRecordDelete);
    ui.QueueMessageBoxAnswer(lm::kIdYes);
    panel->RecordContextMenu(0, QPoint());
    ASSERT_EQ(All().size(), 1u);
    ASSERT_EQ(panel->Records()->rowCount(), 1);
    EXPECT_EQ(panel->LoadedSampleId(), 0);
    for (int32_t f : {kDbId, kDbName, kDbAge}) EXPECT_TRUE(Edit(f)->text().isEmpty()) << f;
    EXPECT_TRUE(panel->RecordList()->selectionModel()->selectedRows().isEmpty());
    // Modify has nothing to write into.
    ui.Clear();
    Click(kDbModify);
    EXPECT_EQ(Messages().size(), 1);
    EXPECT_EQ(All()[0].age, 42);
}

TEST_F(PanelTest, ADateConditionStaysWhenAnEarlierRowIsClicked) {
    qobject_cast<QDateEdit*>(panel->Control(kDbReceiveDate))->setDate(QDate(2024, 2, 1));
    Register(QStringLiteral("p1"), QStringLiteral("甲"));
    qobject_cast<QDateEdit*>(panel->Control(kDbReceiveDate))->setDate(QDate(2024, 2, 20));
    Register(QStringLiteral("p2"), QStringLiteral("乙"));
    std::vector<DbCondition> seen;
    ui.QueueDialog([&](QDialog* d) {
        auto* dlg = static_cast<CDBFindDlg*>(d);
        qobject_cast<QComboBox*>(dlg->Control(kFindColumn))->setCurrentText(QStringLiteral("ID"));
        qobject_cast<QComboBox*>(dlg->Control(kFindOperator))->setCurrentText(QStringLiteral("LIKE"));
        qobject_cast<QLineEdit*>(dlg->Control(kFindValue))->setText(QStringLiteral("p"));
        qobject_cast<QPushButton*>(dlg->Control(kFindAdd))->click();
        qobject_cast<QComboBox*>(dlg->Control(kFindColumn))->setCurrentText(QStringLiteral("接收日期"));
        qobject_cast<QComboBox*>(dlg->Control(kFindOperator))->setCurrentText(QStringLiteral(">"));
        qobject_cast<QDateEdit*>(dlg->Control(kFindDate))->setDate(QDate(2024, 2, 10));
        const QPoint row0(100, 10);
        QMouseEvent press(QEvent::MouseButtonPress, row0, dlg->mapToGlobal(row0), Qt::LeftButton, Qt::LeftButton,
                          Qt::NoModifier);
        QApplication::sendEvent(dlg, &press);
        seen = dlg->Conditions();
        qobject_cast<QPushButton*>(dlg->Control(1))->click();
        return d->result();
    });
    Click(kDbFind);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[1].column, QStringLiteral("接收日期"));
    EXPECT_EQ(seen[1].value, QStringLiteral("2024-02-10"));
    EXPECT_TRUE(ui.CallsOf(Kind::MessageBox).empty());
    ASSERT_EQ(panel->Records()->rowCount(), 1);
    EXPECT_EQ(panel->Records()->Row(0)->id, QStringLiteral("p2"));
}

TEST_F(PanelTest, ReportsAndPdfsOfTwoSamplesFiledTheSameDayKeepTheirOwnNames) {
    MakeTemplate(QStringLiteral("Blood.fld"));
    QStringList reports;
    for (int i = 0; i < 2; ++i) {
        Type(kDbId, QStringLiteral("p1"));
        Type(kDbName, QStringLiteral("甲"));
        New(kMenuNewTemplateFirst);
        ASSERT_EQ(app->GetDocuments().size(), size_t(2 + i)) << Messages().join(QLatin1Char('|')).toStdString();
        reports << LastDocument()->GetPathName();
    }
    // A report made later from the record menu takes a name of its own too.
    Type(kDbId, QStringLiteral("p1"));
    Return(kDbId);
    ui.QueueMenuChoice(kMenuNewReportFirst);
    panel->RecordContextMenu(0, QPoint());
    ASSERT_EQ(app->GetDocuments().size(), 4u);
    reports << LastDocument()->GetPathName();
    QStringList pdfs;
    for (const auto& doc : app->GetDocuments()) {
        if (doc->GetSampleFolder().empty()) continue;
        QString error;
        ASSERT_TRUE(doc->OnSaveDocument(doc->GetPathName(), &error)) << error.toStdString();
        pdfs << QFileInfo(doc->GetPathName()).completeBaseName();
    }
    EXPECT_EQ(QFileInfo(reports[0]).fileName(), QStringLiteral("20240229p1-000-Blood.fld"));
    EXPECT_EQ(QFileInfo(reports[1]).fileName(), QStringLiteral("20240229p1-001-Blood.fld"));
    EXPECT_EQ(QFileInfo(reports[2]).fileName(), QStringLiteral("20240229p1-002-Blood.fld"));
    EXPECT_NE(QFileInfo(reports[0]).path(), QFileInfo(reports[1]).path());
    EXPECT_EQ(QDir(base + QStringLiteral("PDFReport")).entryList({QStringLiteral("*.pdf")}, QDir::Files).size(), 3);
    // A PDF left by a report no longer in any folder is not replaced either.
    QFile::rename(base + QStringLiteral("PDFReport/20240229p1-002-Blood.pdf"), base + QStringLiteral("PDFReport/20240229p1-003-Blood.pdf"));
    const QString copy = panel->CopyReportTemplate(base + QStringLiteral("Template/Blood.fld"), base + QStringLiteral("y/"),
                                                   QStringLiteral("p1"), QStringLiteral("Blood.fld"));
    EXPECT_EQ(QFileInfo(copy).fileName(), QStringLiteral("20240229p1-004-Blood.fld"));
    // Numbers run to 100 inclusive.
    const QString full = base + QStringLiteral("z/");
    QDir().mkpath(full);
    for (int k = 0; k < 100; ++k) QFile(full + QStringLiteral("20240229q-%1-Blood.fld").arg(k, 3, 10, QLatin1Char('0'))).open(QIODevice::WriteOnly);
    EXPECT_EQ(QFileInfo(panel->CopyReportTemplate(base + QStringLiteral("Template/Blood.fld"), full, QStringLiteral("q"),
                                                  QStringLiteral("Blood.fld")))
                  .fileName(),
              QStringLiteral("20240229q-100-Blood.fld"));
}

TEST_F(PanelTest, ALongIdGetsAShortFolderNameAndAFolderThatCannotBeMadeSaysWhy) {
    const QString longId = QStringLiteral("L").repeated(250) + QStringLiteral("病人1");
    const QString otherLong = QStringLiteral("L").repeated(250) + QStringLiteral("病人2");
    MakeTemplate(QStringLiteral("T.fld"));
    for (const QString& id : {longId, otherLong}) {
        Type(kDbId, id);
        Type(kDbName, QStringLiteral("甲"));
        New(kMenuNewTemplateFirst);
    }
    ASSERT_EQ(All().size(), 2u) << Messages().join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(All()[0].id, longId);  // whole in the register
    EXPECT_LE(All()[0].dataPath.toUtf8().size(), 80);
    EXPECT_TRUE(All()[0].dataPath.startsWith(QStringLiteral("202402/29-001LLL")));
    EXPECT_TRUE(All()[1].dataPath.startsWith(QStringLiteral("202402/29-001LLL")));  // its own first folder
    EXPECT_NE(All()[0].dataPath, All()[1].dataPath);
    EXPECT_TRUE(QFileInfo(base + All()[0].dataPath).isDir());
    EXPECT_EQ(app->GetDocuments().size(), 3u);  // both reports copied and opened

    // A month folder in which nothing can be made: the cause, not "taken".
    QDir().mkpath(base);
    ASSERT_TRUE(QFile::link(QStringLiteral("/proc"), base + QStringLiteral("202403")));
    panel->SetNow(QDateTime(QDate(2024, 3, 1), QTime(9, 0)));
    ui.Clear();
    Register(QStringLiteral("p9"), QStringLiteral("乙"));
    ASSERT_EQ(Messages().size(), 1);
    EXPECT_TRUE(Messages()[0].startsWith(QStringLiteral("Cannot make the sample folder"))) << Messages()[0].toStdString();
    EXPECT_TRUE(Messages()[0].contains(QStringLiteral("No such file"))) << Messages()[0].toStdString();
    EXPECT_EQ(All().size(), 2u);
}

TEST_F(PanelTest, ANewLinkedGridCoversNoObjectAndShowsItsWholeTexts) {
    QDir().mkpath(base + QStringLiteral("Template"));
    {
        CLumitraDoc doc;
        ASSERT_NE(doc.CreatePlot(10, 10, nullptr), nullptr);
        QString error;
        ASSERT_TRUE(doc.OnSaveDocument(base + QStringLiteral("Template/Plot.fld"), &error)) << error.toStdString();
    }
    const struct {
        const char* what;
        CRect stored;  // the layout's page rectangle (empty: none)
    } cases[] = {
        {"no stored place", CRect()},
        {"a stored place on the plot, too narrow", CRect(20, 20, 100, 50)},
    };
    for (const auto& c : cases) {
        panel->LinkGrid(1, 2, c.stored, {});
        panel->SetLayoutCell(0, 0, kDbId);
        panel->SetLayoutCell(0, 1, kDbName);
        Type(kDbId, QStringLiteral("p1"));
        Type(kDbName, QStringLiteral("Zhang Dermot Fitzgerald"));
        New(kMenuNewTemplateFirst);
        CLumitraDoc* doc = LastDocument();
        auto* grid = dynamic_cast<CGrid*>(doc->GetDbLinkGrid());
        ASSERT_NE(grid, nullptr) << c.what;
        EXPECT_TRUE(doc->IsModified());
        CRect meet;
        for (int i = 0; i < doc->GetObjectCount(); ++i) {
            if (doc->GetObjectAt(i) == grid) continue;
            EXPECT_FALSE(meet.IntersectRect(doc->GetObjectAt(i)->GetRect(), grid->GetRect())) << c.what;
        }
        EXPECT_EQ(CellText(grid, 0, 1), QStringLiteral("姓名: Zhang Dermot Fitzgerald"));
        for (int col = 0; col < 2; ++col) {
            CCell* cell = grid->GetCell(0, col);
            const QFontMetrics fm(lm::ToQFont(cell->GetFont()));
            const CRect box = grid->CellRect(col, 0);
            EXPECT_LE(fm.horizontalAdvance(QString::fromStdString(cell->GetText())), box.Width()) << c.what << col;
            EXPECT_LE(fm.height(), box.Height()) << c.what << col;
        }
    }
}

class BadFilesPanelTest : public PanelTest {
protected:
    void BeforeStart() override {
        const QString db = QString::fromStdString(dir.Path()) + QStringLiteral("/Database/");
        QDir().mkpath(db);
        QFile grid(db + QStringLiteral("dbgrid"));
        ASSERT_TRUE(grid.open(QIODevice::WriteOnly));
        grid.write(QByteArray("\x02\x00\x00\x00\x02\x00", 6));
        QFile text(db + QStringLiteral("FlowDB.sqlite"));
        ASSERT_TRUE(text.open(QIODevice::WriteOnly));
        text.write("not a register");
    }
};

TEST_F(BadFilesPanelTest, ABadStateFileAndABadRegisterAreSaidAndKept) {
    ASSERT_EQ(shownMessages.size(), 2);
    EXPECT_TRUE(shownMessages[0].contains(QStringLiteral("could not be read"))) << shownMessages[0].toStdString();
    EXPECT_TRUE(shownMessages[1].contains(QStringLiteral("not a patient database"))) << shownMessages[1].toStdString();
    EXPECT_EQ(panel->GridState().rows, 1);
    EXPECT_EQ(panel->GridState().cols, 2);
    EXPECT_TRUE(QFileInfo::exists(base + QStringLiteral("dbgrid.bad")));
    EXPECT_EQ(dbtest::FileBytes(base + QStringLiteral("FlowDB.sqlite")), QByteArray("not a register"));
    // Every action says the register cannot be used, and nothing is made.
    Register(QStringLiteral("p1"), QStringLiteral("甲"));
    Type(kDbId, QStringLiteral("p1"));
    Return(kDbId);
    ui.QueueMenuChoice(1);
    Click(kDbHistory);
    ASSERT_EQ(Messages().size(), 3);
    for (const QString& m : Messages()) EXPECT_TRUE(m.contains(QStringLiteral("cannot be used"))) << m.toStdString();
    EXPECT_FALSE(QFileInfo::exists(base + QStringLiteral("202402")));
    EXPECT_EQ(dbtest::FileBytes(base + QStringLiteral("FlowDB.sqlite")), QByteArray("not a register"));
}

}  // namespace
