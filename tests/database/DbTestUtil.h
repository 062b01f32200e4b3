#pragma once
// Helpers of the database tests: a register in a folder of its own, raw
// connections that play another program, and file bytes.
#include <gtest/gtest.h>

#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>

#include "database/FlowDb.h"
#include "tests/report/ReportTestUtil.h"
#include "tests/support/FcsWriter.h"
#include "tests/support/db/FlowDbGenerator.h"

namespace dbtest {

inline PatientFields Patient(const QString& id, const QString& name) { return {id, name, QString(), QString()}; }

inline QByteArray FileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A connection of "another program" to a file, closed with the object.
class RawConnection {
public:
    explicit RawConnection(const QString& path) : m_name(QStringLiteral("raw-%1").arg(++Count())) {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        db.setDatabaseName(path);
        db.open();
    }
    ~RawConnection() {
        {
            QSqlDatabase db = QSqlDatabase::database(m_name, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(m_name);
    }
    // Runs each statement; false at the first that fails.
    bool Exec(std::initializer_list<const char*> statements) {
        QSqlQuery q(QSqlDatabase::database(m_name, false));
        for (const char* s : statements)
            if (!q.exec(QString::fromUtf8(s))) {
                ADD_FAILURE() << s << ": " << q.lastError().text().toStdString();
                return false;
            }
        return true;
    }

    QSqlDatabase Database() const { return QSqlDatabase::database(m_name, false); }

    // The first column of the first row of a query (invalid when none).
    QVariant Value(const char* sql) {
        QSqlQuery q(QSqlDatabase::database(m_name, false));
        return q.exec(QString::fromUtf8(sql)) && q.next() ? q.value(0) : QVariant();
    }

private:
    static int& Count() {
        static int n = 0;
        return n;
    }
    QString m_name;
};

class DbTest : public ::testing::Test {
protected:
    void SetUp() override {
        rtest::EnsureApp();
        path = QString::fromStdString(dir.Path()) + QStringLiteral("/Database/FlowDB.sqlite");
    }
    bool OpenDb(bool readOnly = false) {
        error.clear();
        return db.Open(path, &error, readOnly);
    }
    int64_t Add(const QString& id, const QString& name, SampleFields s = {}) {
        int64_t sampleId = 0;
        EXPECT_EQ(db.AddSample({id, name, QStringLiteral("男"), QStringLiteral("1980-01-01")}, s, &sampleId, &error),
                  AddResult::Added)
            << error.toStdString();
        return sampleId;
    }
    int Count(const char* table) {
        QSqlQuery q(db.Database());
        q.exec(QStringLiteral("SELECT count(*) FROM %1").arg(QString::fromLatin1(table)));
        return q.next() ? q.value(0).toInt() : -1;
    }

    lmtest::TempDir dir;
    QString path;
    CFlowDb db;
    QString error;
};

}  // namespace dbtest
