// The commands that arm the view's tools: each is taken and sets its own
// tracking state; any other id is left to the caller.
#include <gtest/gtest.h>

#include "report/page/LumitraView.h"
#include "report/page/TrackStates.h"
#include "tests/report/ViewEvents.h"

namespace {

class ViewToolCommandTest : public vin::ViewFixture {
protected:
    void SetUp() override { OpenView(400, 300); }
};

}  // namespace

TEST_F(ViewToolCommandTest, EveryToolCommandIsTakenAndArmsItsTool) {
    const struct {
        int32_t command;
        int32_t state;
    } cases[] = {
        {kCmdTextTool, kTrackTextTool},         {kCmdGridTool, kTrackGridTool},
        {kCmdRangeToolCmd, kTrackRangeTool},    {kCmdRectToolCmd, kTrackRectTool},
        {kCmdEllipseToolCmd, kTrackEllipseTool}, {kCmdPolygonToolCmd, kTrackPolygonTool},
        {kCmdQuadrantToolCmd, kTrackQuadrantTool},
    };
    for (const auto& c : cases) {
        EXPECT_TRUE(view->OnToolCommand(c.command)) << c.command;
        EXPECT_EQ(view->GetTrackState(), c.state) << c.command;
    }
    const int32_t before = view->GetTrackState();
    EXPECT_FALSE(view->OnToolCommand(kCmdQuadrantToolCmd + 1));  // not a tool: left alone
    EXPECT_EQ(view->GetTrackState(), before);
}
