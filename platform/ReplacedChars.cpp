#include "platform/ReplacedChars.h"

#include "platform/UiServices.h"

namespace lm {

namespace {

// Lines of the question shown at most; the rest are counted.
constexpr size_t kMaxReplacedLines = 8;

// "ö ß": each character once, a surrogate pair kept whole.
QString SpacedCharacters(const std::string& utf8) {
    QString chars;
    const QString all = QString::fromStdString(utf8);
    for (int k = 0; k < all.size();) {
        const int len = all.at(k).isHighSurrogate() && k + 1 < all.size() ? 2 : 1;
        if (!chars.isEmpty()) chars += QLatin1Char(' ');
        chars += all.mid(k, len);
        k += len;
    }
    return chars;
}

}  // namespace

bool AcceptReplacedCharacters(QWidget* parent, const std::vector<CArchive::Replaced>& replaced,
                              const QString& store) {
    if (replaced.empty()) return true;
    QString text = QStringLiteral("Some characters cannot be stored in %1 (its texts are in code page 936) "
                                  "and would be saved as \"?\":\n")
                       .arg(store);
    for (size_t i = 0; i < replaced.size() && i < kMaxReplacedLines; ++i)
        text += QStringLiteral("\n  %1: %2")
                    .arg(QString::fromStdString(replaced[i].what), SpacedCharacters(replaced[i].chars));
    if (replaced.size() > kMaxReplacedLines)
        text += QStringLiteral("\n  and %1 more").arg(replaced.size() - kMaxReplacedLines);
    text += QStringLiteral("\n\nSave anyway?");
    return Ui().MessageBox(parent, text, QStringLiteral("警告"), MsgButtons::OkCancel, MsgIcon::Warning) == kIdOk;
}

}  // namespace lm
