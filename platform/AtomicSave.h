#pragma once
// The Qt side of base/AtomicFile.h: a writer that works on a QIODevice (an
// image writer, a text stream) saves through the same short, locked
// temporary file as every other writer of the program.
#include <QString>

#include <functional>

class QIODevice;

namespace lm {

// write gets a device on the temporary file beside path and returns false
// (with *why) when it could not write everything; only then is path
// replaced. False with *error saying why (without the path) otherwise, and
// an old file at path is left as it was.
bool SaveThroughTemp(const QString& path, const std::function<bool(QIODevice& device, QString* why)>& write,
                     QString* error);

}  // namespace lm
