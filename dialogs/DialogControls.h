#pragma once
// Small helpers the dialogs share: control ids kept on the widgets, percent
// texts of fraction combos, and number texts that read back to the same float.
#include <QString>
#include <QVariant>
#include <QWidget>

#include <cstdint>

namespace lm {

// Keeps id as the widget's "controlId" property (and returns the widget).
template <class W>
W* WithControlId(W* widget, int32_t id) {
    widget->setProperty("controlId", id);
    return widget;
}

// The child of root with that control id (null when none, or of another type).
template <class W = QWidget>
W* FindControl(const QWidget* root, int32_t id) {
    for (QWidget* w : root->findChildren<QWidget*>()) {
        const QVariant v = w->property("controlId");
        if (v.isValid() && v.toInt() == id) return qobject_cast<W*>(w);
    }
    return nullptr;
}

// The fraction a combo text names: "5%" 0.05, "0.1%" 0.001, "0" 0.0. The text
// is the only truth: combos that sort their entries change the indices. False
// for a text that names no number from 0 to 100 %.
bool FractionOfPercentText(const QString& text, double* fraction);

// The shortest text that reads back as exactly v ("4.5", "262144",
// "3.0103"), in the C locale whatever the user's is.
QString FloatText(float v);

}  // namespace lm
