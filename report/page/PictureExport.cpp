// Pictures of the page: an area as a JPG file and the whole canvas as a PDF.
// Both draw through CPagePainter as paper shows the page, and both write
// beside the target and rename over it, so a failed export never costs the
// user a file they already had.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QPrinter>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>

#include "base/AtomicFile.h"

#include "platform/PaintHelpers.h"
#include "report/page/LumitraDoc.h"
#include "report/page/PagePainter.h"
#include "report/page/PictureFile.h"

namespace {

void SetError(QString* error, const QString& text) {
    if (error) *error = text;
}

QString Native(const QString& path) { return QDir::toNativeSeparators(path); }

// A PDF writer that ran out of room still ends the painter without a word;
// only a complete file carries the end-of-file marker in its last bytes.
bool PdfLooksComplete(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly) || f.size() < 16) return false;
    f.seek(f.size() - std::min<qint64>(f.size(), 32));
    return f.readAll().trimmed().endsWith("%%EOF");
}

}  // namespace

void CLumitraDoc::DrawObjectsInRect(const CRect& area, QPainter* p) const {
    if (!p || area.IsRectEmpty()) return;
    lm::FillRect(*p, area, CPagePainter::kPaper);
    CPagePainter::DrawObjects(*p, *this, area, PageTarget::Paper);
}

bool CLumitraDoc::SaveAreaAsJpg(int32_t x, int32_t y, int32_t width, int32_t height, const QString& path,
                                QString* error) const {
    if (PictureFormatOf(path) != PictureFormat::Jpg) {
        SetError(error, QStringLiteral("Pictures of the page are written as JPG files (\".jpg\"):\n%1").arg(Native(path)));
        return false;
    }
    if (width <= 0 || height <= 0) {
        SetError(error, QStringLiteral("The area to save is empty (%1 x %2).").arg(width).arg(height));
        return false;
    }
    if (int64_t(x) + width > INT32_MAX || int64_t(y) + height > INT32_MAX) {
        SetError(error, QStringLiteral("The area to save lies beyond the page."));
        return false;
    }
    const QImage picture = CPagePainter::RenderArea(*this, CRect(x, y, x + width, y + height));
    if (picture.isNull()) {
        SetError(error, QStringLiteral("The area is too large for a picture (%1 x %2).").arg(width).arg(height));
        return false;
    }
    return SavePictureJpg(picture, path, error);
}

bool CLumitraDoc::ExportPdf(const QString& path, QString* error) const {
    if (path.isEmpty()) {
        SetError(error, QStringLiteral("No file was named for the PDF."));
        return false;
    }
    lm::AtomicFileWriter temp;
    std::string why;
    if (!temp.Open(QFile::encodeName(path).toStdString(), &why)) {
        SetError(error, QStringLiteral("Cannot write %1:\n%2").arg(Native(path), QString::fromStdString(why)));
        return false;
    }
    // The printer writes the file by name; the writer keeps it locked.
    const QString tempName = QFile::decodeName(QByteArray::fromStdString(temp.TempPath()));
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(tempName);
    QString printError;
    if (!CPagePainter::Print(printer, *this, &printError)) {
        SetError(error, QStringLiteral("Cannot write %1:\n%2").arg(Native(path), printError));
        return false;
    }
    if (!PdfLooksComplete(tempName)) {
        SetError(error, QStringLiteral("Cannot write %1:\nthe PDF could not be written whole.").arg(Native(path)));
        return false;
    }
    if (!temp.Commit(&why)) {
        SetError(error, QStringLiteral("Cannot write %1:\n%2").arg(Native(path), QString::fromStdString(why)));
        return false;
    }
    return true;
}
