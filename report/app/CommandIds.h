#pragma once
// Command ids of the menus, the toolbar, the accelerators and the dialog bar.
// The numbers are those of the Windows program's resources: documents and
// settings of that program refer to them, and the test suite checks menus by
// them. Logic always uses the names.
#include <cstdint>

enum CommandId : int32_t {
    // Commands of the program itself.
    kCmdBlankA = 32785,          // answered by the document, does nothing
    kCmdBlankB = 32786,          // answered by the document, does nothing
    kCmdShellList = 32787,       // View > "Shell List": File List panel
    kCmdGateList = 32788,        // View > "Gate List": pane flag 2 (no window)
    kCmdPropertyPanel = 32791,   // in no menu: property panel
    kCmdNote = 32792,            // last toolbar button: the "Note" box
    kCmdSaveAsTemplate = 32795,  // File > "Save As Template..."
    kCmdPlotOptions = 32796,     // Edit > "Options...": plot option dialog

    // The framework's standard commands.
    kCmdFileNew = 57600,
    kCmdFileOpen = 57601,
    kCmdFileClose = 57602,
    kCmdFileSave = 57603,
    kCmdFileSaveAs = 57604,
    kCmdFilePrintSetup = 57606,
    kCmdFilePrint = 57607,
    kCmdFilePrintDirect = 57608,
    kCmdFilePrintPreview = 57609,
    kCmdFileMru1 = 57616,  // first recent file; the list takes kRecentFileCount ids
    kCmdEditCopy = 57634,
    kCmdEditCut = 57635,
    kCmdEditPaste = 57637,
    kCmdEditUndo = 57643,
    kCmdWindowNew = 57648,
    kCmdWindowArrange = 57649,
    kCmdWindowCascade = 57650,
    kCmdWindowTile = 57651,
    kCmdAppAbout = 57664,
    kCmdAppExit = 57665,
    kCmdHelpIndex = 57667,
    kCmdContextHelp = 57669,
    kCmdHelp = 57670,
    kCmdNextPane = 57680,
    kCmdPrevPane = 57681,
    kCmdViewToolbar = 59392,
    kCmdViewStatusBar = 59393,
};

// Entries of the recent-file list.
constexpr int32_t kRecentFileCount = 4;

// Menu resources: the frame's menu while no document is open, and the
// report document's menu.
enum MenuResourceId : int32_t {
    kMenuNoDocument = 128,
    kMenuReportDocument = 129,
    kMenuTextPopup = 130,
};

// Commands of the text-editing popup of a text box.
enum TextPopupCommand : int32_t {
    kCmdTextCopy = 32771,
    kCmdTextCut = 32772,
    kCmdTextPaste = 32773,
    kCmdTextClear = 32774,
    kCmdTextFont = 32775,
    kCmdTextUndo = 32776,
};

// Commands of a plot's context menus. Ids 1-5, 7 and 24 are carried out by
// the report view (the region tools, "Delete Item" and "Copy"); the others by
// the plot. Gate and parameter items carry an index and use ranges that never
// meet, whatever the number of gates or parameters: gate i is
// kPlotCmdGateBase + i below kPlotGateLowCount gates and
// kPlotCmdGateHighBase + i from there on; parameter i is kPlotCmdParamBase + i.
enum PlotMenuCommand : int32_t {
    kPlotCmdRangeTool = 1,
    kPlotCmdRectTool = 2,
    kPlotCmdEllipseTool = 3,
    kPlotCmdPolygonTool = 4,
    kPlotCmdQuadrantTool = 5,
    kPlotCmdResult = 6,
    kPlotCmdDeleteItem = 7,
    kPlotCmdNewPlot = 11,
    kPlotCmdLocalPlot = 12,
    kPlotCmdExportGraphic = 15,
    kPlotCmdTogglePercent = 16,  // in no menu
    kPlotCmdCopyRegion = 17,
    kPlotCmdPasteRegion = 18,
    kPlotCmdRegionColor = 19,
    kPlotCmdHistFillColor = 20,  // in no menu
    kPlotCmdCompensate = 21,
    kPlotCmdCopy = 24,
    kPlotCmdAsDefault = 25,
    // The plot's kinds, checked as the plot shows them.
    kPlotCmdKindDot = 26,
    kPlotCmdKindDensity = 27,
    kPlotCmdKindContour = 28,
    kPlotCmdKindHistogram = 29,
    kPlotCmdGateBase = 100,
    kPlotCmdParamBase = 500,
    kPlotCmdGateHighBase = 0x40000000,
};
// Gates that fit below the parameter ids.
constexpr int32_t kPlotGateLowCount = kPlotCmdParamBase - kPlotCmdGateBase;
// Parameters that fit below the high gate ids (far beyond any data set).
constexpr int32_t kPlotParamIdCount = kPlotCmdGateHighBase - kPlotCmdParamBase;
