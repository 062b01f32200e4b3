#include "dialogs/DialogControls.h"

#include <charconv>
#include <string>

#include "base/Numbers.h"

namespace lm {

bool FractionOfPercentText(const QString& text, double* fraction) {
    QString t = text.trimmed();
    const bool percent = t.endsWith(QLatin1Char('%'));
    if (percent) t.chop(1);
    double v = 0.0;
    if (!TryParseDouble(t.toStdString(), &v)) return false;
    if (percent) v /= 100.0;
    if (!(v >= 0.0 && v <= 1.0)) return false;
    *fraction = v;
    return true;
}

QString FloatText(float v) {
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return QString::fromLatin1(buf, int(r.ptr - buf));
}

}  // namespace lm
