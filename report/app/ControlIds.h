#pragma once
// Control ids of the frame's bars. Tests and later panels find the controls
// by these ids (kept as each widget's "controlId" property).
#include <cstdint>

enum ControlId : int32_t {
    // Dialog bar (template 103).
    kCtlBannerButton = 1058,  // bitmap push button "btn": opens the program's web page
    kCtlAutoArrange = 1071,   // push-like check "Auto Arrange": the document's snap flag
    kCtlArrangeMode = 1072,   // hidden combo "By Data" / "By Item"
    kCtlPaneFileList = 1073,  // "F": pane flag 1
    kCtlPaneGateList = 1074,  // "G" (hidden): pane flag 2
    kCtlPaneProperty = 1075,  // "D": pane flag 3
    kCtlPaneDatabase = 1076,  // "D" (hidden): pane flag 4
    kCtlPaneNavigate = 1077,  // "N": pane flag 5
    // Status bar.
    kCtlZoomBox = 1095,
};

// Status-bar indicators, in pane order.
enum IndicatorId : int32_t {
    kIndicatorMessage = 0,
    kIndicatorSize = 59142,
    kIndicatorCaps = 59137,
    kIndicatorNum = 59138,
    kIndicatorScroll = 59139,
};

// The five pane flags of the main frame, in their stored order.
enum PaneFlag : int32_t {
    kPaneFileList = 0,  // File List shown
    kPaneGateList = 1,  // governs no window
    kPaneProperty = 2,  // property panel shown
    kPaneDatabase = 3,  // database panel shown
    kPaneNavigate = 4,  // Navigate panel shown
    kPaneFlagCount = 5,
};
