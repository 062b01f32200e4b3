#pragma once
// The UI services tests install: answers come from queues the test fills and
// every request is recorded in order, so no test ever waits on a window.
#include <deque>
#include <functional>
#include <optional>
#include <vector>

#include "platform/UiServices.h"

namespace lm {

// The test stand-in: answers from queues filled by the test and records every
// request in order. With an empty queue it gives the cautious answer: OK for
// a box that only has OK, otherwise Cancel (No for Yes/No boxes); no menu
// item; no file; no colour or font; dialogs rejected; URLs not opened.
class ScriptedUiServices : public UiServices {
public:
    enum class Kind { MessageBox, PopupMenu, OpenFile, SaveFile, Color, Font, Print, Dialog, Url };

    struct Call {
        Kind kind;
        QString text;      // message text, dialog title or URL
        QString caption;   // message caption or file-dialog caption
        MsgButtons buttons = MsgButtons::Ok;
        MsgIcon icon = MsgIcon::None;
        std::vector<MenuItem> menu;
        QPoint pos;
        FileDialogRequest file;
        int32_t answer = 0;  // what the stand-in answered (ids, results, 1/0)
    };

    void QueueMessageBoxAnswer(int32_t answer) { m_boxAnswers.push_back(answer); }
    void QueueMenuChoice(int32_t id) { m_menuChoices.push_back(id); }
    void QueueFileNames(QStringList names) { m_fileNames.push_back(std::move(names)); }
    void QueueColor(std::optional<COLORREF> color) { m_colors.push_back(color); }
    void QueueFont(std::optional<LOGFONT> font) { m_fonts.push_back(std::move(font)); }
    void QueuePrintAnswer(bool ok) { m_printAnswers.push_back(ok); }
    // The next font request runs the program's real font dialog: the handler
    // uses it as a user would and returns its result (DialogResult). Takes
    // precedence over QueueFont.
    void QueueFontDialog(std::function<int32_t(QDialog*)> handler) { m_fontDialogs.push_back(std::move(handler)); }
    // The handler sees the dialog before it would run (it may fill fields) and
    // returns its result.
    void QueueDialog(std::function<int32_t(QDialog*)> handler) { m_dialogs.push_back(std::move(handler)); }
    void QueueDialogResult(int32_t result);

    const std::vector<Call>& Calls() const { return m_calls; }
    // Requests of one kind, in order.
    std::vector<Call> CallsOf(Kind kind) const;
    int Count(Kind kind) const;
    void Clear();
    // True when every queued answer was used.
    bool AllAnswersUsed() const;

    int32_t MessageBox(QWidget* parent, const QString& text, const QString& caption,
                       MsgButtons buttons, MsgIcon icon) override;
    int32_t TrackPopupMenu(QWidget* parent, const std::vector<MenuItem>& items,
                           const QPoint& globalPos) override;
    QStringList GetOpenFileNames(QWidget* parent, const FileDialogRequest& request) override;
    QString GetSaveFileName(QWidget* parent, const FileDialogRequest& request) override;
    bool ChooseColor(QWidget* parent, COLORREF* color) override;
    bool ChooseFont(QWidget* parent, LOGFONT* font, COLORREF* color) override;
    bool PrintDialog(QWidget* parent, QPrinter* printer, bool setupOnly) override;
    int32_t ExecDialog(QDialog* dialog) override;
    bool OpenUrl(const QString& url) override;

private:
    std::vector<Call> m_calls;
    std::deque<int32_t> m_boxAnswers;
    std::deque<int32_t> m_menuChoices;
    std::deque<QStringList> m_fileNames;
    std::deque<std::optional<COLORREF>> m_colors;
    std::deque<std::optional<LOGFONT>> m_fonts;
    std::deque<std::function<int32_t(QDialog*)>> m_fontDialogs;
    std::deque<bool> m_printAnswers;
    std::deque<std::function<int32_t(QDialog*)>> m_dialogs;
};

}  // namespace lm
