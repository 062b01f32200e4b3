#include "platform/UiServices.h"

#include <QColorDialog>
#include <QDesktopServices>
#include <QDialog>
#include <QFileDialog>
#include <QFontDialog>
#include <QGuiApplication>
#include <QMenu>
#include <QMessageBox>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QUrl>

#include "platform/FontDialog.h"
#include "platform/PaintHelpers.h"

namespace lm {

namespace {

UiServices* g_installed = nullptr;

QtUiServices& QtServices() {
    static QtUiServices services;
    return services;
}

void AddItems(QMenu* menu, const std::vector<MenuItem>& items) {
    for (const MenuItem& item : items) {
        if (item.separator) {
            menu->addSeparator();
        } else if (!item.submenu.empty()) {
            QMenu* sub = menu->addMenu(item.text);
            sub->setEnabled(item.enabled);
            AddItems(sub, item.submenu);
        } else {
            QAction* a = menu->addAction(item.text);
            a->setData(item.id);
            a->setEnabled(item.enabled);
            if (item.checked) {
                a->setCheckable(true);
                a->setChecked(true);
            }
        }
    }
}

}  // namespace

MenuItem MenuItem::Command(int32_t id, const QString& text, bool enabled, bool checked) {
    MenuItem m;
    m.id = id;
    m.text = text;
    m.enabled = enabled;
    m.checked = checked;
    return m;
}

MenuItem MenuItem::Separator() {
    MenuItem m;
    m.separator = true;
    return m;
}

QString FilterFromMfc(const QString& mfcFilter) {
    const QStringList parts = mfcFilter.split(QLatin1Char('|'));
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString desc = parts[i].trimmed();
        const QString patterns = parts[i + 1].trimmed();
        if (desc.isEmpty() && patterns.isEmpty()) break;  // the closing "||"
        QStringList globs;
        for (const QString& p : patterns.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            const QString g = p.trimmed();
            globs << (g == QLatin1String("*.*") ? QStringLiteral("*") : g);
        }
        if (globs.isEmpty()) globs << QStringLiteral("*");
        // Qt reads the patterns from the last parentheses of the description:
        // drop the ones the Windows text shows and put the real ones there.
        const int paren = desc.lastIndexOf(QLatin1Char('('));
        if (paren > 0 && desc.endsWith(QLatin1Char(')'))) desc = desc.left(paren).trimmed();
        filters << QStringLiteral("%1 (%2)").arg(desc, globs.join(QLatin1Char(' ')));
    }
    return filters.join(QStringLiteral(";;"));
}

UiServices::~UiServices() = default;

UiServices& Ui() { return g_installed ? *g_installed : QtServices(); }

UiServices* SetUiServices(UiServices* services) {
    UiServices* previous = g_installed;
    g_installed = services;
    return previous;
}

WaitCursor::WaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }

WaitCursor::~WaitCursor() { QGuiApplication::restoreOverrideCursor(); }

void ErrorBox(QWidget* parent, const QString& text, const QString& caption) {
    Ui().MessageBox(parent, text, caption, MsgButtons::Ok, MsgIcon::Error);
}

void OpenFailedBox(QWidget* parent, const QString& fileName, const QString& why) {
    QString text = QStringLiteral("FCS文件打开失败!");
    if (!fileName.isEmpty() || !why.isEmpty()) text += QLatin1Char('\n');
    if (!fileName.isEmpty()) text += fileName + (why.isEmpty() ? QString() : QStringLiteral(": "));
    text += why;
    ErrorBox(parent, text, QStringLiteral("错误信息"));
}

// ---------------------------------------------------------------- Qt dialogs

int32_t QtUiServices::MessageBox(QWidget* parent, const QString& text, const QString& caption,
                                 MsgButtons buttons, MsgIcon icon) {
    QMessageBox box(parent);
    box.setWindowTitle(caption);
    box.setText(text);
    switch (icon) {
        case MsgIcon::Error: box.setIcon(QMessageBox::Critical); break;
        case MsgIcon::Warning: box.setIcon(QMessageBox::Warning); break;
        case MsgIcon::Question: box.setIcon(QMessageBox::Question); break;
        case MsgIcon::Information: box.setIcon(QMessageBox::Information); break;
        case MsgIcon::None: break;
    }
    QMessageBox::StandardButtons set;
    switch (buttons) {
        case MsgButtons::Ok: set = QMessageBox::Ok; break;
        case MsgButtons::OkCancel: set = QMessageBox::Ok | QMessageBox::Cancel; break;
        case MsgButtons::YesNo: set = QMessageBox::Yes | QMessageBox::No; break;
        case MsgButtons::YesNoCancel: set = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel; break;
        case MsgButtons::RetryCancel: set = QMessageBox::Retry | QMessageBox::Cancel; break;
    }
    box.setStandardButtons(set);
    switch (box.exec()) {
        case QMessageBox::Ok: return kIdOk;
        case QMessageBox::Yes: return kIdYes;
        case QMessageBox::No: return kIdNo;
        case QMessageBox::Retry: return kIdRetry;
        default: return buttons == MsgButtons::Ok ? kIdOk : kIdCancel;  // window closed
    }
}

int32_t QtUiServices::TrackPopupMenu(QWidget* parent, const std::vector<MenuItem>& items,
                                     const QPoint& globalPos) {
    QMenu menu(parent);
    AddItems(&menu, items);
    QAction* chosen = menu.exec(globalPos);
    return chosen ? chosen->data().toInt() : 0;
}

QStringList QtUiServices::GetOpenFileNames(QWidget* parent, const FileDialogRequest& request) {
    QFileDialog dlg(parent, request.caption, request.folder, request.filter);
    dlg.setAcceptMode(QFileDialog::AcceptOpen);
    dlg.setFileMode(request.multiple ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
    if (!request.fileName.isEmpty()) dlg.selectFile(request.fileName);
    if (dlg.exec() != QDialog::Accepted) return {};
    return dlg.selectedFiles();
}

QString QtUiServices::GetSaveFileName(QWidget* parent, const FileDialogRequest& request) {
    QFileDialog dlg(parent, request.caption, request.folder, request.filter);
    dlg.setAcceptMode(QFileDialog::AcceptSave);
    dlg.setFileMode(QFileDialog::AnyFile);
    if (!request.defaultSuffix.isEmpty()) dlg.setDefaultSuffix(request.defaultSuffix);
    if (!request.fileName.isEmpty()) dlg.selectFile(request.fileName);
    if (dlg.exec() != QDialog::Accepted) return {};
    const QStringList files = dlg.selectedFiles();
    return files.isEmpty() ? QString() : files.front();
}

bool QtUiServices::ChooseColor(QWidget* parent, COLORREF* color) {
    const QColor initial = (color && !IsColorNone(*color)) ? ToQColor(*color) : QColor(Qt::black);
    const QColor chosen = QColorDialog::getColor(initial, parent);
    if (!chosen.isValid()) return false;
    if (color) *color = FromQColor(chosen);
    return true;
}

bool QtUiServices::ChooseFont(QWidget* parent, LOGFONT* font, COLORREF* color) {
    return RunFontDialog(parent, font, color, [](QDialog* dlg) {
        return dlg->exec() == QDialog::Accepted ? kDialogAccepted : kDialogRejected;
    });
}

bool QtUiServices::PrintDialog(QWidget* parent, QPrinter* printer, bool setupOnly) {
    if (!printer) return false;
    if (setupOnly) {
        QPageSetupDialog dlg(printer, parent);
        return dlg.exec() == QDialog::Accepted;
    }
    QPrintDialog dlg(printer, parent);
    return dlg.exec() == QDialog::Accepted;
}

int32_t QtUiServices::ExecDialog(QDialog* dialog) {
    return dialog && dialog->exec() == QDialog::Accepted ? kDialogAccepted : kDialogRejected;
}

bool QtUiServices::OpenUrl(const QString& url) { return QDesktopServices::openUrl(QUrl(url)); }

}  // namespace lm
