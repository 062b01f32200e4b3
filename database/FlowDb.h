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
// migrated in one transaction.
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
constexpr int32_t kFlowDbVersion = 1;
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
    // one sample; false (with *error) when it is not there any more.
    bool ModifySample(const SampleFields& sample, QString* error);
    bool DeleteSample(int64_t sampleId, QString* error);
    // "a" + the first number from `from` on whose ID no patient has; *next
    // gets that number plus one.
    QString NextAutoId(int64_t from, int64_t* next, QString* error) const;
    // The test items, (ItemID, ItemName) in ItemID order.
    std::vector<std::pair<int64_t, QString>> Items(QString* error) const;

    // "%" and "_" and the escape itself made literal for LIKE ... ESCAPE '\'.
    static QString EscapeLike(const QString& text);
    // The select list and joins of every list statement (before WHERE).
    static QString SelectHead(bool fromName);

private:
    bool CheckWritable(QString* error) const;
    bool CreateSchema(QString* error);
    bool Migrate(QString* error);
    bool Exec(const QString& sql, QString* error);

    QString m_connection;
    QString m_path;
    bool m_open = false;
    bool m_readOnly = false;
    QString m_readOnlyReason;
    int32_t m_version = 0;
};
