#include "report/page/TrkText.h"

#include <QPainter>

#include <algorithm>

#include "base/Archive.h"
#include "platform/PaintHelpers.h"
#include "platform/UiServices.h"
#include "report/page/LumitraDoc.h"
#include "report/page/LumitraView.h"
#include "report/page/REditEx.h"
#include "report/page/TextBoxLayout.h"

namespace {

// Below this both ways a rectangle is a click, not a drawn band.
constexpr int32_t kClickExtent = 3;

CRect FittedTextRect(const CRect& given) {
    CRect r = Normalized(given);
    const bool click = r.Width() < kClickExtent && r.Height() < kClickExtent;
    if (r.Width() < kTextMinWidth) r.right = r.left + kTextMinWidth;
    if (r.Height() < kTextMinHeight) r.bottom = r.top + kTextMinHeight;
    if (click) r = CRect(r.TopLeft(), kTextDefaultSize);
    return r;
}

// The text as an edit shows it and as it is drawn: every break one "\n".
std::string WithNewlines(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            out += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

// The editor's "\n" breaks written as the stored text writes its own.
std::string WithBreaksOf(const std::string& edited, const std::string& stored) {
    const bool bareNewlines = stored.find('\n') != std::string::npos && stored.find("\r\n") == std::string::npos;
    if (bareNewlines) return edited;
    std::string out;
    out.reserve(edited.size());
    for (char c : edited) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

}  // namespace

CTrkText::CTrkText(const CRect& rect, CLumitraDoc* doc) : CTrkObj(FittedTextRect(rect), doc) { m_type = kObjText; }

CTrkText::CTrkText(CPoint at, CLumitraDoc* doc) : CTrkObj(CRect(at, kTextDefaultSize), doc) { m_type = kObjText; }

CTrkText::CTrkText(CLumitraDoc* doc) : CTrkObj(doc) { m_type = kObjText; }

CTrkText::~CTrkText() {
    QObject::disconnect(m_follow);
    delete m_editor.data();
}

void CTrkText::SetText(const std::string& utf8) {
    m_text = utf8;
    if (m_editor) m_editor->SetText(WithNewlines(m_text));
}

void CTrkText::Draw(QPainter* painter) {
    if (!painter) return;
    lm::FillRect(*painter, m_rect, 0xFFFFFF);
    CRect inner = m_rect;
    inner.DeflateRect(kTextMargin, kTextMargin);
    if (inner.IsRectEmpty() || m_text.empty()) return;
    painter->save();
    painter->setPen(lm::ToQColor(m_textColor));
    painter->setClipRect(lm::ToQRectF(inner), Qt::IntersectClip);
    // The one layout the editor, the screen, pictures and paper share.
    lm::DrawTextBox(*painter, QString::fromStdString(m_text), lm::ToQFont(m_font), lm::ToQRectF(inner));
    painter->restore();
}

void CTrkText::Activate(uint32_t, CPoint) { BeginTextEdit(); }

bool CTrkText::OnLButtonDown(uint32_t flags, CPoint point, int32_t* state) {
    CTrkObj::OnLButtonDown(flags, point, state);
    return *state == kTrackMove;
}

bool CTrkText::QueryMouse(uint32_t, CPoint, int32_t*) { return false; }

void CTrkText::MoveBy(CSize offset, bool quiet) {
    CTrkObj::MoveBy(offset, quiet);
    if (m_editor) PlaceEditor();
}

void CTrkText::SetRect(const CRect& rect, bool quiet) {
    CTrkObj::SetRect(rect, quiet);
    if (m_editor) PlaceEditor();
}

void CTrkText::EndEdit(int32_t) { EndTextEdit(); }

void CTrkText::OnDeactivate() {
    EndTextEdit();
    CTrkObj::OnDeactivate();
}

void CTrkText::OnExtra(int32_t) {}

void CTrkText::OnActivate() {
    if (m_pDocument) BeginTextEdit();
}

CSize CTrkText::GetDefaultSize() const { return kTextDefaultSize; }

void CTrkText::Load(CArchive& ar) {
    CTrkObj::Load(ar);
    m_text = ar.ReadString();
}

void CTrkText::Store(CArchive& ar) const {
    // The object holds every edit already (TakeEditorState): the record is
    // the edited text in the edited font.
    CTrkObj::Store(ar);
    ar.WriteString(m_text);
}

bool CTrkText::BuildContextMenu(std::vector<lm::MenuItem>*, uint32_t, CPoint) { return true; }

bool CTrkText::OnContextCommand(uint32_t, int32_t) { return true; }

void CTrkText::CopyToClipboard() {}

CLumitraView* CTrkText::EditingView() const {
    if (!m_pDocument) return nullptr;
    CLumitraView* active = CLumitraView::GetActiveLumitraView();
    if (active && active->GetDocument() == m_pDocument) return active;
    const std::vector<CLumitraView*>& views = m_pDocument->GetViews();
    return views.empty() ? nullptr : views.front();
}

void CTrkText::BeginTextEdit() {
    CLumitraView* view = EditingView();
    if (!view) return;
    if (m_editor && m_view != view) EndTextEdit();
    if (!m_editor) {
        m_view = view;
        m_editor = new CREditEx(view->viewport());
        m_editor->setObjectName(QStringLiteral("textBoxEditor"));
        QObject::connect(m_editor.data(), &CREditEx::edited, m_editor.data(), [this] { TakeEditorState(); });
        m_follow = QObject::connect(view, &CLumitraView::mappingChanged, m_editor.data(), [this] { PlaceEditor(); });
    }
    m_editor->ApplyFont(m_font, m_textColor, view->GetZoom());
    m_editor->SetText(WithNewlines(m_text));
    PlaceEditor();
    m_editor->show();
    m_editor->setFocus(Qt::OtherFocusReason);
}

void CTrkText::EndTextEdit() {
    if (!m_editor) return;
    TakeEditorState();
    QObject::disconnect(m_follow);
    CREditEx* editor = m_editor.data();
    m_editor = nullptr;
    m_view = nullptr;
    editor->hide();
    delete editor;
}

void CTrkText::PlaceEditor() {
    if (!m_editor || !m_view) return;
    CRect inner = m_rect;
    inner.DeflateRect(kTextMargin, kTextMargin);
    m_editor->SetZoom(m_view->GetZoom());
    m_editor->setGeometry(lm::ToQRect(m_view->LogicalRectToClient(inner)));
}

void CTrkText::TakeEditorState() {
    if (!m_editor) return;
    LOGFONT font;
    COLORREF color = 0;
    std::string edited;
    m_editor->ReadBack(&font, &color, &edited);
    const std::string text = WithNewlines(m_text) == edited ? m_text : WithBreaksOf(edited, m_text);
    if (text == m_text && font == m_font && color == m_textColor) return;
    m_text = text;
    SetFont(font);
    m_textColor = color;
    if (m_pDocument) m_pDocument->SetModifiedFlag();
    GrowToText();
}

void CTrkText::GrowToText() {
    const QString text = QString::fromStdString(WithNewlines(m_text));
    const QFont font = lm::ToQFont(m_font);
    CRect r = m_rect;
    int32_t widest = r.Width();
    if (m_pDocument) {
        const int32_t pageWidth = m_pDocument->GetPageSize().cx;
        if (pageWidth > 0) {
            const int32_t pageRight = (m_pDocument->PointToPage(r.left, r.top).x + 1) * pageWidth;
            widest = std::max(widest, pageRight - r.left);
        }
    }
    const int32_t wanted = lm::TextBoxNeededWidth(text, font) + 2 * kTextMargin;
    r.right = r.left + std::clamp(wanted, r.Width(), widest);
    // One unit more than the lines: the editor scrolls when its last line
    // reaches its lowest pixel.
    const int32_t tall = lm::TextBoxNeededHeight(text, font, r.Width() - 2 * kTextMargin) + 2 * kTextMargin + 1;
    r.bottom = r.top + std::max(r.Height(), tall);
    if (r == m_rect) return;
    SetRect(r, false);
    if (m_pDocument) {
        // A box grown past the last page row takes more rows, as a placed
        // object does.
        const int32_t pageHeight = m_pDocument->GetPageSize().cy;
        if (pageHeight > 0 && r.bottom > m_pDocument->GetCanvasSize().cy)
            m_pDocument->SetPageCount(m_pDocument->GetPagesAcross(), (r.bottom + pageHeight - 1) / pageHeight);
        m_pDocument->RedrawDirty();
    }
}

bool ChooseObjectFont(CTrkObj* obj, const std::function<bool()>& applied) {
    if (!obj) return false;
    LOGFONT font = obj->GetFont();
    COLORREF color = obj->GetTextColor();
    CLumitraDoc* doc = obj->GetDocument();
    QWidget* parent = CLumitraView::GetActiveLumitraView();
    if (doc && !doc->GetViews().empty() && (!parent || CLumitraView::GetActiveLumitraView()->GetDocument() != doc))
        parent = doc->GetViews().front();
    if (!lm::Ui().ChooseFont(parent, &font, &color)) return false;
    bool changed = !(font == obj->GetFont()) || color != obj->GetTextColor();
    // OK on the font and colour there were: nothing chosen, so nothing is
    // passed on (a grid would put its font over cells edited one by one).
    if (!changed) return true;
    obj->SetFont(font);
    obj->SetTextColor(color);
    if (applied && applied()) changed = true;
    if (changed && doc) {
        doc->InvalidateObject(obj);
        doc->SetModifiedFlag();
        doc->RedrawDirty();
    }
    return true;
}

std::unique_ptr<CTrkObj> LoadTextBox(CLumitraDoc* doc) { return std::make_unique<CTrkText>(doc); }

std::unique_ptr<CTrkObj> MakeTextBox(CLumitraDoc* doc, const CRect& rect) {
    return std::make_unique<CTrkText>(rect, doc);
}
