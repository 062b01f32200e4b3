#include "report/page/TrkObj.h"

#include <QPainter>

#include <string>

#include "base/Archive.h"
#include "platform/PaintHelpers.h"
#include "report/page/LumitraDoc.h"
#include "report/page/TrackStates.h"

namespace {

// Quality and family of the default font.
constexpr uint8_t kProofQuality = 2;
constexpr uint8_t kVariablePitchSwiss = 0x12;

// Page coordinates a stored object may have: far beyond any canvas (20 x 200
// pages), near enough to zero that sizes and offsets never overflow.
constexpr int32_t kMaxStoredCoordinate = 1 << 24;

}  // namespace

LOGFONT CTrkObj::DefaultFont() {
    LOGFONT lf;
    lf.lfHeight = -16;
    lf.lfWeight = FW_NORMAL;
    lf.lfQuality = kProofQuality;
    lf.lfPitchAndFamily = kVariablePitchSwiss;
    lf.lfFaceName = "宋体";
    return lf;
}

CTrkObj::CTrkObj(const CRect& rect, CLumitraDoc* doc)
    : m_rect(Normalized(rect)), m_pDocument(doc), m_font(DefaultFont()) {}

CTrkObj::CTrkObj(CLumitraDoc* doc) : m_pDocument(doc), m_font(DefaultFont()) {}

CTrkObj::~CTrkObj() = default;

void CTrkObj::Serialize(CArchive& ar) {
    if (ar.IsStoring())
        Store(ar);
    else
        Load(ar);
}

void CTrkObj::Draw(QPainter*) {}

void CTrkObj::Activate(uint32_t, CPoint) {}

CPoint CTrkObj::PageToLocal(CPoint point) const {
    const CRect inner = GetInnerRect();
    return CPoint(point.x - inner.left, point.y - inner.top);
}

bool CTrkObj::OnLButtonDown(uint32_t, CPoint point, int32_t* state) {
    switch (HitTest(point)) {
        case kHitInside: *state = kTrackMove; return true;
        case kHitTopLeft: *state = kTrackResizeTopLeft; return false;
        case kHitTopRight: *state = kTrackResizeTopRight; return false;
        case kHitBottomRight: *state = kTrackResizeBottomRight; return false;
        case kHitBottomLeft: *state = kTrackResizeBottomLeft; return false;
        case kHitFrame: *state = kTrackFrame; return false;
        case kHitOutside: *state = kTrackIdle; return false;
        default: return false;  // the middle handles leave the state alone
    }
}

bool CTrkObj::OnLButtonUp(uint32_t, CPoint, int32_t* state) {
    if (*state == kTrackTitlePress) *state = kTrackMove;
    return true;
}

bool CTrkObj::OnMouseMove(uint32_t, CPoint point, int32_t*) { return m_rect.PtInRect(point); }

bool CTrkObj::QueryMouse(uint32_t, CPoint, int32_t*) { return false; }

bool CTrkObj::OnLButtonDblClk(uint32_t, CPoint, int32_t*) { return false; }

bool CTrkObj::QueryMouseEx(uint32_t, CPoint, int32_t*) { return false; }

void CTrkObj::MoveBy(CSize offset, bool quiet) {
    if (offset.cx == 0 && offset.cy == 0) return;
    if (!quiet && m_pDocument) {
        // The place the object leaves must be repainted too: marking the
        // object alone would repaint it only where it lands.
        m_pDocument->AddDirtyRect(m_rect);
        Invalidate();
    }
    m_rect.OffsetRect(offset);
    if (!quiet && m_pDocument) {
        Invalidate();
        m_pDocument->SetModifiedFlag();
    }
}

void CTrkObj::SetRect(const CRect& rect, bool quiet) {
    const CRect r = Normalized(rect);
    if (m_pDocument) m_pDocument->AddDirtyRect(m_rect);
    if (r == m_rect) return;
    if (!quiet && m_pDocument) {
        Invalidate();
        m_pDocument->SetModifiedFlag();
    }
    m_rect = r;
}

void CTrkObj::Delete() {
    if (m_pDocument && m_pDocument->GetObjectIndex(this) >= 0) {
        m_pDocument->RemoveObject(this, true);
        return;
    }
    delete this;
}

void CTrkObj::DrawHandles(QPainter* painter) const {
    if (!painter) return;
    const int32_t h = kHandleSize;
    const CRect& r = m_rect;
    const int32_t mx = (r.left + r.right) / 2;
    const int32_t my = (r.top + r.bottom) / 2;
    const CPoint corners[8] = {
        {r.left, r.top},          {mx - h / 2, r.top},        {r.right - h, r.top},
        {r.left, my - h / 2},     {r.right - h, my - h / 2},  {r.left, r.bottom - h},
        {r.right - h, r.bottom - h}, {mx - h / 2, r.bottom - h},
    };
    for (const CPoint& c : corners) lm::InvertRect(*painter, CRect(c, CSize(h, h)));
}

void CTrkObj::DrawDragFrame(QPainter* painter) const {
    if (painter) lm::DrawInvertedFrame(*painter, m_rect, kHandleSize);
}

void CTrkObj::DrawPrint(QPainter* painter) { Draw(painter); }

void CTrkObj::DrawTracking(QPainter* painter) const { DrawDragFrame(painter); }

void CTrkObj::EndEdit(int32_t) {}
void CTrkObj::OnDeactivate() {}
void CTrkObj::OnExtra(int32_t) {}
void CTrkObj::OnActivate() {}
void CTrkObj::OnAddedToSelection() {}

CSize CTrkObj::GetMinSize() const { return CSize(30, 25); }
CSize CTrkObj::GetDefaultSize() const { return CSize(100, 50); }
int32_t CTrkObj::GetType() const { return m_type; }

void CTrkObj::Load(CArchive& ar) {
    const CRect r = ar.ReadRect();
    for (int32_t v : {r.left, r.top, r.right, r.bottom})
        if (v < -kMaxStoredCoordinate || v > kMaxStoredCoordinate)
            throw CArchiveException("page object record: coordinate " + std::to_string(v) + " is off any page");
    m_rect = Normalized(r);
    LOGFONT lf = LoadLogFont(ar);
    lf.lfFaceName = lm::FitFaceName(lf.lfFaceName);
    m_font = lf;
    m_textColor = ar.ReadUInt32();
    m_backColor = ar.ReadUInt32();
    m_reserved = ar.ReadInt32();
}

void CTrkObj::Store(CArchive& ar) const {
    ar.WriteRect(m_rect);
    LOGFONT lf = m_font;
    lf.lfFaceName = lm::FitFaceName(lf.lfFaceName);
    StoreLogFont(ar, lf);
    ar.WriteUInt32(m_textColor);
    ar.WriteUInt32(m_backColor);
    ar.WriteInt32(m_reserved);
}

bool CTrkObj::BuildContextMenu(std::vector<lm::MenuItem>*, uint32_t, CPoint) { return true; }

void CTrkObj::SetSelected(bool selected) { m_selected = selected; }
bool CTrkObj::IsSelected() const { return m_selected; }
void CTrkObj::CopyToClipboard() {}

int32_t CTrkObj::HitTest(CPoint p) const {
    const int32_t h = kHandleSize;
    const int32_t h2 = h / 2;
    if (!m_rect.PtInRect(p)) return kHitOutside;
    const CRect inner = GetInnerRect();
    if (inner.PtInRect(p)) return kHitInside;
    const int32_t mx = (m_rect.left + m_rect.right) / 2;
    const int32_t my = (m_rect.top + m_rect.bottom) / 2;
    const bool middleX = mx - h2 < p.x && p.x < mx + h2;
    if (p.y < inner.top) {
        if (p.x < inner.left) return kHitTopLeft;
        if (middleX) return kHitTop;
        if (p.x > inner.right) return kHitTopRight;
    }
    if (my - h2 < p.y && p.y < my + h2) {
        if (p.x < inner.left) return kHitLeft;
        if (p.x > inner.right) return kHitRight;
    }
    if (p.y <= inner.bottom) return kHitFrame;
    if (p.x < inner.left) return kHitBottomLeft;
    if (middleX) return kHitBottom;
    if (p.x <= inner.right) return kHitFrame;
    return kHitBottomRight;
}

CRect CTrkObj::GetInnerRect() const {
    CRect r = m_rect;
    r.DeflateRect(kHandleSize, kHandleSize);
    return r;
}

bool CTrkObj::IntersectsRect(const CRect& rect) const {
    CRect out;
    return out.IntersectRect(Normalized(m_rect), Normalized(rect));
}

void CTrkObj::Invalidate() {
    if (m_pDocument) m_pDocument->InvalidateObject(this);
}

void CTrkObj::SetFont(const LOGFONT& font) {
    m_font = font;
    m_font.lfFaceName = lm::FitFaceName(font.lfFaceName);
}
