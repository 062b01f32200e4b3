#include "database/FlowDb.h"

#include <QAtomicInt>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlRecord>

#include <set>

namespace {

QAtomicInt g_connectionCount;

const QByteArray kSqliteMagic("SQLite format 3\0", 16);

// SQLite's own result codes the messages tell apart.
constexpr int kSqliteBusy = 5;
constexpr int kSqliteLocked = 6;
constexpr int kSqliteReadOnly = 8;
constexpr int kSqliteIoErr = 10;
constexpr int kSqliteFull = 13;
constexpr int kSqliteCantOpen = 14;

QString Native(const QString& path) { return QDir::toNativeSeparators(path); }

void SetError(QString* error, const QString& text) {
    if (error) *error = text;
}

QString SqlErrorText(const QSqlError& e) {
    const int code = e.nativeErrorCode().toInt() & 0xFF;
    if (code == kSqliteBusy || code == kSqliteLocked)
        return QStringLiteral("The patient database is in use by another program (waited %1 s): %2")
            .arg(kFlowDbBusyMs / 1000)
            .arg(e.text());
    return e.text();
}

// The tables and indexes of the current layout. Dates are 'YYYY-MM-DD' text,
// so that they sort and compare as dates; IDs and names compare without
// ASCII case, as users typed them in either case for years. AUTOINCREMENT:
// a SampleID once handed out is never handed out again, even after its
// sample was deleted, so a stale SampleID can never reach another sample.
const char* const kNameTable =
    "CREATE TABLE Name(ID TEXT PRIMARY KEY COLLATE NOCASE, 姓名 TEXT NOT NULL, 性别 TEXT, 出生日期 TEXT)";
const char* const kSampleTable =
    "CREATE TABLE Sample(SampleID INTEGER PRIMARY KEY AUTOINCREMENT, PID TEXT NOT NULL COLLATE NOCASE "
    "REFERENCES Name(ID), 年龄 REAL, 科室 TEXT, 床号 TEXT, 接收日期 TEXT, 检测日期 TEXT, RecordDate TEXT, 标本 TEXT, "
    "诊断 TEXT, 项目 INTEGER, 数据路径 TEXT, 标本状态 TEXT, 备注 TEXT, RowVersion INTEGER NOT NULL DEFAULT 0)";
const char* const kItemTable = "CREATE TABLE Item(ItemID INTEGER PRIMARY KEY, ItemName TEXT NOT NULL)";
// The indexes of Sample and the trigger that raises a sample's RowVersion
// on every change, also one made by another program with a plain UPDATE.
const char* const kSampleExtras[] = {
    "CREATE TRIGGER SampleChanged AFTER UPDATE ON Sample FOR EACH ROW WHEN NEW.RowVersion = OLD.RowVersion "
    "BEGIN UPDATE Sample SET RowVersion = OLD.RowVersion + 1 WHERE SampleID = NEW.SampleID; END",
    "CREATE INDEX SampleByPID ON Sample(PID)",
    "CREATE INDEX SampleByReceiveDate ON Sample(接收日期)",
    "CREATE INDEX SampleByTestDate ON Sample(检测日期)",
    "CREATE INDEX SampleByRecordDate ON Sample(RecordDate)",
};
const char* const kNameIndex = "CREATE INDEX NameByName ON Name(姓名 COLLATE NOCASE)";

// The sample columns every layout has, in the order of the table.
const char* const kSampleColumns = "PID,年龄,科室,床号,接收日期,检测日期,RecordDate,标本,诊断,项目,数据路径,标本状态,备注";

QStringList Statements(std::initializer_list<const char*> list) {
    QStringList out;
    for (const char* s : list) out << QString::fromUtf8(s);
    return out;
}

QStringList SampleExtras() {
    QStringList out;
    for (const char* s : kSampleExtras) out << QString::fromUtf8(s);
    return out;
}

// An "aN" ID's number, or -1 when the ID is not of that form as the program
// writes it ("%ld": no sign, no leading zeros).
int64_t AutoIdNumber(const QString& id) {
    if (id.size() < 2 || (id[0] != QLatin1Char('a') && id[0] != QLatin1Char('A'))) return -1;
    const QString digits = id.mid(1);
    if (digits.size() > 18 || (digits.size() > 1 && digits[0] == QLatin1Char('0'))) return -1;
    for (QChar c : digits)
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) return -1;
    return digits.toLongLong();
}

}  // namespace

CFlowDb::CFlowDb() : m_connection(QStringLiteral("flowdb-%1").arg(g_connectionCount.fetchAndAddRelaxed(1))) {}

CFlowDb::~CFlowDb() { Close(); }

QSqlDatabase CFlowDb::Database() const { return QSqlDatabase::database(m_connection, false); }

void CFlowDb::Close() {
    if (QSqlDatabase::contains(m_connection)) {
        {
            QSqlDatabase db = QSqlDatabase::database(m_connection, false);
            if (db.isOpen()) db.close();
        }
        QSqlDatabase::removeDatabase(m_connection);
    }
    m_open = false;
    m_readOnly = false;
    m_readOnlyReason.clear();
    m_version = 0;
}

QString CFlowDb::ErrorText(const QSqlError& e) const {
    const int code = e.nativeErrorCode().toInt() & 0xFF;
    if (code == kSqliteReadOnly || code == kSqliteCantOpen || code == kSqliteIoErr || code == kSqliteFull) {
        const QString folder = QFileInfo(m_path).absolutePath();
        return QStringLiteral("The patient database %1 cannot be written. The folder %2 must let this program make and "
                              "write files (the register keeps its journal there) and have free space: %3")
            .arg(Native(m_path), Native(folder), e.text());
    }
    return SqlErrorText(e);
}

bool CFlowDb::Exec(const QString& sql, QString* error) {
    QSqlQuery q(Database());
    if (q.exec(sql)) return true;
    SetError(error, ErrorText(q.lastError()));
    return false;
}

bool CFlowDb::Open(const QString& path, QString* error, bool readOnly) {
    Close();
    m_path = path;
    const QFileInfo info(path);
    if (readOnly && !info.exists()) {
        SetError(error, QStringLiteral("The patient database %1 is missing.").arg(Native(path)));
        return false;
    }
    if (!QDir().mkpath(info.absolutePath())) {
        SetError(error, QStringLiteral("Cannot make the folder %1.").arg(Native(info.absolutePath())));
        return false;
    }
    const bool exists = info.exists();
    if (exists && !info.isFile()) {
        SetError(error, QStringLiteral("%1 is not a file.").arg(Native(path)));
        return false;
    }
    if (exists && info.size() > 0) {
        // Anything but SQLite is left alone: the engine would take a text
        // file for an empty database and write over it.
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly)) {
            SetError(error, QStringLiteral("Cannot read %1: %2").arg(Native(path), f.errorString()));
            return false;
        }
        if (f.read(16) != kSqliteMagic) {
            SetError(error, QStringLiteral("%1 is not a patient database (not an SQLite file); it was left as it "
                                           "was.")
                                .arg(Native(path)));
            return false;
        }
    }
    bool ro = readOnly;
    if (readOnly) m_readOnlyReason = QStringLiteral("it was opened read-only.");
    if (!ro && exists && !info.isWritable()) {
        ro = true;
        m_readOnlyReason = QStringLiteral("the file %1 cannot be written.").arg(Native(path));
    }
    // The engine writes a journal beside the register for every change: a
    // folder that takes no new files makes the register read-only too.
    const QString folder = info.absolutePath();
    if (!QFileInfo(folder).isWritable()) {
        if (!exists) {
            SetError(error, QStringLiteral("Cannot make the patient database %1: the folder %2 cannot be written.")
                                .arg(Native(path), Native(folder)));
            return false;
        }
        if (!ro) m_readOnlyReason = QStringLiteral("the folder %1 cannot be written.").arg(Native(folder));
        ro = true;
    }

    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
        db.setDatabaseName(path);
        QString options = QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(kFlowDbBusyMs);
        if (ro) options += QStringLiteral(";QSQLITE_OPEN_READONLY");
        db.setConnectOptions(options);
        if (!db.open()) {
            SetError(error, QStringLiteral("Cannot open %1: %2").arg(Native(path), ErrorText(db.lastError())));
        } else {
            m_open = true;
            m_readOnly = ro;
            ok = true;
        }
    }
    if (!ok) {
        Close();
        return false;
    }

    // A damaged file is reported and never written: whatever can still be
    // saved from it is the user's to decide.
    QSqlQuery check(Database());
    if (!check.exec(QStringLiteral("PRAGMA quick_check"))) {
        const QString why = ErrorText(check.lastError());
        Close();
        SetError(error, QStringLiteral("Cannot open %1: %2").arg(Native(path), why));
        return false;
    }
    QStringList problems;
    while (check.next()) problems << check.value(0).toString();
    check.finish();
    if (problems != QStringList{QStringLiteral("ok")}) {
        Close();
        SetError(error, QStringLiteral("The patient database %1 is damaged and was left as it was:\n%2")
                            .arg(Native(path), problems.mid(0, 5).join(QLatin1Char('\n'))));
        return false;
    }

    QSqlQuery q(Database());
    if (!q.exec(QStringLiteral("PRAGMA user_version")) || !q.next()) {
        SetError(error, ErrorText(q.lastError()));
        Close();
        return false;
    }
    m_version = q.value(0).toInt();
    q.finish();
    int tables = 0;
    if (q.exec(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type='table' AND name IN "
                              "('Name','Sample','Item')")) &&
        q.next())
        tables = q.value(0).toInt();
    q.finish();

    QString why;
    if (m_version == 0 && tables == 0) {
        if (m_readOnly || !CreateSchema(&why)) {
            if (why.isEmpty()) why = QStringLiteral("it holds no register and is read-only.");
            Close();
            SetError(error, QStringLiteral("Cannot make the patient database %1: %2").arg(Native(path), why));
            return false;
        }
    } else if (m_version == 1 && m_readOnly) {
        // Read as it is; its samples read as version 0 and nothing is written.
    } else if (m_version == 0 || (m_version > 0 && m_version < kFlowDbVersion)) {
        if (m_readOnly || !Migrate(&why)) {
            if (why.isEmpty()) why = QStringLiteral("it is of an older layout and read-only.");
            Close();
            SetError(error, QStringLiteral("Cannot bring the patient database %1 up to date: %2").arg(Native(path), why));
            return false;
        }
    } else if (m_version > kFlowDbVersion) {
        // Read what a newer program wrote, but never change its layout.
        const int32_t version = m_version;
        if (!m_readOnly) {
            if (!Open(path, error, true)) return false;
        }
        m_version = version;
        m_readOnlyReason = QStringLiteral("it was written by a newer version of Lumitra (layout %1).").arg(version);
    } else if (m_version < 0) {
        Close();
        SetError(error, QStringLiteral("%1 is not a patient database (layout %2).").arg(Native(path)).arg(m_version));
        return false;
    }
    Exec(QStringLiteral("PRAGMA foreign_keys=ON"), nullptr);
    // Patient records keep SQLite's full sync: with a rollback journal a
    // lighter setting can leave a damaged register after a power cut.
    return true;
}

bool CFlowDb::CreateSchema(QString* error) {
    if (!Exec(QStringLiteral("BEGIN IMMEDIATE"), error)) return false;
    const QStringList steps = Statements({kNameTable, kSampleTable, kItemTable, kNameIndex}) + SampleExtras();
    for (const QString& sql : steps)
        if (!Exec(sql, error)) {
            Exec(QStringLiteral("ROLLBACK"), nullptr);
            return false;
        }
    if (!Exec(QStringLiteral("PRAGMA user_version=%1").arg(kFlowDbVersion), error) ||
        !Exec(QStringLiteral("COMMIT"), error)) {
        Exec(QStringLiteral("ROLLBACK"), nullptr);
        return false;
    }
    m_version = kFlowDbVersion;
    return true;
}

bool CFlowDb::Migrate(QString* error) {
    // The copy comes first: a migration that goes wrong halfway is rolled
    // back, but a copy is what the user can take elsewhere. It replaces the
    // last one only once this migration has committed.
    const QString backup = m_path + QStringLiteral(".bak");
    const QString fresh = backup + QStringLiteral(".new");
    QFile::remove(fresh);
    if (!QFile::copy(m_path, fresh)) {
        SetError(error, QStringLiteral("cannot copy it to %1 first.").arg(Native(fresh)));
        return false;
    }
    if (!Exec(QStringLiteral("BEGIN IMMEDIATE"), error)) {
        QFile::remove(fresh);
        return false;
    }
    // Under the write lock: another program may have migrated it meanwhile.
    int32_t from = -1;
    {
        QSqlQuery q(Database());
        if (q.exec(QStringLiteral("PRAGMA user_version")) && q.next()) from = q.value(0).toInt();
    }
    if (from >= kFlowDbVersion) {
        Exec(QStringLiteral("ROLLBACK"), nullptr);
        QFile::remove(fresh);
        if (from > kFlowDbVersion) {
            // A newer program got there first: its layout is not ours to write.
            SetError(error, QStringLiteral("a newer version of Lumitra changed it to layout %1 meanwhile; open it again.")
                                .arg(from));
            return false;
        }
        m_version = from;
        return true;
    }
    if (from < 0 || !MigrateSteps(from, error) || !RepairDates(error) ||
        !Exec(QStringLiteral("PRAGMA user_version=%1").arg(kFlowDbVersion), error) ||
        !Exec(QStringLiteral("COMMIT"), error)) {
        Exec(QStringLiteral("ROLLBACK"), nullptr);
        QFile::remove(fresh);
        if (error) *error += QStringLiteral(" (the register was left as it was)");
        return false;
    }
    QFile::remove(backup);
    QFile::rename(fresh, backup);
    m_version = kFlowDbVersion;
    return true;
}

bool CFlowDb::MigrateSteps(int32_t from, QString* error) {
    QStringList steps;
    if (from == 0) {
        bool hasItem = false;
        {
            QSqlQuery q(Database());
            hasItem =
                q.exec(QStringLiteral("SELECT 1 FROM sqlite_master WHERE type='table' AND name='Item'")) && q.next();
        }
        steps << QStringLiteral("ALTER TABLE Name RENAME TO Name_v0") << QStringLiteral("ALTER TABLE Sample RENAME TO Sample_v0");
        if (hasItem) steps << QStringLiteral("ALTER TABLE Item RENAME TO Item_v0");
        steps << Statements({kNameTable, kSampleTable, kItemTable, kNameIndex}) << SampleExtras();
        steps << QStringLiteral("INSERT OR IGNORE INTO Name(ID,姓名,性别,出生日期) SELECT trim(ID), coalesce(姓名,''), 性别, "
                                "出生日期 FROM Name_v0 WHERE ID IS NOT NULL AND trim(ID) <> ''");
        // Samples of patients the old file lost keep a patient without a name.
        steps << QStringLiteral("INSERT OR IGNORE INTO Name(ID,姓名) SELECT DISTINCT trim(PID), '' FROM Sample_v0 "
                                "WHERE PID IS NOT NULL AND trim(PID) <> ''");
        steps << QStringLiteral("INSERT INTO Sample(%1) SELECT trim(PID),年龄,科室,床号,接收日期,检测日期,RecordDate,标本,"
                                "诊断,项目,replace(数据路径,'\\','/'),标本状态,备注 FROM Sample_v0 WHERE PID IS NOT NULL "
                                "AND trim(PID) <> ''")
                     .arg(QString::fromUtf8(kSampleColumns));
        if (hasItem)
            steps << QStringLiteral("INSERT OR IGNORE INTO Item(ItemID,ItemName) SELECT ItemID, coalesce(ItemName,'') "
                                    "FROM Item_v0");
        steps << QStringLiteral("DROP TABLE Name_v0") << QStringLiteral("DROP TABLE Sample_v0");
        if (hasItem) steps << QStringLiteral("DROP TABLE Item_v0");
    } else if (from == 1) {
        // Every sample keeps its SampleID; the sequence starts past the
        // highest, so the IDs of samples deleted from now on stay unused.
        steps << QStringLiteral("ALTER TABLE Sample RENAME TO Sample_v1") << Statements({kSampleTable});
        steps << QStringLiteral("INSERT INTO Sample(SampleID,%1) SELECT SampleID,%1 FROM Sample_v1")
                     .arg(QString::fromUtf8(kSampleColumns));
        steps << QStringLiteral("DROP TABLE Sample_v1") << SampleExtras();
        steps << QStringLiteral("DROP INDEX IF EXISTS NameByName") << Statements({kNameIndex});
    } else {
        SetError(error, QStringLiteral("layout %1 is unknown.").arg(from));
        return false;
    }
    for (const QString& sql : steps)
        if (!Exec(sql, error)) return false;
    return true;
}

bool CFlowDb::RepairDates(QString* error) {
    // The first migration cut dates to ten characters, which left
    // '2020-1-2 1' of '2020/1/2 10:00:00'; the original day is still in it.
    const struct {
        const char* table;
        const char* key;
        QStringList columns;
    } tables[] = {
        {"Sample", "SampleID", {QStringLiteral("接收日期"), QStringLiteral("检测日期"), QStringLiteral("RecordDate")}},
        {"Name", "ID", {QStringLiteral("出生日期")}},
    };
    for (const auto& t : tables) {
        const QString table = QString::fromLatin1(t.table), key = QString::fromLatin1(t.key);
        for (const QString& column : t.columns) {
            QSqlQuery read(Database());
            read.setForwardOnly(true);
            // Only values that are not already in shape are read.
            if (!read.exec(QStringLiteral("SELECT %1, %2 FROM %3 WHERE %2 IS NOT NULL AND NOT %2 GLOB "
                                          "'[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]'")
                               .arg(key, column, table))) {
                SetError(error, ErrorText(read.lastError()));
                return false;
            }
            std::vector<std::pair<QVariant, QString>> changes;
            while (read.next()) {
                const QString stored = read.value(1).toString();
                const QString day = NormalizeDate(stored);
                if (day != stored) changes.emplace_back(read.value(0), day);
            }
            read.finish();
            QSqlQuery write(Database());
            write.prepare(QStringLiteral("UPDATE %1 SET %2 = ? WHERE %3 = ?").arg(table, column, key));
            for (const auto& [id, day] : changes) {
                write.addBindValue(day);
                write.addBindValue(id);
                if (!write.exec()) {
                    SetError(error, ErrorText(write.lastError()));
                    return false;
                }
            }
        }
    }
    return true;
}

QString CFlowDb::NormalizeDate(const QString& stored) {
    static const QRegularExpression form(QStringLiteral("^\\s*(\\d{4})[-/](\\d{1,2})[-/](\\d{1,2})(?:[ T].*)?$"));
    const QRegularExpressionMatch m = form.match(stored);
    if (!m.hasMatch()) return stored;
    const QDate day(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    return day.isValid() ? day.toString(QStringLiteral("yyyy-MM-dd")) : stored;
}

bool CFlowDb::CheckWritable(QString* error) const {
    if (!m_open) {
        SetError(error, QStringLiteral("The patient database is not open."));
        return false;
    }
    if (m_readOnly) {
        SetError(error, QStringLiteral("The patient database cannot be changed: %1").arg(m_readOnlyReason));
        return false;
    }
    return true;
}

// ============================================================ list statements

QString CFlowDb::Contains(const QString& column) {
    return QStringLiteral("instr(lower(%1), lower(?)) > 0").arg(column);
}

ListQuery CFlowDb::ById(const QString& text) { return {Contains(QStringLiteral("Name.ID")), {text}, true}; }

ListQuery CFlowDb::ByName(const QString& text) { return {Contains(QStringLiteral("Name.姓名")), {text}, true}; }

ListQuery CFlowDb::ByPatient(const QString& id) {
    // Name.ID is declared COLLATE NOCASE, so '=' ignores ASCII case here.
    return {QStringLiteral("Name.ID = ?"), {id}, true};
}

ListQuery CFlowDb::ByRecordDate(const QDate& day) {
    return {QStringLiteral("Sample.RecordDate = ?"), {day.toString(QStringLiteral("yyyy-MM-dd"))}, false};
}

QString CFlowDb::SelectHead(bool fromName, bool withVersion) {
    return QStringLiteral("SELECT Sample.SampleID, Name.ID, Name.姓名, Name.性别, Sample.年龄, Sample.科室, Sample.床号, "
                          "Sample.诊断, Sample.标本, Sample.接收日期, Sample.检测日期, Sample.标本状态, Sample.备注, "
                          "Sample.数据路径, %1 FROM ")
               .arg(withVersion ? QStringLiteral("Sample.RowVersion") : QStringLiteral("0")) +
           (fromName ? QStringLiteral("Name CROSS JOIN Sample ON Sample.PID = Name.ID")
                     : QStringLiteral("Sample JOIN Name ON Name.ID = Sample.PID"));
}

std::optional<QSqlQuery> CFlowDb::Select(const ListQuery& lq, QString* error) const {
    if (!m_open) {
        SetError(error, QStringLiteral("The patient database is not open."));
        return std::nullopt;
    }
    QSqlQuery q(Database());
    q.setForwardOnly(true);
    QString sql = SelectHead(lq.fromName, m_version >= 2);
    if (!lq.where.isEmpty()) sql += QStringLiteral(" WHERE ") + lq.where;
    if (!q.prepare(sql)) {
        SetError(error, ErrorText(q.lastError()));
        return std::nullopt;
    }
    for (const QVariant& v : lq.values) q.addBindValue(v);
    if (!q.exec()) {
        SetError(error, ErrorText(q.lastError()));
        return std::nullopt;
    }
    return q;
}

SampleRow CFlowDb::RowOf(const QSqlQuery& q) {
    SampleRow r;
    r.sampleId = q.value(0).toLongLong();
    r.id = q.value(1).toString();
    r.name = q.value(2).toString();
    r.sex = q.value(3).toString();
    r.age = q.value(4).toDouble();
    r.department = q.value(5).toString();
    r.bed = q.value(6).toString();
    r.diagnosis = q.value(7).toString();
    r.sample = q.value(8).toString();
    r.receiveDate = q.value(9).toString();
    r.testDate = q.value(10).toString();
    r.state = q.value(11).toString();
    r.remark = q.value(12).toString();
    r.dataPath = q.value(13).toString();
    r.rowVersion = q.value(14).toLongLong();
    return r;
}

std::vector<SampleRow> CFlowDb::List(const ListQuery& lq, QString* error) const {
    std::vector<SampleRow> rows;
    auto q = Select(lq, error);
    if (!q) return rows;
    while (q->next()) rows.push_back(RowOf(*q));
    if (q->lastError().isValid()) SetError(error, ErrorText(q->lastError()));
    return rows;
}

// ============================================================ single records

std::optional<QString> CFlowDb::PatientName(const QString& id, QString* error) const {
    if (!m_open) {
        SetError(error, QStringLiteral("The patient database is not open."));
        return std::nullopt;
    }
    QSqlQuery q(Database());
    q.prepare(QStringLiteral("SELECT 姓名 FROM Name WHERE ID = ?"));
    q.addBindValue(id);
    if (!q.exec()) {
        SetError(error, ErrorText(q.lastError()));
        return std::nullopt;
    }
    if (!q.next()) return std::nullopt;
    return q.value(0).toString();
}

std::optional<SampleRow> CFlowDb::LoadSample(int64_t sampleId, QString* error) const {
    auto q = Select({QStringLiteral("Sample.SampleID = ?"), {qlonglong(sampleId)}, false}, error);
    if (!q || !q->next()) return std::nullopt;
    return RowOf(*q);
}

AddResult CFlowDb::AddSample(const PatientFields& patient, const SampleFields& s, int64_t* sampleId, QString* error) {
    if (!CheckWritable(error)) return AddResult::Failed;
    // IMMEDIATE: a second program is noticed here, before anything is read.
    if (!Exec(QStringLiteral("BEGIN IMMEDIATE"), error)) return AddResult::Failed;
    auto fail = [&](const QSqlQuery& q) {
        SetError(error, ErrorText(q.lastError()));
        Exec(QStringLiteral("ROLLBACK"), nullptr);
        return AddResult::Failed;
    };
    QString pid = patient.id;
    {
        QSqlQuery q(Database());
        q.prepare(QStringLiteral("SELECT ID, 姓名 FROM Name WHERE ID = ?"));
        q.addBindValue(patient.id);
        if (!q.exec()) return fail(q);
        if (q.next()) {
            if (q.value(1).toString() != patient.name) {
                Exec(QStringLiteral("ROLLBACK"), nullptr);
                SetError(error, QStringLiteral("姓名与ID不匹配"));
                return AddResult::NameMismatch;
            }
            pid = q.value(0).toString();  // the patient's own spelling of the ID
        } else {
            QSqlQuery ins(Database());
            ins.prepare(QStringLiteral("INSERT INTO Name(ID,姓名,性别,出生日期) VALUES(?,?,?,?)"));
            ins.addBindValue(patient.id);
            ins.addBindValue(patient.name);
            ins.addBindValue(patient.sex);
            ins.addBindValue(patient.birthDate);
            if (!ins.exec()) return fail(ins);
        }
    }
    QSqlQuery ins(Database());
    ins.prepare(QStringLiteral("INSERT INTO Sample(PID,年龄,科室,床号,接收日期,检测日期,RecordDate,标本,诊断,项目,数据路径,"
                               "标本状态,备注) VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?)"));
    for (const QVariant& v : {QVariant(pid), QVariant(s.age), QVariant(s.department), QVariant(s.bed),
                              QVariant(s.receiveDate), QVariant(s.testDate), QVariant(s.recordDate),
                              QVariant(s.sample), QVariant(s.diagnosis), QVariant(qlonglong(s.item)),
                              QVariant(s.dataPath), QVariant(s.state), QVariant(s.remark)})
        ins.addBindValue(v);
    if (!ins.exec()) return fail(ins);
    const int64_t id = ins.lastInsertId().toLongLong();
    if (!Exec(QStringLiteral("COMMIT"), error)) {
        Exec(QStringLiteral("ROLLBACK"), nullptr);
        return AddResult::Failed;
    }
    if (sampleId) *sampleId = id;
    return AddResult::Added;
}

QString CFlowDb::MissingSampleText(const SampleKey& key) const {
    QSqlQuery q(Database());
    q.prepare(QStringLiteral("SELECT PID FROM Sample WHERE SampleID = ?"));
    q.addBindValue(qlonglong(key.sampleId));
    // Each cause as it is: a look that fails says why, not "deleted".
    if (!q.exec())
        return QStringLiteral("Nothing was written to the sample of %1: %2").arg(key.pid, ErrorText(q.lastError()));
    if (!q.next())
        return QStringLiteral("The sample of %1 was deleted from the register since it was loaded; nothing was written.")
            .arg(key.pid);
    const QString pid = q.value(0).toString();
    if (pid.compare(key.pid, Qt::CaseInsensitive) != 0)
        return QStringLiteral("The sample of %1 was moved to patient %2 by another program since it was loaded; nothing "
                              "was written. Load it again from the list.")
            .arg(key.pid, pid);
    return QStringLiteral("The sample of %1 was changed by another program since it was loaded; nothing was written. "
                          "Load it again from the list.")
        .arg(key.pid);
}

bool CFlowDb::ExecOnLoadedSample(QSqlQuery& q, const SampleKey& key, QString* error) const {
    if (!q.exec()) {
        SetError(error, ErrorText(q.lastError()));
        return false;
    }
    // No row matched: the sample went, or another program wrote it, since it was loaded.
    if (q.numRowsAffected() != 1) {
        SetError(error, MissingSampleText(key));
        return false;
    }
    return true;
}

bool CFlowDb::ModifySample(const SampleKey& key, const SampleFields& s, int64_t* newVersion, QString* error) {
    if (!CheckWritable(error)) return false;
    QSqlQuery q(Database());
    q.prepare(QStringLiteral("UPDATE Sample SET 年龄=?,科室=?,床号=?,诊断=?,标本=?,标本状态=?,检测日期=?,接收日期=?,备注=?,"
                             "RowVersion=RowVersion+1 WHERE SampleID=? AND PID=? AND RowVersion=?"));
    for (const QVariant& v : {QVariant(s.age), QVariant(s.department), QVariant(s.bed), QVariant(s.diagnosis),
                              QVariant(s.sample), QVariant(s.state), QVariant(s.testDate), QVariant(s.receiveDate),
                              QVariant(s.remark), QVariant(qlonglong(key.sampleId)), QVariant(key.pid),
                              QVariant(qlonglong(key.rowVersion))})
        q.addBindValue(v);
    if (!ExecOnLoadedSample(q, key, error)) return false;
    if (newVersion) *newVersion = key.rowVersion + 1;
    return true;
}

bool CFlowDb::DeleteSample(const SampleKey& key, QString* error) {
    if (!CheckWritable(error)) return false;
    QSqlQuery q(Database());
    q.prepare(QStringLiteral("DELETE FROM Sample WHERE SampleID=? AND PID=? AND RowVersion=?"));
    q.addBindValue(qlonglong(key.sampleId));
    q.addBindValue(key.pid);
    q.addBindValue(qlonglong(key.rowVersion));
    return ExecOnLoadedSample(q, key, error);
}

QString CFlowDb::NextAutoId(int64_t from, int64_t* next, QString* error) const {
    std::set<int64_t> taken;
    if (m_open) {
        QSqlQuery q(Database());
        q.setForwardOnly(true);
        if (!q.exec(QStringLiteral("SELECT ID FROM Name WHERE ID LIKE 'a%'"))) SetError(error, ErrorText(q.lastError()));
        while (q.next())
            if (const int64_t n = AutoIdNumber(q.value(0).toString()); n >= 0) taken.insert(n);
    }
    int64_t n = std::max<int64_t>(from, 0);
    while (taken.count(n)) ++n;
    if (next) *next = n + 1;
    return QStringLiteral("a%1").arg(n);
}

QString CFlowDb::AddAutoPatient(const PatientFields& patient, int64_t from, int64_t* next, QString* error) {
    if (!CheckWritable(error)) return {};
    // IMMEDIATE: the free number is read under the write lock, so no other
    // program can take it between the look and the insert.
    if (!Exec(QStringLiteral("BEGIN IMMEDIATE"), error)) return {};
    auto fail = [&](const QString& why) {
        Exec(QStringLiteral("ROLLBACK"), nullptr);
        SetError(error, why);
        return QString();
    };
    QString why;
    const QString id = NextAutoId(from, next, &why);
    if (!why.isEmpty()) return fail(why);
    QSqlQuery ins(Database());
    ins.prepare(QStringLiteral("INSERT INTO Name(ID,姓名,性别,出生日期) VALUES(?,?,?,?)"));
    for (const QString& v : {id, patient.name, patient.sex, patient.birthDate}) ins.addBindValue(v);
    if (!ins.exec()) return fail(ErrorText(ins.lastError()));
    if (!Exec(QStringLiteral("COMMIT"), &why)) return fail(why);
    return id;
}

bool CFlowDb::RemovePatientWithoutSamples(const QString& id, QString* error) {
    if (!CheckWritable(error)) return false;
    QSqlQuery q(Database());
    q.prepare(QStringLiteral("DELETE FROM Name WHERE ID = ? AND NOT EXISTS (SELECT 1 FROM Sample WHERE PID = Name.ID)"));
    q.addBindValue(id);
    if (q.exec()) return true;
    SetError(error, ErrorText(q.lastError()));
    return false;
}

std::vector<std::pair<int64_t, QString>> CFlowDb::Items(QString* error) const {
    std::vector<std::pair<int64_t, QString>> items;
    if (!m_open) return items;
    QSqlQuery q(Database());
    if (!q.exec(QStringLiteral("SELECT ItemID, ItemName FROM Item ORDER BY ItemID"))) {
        SetError(error, ErrorText(q.lastError()));
        return items;
    }
    while (q.next()) items.emplace_back(q.value(0).toLongLong(), q.value(1).toString());
    return items;
}
