#pragma once
// Base of every object placed on the report page (text box, plot, result
// table, grid): its rectangle in page units, its kind, its owning document,
// its font and colours and its selection flag, plus the tracker behaviour all
// kinds share (hit codes, eight handles, drag frame, moving and resizing that
// report the old and new places to the document) and the head of every
// page-object record of the document file.
#include <cstdint>
#include <vector>

#include "base/Geometry.h"
#include "base/LogFont.h"
#include "platform/UiServices.h"
#include "report/page/TrkKinds.h"

class CArchive;
class CLumitraDoc;
class QPainter;

class CTrkObj {
public:
    // A page object at rect (normalised) owned by doc (may be null: then no
    // dirty bookkeeping is done).
    CTrkObj(const CRect& rect, CLumitraDoc* doc);
    // The file loader's form: the rectangle comes with the record.
    explicit CTrkObj(CLumitraDoc* doc);
    virtual ~CTrkObj();
    CTrkObj(const CTrkObj&) = delete;
    CTrkObj& operator=(const CTrkObj&) = delete;

    // Both directions of the base record (same layout as Load and Store).
    virtual void Serialize(CArchive& ar);

    // Painting in page units: the painter maps page units to the device.
    virtual void Draw(QPainter* painter);
    virtual void Activate(uint32_t flags, CPoint point);
    // point minus the inner rectangle's top-left.
    virtual CPoint PageToLocal(CPoint point) const;

    // Mouse handlers: `state` is the report view's tracking state (TrackState).
    // Button down turns the hit code into a tracking state; TRUE means the
    // press was inside (a move may follow).
    virtual bool OnLButtonDown(uint32_t flags, CPoint point, int32_t* state);
    virtual bool OnLButtonUp(uint32_t flags, CPoint point, int32_t* state);
    virtual bool OnMouseMove(uint32_t flags, CPoint point, int32_t* state);
    virtual bool QueryMouse(uint32_t flags, CPoint point, int32_t* state);
    virtual bool OnLButtonDblClk(uint32_t flags, CPoint point, int32_t* state);
    virtual bool QueryMouseEx(uint32_t flags, CPoint point, int32_t* state);

    // Moves by offset. Not quiet: the old and the new place are reported to
    // the document. A zero offset does nothing.
    virtual void MoveBy(CSize offset, bool quiet);
    // Replaces the rectangle (normalised first: an inverted rectangle is never
    // stored). The old place is always reported; a changed rectangle also puts
    // the object in the document's dirty objects unless quiet.
    virtual void SetRect(const CRect& rect, bool quiet);
    void SetRect(const CRect& rect) { SetRect(rect, false); }

    // Takes the object off its document, which frees it; an object without a
    // document, or one its document does not list, frees itself.
    virtual void Delete();

    // Eight handles inverted inside the rectangle (twice restores).
    virtual void DrawHandles(QPainter* painter) const;
    // The inverted drag frame, kHandleSize thick.
    virtual void DrawDragFrame(QPainter* painter) const;
    virtual void DrawPrint(QPainter* painter);
    virtual void DrawTracking(QPainter* painter) const;

    virtual void EndEdit(int32_t how);
    // Called when the document's active object moves away from this one.
    virtual void OnDeactivate();
    virtual void OnExtra(int32_t arg);
    // Called when this object becomes the document's active object.
    virtual void OnActivate();
    // Called when this object joins the document's multi-selection.
    virtual void OnAddedToSelection();

    virtual CSize GetMinSize() const;
    virtual CSize GetDefaultSize() const;
    virtual int32_t GetType() const;

    // The base record: rect, font, text colour, back colour, reserved.
    virtual void Load(CArchive& ar);
    virtual void Store(CArchive& ar) const;

    // Adds this object's items to a context menu; true when a menu is to be
    // shown.
    virtual bool BuildContextMenu(std::vector<lm::MenuItem>* menu, uint32_t flags, CPoint point);
    // Carries out a command of that menu.
    virtual bool OnContextCommand(uint32_t id, int32_t extra) = 0;

    virtual void SetSelected(bool selected);
    virtual bool IsSelected() const;
    virtual void CopyToClipboard();

    // Where a page point lies (TrkHit).
    int32_t HitTest(CPoint point) const;
    // rect deflated by the handle size on every side.
    CRect GetInnerRect() const;
    // True when the two (normalised) rectangles share some area.
    bool IntersectsRect(const CRect& rect) const;
    // Asks the document to repaint this object.
    void Invalidate();
    void SetDocument(CLumitraDoc* doc) { m_pDocument = doc; }
    CLumitraDoc* GetDocument() const { return m_pDocument; }

    const CRect& GetRect() const { return m_rect; }
    const LOGFONT& GetFont() const { return m_font; }
    // The face name is fitted to the record's face field.
    void SetFont(const LOGFONT& font);
    COLORREF GetTextColor() const { return m_textColor; }
    COLORREF GetBackColor() const { return m_backColor; }
    void SetTextColor(COLORREF c) { m_textColor = c; }
    void SetBackColor(COLORREF c) { m_backColor = c; }

    // The font every page object starts with.
    static LOGFONT DefaultFont();

protected:
    bool m_selected = false;
    CRect m_rect;
    int32_t m_type = kObjNone;  // set by each kind's constructor
    CLumitraDoc* m_pDocument = nullptr;
    LOGFONT m_font;
    COLORREF m_textColor = 0;
    COLORREF m_backColor = 0xFFFFFF;
    int32_t m_reserved = 0;  // kept in the record only
};
