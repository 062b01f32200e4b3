#include "report/page/TrkObj.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include "base/Archive.h"
#include "report/page/LumitraDoc.h"
#include "report/page/TrackStates.h"
#include "tests/report/ReportTestUtil.h"

namespace {

using rtest::TestObj;

// rect (100, 100, 200, 180): inner (108, 108, 192, 172), centre (150, 140).
const CRect kRect(100, 100, 200, 180);

TEST(TrkObjHitTest, CornersEdgesAndBandsFollowTheStrictBounds) {
    TestObj o(kRect, nullptr);
    struct Case {
        int x, y, hit;
    };
    const Case cases[] = {
        {99, 100, kHitOutside},   {100, 99, kHitOutside},   {200, 150, kHitOutside}, {150, 180, kHitOutside},
        {100, 100, kHitTopLeft},  {107, 107, kHitTopLeft},  {108, 108, kHitInside},  {191, 171, kHitInside},
        // Top middle handle: strictly between mx - 4 and mx + 4.
        {146, 100, kHitFrame},    {147, 100, kHitTop},      {153, 107, kHitTop},     {154, 100, kHitFrame},
        // Top right: strictly right of inner.right (192).
        {192, 100, kHitFrame},    {193, 100, kHitTopRight}, {199, 107, kHitTopRight},
        // Left and right middle: strictly between my - 4 and my + 4.
        {100, 136, kHitFrame},    {100, 137, kHitLeft},     {107, 143, kHitLeft},    {100, 144, kHitFrame},
        {193, 140, kHitRight},    {199, 137, kHitRight},    {192, 140, kHitFrame},
        // A point on the border level with no handle.
        {100, 120, kHitFrame},    {199, 160, kHitFrame},
        // The first row of the bottom band still counts as the side band.
        {100, 172, kHitFrame},
        {100, 173, kHitBottomLeft}, {107, 179, kHitBottomLeft}, {147, 179, kHitBottom}, {153, 173, kHitBottom},
        {146, 179, kHitFrame},    {192, 179, kHitFrame},    {193, 179, kHitBottomRight}, {199, 179, kHitBottomRight},
    };
    for (const Case& c : cases) EXPECT_EQ(o.HitTest(CPoint(c.x, c.y)), c.hit) << c.x << "," << c.y;
}

TEST(TrkObjMouse, ButtonDownTurnsHitCodesIntoTrackingStates) {
    TestObj o(kRect, nullptr);
    int32_t state = kTrackIdle;
    EXPECT_TRUE(o.OnLButtonDown(0, CPoint(150, 140), &state));
    EXPECT_EQ(state, kTrackMove);
    const struct {
        CPoint p;
        int32_t state;
    } resize[] = {{{101, 101}, kTrackResizeTopLeft},
                  {{198, 101}, kTrackResizeTopRight},
                  {{198, 178}, kTrackResizeBottomRight},
                  {{101, 178}, kTrackResizeBottomLeft},
                  {{100, 120}, kTrackFrame},
                  {{300, 300}, kTrackIdle}};
    for (const auto& r : resize) {
        state = kTrackMove;
        EXPECT_FALSE(o.OnLButtonDown(0, r.p, &state));
        EXPECT_EQ(state, r.state);
    }
    // The middle handles leave the state as it was.
    for (CPoint p : {CPoint(150, 101), CPoint(199, 140), CPoint(150, 178), CPoint(101, 140)}) {
        state = kTrackCellDrag;
        EXPECT_FALSE(o.OnLButtonDown(0, p, &state));
        EXPECT_EQ(state, kTrackCellDrag);
    }
    state = kTrackTitlePress;
    EXPECT_TRUE(o.OnLButtonUp(0, CPoint(), &state));
    EXPECT_EQ(state, kTrackMove);
    state = kTrackFrame;
    EXPECT_TRUE(o.OnLButtonUp(0, CPoint(), &state));
    EXPECT_EQ(state, kTrackFrame);
    EXPECT_TRUE(o.OnMouseMove(0, CPoint(100, 100), &state));
    EXPECT_FALSE(o.OnMouseMove(0, CPoint(200, 100), &state));
    EXPECT_EQ(o.PageToLocal(CPoint(110, 120)), CPoint(2, 12));
}

TEST(TrkObjRect, SetRectReportsTheOldPlaceAndTheObject) {
    CLumitraDoc doc;
    TestObj o(kRect, &doc);
    // The same rectangle again: only the old place is marked.
    o.SetRect(kRect);
    EXPECT_EQ(doc.GetDirtyRects(), std::vector<CRect>{kRect});
    EXPECT_TRUE(doc.GetDirtyObjects().empty());
    EXPECT_FALSE(doc.IsModified());

    const CRect moved(10, 10, 60, 40);
    o.SetRect(moved);
    EXPECT_EQ(o.GetRect(), moved);
    EXPECT_EQ(doc.GetDirtyRects(), std::vector<CRect>{kRect});  // not listed twice
    ASSERT_EQ(doc.GetDirtyObjects().size(), 1u);
    EXPECT_EQ(doc.GetDirtyObjects()[0], &o);
    EXPECT_TRUE(doc.IsModified());

    // Quiet: the old place is marked, the object is not.
    CLumitraDoc quietDoc;
    TestObj q(kRect, &quietDoc);
    q.SetRect(moved, true);
    EXPECT_EQ(q.GetRect(), moved);
    EXPECT_EQ(quietDoc.GetDirtyRects(), std::vector<CRect>{kRect});
    EXPECT_TRUE(quietDoc.GetDirtyObjects().empty());

    // An inverted rectangle is never stored.
    q.SetRect(CRect(60, 40, 10, 10));
    EXPECT_EQ(q.GetRect(), CRect(10, 10, 60, 40));
    TestObj inverted(CRect(5, 9, 1, 2), nullptr);
    EXPECT_EQ(inverted.GetRect(), CRect(1, 2, 5, 9));
    // Without a document nothing is reported (and nothing breaks).
    inverted.SetRect(kRect);
    EXPECT_EQ(inverted.GetRect(), kRect);
}

TEST(TrkObjRect, MoveByMarksBothPlacesAndZeroDoesNothing) {
    CLumitraDoc doc;
    TestObj o(kRect, &doc);
    o.MoveBy(CSize(0, 0), false);
    EXPECT_TRUE(doc.GetDirtyRects().empty());
    EXPECT_TRUE(doc.GetDirtyObjects().empty());
    EXPECT_EQ(o.GetRect(), kRect);

    o.MoveBy(CSize(5, -7), false);
    EXPECT_EQ(o.GetRect(), CRect(105, 93, 205, 173));
    // The place left behind is repainted too, and the object once.
    EXPECT_EQ(doc.GetDirtyRects(), std::vector<CRect>{kRect});
    EXPECT_EQ(doc.GetDirtyObjects(), std::vector<CTrkObj*>{&o});

    CLumitraDoc quietDoc;
    TestObj q(kRect, &quietDoc);
    q.MoveBy(CSize(1, 1), true);
    EXPECT_EQ(q.GetRect(), CRect(101, 101, 201, 181));
    EXPECT_TRUE(quietDoc.GetDirtyRects().empty());
    EXPECT_TRUE(quietDoc.GetDirtyObjects().empty());
}

TEST(TrkObjRect, IntersectionNeedsSharedArea) {
    TestObj o(kRect, nullptr);
    EXPECT_TRUE(o.IntersectsRect(CRect(199, 179, 300, 300)));
    EXPECT_FALSE(o.IntersectsRect(CRect(200, 100, 300, 300)));  // touching the right edge
    EXPECT_TRUE(o.IntersectsRect(CRect(150, 150, 0, 0)));       // inverted: normalised first
    EXPECT_FALSE(o.IntersectsRect(CRect(150, 150, 150, 170)));  // no area
    EXPECT_EQ(o.GetInnerRect(), CRect(108, 108, 192, 172));
}

// Bytes of the base record of an object, built by hand.
std::vector<uint8_t> ExpectedRecord(const CRect& r, const std::vector<uint8_t>& face, uint32_t text,
                                    uint32_t back, int32_t reserved) {
    std::vector<uint8_t> b;
    auto i32 = [&b](uint32_t v) {
        for (int k = 0; k < 4; ++k) b.push_back(uint8_t(v >> (8 * k)));
    };
    i32(uint32_t(r.left));
    i32(uint32_t(r.top));
    i32(uint32_t(r.right));
    i32(uint32_t(r.bottom));
    i32(uint32_t(-16));  // height
    i32(0);              // width
    i32(0);              // escapement
    i32(0);              // orientation
    i32(400);            // weight
    for (uint8_t v : {0, 0, 0, 0, 0, 0, 2, 0x12}) b.push_back(v);
    b.push_back(uint8_t(face.size()));
    b.insert(b.end(), face.begin(), face.end());
    i32(text);
    i32(back);
    i32(uint32_t(reserved));
    return b;
}

TEST(TrkObjRecord, BaseRecordIsByteExact) {
    TestObj o(CRect(-3, 20, 1030, 1500), nullptr);
    o.SetTextColor(kColorNone);
    o.SetBackColor(kColorNone);
    o.SetReserved(0x01020304);
    CArchive out;
    o.Store(out);
    // "宋体" is CB CE CC E5 in code page 936.
    EXPECT_EQ(out.Bytes(), ExpectedRecord(CRect(-3, 20, 1030, 1500), {0xCB, 0xCE, 0xCC, 0xE5}, 0xFFFFFFFFu,
                                          0xFFFFFFFFu, 0x01020304));

    TestObj back(nullptr);
    CArchive in(out.Bytes());
    back.Load(in);
    EXPECT_EQ(in.Remaining(), 0u);
    EXPECT_EQ(back.GetRect(), o.GetRect());
    EXPECT_EQ(back.GetFont(), o.GetFont());
    EXPECT_EQ(back.GetFont().lfFaceName, "宋体");
    EXPECT_EQ(back.GetTextColor(), kColorNone);
    EXPECT_EQ(back.GetBackColor(), kColorNone);
    EXPECT_EQ(back.Reserved(), 0x01020304);
}

TEST(TrkObjRecord, EveryFontFieldSurvivesAndSerializeMatchesStore) {
    TestObj o(CRect(1, 2, 3, 4), nullptr);
    LOGFONT lf;
    lf.lfHeight = 23;
    lf.lfWidth = -5;
    lf.lfEscapement = 900;
    lf.lfOrientation = 450;
    lf.lfWeight = 700;
    lf.lfItalic = 1;
    lf.lfUnderline = 2;
    lf.lfStrikeOut = 3;
    lf.lfCharSet = 134;
    lf.lfOutPrecision = 5;
    lf.lfClipPrecision = 6;
    lf.lfQuality = 7;
    lf.lfPitchAndFamily = 0x31;
    lf.lfFaceName = "Courier New";
    o.SetFont(lf);
    o.SetTextColor(RGB(1, 2, 3));
    o.SetBackColor(RGB(250, 251, 252));
    CArchive stored;
    o.Store(stored);
    CArchive serialized;
    o.Serialize(serialized);
    EXPECT_EQ(serialized.Bytes(), stored.Bytes());

    TestObj back(nullptr);
    CArchive in(stored.Bytes());
    back.Serialize(in);
    EXPECT_EQ(back.GetFont(), lf);
    EXPECT_EQ(back.GetTextColor(), RGB(1, 2, 3));
    EXPECT_EQ(back.GetBackColor(), RGB(250, 251, 252));
}

TEST(TrkObjRecord, LongFaceNamesAreCutAtACharacterBoundary) {
    // Twenty Chinese characters are 40 bytes: 15 fit the 31 bytes of the field.
    std::string face;
    for (int i = 0; i < 20; ++i) face += "体";
    TestObj o(CRect(0, 0, 10, 10), nullptr);
    LOGFONT lf = o.GetFont();
    lf.lfFaceName = face;
    o.SetFont(lf);
    EXPECT_EQ(o.GetFont().lfFaceName.size(), 15u * 3);
    CArchive out;
    o.Store(out);
    // Length prefix 30 at offset 16 + 20 + 8.
    EXPECT_EQ(out.Bytes()[44], 30);

    // A record written elsewhere with a longer name loads cut as well.
    CArchive foreign;
    foreign.WriteInt32(0);
    foreign.WriteInt32(0);
    foreign.WriteInt32(10);
    foreign.WriteInt32(10);
    for (int k = 0; k < 5; ++k) foreign.WriteInt32(0);
    for (int k = 0; k < 8; ++k) foreign.WriteByte(0);
    foreign.WriteString("x" + face);  // 41 bytes
    foreign.WriteInt32(0);
    foreign.WriteInt32(0);
    foreign.WriteInt32(0);
    TestObj back(nullptr);
    CArchive in(foreign.Bytes());
    back.Load(in);
    EXPECT_EQ(back.GetFont().lfFaceName, "x" + face.substr(0, 15 * 3));
}

TEST(TrkObjRecord, ShortOrInvertedRecordsAreHandled) {
    TestObj o(kRect, nullptr);
    CArchive out;
    o.Store(out);
    std::vector<uint8_t> cut = out.Bytes();
    cut.resize(cut.size() - 3);
    TestObj back(nullptr);
    CArchive in(cut);
    EXPECT_THROW(back.Load(in), CArchiveException);

    CArchive inverted;
    inverted.WriteInt32(50);
    inverted.WriteInt32(60);
    inverted.WriteInt32(10);
    inverted.WriteInt32(20);
    std::vector<uint8_t> rest(out.Bytes().begin() + 16, out.Bytes().end());
    inverted.WriteBytes(rest.data(), rest.size());
    CArchive in2(inverted.Bytes());
    back.Load(in2);
    EXPECT_EQ(back.GetRect(), CRect(10, 20, 50, 60));
}

TEST(TrkObjDraw, HandlesAndDragFrameRestoreThePictureWhenDrawnTwice) {
    rtest::EnsureApp();
    TestObj o(CRect(10, 10, 60, 50), nullptr);
    QImage img(80, 80, QImage::Format_RGB32);
    img.fill(Qt::white);
    const QImage before = img.copy();
    {
        QPainter p(&img);
        o.DrawHandles(&p);
    }
    // Each handle lies inside the rectangle against its corner or edge.
    EXPECT_EQ(img.pixel(10, 10), qRgb(0, 0, 0));
    EXPECT_EQ(img.pixel(17, 17), qRgb(0, 0, 0));
    EXPECT_EQ(img.pixel(18, 18), qRgb(255, 255, 255));
    EXPECT_EQ(img.pixel(59, 49), qRgb(0, 0, 0));
    EXPECT_EQ(img.pixel(52, 42), qRgb(0, 0, 0));
    EXPECT_EQ(img.pixel(60, 50), qRgb(255, 255, 255));
    EXPECT_EQ(img.pixel(31, 10), qRgb(0, 0, 0));   // top middle: 35 - 4 .. 35 + 3
    EXPECT_EQ(img.pixel(10, 26), qRgb(0, 0, 0));   // left middle: 30 - 4 ..
    {
        QPainter p(&img);
        o.DrawHandles(&p);
    }
    EXPECT_EQ(img, before);
    {
        QPainter p(&img);
        o.DrawDragFrame(&p);
        o.DrawTracking(&p);
    }
    EXPECT_EQ(img, before);
}

TEST(TrkObjLife, DeleteTakesTheObjectOffItsDocument) {
    CLumitraDoc doc;
    int destroyed = 0;
    auto owned = std::make_unique<TestObj>(kRect, &doc);
    owned->destroyed = &destroyed;
    CTrkObj* o = doc.AddObject(std::move(owned));
    doc.SetActiveObject(o);
    o->Delete();
    EXPECT_EQ(destroyed, 1);
    EXPECT_EQ(doc.GetObjectCount(), 0);
    EXPECT_EQ(doc.GetActiveObject(), nullptr);

    // Not on any page: it frees itself.
    auto* loose = new TestObj(kRect, nullptr);
    loose->destroyed = &destroyed;
    loose->Delete();
    EXPECT_EQ(destroyed, 2);
}

TEST(TrkObjDefaults, FontAndColoursOfANewObject) {
    TestObj o(kRect, nullptr);
    const LOGFONT& lf = o.GetFont();
    EXPECT_EQ(lf.lfHeight, -16);
    EXPECT_EQ(lf.lfWeight, 400);
    EXPECT_EQ(lf.lfQuality, 2);
    EXPECT_EQ(lf.lfPitchAndFamily, 18);
    EXPECT_EQ(lf.lfFaceName, "宋体");
    EXPECT_EQ(o.GetTextColor(), 0u);
    EXPECT_EQ(o.GetBackColor(), 0xFFFFFFu);
    EXPECT_EQ(o.GetMinSize(), CSize(30, 25));
    EXPECT_EQ(o.GetDefaultSize(), CSize(100, 50));
    EXPECT_FALSE(o.IsSelected());
    o.SetSelected(true);
    EXPECT_TRUE(o.IsSelected());
}

}  // namespace
