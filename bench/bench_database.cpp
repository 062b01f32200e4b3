// The patient register at its working size: 20,000 patients and 100,000
// samples over five years, built in a temporary folder. Times building the
// file, opening it with its quick check, the panel's searches, adding one
// sample, and the first screen of a list of every sample. Run by hand:
//   bench_database
// Script-readable lines: BENCH db_build_s, db_open_ms, db_search_ms,
// db_find3_ms, db_history_ms, db_add_ms, db_list_first_screen_ms (and
// db_list_longest_block_ms, the longest the list kept the window waiting).
#include <QApplication>
#include <QDir>
#include <QSqlQuery>
#include <QTableView>
#include <QTemporaryDir>

#include <cstdio>
#include <functional>

#include "bench/BenchCommon.h"
#include "database/DBFindDlg.h"
#include "database/FlowDb.h"
#include "database/RecordModel.h"
#include "tests/support/db/FlowDbGenerator.h"

namespace {

using lmbench::Clock;
using lmbench::Ms;

// Median time of runs of f, in ms.
double Median(int runs, const std::function<void()>& f) {
    std::vector<double> t;
    for (int i = 0; i < runs; ++i) {
        const auto a = Clock::now();
        f();
        t.push_back(Ms(a, Clock::now()));
    }
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
}

size_t Hits(CFlowDb& db, const ListQuery& q) {
    QString error;
    const size_t n = db.List(q, &error).size();
    if (!error.isEmpty()) std::printf("  error: %s\n", qPrintable(error));
    return n;
}

void Plan(CFlowDb& db, const char* what, const ListQuery& q) {
    QSqlQuery p(db.Database());
    p.prepare(QStringLiteral("EXPLAIN QUERY PLAN ") + CFlowDb::SelectHead(q.fromName) +
              (q.where.isEmpty() ? QString() : QStringLiteral(" WHERE ") + q.where));
    for (const QVariant& v : q.values) p.addBindValue(v);
    p.exec();
    std::printf("  plan of %s:", what);
    while (p.next()) std::printf(" [%s]", qPrintable(p.value(3).toString()));
    std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
    lmbench::UseOffscreenWithoutDisplay();
    QApplication app(argc, argv);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Database/FlowDB.sqlite"));
    FlowDbGenOptions o;
    std::printf("bench_database: %d patients, %d samples\n", o.patients, o.samples);

    QString error;
    const auto t0 = Clock::now();
    {
        CFlowDb db;
        if (!db.Open(path, &error) || !GenerateFlowDb(db, o, &error)) {
            std::printf("cannot build: %s\n", qPrintable(error));
            return 1;
        }
    }
    lmbench::Bench("db_build_s", lmbench::Seconds(t0, Clock::now()), "s");
    std::printf("  file: %lld bytes\n", static_cast<long long>(QFileInfo(path).size()));

    CFlowDb db;
    const double open = Median(5, [&] {
        db.Close();
        if (!db.Open(path, &error)) std::printf("  cannot open: %s\n", qPrintable(error));
    });
    lmbench::Bench("db_open_ms", open, "ms");

    const ListQuery byId = CFlowDb::ById(QStringLiteral("P01234"));
    const ListQuery byName = CFlowDb::ByName(GeneratedPatientName(1234).mid(1));
    Plan(db, "ID search", byId);
    std::printf("  hits: ID %zu, name %zu\n", Hits(db, byId), Hits(db, byName));
    const double search = std::max(Median(21, [&] { Hits(db, byId); }), Median(21, [&] { Hits(db, byName); }));
    lmbench::Bench("db_search_ms", search, "ms");

    ListQuery find3;
    CDBFindDlg::BuildWhere({{"", "科室", "=", "儿科"}, {"AND", "标本", "=", "骨髓"}, {"OR", "年龄", "=", "30"}}, &find3, &error);
    Plan(db, "three conditions", find3);
    std::printf("  hits: three conditions %zu\n", Hits(db, find3));
    lmbench::Bench("db_find3_ms", Median(11, [&] { Hits(db, find3); }), "ms");

    const ListQuery history = CFlowDb::ByRecordDate(o.firstDay.addDays(400));
    Plan(db, "history", history);
    std::printf("  hits: history %zu\n", Hits(db, history));
    lmbench::Bench("db_history_ms", Median(21, [&] { Hits(db, history); }), "ms");

    int n = 0;
    const double add = Median(21, [&] {
        SampleFields s;
        s.recordDate = QStringLiteral("2026-01-01");
        s.dataPath = QStringLiteral("202601/01-001x/");
        const bool known = (n++ % 2) == 0;
        const QString id = known ? GeneratedPatientId(n) : QStringLiteral("new%1").arg(n);
        const QString name = known ? GeneratedPatientName(n) : QStringLiteral("新病人");
        if (db.AddSample({id, name, QStringLiteral("男"), QString()}, s, nullptr, &error) != AddResult::Added)
            std::printf("  cannot add: %s\n", qPrintable(error));
    });
    lmbench::Bench("db_add_ms", add, "ms");

    CRecordModel model;
    QTableView view;
    view.setModel(&model);
    view.resize(700, 500);
    view.show();
    QApplication::processEvents();
    const auto l0 = Clock::now();
    auto all = db.Select({}, &error);
    model.Start(std::move(*all));
    view.repaint();
    lmbench::Bench("db_list_first_screen_ms", Ms(l0, Clock::now()), "ms");
    bool done = false;
    QObject::connect(&model, &CRecordModel::finished, [&] { done = true; });
    while (!done) QApplication::processEvents();
    std::printf("  list: %d rows after %.1f ms\n", model.rowCount(), Ms(l0, Clock::now()));
    lmbench::Bench("db_list_longest_block_ms", double(model.LongestSliceMs()), "ms");
    return 0;
}
