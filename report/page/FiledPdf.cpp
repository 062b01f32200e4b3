#include "report/page/FiledPdf.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QRegularExpression>
#include <QTemporaryFile>

#include <cerrno>
#include <unistd.h>

namespace {

// A record longer than this was not written by us: no path is that long.
constexpr qint64 kMaxOwnerRecordBytes = 1 << 16;
// How long a save waits for another program writing a PDF of a report of
// the same name.
constexpr int kPdfLockWaitMs = 10000;
// A lock older than this is taken for one a killed program left even when
// the owner cannot be asked (another machine on a shared folder).
constexpr int kPdfLockStaleMs = 10 * 60 * 1000;
// What QTemporaryFile puts in place of "XXXXXX".
constexpr qsizetype kTempSuffixLength = 6;

QString Native(const QString& path) { return QDir::toNativeSeparators(path); }

// Canonical where the file is there, so two spellings of one path agree.
QString Canonical(const QString& path) {
    const QFileInfo info(path);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : canonical;
}

// The PDF name of the k-th try, from 1.
QString PdfName(const QString& base, int k) {
    return k == 1 ? base + QStringLiteral(".pdf") : base + QStringLiteral(" (%1).pdf").arg(k);
}

enum class Slot { Free, Ours, Taken };

// An unreadable record counts as another report's: its PDF is kept.
Slot SlotOf(const QString& pdf, const QByteArray& owner) {
    QFile record(FiledPdfOwnerRecord(pdf));
    if (!record.exists()) return QFileInfo::exists(pdf) ? Slot::Taken : Slot::Free;
    if (!record.open(QIODevice::ReadOnly) || record.size() > kMaxOwnerRecordBytes) return Slot::Taken;
    return record.readAll() == owner ? Slot::Ours : Slot::Taken;
}

// The report as its records name it: its path from the PDF folder.
QByteArray OwnerOf(const QDir& pdfs, const QString& reportPath) {
    return pdfs.relativeFilePath(Canonical(reportPath)).toUtf8();
}

enum class Created { Yes, Exists, Failed };

// Creates the record whole, or not at all when it is there already: the
// record is written beside it and linked into place, which fails rather
// than replace one another program made meanwhile.
Created CreateRecord(const QString& record, const QByteArray& owner, QString* error) {
    const QFileInfo info(record);
    QTemporaryFile temp(info.absoluteFilePath() + QStringLiteral(".XXXXXX"));
    // Read by every program on the folder, as the PDF beside it is.
    if (!temp.open() || temp.write(owner) != owner.size() || !temp.flush() ||
        !temp.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther)) {
        *error = QStringLiteral("Cannot write %1:\n%2").arg(Native(record), temp.errorString());
        return Created::Failed;
    }
    if (::link(QFile::encodeName(temp.fileName()).constData(), QFile::encodeName(record).constData()) == 0)
        return Created::Yes;
    if (errno == EEXIST) return Created::Exists;
    // A folder without hard links: created exclusively, then written.
    QFile direct(record);
    if (!direct.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return direct.exists() ? Created::Exists : (*error = direct.errorString(), Created::Failed);
    if (direct.write(owner) != owner.size() || !direct.flush()) {
        *error = QStringLiteral("Cannot write %1:\n%2").arg(Native(record), direct.errorString());
        direct.remove();
        return Created::Failed;
    }
    return Created::Yes;
}

// The name the report at reportPath recorded as its own, PDF or not.
QString OwnName(const QDir& pdfs, const QByteArray& owner, const QString& base) {
    for (int k = 1; k <= kFiledPdfNames; ++k) {
        const QString pdf = pdfs.filePath(PdfName(base, k));
        if (SlotOf(pdf, owner) == Slot::Ours) return pdf;
    }
    return {};
}

// Temporary files of an earlier write of pdf, or of its record, that was
// killed before it could rename them: ".<pdf name>.XXXXXX" and
// ".<pdf name>.owner.XXXXXX".
void RemoveLeftovers(const QString& pdf) {
    const QFileInfo info(pdf);
    const QString prefix = QLatin1Char('.') + info.fileName() + QLatin1Char('.');
    const QString recordPrefix = prefix + QStringLiteral("owner.");
    QDir dir = info.dir();
    for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        const bool pdfTemp = name.startsWith(prefix) && name.size() == prefix.size() + kTempSuffixLength;
        const bool recordTemp = name.startsWith(recordPrefix) && name.size() == recordPrefix.size() + kTempSuffixLength;
        if ((pdfTemp && !name.endsWith(QStringLiteral(".owner"))) || recordTemp) dir.remove(name);
    }
}

}  // namespace

QString FiledSampleFolder(const QString& databaseFolder, const QString& reportPath) {
    static const QRegularExpression month(QStringLiteral("^[0-9]{6}$"));
    static const QRegularExpression sample(QStringLiteral("^[0-9]{2}-[0-9]{3}"));
    if (databaseFolder.isEmpty() || reportPath.isEmpty()) return {};
    const QString folder = QFileInfo(reportPath).absolutePath();
    const QString rel = QDir(Canonical(databaseFolder)).relativeFilePath(Canonical(folder));
    const QStringList parts = rel.split(QLatin1Char('/'));
    if (parts.size() != 2 || !month.match(parts[0]).hasMatch() || !sample.match(parts[1]).hasMatch()) return {};
    return folder + QLatin1Char('/');
}

QString FiledPdfOwnerRecord(const QString& pdfPath) {
    const QFileInfo pdf(pdfPath);
    return pdf.dir().filePath(QLatin1Char('.') + pdf.fileName() + QStringLiteral(".owner"));
}

QString ClaimFiledPdf(const QString& folder, const QString& reportPath, QString* error) {
    auto fail = [error](const QString& why) {
        if (error) *error = why;
        return QString();
    };
    if (!QDir().mkpath(folder)) return fail(QStringLiteral("Cannot make the folder %1.").arg(Native(folder)));
    const QDir pdfs(Canonical(folder));
    const QByteArray owner = OwnerOf(pdfs, reportPath);
    const QString base = QFileInfo(reportPath).completeBaseName();
    // Every name is looked at: the report's own PDF may lie beyond a free
    // name that a deleted PDF left.
    if (const QString own = OwnName(pdfs, owner, base); !own.isEmpty()) return own;
    for (int k = 1; k <= kFiledPdfNames; ++k) {
        const QString pdf = pdfs.filePath(PdfName(base, k));
        if (SlotOf(pdf, owner) != Slot::Free) continue;
        // Claimed before the PDF is written: a PDF never lies there without
        // its record, even when the program stops in between. A name another
        // program recorded first is looked at again: it may be this report's.
        QString why;
        switch (CreateRecord(FiledPdfOwnerRecord(pdf), owner, &why)) {
            case Created::Yes: return pdf;
            case Created::Failed: return fail(why);
            case Created::Exists:
                if (SlotOf(pdf, owner) == Slot::Ours) return pdf;
                break;
        }
    }
    return fail(QStringLiteral("No free name is left for the PDF of %1 in %2.")
                    .arg(QFileInfo(reportPath).fileName(), Native(pdfs.path())));
}

QString FindFiledPdf(const QString& folder, const QString& reportPath) {
    if (!QFileInfo(folder).isDir()) return {};
    const QDir pdfs(Canonical(folder));
    const QString pdf = OwnName(pdfs, OwnerOf(pdfs, reportPath), QFileInfo(reportPath).completeBaseName());
    return QFileInfo(pdf).isFile() ? pdf : QString();
}

bool WriteFiledPdf(const QString& folder, const QString& reportPath, const FiledPdfWriter& write, QString* error) {
    if (!QDir().mkpath(folder)) {
        if (error) *error = QStringLiteral("Cannot make the folder %1.").arg(Native(folder));
        return false;
    }
    const QString base = QFileInfo(reportPath).completeBaseName();
    QLockFile lock(QDir(folder).filePath(QLatin1Char('.') + base + QStringLiteral(".pdf.lock")));
    lock.setStaleLockTime(kPdfLockStaleMs);
    if (!lock.tryLock(kPdfLockWaitMs)) {
        if (error)
            *error = QStringLiteral("Another program keeps writing a PDF of %1 in %2.")
                         .arg(QFileInfo(reportPath).fileName(), Native(folder));
        return false;
    }
    const QString pdf = ClaimFiledPdf(folder, reportPath, error);
    if (pdf.isEmpty()) return false;
    RemoveLeftovers(pdf);
    return write(pdf, error);
}
