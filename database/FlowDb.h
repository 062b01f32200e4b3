#pragma once
// The patient and sample register: one SQLite file ("Database/FlowDB.sqlite")
// reached through Qt's SQL module. Every value a user typed travels as a bound
// parameter; column names and operators only ever come from the fixed lists
// of this file, so no text can change the shape of a statement.
//
// Opening never writes to a file it does not understand: a file that is not
// SQLite, or fails the quick check, is left byte for byte as it was and the
// register stays closed with a message. A file written by a newer version is
// opened read-only; an older one is copied to "FlowDB.sqlite.bak" and then
// migrated in one transaction, which re-reads the version under the write
// lock: two programs opening one old file migrate it once.
//
// SampleIDs are never handed out twice (AUTOINCREMENT), and every sample
// carries a row version that each change raises: a write names the sample,
// its patient and the version it was loaded with, so a sample another
// program changed or deleted meanwhile is never overwritten.
#include <QDate>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <QVariantList>

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

// The schema version this program writes (PRAGMA user_version).
// 2: SampleIDs are not reused, samples carry RowVersion, dates are 'YYYY-MM-DD'.
constexpr int32_t kFlowDbVersion = 2;
// How long a statement waits for another program holding the file.
constexpr int32_t kFlowDbBusyMs = 2000;

// A patient as the Name table keeps it.
struct PatientFields {
    QString id;
    QString name;
    QString sex;
    QString birthDate;  // "YYYY-MM-DD" or empty
};

// One sample; dates are "YYYY-MM-DD". sampleId 0: not stored yet.
struct SampleFields {
    int64_t sampleId = 0;
    QString pid;
    double age = 0;
    QString department;
    QString bed;
    QString receiveDate;
    QString testDate;
    QString recordDate;
    QString sample;
    QString diagnosis;
    int64_t item = 0;  // an ItemID of table Item, 0 for none
    QString dataPath;  // relative to the "Database" folder, '/' separated, ends in '/'
    QString state;
    QString remark;
};

// A row of the record list: the sample with its patient.
struct SampleRow {
    int64_t sampleId = 0;
    QString id;
    QString name;
    QString sex;
    double age = 0;
    QString department;
    QString bed;
    QString diagnosis;
    QString sample;
    QString receiveDate;
    QString testDate;
    QString state;
    QString remark;
    QString dataPath;
    int64_t rowVersion = 0;  // raised by every change of the sample
};

// What a write names: the sample as it was loaded.
struct SampleKey {
    int64_t sampleId = 0;
    QString pid;             // the sample's patient (without ASCII case)
    int64_t rowVersion = 0;  // as loaded
};

// The condition part of a list statement: SQL text with '?' placeholders
// (built only from the fixed column and operator lists) and the values bound
// to them in order. An empty where lists every sample.
struct ListQuery {
    QString where;
    QVariantList values;
    // Drive the join from Name: a contains-search on ID or name scans the
    // small Name table and reaches the samples through the PID index.
    bool fromName = false;
};

// Results of adding a sample.
enum class AddResult { Added, NameMismatch, Failed };

class CFlowDb {
public:
    CFlowDb();
    ~CFlowDb();
    CFlowDb(const CFlowDb&) = delete;
    CFlowDb& operator=(const CFlowDb&) = delete;

    // Opens path (its folder and the file are made when missing); readOnly
    // opens without write access whatever the file allows. False with *error
    // saying why; the register is then closed.
    bool Open(const QString& path, QString* error, bool readOnly = false);
    void Close();
    bool IsOpen() const { return m_open; }
    bool IsReadOnly() const { return m_readOnly; }
    // Why writes are refused (empty while writable).
    const QString& ReadOnlyReason() const { return m_readOnlyReason; }
    const QString& Path() const { return m_path; }
    int32_t SchemaVersion() const { return m_version; }
    QSqlDatabase Database() const;

    // ----------------------------------------------------- list statements
    static ListQuery ById(const QString& text);
    static ListQuery ByName(const QString& text);
    // The samples of one patient (the ID exactly, without ASCII case).
    static ListQuery ByPatient(const QString& id);
    static ListQuery ByRecordDate(const QDate& day);
    // The select of the record list, executed and positioned before the first
    // row; read rows with RowOf. Null with *error on failure.
    std::optional<QSqlQuery> Select(const ListQuery& q, QString* error) const;
    static SampleRow RowOf(const QSqlQuery& q);
    // Every row at once (tests and small lists).
    std::vector<SampleRow> List(const ListQuery& q, QString* error) const;

    // ------------------------------------------------------ single records
    // The stored name of patient id (IDs compare without ASCII case); none
    // when the patient is not registered, or on error (*error set).
    std::optional<QString> PatientName(const QString& id, QString* error) const;
    std::optional<SampleRow> LoadSample(int64_t sampleId, QString* error) const;
    // The patient (when new) and the sample in one transaction. A patient
    // stored under another name gives NameMismatch and adds nothing.
    AddResult AddSample(const PatientFields& patient, const SampleFields& sample, int64_t* sampleId, QString* error);
    // Age, department, bed, diagnosis, sample, state, both dates and remark of
    // the sample of key. False (with *error), writing nothing, when that
    // sample of that patient is gone or was changed since it was loaded;
    // *newVersion gets the version the sample has after the change.
    bool ModifySample(const SampleKey& key, const SampleFields& sample, int64_t* newVersion, QString* error);
    // The same checks as ModifySample.
    bool DeleteSample(const SampleKey& key, QString* error);
    // "a" + the first number from `from` on whose ID no patient has; *next
    // gets that number plus one. Only a look: another program may take it
    // before it is used (AddAutoPatient takes one).
    QString NextAutoId(int64_t from, int64_t* next, QString* error) const;
    // Registers patient (its id ignored) under the next automatic ID from
    // `from` on, chosen and taken in one transaction: two programs filing at
    // once never share an ID. Returns the ID (empty with *error on failure);
    // *next gets its number plus one.
    QString AddAutoPatient(const PatientFields& patient, int64_t from, int64_t* next, QString* error);
    // Takes back a patient that has no sample (one AddAutoPatient registered
    // for a sample that could not be filed); a patient with samples stays.
    bool RemovePatientWithoutSamples(const QString& id, QString* error);
    // The test items, (ItemID, ItemName) in ItemID order.
    std::vector<std::pair<int64_t, QString>> Items(QString* error) const;

    // The condition "column contains the bound text": ASCII letters in either
    // case, like LIKE, but the text may be of any length and every character
    // of it ("%", "_" too) stands for itself.
    static QString Contains(const QString& column);
    // The select list and joins of every list statement (before WHERE);
    // withVersion false reads 0 for a register older than RowVersion.
    static QString SelectHead(bool fromName, bool withVersion = true);
    // A stored date as 'YYYY-MM-DD': 'Y/M/D' or 'Y-M-D' with one- or two-digit
    // month and day, followed by nothing or by a (possibly cut) time. Anything
    // else comes back as it was.
    static QString NormalizeDate(const QString& stored);

private:
    bool CheckWritable(QString* error) const;
    bool CreateSchema(QString* error);
    bool Migrate(QString* error);
    bool MigrateSteps(int32_t from, QString* error);
    bool RepairDates(QString* error);
    bool Exec(const QString& sql, QString* error);
    // The engine's text, with a plain reason first for the cases a user can
    // act on (naming the file and its folder where writing failed).
    QString ErrorText(const QSqlError& e) const;
    // Why a keyed write found nothing to change.
    QString MissingSampleText(const SampleKey& key) const;
    // Runs a write aimed at the sample `key` names as it was loaded.
    bool ExecOnLoadedSample(QSqlQuery& q, const SampleKey& key, QString* error) const;

    QString m_connection;
    QString m_path;
    bool m_open = false;
    bool m_readOnly = false;
    QString m_readOnlyReason;
    int32_t m_version = 0;
};
