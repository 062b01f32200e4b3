#include "platform/AtomicSave.h"

#include <QFile>

#include <string>

#include "base/AtomicFile.h"

namespace lm {

bool SaveThroughTemp(const QString& path, const std::function<bool(QIODevice& device, QString* why)>& write,
                     QString* error) {
    auto fail = [error](const QString& why) {
        if (error) *error = why;
        return false;
    };
    AtomicFileWriter writer;
    std::string why;
    if (!writer.Open(QFile::encodeName(path).toStdString(), &why)) return fail(QString::fromStdString(why));
    QFile device;
    if (!device.open(writer.Fd(), QIODevice::WriteOnly, QFileDevice::DontCloseHandle))
        return fail(device.errorString());
    QString writeWhy;
    const bool written = write(device, &writeWhy);
    // Buffered bytes reach the file before it is flushed and renamed.
    const bool flushed = device.flush() && device.error() == QFileDevice::NoError;
    const QString deviceWhy = device.errorString();
    device.close();
    if (!written) return fail(writeWhy.isEmpty() ? deviceWhy : writeWhy);
    if (!flushed) return fail(deviceWhy);
    if (!writer.Commit(&why)) return fail(QString::fromStdString(why));
    return true;
}

}  // namespace lm
