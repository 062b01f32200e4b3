// The plot as a picture: "Export Graphic" to a JPG or BMP file, and the copy
// to the clipboard. Also the picture writers the page export shares.
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImageWriter>
#include <QPainter>

#include <cstdint>
#include <cstring>
#include <vector>

#include "base/AtomicFile.h"
#include "platform/AtomicSave.h"
#include "platform/UiServices.h"
#include "report/app/MainFrame.h"
#include "report/app/LumitraApp.h"
#include "report/page/PictureFile.h"
#include "report/plot/Plot.h"

namespace {

constexpr char kExportFilter[] = "JPG Files (*.jpg)|*.jpg|位图文件(*.bmp)|*.bmp||";
constexpr char kNoJpegWriter[] = "Export.Dll false";

// Sizes of the two headers of a BMP file.
constexpr uint32_t kBmpFileHeaderSize = 14;
constexpr uint32_t kBmpInfoHeaderSize = 40;

void PutU16(std::vector<uint8_t>& b, uint16_t v) {
    b.push_back(uint8_t(v & 0xFF));
    b.push_back(uint8_t(v >> 8));
}

void PutU32(std::vector<uint8_t>& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t((v >> (8 * i)) & 0xFF));
}

bool PictureSizeOk(const QImage& picture) {
    const int64_t w = picture.width(), h = picture.height();
    return !picture.isNull() && w > 0 && h > 0 && w <= kMaxPictureSide && h <= kMaxPictureSide &&
           w * h <= kMaxPicturePixels;
}

void SetError(QString* error, const QString& text) {
    if (error) *error = text;
}

QString Native(const QString& path) { return QDir::toNativeSeparators(path); }

}  // namespace

// =============================================================== writers

PictureFormat PictureFormatOf(const QString& path) {
    const QString ext = QFileInfo(path).suffix().toLower();
    if (ext == QLatin1String("jpg") || ext == QLatin1String("jpeg")) return PictureFormat::Jpg;
    if (ext == QLatin1String("bmp")) return PictureFormat::Bmp;
    return PictureFormat::Unknown;
}

QByteArray& JpegWriterFormat() {
    static QByteArray format("jpeg");
    return format;
}

bool JpegWriterAvailable() { return QImageWriter::supportedImageFormats().contains(JpegWriterFormat()); }

bool SavePictureJpg(const QImage& picture, const QString& path, QString* error) {
    if (!PictureSizeOk(picture)) {
        SetError(error, QStringLiteral("The picture is too large to write."));
        return false;
    }
    if (!JpegWriterAvailable()) {
        SetError(error, QString::fromLatin1(kNoJpegWriter));
        return false;
    }
    QString why;
    const bool saved = lm::SaveThroughTemp(
        path,
        [&picture](QIODevice& device, QString* writeWhy) {
            QImageWriter writer(&device, JpegWriterFormat());
            if (writer.write(picture)) return true;
            *writeWhy = writer.errorString();
            return false;
        },
        &why);
    if (!saved) {
        SetError(error, QStringLiteral("Cannot write %1:\n%2").arg(Native(path), why));
        return false;
    }
    return true;
}

bool SavePictureBmp(const QImage& picture, const QString& path, QString* error) {
    if (!PictureSizeOk(picture)) {
        SetError(error, QStringLiteral("The picture is too large to write."));
        return false;
    }
    const QImage img = picture.convertToFormat(QImage::Format_RGB32);
    const uint32_t w = uint32_t(img.width()), h = uint32_t(img.height());
    const uint32_t bitsSize = w * h * 4;
    std::vector<uint8_t> bytes;
    bytes.reserve(kBmpFileHeaderSize + kBmpInfoHeaderSize + bitsSize);
    // File header: "BM", file size, two reserved words, offset of the bits.
    bytes.push_back('B');
    bytes.push_back('M');
    PutU32(bytes, kBmpFileHeaderSize + kBmpInfoHeaderSize + bitsSize);
    PutU16(bytes, 0);
    PutU16(bytes, 0);
    PutU32(bytes, kBmpFileHeaderSize + kBmpInfoHeaderSize);
    // Info header: 32 bits a pixel, no compression, every other field 0; a
    // positive height puts the bottom row first.
    PutU32(bytes, kBmpInfoHeaderSize);
    PutU32(bytes, w);
    PutU32(bytes, h);
    PutU16(bytes, 1);
    PutU16(bytes, 32);
    for (int i = 0; i < 6; ++i) PutU32(bytes, 0);
    for (uint32_t row = h; row-- > 0;) {
        const auto* line = reinterpret_cast<const QRgb*>(img.constScanLine(int(row)));
        for (uint32_t x = 0; x < w; ++x) {
            bytes.push_back(uint8_t(qBlue(line[x])));
            bytes.push_back(uint8_t(qGreen(line[x])));
            bytes.push_back(uint8_t(qRed(line[x])));
            bytes.push_back(0);
        }
    }
    std::string why;
    if (!lm::WriteFileAtomic(QFile::encodeName(path).toStdString(), bytes, &why)) {
        SetError(error, QStringLiteral("Cannot write %1:\n%2").arg(Native(path), QString::fromStdString(why)));
        return false;
    }
    return true;
}

// =========================================================== plot picture

QImage CPLOT::RenderPicture() {
    const int64_t width = int64_t(m_rect.right) - m_rect.left;
    const int64_t w = width + (width & 1);  // an even width
    const int64_t h = int64_t(m_rect.bottom) - m_rect.top;
    if (w <= 0 || h <= 0 || w > kMaxPictureSide || h > kMaxPictureSide || w * h > kMaxPicturePixels) return QImage();
    QImage picture(int(w), int(h), QImage::Format_RGB32);
    if (picture.isNull()) return picture;
    picture.fill(qRgb(255, 255, 255));
    QPainter p(&picture);
    p.translate(-m_rect.left, -m_rect.top);
    // A picture shows the plot as paper does: without selection handles.
    DrawPrint(&p);
    p.end();
    return picture;
}

bool CPLOT::ExportGraphicTo(const QString& path, QString* error) {
    const PictureFormat format = PictureFormatOf(path);
    if (format == PictureFormat::Unknown) {
        SetError(error, QStringLiteral("%1: a picture is written as .jpg or .bmp.").arg(Native(path)));
        return false;
    }
    // Nothing is drawn for a writer that is not there.
    if (format == PictureFormat::Jpg && !JpegWriterAvailable()) {
        SetError(error, QString::fromLatin1(kNoJpegWriter));
        return false;
    }
    const QImage picture = RenderPicture();
    if (picture.isNull()) {
        SetError(error, QStringLiteral("The plot is too large to export."));
        return false;
    }
    return format == PictureFormat::Jpg ? SavePictureJpg(picture, path, error)
                                        : SavePictureBmp(picture, path, error);
}

void CPLOT::ExportGraphic() {
    lm::FileDialogRequest request;
    request.caption = QStringLiteral("Export Graphic");
    request.filter = lm::FilterFromMfc(QString::fromUtf8(kExportFilter));
    request.defaultSuffix = QStringLiteral("jpg");
    QWidget* parent = GetMainFrame();
    const QString path = lm::Ui().GetSaveFileName(parent, request);
    if (path.isEmpty()) return;
    QString error;
    if (ExportGraphicTo(path, &error)) return;
    lm::ErrorBox(parent, error, ProgramName());
}

void CPLOT::CopyToClipboard() {
    // Without a GUI application there is no clipboard.
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return;
    const QImage picture = RenderPicture();
    if (picture.isNull()) return;
    if (QClipboard* clipboard = QGuiApplication::clipboard()) clipboard->setImage(picture);
}
