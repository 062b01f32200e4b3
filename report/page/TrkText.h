#pragma once
// The free-text page object (kind 51): a white box of word-wrapped text in
// the object's font and text colour. While it is the active object a
// CREditEx lies over it in the report view and every edit is taken into the
// object at once, so saving, printing and exporting in the middle of an edit
// use what the user sees, and the document knows it was changed.
//
// Line breaks are kept as the text holds them: a stored "\r\n" stays
// "\r\n"; breaks typed into the editor are written the way the text already
// writes them ("\r\n" when it has none).
#include <QMetaObject>
#include <QPointer>

#include <functional>
#include <memory>
#include <string>

#include "report/page/LumitraView.h"
#include "report/page/REditEx.h"
#include "report/page/TrkObj.h"

// The smallest box a text box keeps, and its size when made from a point.
constexpr int32_t kTextMinWidth = 30;
constexpr int32_t kTextMinHeight = 25;
constexpr CSize kTextDefaultSize{100, 30};
// Margin between the box and its text, in page units.
constexpr int32_t kTextMargin = 5;

class CTrkText : public CTrkObj {
public:
    // A rectangle narrower or lower than the minimum grows to it from its
    // top-left; one less than 3 units both ways takes the default size.
    CTrkText(const CRect& rect, CLumitraDoc* doc);
    CTrkText(CPoint at, CLumitraDoc* doc);
    // The file reader's form.
    explicit CTrkText(CLumitraDoc* doc);
    ~CTrkText() override;

    void Draw(QPainter* painter) override;
    void Activate(uint32_t flags, CPoint point) override;
    bool OnLButtonDown(uint32_t flags, CPoint point, int32_t* state) override;
    bool QueryMouse(uint32_t flags, CPoint point, int32_t* state) override;
    void MoveBy(CSize offset, bool quiet) override;
    void SetRect(const CRect& rect, bool quiet) override;
    using CTrkObj::SetRect;
    void EndEdit(int32_t how) override;
    void OnDeactivate() override;
    void OnExtra(int32_t arg) override;
    void OnActivate() override;
    CSize GetDefaultSize() const override;
    void Load(CArchive& ar) override;
    void Store(CArchive& ar) const override;
    bool BuildContextMenu(std::vector<lm::MenuItem>* menu, uint32_t flags, CPoint point) override;
    bool OnContextCommand(uint32_t id, int32_t extra) override;
    void CopyToClipboard() override;

    // Puts the editor over the box in the document's report view (none
    // without a view) with the box's text, font and colour, and focuses it.
    void BeginTextEdit();
    // Takes the editor's text, font and colour back and removes it.
    void EndTextEdit();

    bool IsEditing() const { return m_editor != nullptr; }
    CREditEx* GetEditor() const { return m_editor.data(); }
    // UTF-8, line breaks as stored.
    const std::string& GetText() const { return m_text; }
    // Also into the editor when one is open.
    void SetText(const std::string& utf8);

private:
    // The view the editor goes into: the active report view when it shows
    // this document, else the document's first view.
    CLumitraView* EditingView() const;
    // Moves the editor onto the box as the view now maps it.
    void PlaceEditor();
    // The editor's state into the object; the document is marked changed
    // when anything differs.
    void TakeEditorState();
    // Makes the box large enough to show all of its text: lower, and wider
    // (up to the right edge of its page) where a table row or a word would
    // otherwise break. A box never shrinks here: the size the user gave it
    // stays the least.
    void GrowToText();

    std::string m_text;
    QPointer<CREditEx> m_editor;  // owned (a child widget of the view)
    QPointer<CLumitraView> m_view;
    QMetaObject::Connection m_follow;
};

// The font dialog on an object's font and text colour; on OK with another
// font or colour both are replaced and applied() runs (a grid hands the font
// on to its cells; it says whether it changed anything). The object is
// repainted and the document marked changed only when something changed.
// True on OK.
bool ChooseObjectFont(CTrkObj* obj, const std::function<bool()>& applied = {});

// The file reader's and the report view's makers of text boxes.
std::unique_ptr<CTrkObj> LoadTextBox(CLumitraDoc* doc);
std::unique_ptr<CTrkObj> MakeTextBox(CLumitraDoc* doc, const CRect& rect);
