#pragma once
// Every modal interaction of the program (message boxes, popup menus, file,
// colour, font and print dialogs, the program's own modal dialogs, opening a
// web page) goes through one UiServices object. The program runs on the Qt
// implementation; tests install ScriptedUiServices, which answers from a
// script and records each request, so that no test ever waits on a window.
#include <QPoint>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

#include "base/Geometry.h"
#include "base/LogFont.h"

class QDialog;
class QPrinter;
class QWidget;

namespace lm {

enum class MsgButtons { Ok, OkCancel, YesNo, YesNoCancel, RetryCancel };
enum class MsgIcon { None, Error, Warning, Question, Information };

// Answers of a message box, with the values the Windows program compares.
enum MsgResult : int32_t {
    kIdOk = 1,
    kIdCancel = 2,
    kIdRetry = 4,
    kIdYes = 6,
    kIdNo = 7,
};

// Results of a modal dialog (the values of QDialog::DialogCode).
enum DialogResult : int32_t { kDialogRejected = 0, kDialogAccepted = 1 };

// One item of a popup menu built at run time. An item with separator set is a
// line; an item with a submenu opens it. Command ids must not be 0: 0 is the
// answer "nothing chosen".
struct MenuItem {
    int32_t id = 0;
    QString text;
    bool separator = false;
    bool checked = false;
    bool enabled = true;
    std::vector<MenuItem> submenu;

    static MenuItem Command(int32_t id, const QString& text, bool enabled = true, bool checked = false);
    static MenuItem Separator();
};

// A file dialog. filter uses Qt's form ("JPG Files (*.jpg);;All (*)"); the
// Windows form "JPG Files (*.jpg)|*.jpg||" can be converted with FilterFromMfc.
struct FileDialogRequest {
    QString caption;
    QString folder;
    QString fileName;
    QString filter;
    QString defaultSuffix;  // without the dot; added when the user types none
    bool multiple = false;  // open dialogs only
};

// "JPG Files (*.jpg)|*.jpg|All Files (*.*)|*.*||" -> "JPG Files (*.jpg);;All Files (*)".
// Patterns separated by ';' become space separated; "*.*" becomes "*".
QString FilterFromMfc(const QString& mfcFilter);

class UiServices {
public:
    virtual ~UiServices();

    // A message box; the answer is one of MsgResult.
    virtual int32_t MessageBox(QWidget* parent, const QString& text, const QString& caption,
                               MsgButtons buttons, MsgIcon icon) = 0;
    // A popup menu at a global screen position; the chosen id, or 0.
    virtual int32_t TrackPopupMenu(QWidget* parent, const std::vector<MenuItem>& items,
                                   const QPoint& globalPos) = 0;
    // Chosen files; empty when cancelled.
    virtual QStringList GetOpenFileNames(QWidget* parent, const FileDialogRequest& request) = 0;
    // Chosen file; empty when cancelled.
    virtual QString GetSaveFileName(QWidget* parent, const FileDialogRequest& request) = 0;
    // *color in: the initial colour; out: the chosen one. False when cancelled
    // (*color unchanged).
    virtual bool ChooseColor(QWidget* parent, COLORREF* color) = 0;
    // *font and *color as above; color may be null when the caller keeps no colour.
    virtual bool ChooseFont(QWidget* parent, LOGFONT* font, COLORREF* color) = 0;
    // Print dialog (setupOnly: the page and printer set-up). False when cancelled.
    virtual bool PrintDialog(QWidget* parent, QPrinter* printer, bool setupOnly) = 0;
    // Runs one of the program's modal dialogs; DialogResult.
    virtual int32_t ExecDialog(QDialog* dialog) = 0;
    // Opens a web page or folder with the desktop's handler.
    virtual bool OpenUrl(const QString& url) = 0;
};

// A message the user can only acknowledge: an OK button and the error icon.
void ErrorBox(QWidget* parent, const QString& text, const QString& caption);
// The message for an FCS file that could not be opened onto the page:
// "FCS文件打开失败!", then the file's name (when known) and what is wrong with it.
void OpenFailedBox(QWidget* parent, const QString& fileName, const QString& why);

// The hourglass over the whole program while a long step runs (a picture or
// PDF written); it goes when the object does, whatever way the step ends.
class WaitCursor {
public:
    WaitCursor();
    ~WaitCursor();
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

// The services in use: the installed ones, else the Qt implementation.
UiServices& Ui();
// Installs services (not owned; null goes back to Qt's). Returns the previous
// installation (null when Qt's were in use).
UiServices* SetUiServices(UiServices* services);

// The real dialogs.
class QtUiServices : public UiServices {
public:
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
};

// Installs services for the lifetime of the object, then restores the
// previous ones.
class ScopedUiServices {
public:
    explicit ScopedUiServices(UiServices* services) : m_previous(SetUiServices(services)) {}
    ~ScopedUiServices() { SetUiServices(m_previous); }
    ScopedUiServices(const ScopedUiServices&) = delete;
    ScopedUiServices& operator=(const ScopedUiServices&) = delete;

private:
    UiServices* m_previous;
};

}  // namespace lm
