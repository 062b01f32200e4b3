#include "database/FlowDb.h"

#include <QDir>
#include <QSqlError>

#include <map>
#include <set>

#include "database/DBFindDlg.h"
#include "database/RecordModel.h"
#include "tests/database/DbTestUtil.h"

namespace {

using dbtest::DbTest;
using dbtest::FileBytes;
using dbtest::RawConnection;

std::set<int64_t> Ids(const std::vector<SampleRow>& rows) {
    std::set<int64_t> ids;
    for (const SampleRow& r : rows) ids.insert(r.sampleId);
    return ids;
}

// ================================================================= values

TEST_F(DbTest, HostileAndChineseValuesAreStoredAndFoundAsTyped) {
    ASSERT_TRUE(OpenDb()) << error.toStdString();
    const QString hostile[] = {
        QStringLiteral("O'Brien"),
        QStringLiteral("'; DROP TABLE Sample;--"),
        QStringLiteral("100%_x\\y\"z"),
        QStringLiteral("张三丰"),
    };
    for (int i = 0; i < 4; ++i) {
        SampleFields s;
        s.diagnosis = hostile[i];
        s.remark = hostile[(i + 1) % 4];
        s.department = QStringLiteral("血液内科");
        Add(QStringLiteral("id%1").arg(i) + hostile[i], hostile[(i + 2) % 4], s);
    }
    EXPECT_EQ(Count("Sample"), 4);
    for (int i = 0; i < 4; ++i) {
        const auto rows = db.List(CFlowDb::ById(hostile[i]), &error);
        ASSERT_EQ(rows.size(), 1u) << hostile[i].toStdString();
        EXPECT_EQ(rows[0].id, QStringLiteral("id%1").arg(i) + hostile[i]);
        EXPECT_EQ(rows[0].name, hostile[(i + 2) % 4]);
        EXPECT_EQ(rows[0].diagnosis, hostile[i]);
        EXPECT_EQ(rows[0].remark, hostile[(i + 1) % 4]);
        EXPECT_EQ(db.List(CFlowDb::ByName(hostile[(i + 2) % 4]), &error).size(), 1u);
    }
}

TEST_F(DbTest, PercentAndUnderscoreMatchOnlyThemselvesInContainsSearches) {
    ASSERT_TRUE(OpenDb());
    Add(QStringLiteral("a%b"), QStringLiteral("甲"));
    Add(QStringLiteral("axb"), QStringLiteral("乙"));
    Add(QStringLiteral("a_c"), QStringLiteral("丙"));
    const struct {
        const char* text;
        size_t hits;
    } cases[] = {{"%", 1}, {"_", 1}, {"a", 3}, {"A", 3},  // IDs compare without ASCII case
                 {"x", 1}, {"\\", 0}};
    for (const auto& c : cases)
        EXPECT_EQ(db.List(CFlowDb::ById(QString::fromLatin1(c.text)), &error).size(), c.hits) << c.text;
}

TEST_F(DbTest, AnIdInAnotherCaseIsTheSamePatientAndANameMismatchAddsNothing) {
    ASSERT_TRUE(OpenDb());
    Add(QStringLiteral("abc1"), QStringLiteral("王伟"));
    Add(QStringLiteral("ABC1"), QStringLiteral("王伟"));
    EXPECT_EQ(Count("Name"), 1);
    const auto rows = db.List(CFlowDb::ById(QStringLiteral("abc")), &error);
    ASSERT_EQ(rows.size(), 2u);
    for (const SampleRow& r : rows) EXPECT_EQ(r.id, QStringLiteral("abc1"));  // the patient's own spelling

    int64_t id = 0;
    EXPECT_EQ(db.AddSample(dbtest::Patient(QStringLiteral("Abc1"), QStringLiteral("李娜")), {}, &id, &error), AddResult::NameMismatch);
    EXPECT_EQ(error, QStringLiteral("姓名与ID不匹配"));
    EXPECT_EQ(Count("Sample"), 2);
}

TEST_F(DbTest, AFailedSampleInsertTakesBackTheNewPatient) {
    ASSERT_TRUE(OpenDb());
    QSqlQuery q(db.Database());
    ASSERT_TRUE(q.exec(QStringLiteral("CREATE TRIGGER fail BEFORE INSERT ON Sample BEGIN SELECT RAISE(ABORT,'injected'); END")));
    int64_t id = 0;
    EXPECT_EQ(db.AddSample(dbtest::Patient(QStringLiteral("p1"), QStringLiteral("赵六")), {}, &id, &error), AddResult::Failed);
    EXPECT_TRUE(error.contains(QStringLiteral("injected"))) << error.toStdString();
    EXPECT_EQ(Count("Name"), 0);
    EXPECT_EQ(Count("Sample"), 0);
    // No transaction is left open: the next add works once the fault is gone.
    ASSERT_TRUE(q.exec(QStringLiteral("DROP TRIGGER fail")));
    Add(QStringLiteral("p1"), QStringLiteral("赵六"));
    EXPECT_EQ(Count("Sample"), 1);
}

TEST_F(DbTest, ModifyAndDeleteActOnTheirSampleIdOnly) {
    ASSERT_TRUE(OpenDb());
    SampleFields s;
    s.bed = QStringLiteral("1");
    const int64_t first = Add(QStringLiteral("p1"), QStringLiteral("甲"), s);
    const int64_t second = Add(QStringLiteral("p1"), QStringLiteral("甲"), s);
    SampleFields m;
    m.bed = QStringLiteral("9");
    m.age = 42.5;
    const SampleKey firstKey{first, QStringLiteral("p1"), 0};
    ASSERT_TRUE(db.ModifySample({second, QStringLiteral("p1"), 0}, m, nullptr, &error)) << error.toStdString();
    EXPECT_EQ(db.LoadSample(first, &error)->bed, QStringLiteral("1"));
    EXPECT_EQ(db.LoadSample(second, &error)->bed, QStringLiteral("9"));
    EXPECT_DOUBLE_EQ(db.LoadSample(second, &error)->age, 42.5);

    QSqlQuery guard(db.Database());
    ASSERT_TRUE(guard.exec(QStringLiteral("CREATE TRIGGER keep BEFORE DELETE ON Sample BEGIN SELECT RAISE(ABORT,'kept'); END")));
    EXPECT_FALSE(db.DeleteSample(firstKey, &error));  // a refused delete is not a success
    EXPECT_TRUE(error.contains(QStringLiteral("kept")));
    ASSERT_TRUE(guard.exec(QStringLiteral("DROP TRIGGER keep")));
    ASSERT_TRUE(db.DeleteSample(firstKey, &error));
    EXPECT_FALSE(db.LoadSample(first, &error));
    EXPECT_FALSE(db.DeleteSample(firstKey, &error));  // already gone: said so
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(db.ModifySample(firstKey, m, nullptr, &error));
    EXPECT_EQ(Count("Name"), 1);  // the patient stays
}

TEST_F(DbTest, AutoIdsSkipEveryIdAlreadyInName) {
    ASSERT_TRUE(OpenDb());
    for (const char* id : {"a0", "A1", "a3", "a02", "ab4"}) Add(QString::fromLatin1(id), QStringLiteral("某"));
    const struct {
        int64_t from;
        const char* id;
        int64_t next;
    } cases[] = {
        {0, "a2", 3},   // a0 and A1 taken ("a02" is not "a2")
        {3, "a4", 5},   // a stale counter still finds a free one
        {7, "a7", 8},
        {-5, "a2", 3},  // a bad counter starts from 0
    };
    for (const auto& c : cases) {
        int64_t next = 0;
        EXPECT_EQ(db.NextAutoId(c.from, &next, &error), QString::fromLatin1(c.id)) << c.from;
        EXPECT_EQ(next, c.next);
    }
    // "a" alone is no automatic ID: a0 is still free in a register holding only it.
    CFlowDb other;
    ASSERT_TRUE(other.Open(path + QStringLiteral(".other"), &error)) << error.toStdString();
    ASSERT_EQ(other.AddSample(dbtest::Patient(QStringLiteral("a"), QStringLiteral("某")), {}, nullptr, &error),
              AddResult::Added);
    EXPECT_EQ(other.NextAutoId(0, nullptr, &error), QStringLiteral("a0"));
}

// ================================================================== files

TEST_F(DbTest, AMissingFileAndFolderAreMadeWithTheSchema) {
    ASSERT_TRUE(OpenDb()) << error.toStdString();
    EXPECT_EQ(db.SchemaVersion(), kFlowDbVersion);
    EXPECT_FALSE(db.IsReadOnly());
    db.Close();
    RawConnection raw(path);
    EXPECT_EQ(raw.Value("PRAGMA user_version").toInt(), kFlowDbVersion);
    EXPECT_EQ(raw.Value("SELECT count(*) FROM sqlite_master WHERE type='index' AND name LIKE 'SampleBy%'").toInt(), 4);
    // IDs are unique without ASCII case.
    EXPECT_TRUE(raw.Exec({"INSERT INTO Name(ID,姓名) VALUES('ab','x')"}));
    EXPECT_FALSE(raw.Value("INSERT INTO Name(ID,姓名) VALUES('AB','y') RETURNING 1").isValid());

    // An empty file (made by hand or left by a copy) is a register yet to be made.
    const QString empty = path + QStringLiteral(".empty");
    QFile(empty).open(QIODevice::WriteOnly);
    CFlowDb made;
    ASSERT_TRUE(made.Open(empty, &error)) << error.toStdString();
    EXPECT_EQ(made.SchemaVersion(), kFlowDbVersion);
}

TEST_F(DbTest, AMissingFileIsNotMadeForReadingAndAFolderInTheWayIsSaid) {
    EXPECT_FALSE(OpenDb(true));
    EXPECT_TRUE(error.contains(QStringLiteral("missing"))) << error.toStdString();
    EXPECT_FALSE(QFileInfo::exists(QFileInfo(path).absolutePath()));

    QFile blocker(QString::fromStdString(dir.Path()) + QStringLiteral("/Database"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));  // a file where the folder should be
    blocker.close();
    EXPECT_FALSE(OpenDb());
    EXPECT_TRUE(error.contains(QStringLiteral("Cannot make the folder"))) << error.toStdString();
}

TEST_F(DbTest, FilesThatAreNotRegistersAreNeverWritten) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("ID,Name\nP1,Wang\n");
    }
    const QByteArray text = FileBytes(path);
    EXPECT_FALSE(OpenDb());
    EXPECT_TRUE(error.contains(QStringLiteral("not a patient database"))) << error.toStdString();
    EXPECT_EQ(FileBytes(path), text);
    EXPECT_FALSE(db.IsOpen());
    EXPECT_FALSE(db.AddSample(dbtest::Patient(QStringLiteral("x"), QStringLiteral("y")), {}, nullptr, &error) == AddResult::Added);
    EXPECT_TRUE(error.contains(QStringLiteral("not open")));
}

TEST_F(DbTest, ADamagedPageIsReportedAndTheFileLeftAsItWas) {
    ASSERT_TRUE(OpenDb());
    FlowDbGenOptions o;
    o.patients = 300;
    o.samples = 3000;
    ASSERT_TRUE(GenerateFlowDb(db, o, &error)) << error.toStdString();
    db.Close();
    QByteArray bytes = FileBytes(path);
    ASSERT_GT(bytes.size(), 8 * 4096);
    for (int i = 0; i < 4096; ++i) bytes[5 * 4096 + i] = char(0xA5);
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    EXPECT_FALSE(OpenDb());
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(FileBytes(path), bytes);
}

TEST_F(DbTest, ABusyFileIsReportedAfterTheTimeoutAndNothingIsAdded) {
    ASSERT_TRUE(OpenDb());
    Add(QStringLiteral("p1"), QStringLiteral("甲"));
    {
        RawConnection other(path);
        ASSERT_TRUE(other.Exec({"BEGIN EXCLUSIVE"}));
        int64_t id = 0;
        EXPECT_EQ(db.AddSample(dbtest::Patient(QStringLiteral("p2"), QStringLiteral("乙")), {}, &id, &error), AddResult::Failed);
        EXPECT_TRUE(error.contains(QStringLiteral("in use by another program"))) << error.toStdString();
        CFlowDb second;
        EXPECT_FALSE(second.Open(path, &error));
        EXPECT_TRUE(error.contains(QStringLiteral("in use"))) << error.toStdString();
        other.Exec({"ROLLBACK"});
    }
    EXPECT_EQ(Count("Sample"), 1);
    Add(QStringLiteral("p2"), QStringLiteral("乙"));
}

TEST_F(DbTest, ReadOnlyRegistersAreReadAndRefuseWritesSayingWhy) {
    ASSERT_TRUE(OpenDb());
    Add(QStringLiteral("p1"), QStringLiteral("甲"));
    db.Close();
    const QByteArray before = FileBytes(path);
    ASSERT_TRUE(OpenDb(true)) << error.toStdString();
    EXPECT_TRUE(db.IsReadOnly());
    EXPECT_EQ(db.List(CFlowDb::ById(QStringLiteral("p")), &error).size(), 1u);
    EXPECT_EQ(db.AddSample(dbtest::Patient(QStringLiteral("p2"), QStringLiteral("乙")), {}, nullptr, &error), AddResult::Failed);
    EXPECT_TRUE(error.contains(QStringLiteral("read-only"))) << error.toStdString();
    EXPECT_FALSE(db.DeleteSample({1, QStringLiteral("p1"), 0}, &error));
    db.Close();
    EXPECT_EQ(FileBytes(path), before);
}

TEST_F(DbTest, TheFirstLayoutIsCopiedAsideThenMigratedWhole) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    {
        RawConnection old(path);
        ASSERT_TRUE(old.Exec({
            "CREATE TABLE Name(ID TEXT, 姓名 TEXT, 性别 TEXT, 出生日期 TEXT)",
            "CREATE TABLE Sample(PID TEXT, 年龄 REAL, 科室 TEXT, 床号 TEXT, 接收日期 TEXT, 检测日期 TEXT, RecordDate TEXT, "
            "标本 TEXT, 诊断 TEXT, 项目 TEXT, 数据路径 TEXT, 标本状态 TEXT, 备注 TEXT)",
            "CREATE TABLE Item(ItemID INTEGER, ItemName TEXT)",
            "INSERT INTO Name VALUES('p1','王伟','男','1970/05/06')",
            "INSERT INTO Sample VALUES('p1',50,'儿科','3','2020/01/02 10:00:00','2020/01/03','2020/01/02','骨髓','贫血','1',"
            "'202001\\02-001p1\\','正常','**')",
            "INSERT INTO Sample VALUES('lost',5,'儿科','3','2020/01/02','2020/01/03','2020/01/02','骨髓','贫血','1','x/',"
            "'正常','**')",
            "INSERT INTO Item VALUES(1,'CD4')",
        }));
    }
    const QByteArray old = FileBytes(path);
    ASSERT_TRUE(OpenDb()) << error.toStdString();
    EXPECT_EQ(db.SchemaVersion(), kFlowDbVersion);
    EXPECT_EQ(FileBytes(path + QStringLiteral(".bak")), old);
    const auto rows = db.List({}, &error);
    ASSERT_EQ(rows.size(), 2u);
    const SampleRow& r = rows[0].id == QLatin1String("p1") ? rows[0] : rows[1];
    EXPECT_EQ(r.receiveDate, QStringLiteral("2020-01-02"));
    EXPECT_EQ(r.dataPath, QStringLiteral("202001/02-001p1/"));
    EXPECT_GT(r.sampleId, 0);
    EXPECT_EQ(db.PatientName(QStringLiteral("LOST"), &error), QString());  // kept with a blank name
    ASSERT_EQ(db.Items(&error).size(), 1u);
}

// A register of the layout before this one: SampleIDs that a deleted
// highest sample could give away again, and dates the first migration cut.
class LayoutOneTest : public DbTest {
protected:
    void SetUp() override {
        DbTest::SetUp();
        QDir().mkpath(QFileInfo(path).absolutePath());
        RawConnection old(path);
        ASSERT_TRUE(old.Exec({
            "CREATE TABLE Name(ID TEXT PRIMARY KEY COLLATE NOCASE, 姓名 TEXT NOT NULL, 性别 TEXT, 出生日期 TEXT)",
            "CREATE TABLE Sample(SampleID INTEGER PRIMARY KEY, PID TEXT NOT NULL COLLATE NOCASE REFERENCES Name(ID), "
            "年龄 REAL, 科室 TEXT, 床号 TEXT, 接收日期 TEXT, 检测日期 TEXT, RecordDate TEXT, 标本 TEXT, 诊断 TEXT, "
            "项目 INTEGER, 数据路径 TEXT, 标本状态 TEXT, 备注 TEXT)",
            "CREATE TABLE Item(ItemID INTEGER PRIMARY KEY, ItemName TEXT NOT NULL)",
            "CREATE INDEX NameByName ON Name(姓名)",
            "INSERT INTO Name VALUES('p1','Smith','男','1970-5-6 1')",
            "PRAGMA user_version=1",
        }));
        // 接收日期 as the first migration left it, and what it must become.
        const char* const dates[][2] = {
            {"2020-1-2 1", "2020-01-02"},   // '2020/1/2 10:00:00' cut to ten characters
            {"2020-12-1 ", "2020-12-01"},
            {"2020-1-12 ", "2020-01-12"},
            {"2020/1/2 10:00:00", "2020-01-02"},
            {"2021-03-04", "2021-03-04"},
            {"2020-13-01", "2020-13-01"},   // no such day: kept as it was
            {"", ""},
            {"unknown", "unknown"},
        };
        int64_t id = 1;
        for (const auto& d : dates) {
            QSqlQuery q(old.Database());
            q.prepare(QStringLiteral("INSERT INTO Sample(SampleID,PID,接收日期,诊断) VALUES(?,'p1',?,NULL)"));
            q.addBindValue(qlonglong(id));
            q.addBindValue(QString::fromUtf8(d[0]));
            ASSERT_TRUE(q.exec()) << q.lastError().text().toStdString();
            expectedDates[id] = QString::fromUtf8(d[1]);
            id += 2;  // gaps stay gaps
        }
    }
    std::map<int64_t, QString> expectedDates;
};

TEST_F(LayoutOneTest, MigratingKeepsEveryIdRepairsTheDatesAndNeverHandsAnIdOutAgain) {
    ASSERT_TRUE(OpenDb()) << error.toStdString();
    EXPECT_EQ(db.SchemaVersion(), kFlowDbVersion);
    std::map<int64_t, QString> dates;
    for (const SampleRow& r : db.List({}, &error)) dates[r.sampleId] = r.receiveDate;
    EXPECT_EQ(dates, expectedDates);
    RawConnection raw(path);
    EXPECT_EQ(raw.Value("SELECT 出生日期 FROM Name").toString(), QStringLiteral("1970-05-06"));

    const int64_t highest = expectedDates.rbegin()->first;
    const SampleRow last = *db.LoadSample(highest, &error);
    ASSERT_TRUE(db.DeleteSample({highest, QStringLiteral("P1"), last.rowVersion}, &error)) << error.toStdString();
    const int64_t added = Add(QStringLiteral("p2"), QStringLiteral("乙"));
    EXPECT_EQ(added, highest + 1);
    db.Close();
    // Opened again, nothing is migrated twice.
    const QByteArray migrated = FileBytes(path);
    ASSERT_TRUE(OpenDb());
    db.Close();
    EXPECT_EQ(FileBytes(path), migrated);
}

TEST_F(LayoutOneTest, AMigrationThatFailsHalfwayLeavesTheRegisterAsItWas) {
    {
        RawConnection raw(path);
        ASSERT_TRUE(raw.Exec({"CREATE TABLE Sample_v1(x)"}));  // in the way of the rebuild
    }
    const QByteArray before = FileBytes(path);
    EXPECT_FALSE(OpenDb());
    EXPECT_TRUE(error.contains(QStringLiteral("left as it was"))) << error.toStdString();
    EXPECT_EQ(FileBytes(path), before);
    {
        RawConnection raw(path);
        ASSERT_TRUE(raw.Exec({"DROP TABLE Sample_v1"}));
    }
    ASSERT_TRUE(OpenDb()) << error.toStdString();
    EXPECT_EQ(db.List({}, &error).size(), expectedDates.size());
}

TEST_F(LayoutOneTest, FindComparesTextWithoutAsciiCaseAndEmptyAndNullAlike) {
    ASSERT_TRUE(OpenDb()) << error.toStdString();
    SampleFields s;
    s.diagnosis = QStringLiteral("贫血");
    Add(QStringLiteral("p2"), QStringLiteral("smith"), s);
    s.diagnosis = QString();  // '' where the old samples hold NULL
    Add(QStringLiteral("p3"), QStringLiteral("Émile"), s);
    Add(QStringLiteral("p4"), QString(20000, QChar(0x738B)), s);
    const size_t old = expectedDates.size();
    const struct {
        std::vector<DbCondition> find;
        size_t hits;
    } cases[] = {
        {{{"", "姓名", "=", "SMITH"}}, old + 1},
        {{{"", "姓名", "=", "smith"}}, old + 1},
        {{{"", "姓名", "LIKE", "mIt"}}, old + 1},
        {{{"", "性别", "=", "男"}}, old + 3},
        // Only ASCII letters fold, for "=" and LIKE alike.
        {{{"", "姓名", "=", "émile"}}, 0},
        {{{"", "姓名", "LIKE", "émile"}}, 0},
        {{{"", "姓名", "LIKE", "Émile"}}, 1},
        {{{"", "ID", "LIKE", "p"}, {"NOT", "诊断", "=", "贫血"}}, old + 2},  // NULL and '' are not 贫血
        {{{"", "姓名", "LIKE", QString(20000, QChar(0x738B))}}, 1},
        {{{"", "姓名", "LIKE", "%"}}, 0},
    };
    for (const auto& c : cases) {
        ListQuery q;
        ASSERT_TRUE(CDBFindDlg::BuildWhere(c.find, &q, &error)) << error.toStdString();
        error.clear();
        EXPECT_EQ(db.List(q, &error).size(), c.hits) << c.find.back().value.left(20).toStdString();
        EXPECT_TRUE(error.isEmpty()) << error.toStdString();
    }
    EXPECT_EQ(db.List(CFlowDb::ById(QString(20000, QLatin1Char('p'))), &error).size(), 0u);
    EXPECT_TRUE(error.isEmpty()) << error.toStdString();
    ListQuery q;
    for (const char* age : {"nan", "inf", "-inf", "1e999"}) {
        EXPECT_FALSE(CDBFindDlg::BuildWhere({{"", "年龄", "=", age}}, &q, &error)) << age;
        EXPECT_TRUE(error.contains(QString::fromLatin1(age))) << error.toStdString();
    }
}

TEST_F(DbTest, ANewerLayoutOpensReadOnlyAndUnchanged) {
    ASSERT_TRUE(OpenDb());
    Add(QStringLiteral("p1"), QStringLiteral("甲"));
    db.Close();
    {
        RawConnection newer(path);
        ASSERT_TRUE(newer.Exec({"PRAGMA user_version=99"}));
    }
    const QByteArray before = FileBytes(path);
    ASSERT_TRUE(OpenDb()) << error.toStdString();
    EXPECT_TRUE(db.IsReadOnly());
    EXPECT_EQ(db.SchemaVersion(), 99);
    EXPECT_TRUE(db.ReadOnlyReason().contains(QStringLiteral("newer")));
    EXPECT_EQ(db.List({}, &error).size(), 1u);
    EXPECT_EQ(db.AddSample(dbtest::Patient(QStringLiteral("p2"), QStringLiteral("乙")), {}, nullptr, &error), AddResult::Failed);
    db.Close();
    EXPECT_EQ(FileBytes(path), before);
}

// ================================================================== finds

class FindTest : public DbTest {
protected:
    void SetUp() override {
        DbTest::SetUp();
        ASSERT_TRUE(OpenDb());
        FlowDbGenOptions o;
        o.patients = 400;
        o.samples = 4000;
        ASSERT_TRUE(GenerateFlowDb(db, o, &error));
        all = db.List({}, &error);
        ASSERT_EQ(all.size(), 4000u);
    }
    std::vector<SampleRow> Find(const std::vector<DbCondition>& conditions) {
        ListQuery q;
        EXPECT_TRUE(CDBFindDlg::BuildWhere(conditions, &q, &error)) << error.toStdString();
        auto rows = db.List(q, &error);
        // Every row pairs a sample with its own patient.
        QSqlQuery pid(db.Database());
        pid.prepare(QStringLiteral("SELECT PID FROM Sample WHERE SampleID=?"));
        for (const SampleRow& r : rows) {
            pid.addBindValue(qlonglong(r.sampleId));
            EXPECT_TRUE(pid.exec() && pid.next());
            EXPECT_EQ(pid.value(0).toString(), r.id);
        }
        return rows;
    }
    template <class Pred>
    std::set<int64_t> Expected(Pred pred) const {
        std::set<int64_t> ids;
        for (const SampleRow& r : all)
            if (pred(r)) ids.insert(r.sampleId);
        return ids;
    }
    std::vector<SampleRow> all;
};

TEST_F(FindTest, AndBindsBeforeOrAndTheJoinHoldsForEveryRow) {
    const auto rows = Find({{"", "科室", "=", "儿科"}, {"OR", "标本", "=", "骨髓"}, {"AND", "年龄", "=", "30"}});
    const auto expected = Expected([](const SampleRow& r) {
        return r.department == QStringLiteral("儿科") || (r.sample == QStringLiteral("骨髓") && r.age == 30);
    });
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(Ids(rows), expected);
    EXPECT_EQ(rows.size(), expected.size());
}

TEST_F(FindTest, NotExcludesItsConditionFromTheOnesBefore) {
    const auto rows = Find({{"", "诊断", "=", "贫血"}, {"NOT", "标本", "=", "骨髓"}});
    const auto expected = Expected([](const SampleRow& r) {
        return r.diagnosis == QStringLiteral("贫血") && r.sample != QStringLiteral("骨髓");
    });
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(Ids(rows), expected);
}

TEST_F(FindTest, DatesCompareAsDaysAndNamesMatchByContaining) {
    const auto rows = Find({{"", "接收日期", ">", "2023-06-30"}, {"AND", "姓名", "LIKE", GeneratedPatientName(5).mid(1)}});
    const QString part = GeneratedPatientName(5).mid(1);
    const auto expected = Expected([&](const SampleRow& r) {
        return r.receiveDate > QStringLiteral("2023-06-30") && r.name.contains(part);
    });
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(Ids(rows), expected);
}

TEST_F(FindTest, TheListShowsItsFirstRowsAtOnceAndTheRestOnRequest) {
    CRecordModel model;
    auto q = db.Select({}, &error);
    ASSERT_TRUE(q);
    model.Start(std::move(*q));
    EXPECT_EQ(model.rowCount(), CRecordModel::kFirstRows);
    EXPECT_TRUE(model.IsReading());
    model.Finish();
    ASSERT_EQ(model.rowCount(), 4000);
    EXPECT_FALSE(model.IsReading());
    for (int row : {-1, 4000}) EXPECT_EQ(model.Row(row), nullptr) << row;
    EXPECT_EQ(model.data(model.index(0, 3), Qt::DisplayRole).toString(), QString::number(all[0].age, 'f', 2));
    const int64_t gone = model.Row(10)->sampleId;
    model.RemoveSample(gone);
    EXPECT_EQ(model.rowCount(), 3999);
    EXPECT_NE(model.Row(10)->sampleId, gone);
}

TEST(DBFindWhere, ValuesAreBoundAndOnlyKnownColumnsAndOperatorsPass) {
    ListQuery q;
    QString error;
    ASSERT_TRUE(CDBFindDlg::BuildWhere({{"", "姓名", "LIKE", "o'_%"}, {"NOT", "年龄", "=", " 41 "}}, &q, &error));
    EXPECT_EQ(q.where, QStringLiteral("(instr(lower(Name.姓名), lower(?)) > 0 AND NOT ifnull(Sample.年龄 = ?, 0))"));
    ASSERT_EQ(q.values.size(), 2);
    EXPECT_EQ(q.values[0].toString(), QStringLiteral("o'_%"));  // every character stands for itself
    EXPECT_EQ(q.values[1].typeId(), QMetaType::Double);  // a number, not text
    EXPECT_DOUBLE_EQ(q.values[1].toDouble(), 41);

    const std::vector<DbCondition> refused[] = {
        {{"", "年龄", "=", "forty"}},
        {{"", "Name.ID) OR (1", "=", "x"}},
        {{"", "科室", "LIKE", "x"}},  // only ID and name take LIKE
        {{"", "ID", "=", "x"}, {"XOR", "ID", "=", "y"}},
        {{"", "接收日期", ">", "2020/01/01"}},
    };
    for (const auto& c : refused) EXPECT_FALSE(CDBFindDlg::BuildWhere(c, &q, &error)) << c.back().column.toStdString();
}

}  // namespace
