// Objects of another document are never taken into this one's selection.
#include <gtest/gtest.h>

#include <memory>

#include "report/page/LumitraDoc.h"
#include "tests/report/ReportTestUtil.h"

TEST(LumitraDocForeign, ToggleSelectionRefusesAnObjectOfAnotherDocument) {
    CLumitraDoc doc;
    CTrkObj* mine = doc.AddObject(std::make_unique<rtest::TestObj>(CRect(5, 5, 50, 50), &doc));
    doc.SetActiveObject(mine);
    CLumitraDoc other;
    rtest::TestObj foreign(CRect(0, 0, 5, 5), &other);
    doc.ToggleSelection(&foreign);
    EXPECT_TRUE(doc.GetSelection().empty());
    EXPECT_EQ(doc.GetActiveObject(), mine);  // still active, not moved into a selection
    EXPECT_EQ(foreign.addedToSelection, 0);
    doc.ToggleSelection(nullptr);
    EXPECT_TRUE(doc.GetSelection().empty());
}
