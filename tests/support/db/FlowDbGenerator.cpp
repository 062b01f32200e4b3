#include "tests/support/db/FlowDbGenerator.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>

#include <random>

#include "database/FlowDb.h"

namespace {

const QString kFamily = QStringLiteral("王李张刘陈杨黄赵吴周徐孙马朱胡郭何高林罗郑梁谢宋唐许韩冯邓曹彭曾肖田董袁潘于蒋蔡余杜");
const QString kGiven = QStringLiteral("伟芳娜秀英敏静丽强磊军洋勇艳杰娟涛明超秀兰霞平刚桂英华玉萍红娥玲芬燕彬鹏辉宇浩凯健俊帆帅旭宁");
const QStringList kDepartments = {QStringLiteral("血液内科"), QStringLiteral("儿科"), QStringLiteral("肿瘤科"),
                                  QStringLiteral("免疫科"), QStringLiteral("急诊科")};
const QStringList kDiagnoses = {QStringLiteral("白血病"), QStringLiteral("淋巴瘤"), QStringLiteral("贫血"),
                                QStringLiteral("骨髓瘤"), QStringLiteral("复查")};
const QStringList kSamples = {QStringLiteral("骨髓"), QStringLiteral("外周血")};
const QStringList kStates = {QStringLiteral("正常"), QStringLiteral("部分凝固"), QStringLiteral("标本不足"),
                             QStringLiteral("溶血")};

bool Fail(QSqlQuery& q, QString* error) {
    if (error) *error = q.lastError().text();
    return false;
}

}  // namespace

QString GeneratedPatientId(int32_t i) { return QStringLiteral("P%1").arg(i, 6, 10, QLatin1Char('0')); }

QString GeneratedPatientName(int32_t i) {
    const int32_t f = i % int32_t(kFamily.size());
    const int32_t g1 = (i / int32_t(kFamily.size())) % int32_t(kGiven.size());
    const int32_t g2 = (i * 7 + 3) % int32_t(kGiven.size());
    return QString(kFamily[f]) + kGiven[g1] + kGiven[g2];
}

bool GenerateFlowDb(CFlowDb& db, const FlowDbGenOptions& o, QString* error) {
    QSqlDatabase sql = db.Database();
    QSqlQuery q(sql);
    if (!q.exec(QStringLiteral("BEGIN IMMEDIATE"))) return Fail(q, error);
    std::mt19937 rng(o.seed);
    QSqlQuery name(sql);
    name.prepare(QStringLiteral("INSERT INTO Name(ID,姓名,性别,出生日期) VALUES(?,?,?,?)"));
    for (int32_t i = 0; i < o.patients; ++i) {
        name.bindValue(0, GeneratedPatientId(i));
        name.bindValue(1, GeneratedPatientName(i));
        name.bindValue(2, i % 2 ? QStringLiteral("女") : QStringLiteral("男"));
        name.bindValue(3, o.firstDay.addDays(-int(rng() % 30000)).toString(QStringLiteral("yyyy-MM-dd")));
        if (!name.exec()) return Fail(name, error);
    }
    QSqlQuery sample(sql);
    sample.prepare(QStringLiteral("INSERT INTO Sample(PID,年龄,科室,床号,接收日期,检测日期,RecordDate,标本,诊断,项目,数据路径,"
                                  "标本状态,备注) VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?)"));
    for (int32_t j = 0; j < o.samples && o.patients > 0; ++j) {
        const int32_t p = int32_t(rng() % uint32_t(o.patients));
        const QDate day = o.firstDay.addDays(int(rng() % uint32_t(std::max(o.days, 1))));
        const QString d = day.toString(QStringLiteral("yyyy-MM-dd"));
        sample.bindValue(0, GeneratedPatientId(p));
        sample.bindValue(1, double(1 + rng() % 90));
        sample.bindValue(2, kDepartments[int(rng() % kDepartments.size())]);
        sample.bindValue(3, QString::number(1 + rng() % 60));
        sample.bindValue(4, d);
        sample.bindValue(5, day.addDays(1).toString(QStringLiteral("yyyy-MM-dd")));
        sample.bindValue(6, d);
        sample.bindValue(7, kSamples[int(rng() % kSamples.size())]);
        sample.bindValue(8, kDiagnoses[int(rng() % kDiagnoses.size())]);
        sample.bindValue(9, qlonglong(0));
        sample.bindValue(10, day.toString(QStringLiteral("yyyyMM/dd-001")) + GeneratedPatientId(p) + QLatin1Char('/'));
        sample.bindValue(11, kStates[int(rng() % kStates.size())]);
        sample.bindValue(12, QStringLiteral("**"));
        if (!sample.exec()) return Fail(sample, error);
    }
    if (!q.exec(QStringLiteral("COMMIT"))) return Fail(q, error);
    return true;
}
