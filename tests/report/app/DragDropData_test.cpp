// The gate payload: its drag image (size, the name cut to fit) and how it
// lets go of a gate or data shell that goes away.
#include "report/app/DragDropData.h"

#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QWidget>

#include <memory>

#include "core/DataShell.h"
#include "core/GateNode.h"
#include "tests/report/PlotTestUtil.h"
#include "tests/report/ReportTestUtil.h"
#include "tests/report/ViewEvents.h"

namespace {

class GatePayloadTest : public ::testing::Test {
protected:
    void SetUp() override {
        rtest::EnsureApp();
        shell = plottest::MakeShell(vin::GridEvents());
    }
    CGateNode* Gate(const std::string& name) {
        CGateNode* g = plottest::AddRectGate(*shell, 0.1f, 0.1f, 0.5f, 0.5f, 0, "g");
        g->SetName(name);
        return g;
    }

    std::unique_ptr<VexaDataShell> shell;
    QWidget window;
};

TEST_F(GatePayloadTest, TheImageIsTheNameCutTo64PixelsAndNeverEmpty) {
    const QFontMetrics fm(window.font());
    const QString ellipsis(QChar(0x2026));
    struct Case {
        std::string name;
        bool cut;  // wider than 64 pixels
    };
    const Case cases[] = {
        {"CD4", false},
        {"a gate whose name is far too long for the image", true},
        {"", false},  // a small square all the same
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CDragDropGNEx payload(Gate(c.name));
        EXPECT_EQ(payload.GetKind(), kPayloadGate);
        CRect extent(9, 9, 9, 9);
        const QImage image = payload.CreateDragImage(&window, &extent);
        ASSERT_FALSE(image.isNull());
        EXPECT_EQ(extent, CRect(0, 0, image.width(), image.height()));
        EXPECT_EQ(image.height(), fm.height());
        EXPECT_GT(image.width(), 0);
        EXPECT_LE(image.width(), kDragImageMaxWidth);
        const QString full = QString::fromStdString(c.name);
        const QString shown = payload.DisplayText(window.font(), image.width());
        if (c.cut) {
            EXPECT_EQ(image.width(), kDragImageMaxWidth);
            EXPECT_TRUE(shown.endsWith(ellipsis)) << shown.toStdString();
            EXPECT_TRUE(full.startsWith(shown.chopped(1)));
            EXPECT_LE(fm.horizontalAdvance(shown), kDragImageMaxWidth);
        } else {
            EXPECT_EQ(shown, full);
            // An empty name gets a square one line high.
            EXPECT_EQ(image.width(), full.isEmpty() ? fm.height() : fm.horizontalAdvance(full));
        }
    }
}

TEST_F(GatePayloadTest, TheImageIsHighlightWithWhiteText) {
    CDragDropGNEx payload(Gate("MMMM"));
    CRect extent;
    const QImage image = payload.CreateDragImage(&window, &extent);
    const QRgb highlight = window.palette().color(QPalette::Highlight).rgb() | 0xFF000000u;
    int ground = 0, white = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb px = image.pixel(x, y) | 0xFF000000u;
            ground += px == highlight;
            white += px == qRgb(255, 255, 255);
        }
    EXPECT_GT(ground, image.width() * image.height() / 3);
    EXPECT_GT(white, 0);
}

TEST_F(GatePayloadTest, ThePayloadLetsGoOfARemovedGateAndTellsOnce) {
    CGateNode* g = Gate("gone");
    CDragDropGNEx payload(g);
    int lost = 0;
    payload.SetLostHandler([&] { ++lost; });
    EXPECT_TRUE(payload.IsAlive());
    shell->RemoveGate(g, true);
    EXPECT_FALSE(payload.IsAlive());
    EXPECT_EQ(payload.GetGateContent(), nullptr);
    EXPECT_EQ(lost, 1);
    // Still usable: an empty image of non-zero size.
    CRect extent;
    EXPECT_FALSE(payload.CreateDragImage(&window, &extent).isNull());
}

TEST_F(GatePayloadTest, ThePayloadLetsGoWhenTheShellGoes) {
    CDragDropGNEx payload(Gate("with shell"));
    int lost = 0;
    payload.SetLostHandler([&] { ++lost; });
    shell.reset();
    EXPECT_EQ(payload.GetGateContent(), nullptr);
    EXPECT_EQ(payload.GetShell(), nullptr);
    EXPECT_EQ(lost, 1);
}

TEST_F(GatePayloadTest, APayloadDeletedFirstLeavesTheGateWithoutIt) {
    CGateNode* g = Gate("kept");
    const size_t users = g->GetUsers().size();
    {
        CDragDropGNEx payload(g);
        EXPECT_EQ(g->GetUsers().size(), users + 1);
    }
    EXPECT_EQ(g->GetUsers().size(), users);
    shell->RemoveGate(g, true);  // no payload is told
}

}  // namespace
