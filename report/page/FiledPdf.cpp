#include "report/page/FiledPdf.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {

// A record longer than this was not written by us: no path is that long.
constexpr qint64 kMaxOwnerRecordBytes = 1 << 16;

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

}  // namespace

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
    const QByteArray owner = pdfs.relativeFilePath(Canonical(reportPath)).toUtf8();
    const QString base = QFileInfo(reportPath).completeBaseName();
    // Every name is looked at: the report's own PDF may lie beyond a free
    // name that a deleted PDF left.
    QString free;
    for (int k = 1; k <= kFiledPdfNames; ++k) {
        const QString pdf = pdfs.filePath(PdfName(base, k));
        const Slot slot = SlotOf(pdf, owner);
        if (slot == Slot::Ours) return pdf;
        if (slot == Slot::Free && free.isEmpty()) free = pdf;
    }
    if (free.isEmpty())
        return fail(QStringLiteral("No free name is left for the PDF of %1 in %2.")
                        .arg(QFileInfo(reportPath).fileName(), Native(pdfs.path())));
    // Claimed before the PDF is written: a PDF never lies there without
    // its record, even when the program stops in between.
    QSaveFile record(FiledPdfOwnerRecord(free));
    if (!record.open(QIODevice::WriteOnly) || record.write(owner) != owner.size() || !record.commit())
        return fail(QStringLiteral("Cannot write %1:\n%2").arg(Native(record.fileName()), record.errorString()));
    return free;
}
