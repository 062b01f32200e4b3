#include "tests/support/ui/ScriptedUiServices.h"

#include <QDialog>

#include "platform/FontDialog.h"

namespace lm {

namespace {

// The cautious answer for a box nobody scripted.
int32_t DefaultAnswer(MsgButtons buttons) {
    switch (buttons) {
        case MsgButtons::Ok: return kIdOk;
        case MsgButtons::YesNo: return kIdNo;
        default: return kIdCancel;
    }
}

}  // namespace

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
    m_fontDialogs.clear();
    m_printAnswers.clear();
    m_dialogs.clear();
}

bool ScriptedUiServices::AllAnswersUsed() const {
    return m_boxAnswers.empty() && m_menuChoices.empty() && m_fileNames.empty() && m_colors.empty() &&
           m_fonts.empty() && m_fontDialogs.empty() && m_printAnswers.empty() && m_dialogs.empty();
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

bool ScriptedUiServices::ChooseFont(QWidget* parent, LOGFONT* font, COLORREF* color) {
    Call c{Kind::Font, {}, {}, MsgButtons::Ok, MsgIcon::None, {}, {}, {}, 0};
    if (!m_fontDialogs.empty()) {
        auto handler = std::move(m_fontDialogs.front());
        m_fontDialogs.pop_front();
        // Recorded first: the handler may ask for a colour inside the dialog.
        m_calls.push_back(c);
        const size_t at = m_calls.size() - 1;
        const bool ok = RunFontDialog(parent, font, color, handler);
        m_calls[at].answer = ok ? 1 : 0;
        return ok;
    }
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
