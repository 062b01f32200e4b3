#pragma once
// Helpers of the dialog tests: a document with one data shell, keys and
// typed text sent to real widgets, controls found by their ids.
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>

#include <memory>
#include <string>
#include <vector>

#include "core/DataSet.h"
#include "core/DataShell.h"
#include "dialogs/DialogControls.h"
#include "report/page/LumitraDoc.h"
#include "tests/report/ReportTestUtil.h"
#include "tests/support/FcsWriter.h"

namespace dlgtest {

inline void Key(QWidget* w, int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QKeyEvent press(QEvent::KeyPress, key, mods);
    QCoreApplication::sendEvent(w, &press);
    QKeyEvent release(QEvent::KeyRelease, key, mods);
    QCoreApplication::sendEvent(w, &release);
}

inline void Keys(QWidget* w, int key, int times) {
    for (int i = 0; i < times; ++i) Key(w, key);
}

// The user replaces the edit's text and presses Enter.
inline void Type(QLineEdit* edit, const QString& text) {
    edit->setFocus();
    edit->selectAll();
    if (text.isEmpty()) {
        Key(edit, Qt::Key_Backspace);
    } else {
        QKeyEvent e(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, text);
        QCoreApplication::sendEvent(edit, &e);
    }
    Key(edit, Qt::Key_Return);
}

template <class W = QWidget>
W* Control(const QWidget* dlg, int32_t id) {
    W* w = lm::FindControl<W>(dlg, id);
    EXPECT_NE(w, nullptr) << "control " << id;
    return w;
}

// A shell of the writer's file, attached to doc.
inline VexaDataShell* AttachShell(CLumitraDoc& doc, const lmtest::FcsWriter& w, const std::string& name = "S") {
    return doc.AttachDataShell(
        std::make_unique<VexaDataShell>(lmtest::LoadFcsBytes(w.Build(), 0, name + ".fcs").release(), name));
}

}  // namespace dlgtest
