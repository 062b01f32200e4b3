#include "platform/UiServices.h"

#include <QColorDialog>
#include <QDesktopServices>
#include <QDialog>
#include <QFileDialog>
#include <QFontDialog>
#include <QMenu>
#include <QMessageBox>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QUrl>

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

// The cautious answer of a box nobody answered.
int32_t DefaultAnswer(MsgButtons buttons) {
    switch (buttons) {
        case MsgButtons::Ok: return kIdOk;
        case MsgButtons::YesNo: return kIdNo;
        default: return kIdCancel;
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

bool QtUiServices::ChooseFont(QWidget* parent, LOGFONT* font, COLORREF* /*color*/) {
    if (!font) return false;
    bool ok = false;
    const QFont chosen = QFontDialog::getFont(&ok, ToQFont(*font), parent);
    if (!ok) return false;
    *font = FromQFont(chosen, *font);
    return true;
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

// ------------------------------------------------------------ scripted stand-in

void ScriptedUiServices::QueueDialogResult(int32_t result) {
    m_dialogs.push_back([result](QDialog*) { return result; });
}

std::vector<ScriptedUiServices::Call> ScriptedUiServices::CallsOf(Kind kind) const {
    std::vector<Call> out;
    for (const Call& c : m_calls)
        if (c.kind == kind) out.push_back(c);
    return out;
}

int ScriptedUiServices::Count(Kind kind) const {
    int n = 0;
    for (const Call& c : m_calls) n += c.kind == kind;
    return n;
}

void ScriptedUiServices::Clear() {
    m_calls.clear();
    m_boxAnswers.clear();
    m_menuChoices.clear();
    m_fileNames.clear();
    m_colors.clear();
    m_fonts.clear();
    m_printAnswers.clear();
    m_dialogs.clear();
}

bool ScriptedUiServices::AllAnswersUsed() const {
    return m_boxAnswers.empty() && m_menuChoices.empty() && m_fileNames.empty() && m_colors.empty() &&
           m_fonts.empty() && m_printAnswers.empty() && m_dialogs.empty();
}

int32_t ScriptedUiServices::MessageBox(QWidget*, const QString& text, const QString& caption,
                                       MsgButtons buttons, MsgIcon icon) {
    Call c{Kind::MessageBox, text, caption, buttons, icon, {}, {}, {}, 0};
    if (!m_boxAnswers.empty()) {
        c.answer = m_boxAnswers.front();
        m_boxAnswers.pop_front();
    } else {
        c.answer = DefaultAnswer(buttons);
    }
    m_calls.push_back(c);
    return c.answer;
}

int32_t ScriptedUiServices::TrackPopupMenu(QWidget*, const std::vector<MenuItem>& items,
                                           const QPoint& globalPos) {
    Call c{Kind::PopupMenu, {}, {}, MsgButtons::Ok, MsgIcon::None, items, globalPos, {}, 0};
    if (!m_menuChoices.empty()) {
        c.answer = m_menuChoices.front();
        m_menuChoices.pop_front();
    }
    m_calls.push_back(c);
    return c.answer;
}

QStringList ScriptedUiServices::GetOpenFileNames(QWidget*, const FileDialogRequest& request) {
    Call c{Kind::OpenFile, {}, request.caption, MsgButtons::Ok, MsgIcon::None, {}, {}, request, 0};
    QStringList names;
    if (!m_fileNames.empty()) {
        names = m_fileNames.front();
        m_fileNames.pop_front();
    }
    if (!request.multiple && names.size() > 1) names = names.mid(0, 1);
    c.answer = int32_t(names.size());
    m_calls.push_back(c);
    return names;
}

QString ScriptedUiServices::GetSaveFileName(QWidget*, const FileDialogRequest& request) {
    Call c{Kind::SaveFile, {}, request.caption, MsgButtons::Ok, MsgIcon::None, {}, {}, request, 0};
    QString name;
    if (!m_fileNames.empty()) {
        if (!m_fileNames.front().isEmpty()) name = m_fileNames.front().front();
        m_fileNames.pop_front();
    }
    c.answer = name.isEmpty() ? 0 : 1;
    m_calls.push_back(c);
    return name;
}

bool ScriptedUiServices::ChooseColor(QWidget*, COLORREF* color) {
    Call c{Kind::Color, {}, {}, MsgButtons::Ok, MsgIcon::None, {}, {}, {}, 0};
    std::optional<COLORREF> chosen;
    if (!m_colors.empty()) {
        chosen = m_colors.front();
        m_colors.pop_front();
    }
    if (chosen && color) *color = *chosen;
    c.answer = chosen ? 1 : 0;
    m_calls.push_back(c);
    return chosen.has_value();
}

bool ScriptedUiServices::ChooseFont(QWidget*, LOGFONT* font, COLORREF*) {
    Call c{Kind::Font, {}, {}, MsgButtons::Ok, MsgIcon::None, {}, {}, {}, 0};
    std::optional<LOGFONT> chosen;
    if (!m_fonts.empty()) {
        chosen = m_fonts.front();
        m_fonts.pop_front();
    }
    if (chosen && font) *font = *chosen;
    c.answer = chosen ? 1 : 0;
    m_calls.push_back(c);
    return chosen.has_value();
}

bool ScriptedUiServices::PrintDialog(QWidget*, QPrinter*, bool setupOnly) {
    Call c{Kind::Print, setupOnly ? QStringLiteral("setup") : QStringLiteral("print"), {},
           MsgButtons::Ok, MsgIcon::None, {}, {}, {}, 0};
    bool ok = false;
    if (!m_printAnswers.empty()) {
        ok = m_printAnswers.front();
        m_printAnswers.pop_front();
    }
    c.answer = ok ? 1 : 0;
    m_calls.push_back(c);
    return ok;
}

int32_t ScriptedUiServices::ExecDialog(QDialog* dialog) {
    Call c{Kind::Dialog, dialog ? dialog->windowTitle() : QString(), {}, MsgButtons::Ok, MsgIcon::None,
           {}, {}, {}, kDialogRejected};
    if (!m_dialogs.empty()) {
        auto handler = std::move(m_dialogs.front());
        m_dialogs.pop_front();
        c.answer = handler(dialog);
    }
    m_calls.push_back(c);
    return c.answer;
}

bool ScriptedUiServices::OpenUrl(const QString& url) {
    m_calls.push_back(Call{Kind::Url, url, {}, MsgButtons::Ok, MsgIcon::None, {}, {}, {}, 0});
    return false;
}

}  // namespace lm
