#include "report/page/SampleCopies.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QRegularExpression>

#include <cstdio>
#include <unistd.h>

#include "core/DataSet.h"
#include "core/DataShell.h"
#include "platform/UiServices.h"
#include "report/page/LumitraDoc.h"

namespace {

// Suffixes tried after "yyMMdd-<file name>": "000" to "099".
constexpr int kCopySuffixes = 100;
constexpr qint64 kChunkBytes = 4 << 20;
// How long a save waits for another program copying into the same folder.
constexpr int kFolderLockWaitMs = 10000;
// A lock older than this is taken for one a killed program left even when
// the owner cannot be asked; copying a large file to a slow share takes long.
constexpr int kFolderLockStaleMs = 60 * 60 * 1000;
constexpr char kFolderLock[] = ".filing.lock";
constexpr char kPartSuffix[] = ".part";

QString Native(const QString& path) { return QDir::toNativeSeparators(path); }

// Where a copy is written until it is whole.
QString PartOf(const QString& target) {
    const QFileInfo info(target);
    return info.dir().filePath(QLatin1Char('.') + info.fileName() + QString::fromLatin1(kPartSuffix));
}

bool SameBytes(const QString& a, const QString& b) {
    QFile fa(a), fb(b);
    if (fa.size() != fb.size() || !fa.open(QIODevice::ReadOnly) || !fb.open(QIODevice::ReadOnly)) return false;
    while (!fa.atEnd()) {
        const QByteArray x = fa.read(kChunkBytes);
        if (x.isEmpty() || x != fb.read(kChunkBytes)) return false;
    }
    return fb.atEnd();
}

// Every copy of the file name in the folder, of any day, in name order.
QStringList CopiesOf(const QDir& folder, const QString& fileName) {
    const QRegularExpression name(QStringLiteral("^[0-9]{6}-") + QRegularExpression::escape(fileName) +
                                  QStringLiteral("([0-9]{3})?$"));
    QStringList out;
    for (const QString& n : folder.entryList(QDir::Files | QDir::Hidden, QDir::Name))
        if (name.match(n).hasMatch()) out << folder.filePath(n);
    return out;
}

bool CopyWhole(const QString& source, const QString& target, QString* error) {
    const QString part = PartOf(target);
    QFile in(source), out(part);
    auto fail = [&](const QString& why) {
        out.close();
        QFile::remove(part);
        *error = QStringLiteral("Cannot copy %1 to %2: %3").arg(Native(source), Native(target), why);
        return false;
    };
    if (!in.open(QIODevice::ReadOnly)) return fail(in.errorString());
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)) return fail(out.errorString());
    while (!in.atEnd()) {
        const QByteArray chunk = in.read(kChunkBytes);
        if (chunk.isEmpty() && in.error() != QFile::NoError) return fail(in.errorString());
        if (out.write(chunk) != chunk.size()) return fail(out.errorString());
    }
    // On the disk before it takes its name: a power cut never leaves a
    // short file under the copy's name.
    if (!out.flush() || ::fsync(out.handle()) != 0) return fail(out.errorString());
    out.close();
    if (QFileInfo::exists(target)) return fail(QStringLiteral("a file of that name appeared meanwhile"));
    if (std::rename(QFile::encodeName(part).constData(), QFile::encodeName(target).constData()) != 0)
        return fail(QStringLiteral("the finished copy could not take its name"));
    return true;
}

}  // namespace

bool PlanSampleCopies(const CLumitraDoc& doc, const QString& folder, std::vector<SampleCopy>* plan, QString* error) {
    plan->clear();
    const QString here = QFileInfo(folder).canonicalFilePath();
    if (here.isEmpty()) {
        *error = QStringLiteral("The sample folder %1 is missing.").arg(Native(folder));
        return false;
    }
    const QDir dir(here);
    // Comparing a large file with a copy takes as long as reading both.
    const lm::WaitCursor busy;
    for (int32_t i = 0; i < doc.GetDataShellCount(); ++i) {
        CDataSet* ds = doc.GetDataShellAt(i)->GetDataSet();
        if (!ds || !ds->GetEventMatrix()) continue;
        const QFileInfo file(QString::fromStdString(ds->GetPathName()));
        if (!file.isFile() || file.canonicalPath() == here) continue;
        SampleCopy copy{ds, file.absoluteFilePath(), {}, false};
        // Two data sets of one file share its copy.
        for (const SampleCopy& c : *plan)
            if (QFileInfo(c.source) == file) copy.target = c.target, copy.there = c.there;
        if (copy.target.isEmpty())
            for (const QString& candidate : CopiesOf(dir, file.fileName()))
                if (SameBytes(candidate, copy.source)) {
                    copy.target = candidate;
                    copy.there = true;
                    break;
                }
        // A name is taken when a file has it or another copy of this save.
        auto taken = [&](const QString& name) {
            return QFileInfo::exists(name) ||
                   std::any_of(plan->begin(), plan->end(), [&](const SampleCopy& c) { return c.target == name; });
        };
        const QString stem = dir.filePath(QDate::currentDate().toString(QStringLiteral("yyMMdd-")) + file.fileName());
        for (int k = -1; k < kCopySuffixes && copy.target.isEmpty(); ++k) {
            const QString name = k < 0 ? stem : stem + QStringLiteral("%1").arg(k, 3, 10, QLatin1Char('0'));
            if (!taken(name)) copy.target = name;
        }
        if (copy.target.isEmpty()) {
            *error = QStringLiteral("No free name is left for a copy of %1 in %2.").arg(file.fileName(), Native(here));
            return false;
        }
        plan->push_back(copy);
    }
    return true;
}

bool MakeSampleCopies(const QString& folder, const std::vector<SampleCopy>& plan, QString* error) {
    const QDir dir(folder);
    QLockFile lock(dir.filePath(QString::fromLatin1(kFolderLock)));
    lock.setStaleLockTime(kFolderLockStaleMs);
    if (!lock.tryLock(kFolderLockWaitMs)) {
        *error = QStringLiteral("Another program keeps copying files into %1.").arg(Native(folder));
        return false;
    }
    // Holding the lock, every unfinished copy is one a killed save left.
    static const QRegularExpression part(QStringLiteral("^\\.[0-9]{6}-.*\\.part$"));
    for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden))
        if (part.match(name).hasMatch()) QFile::remove(dir.filePath(name));
    const lm::WaitCursor busy;
    std::vector<QString> made;
    for (const SampleCopy& c : plan) {
        if (c.there || std::find(made.begin(), made.end(), c.target) != made.end()) continue;
        if (!CopyWhole(c.source, c.target, error)) return false;
        made.push_back(c.target);
    }
    return true;
}
