#pragma once
// Control ids of the data-set dialogs ("Transform", "Compensation", "Add Data
// Plots"). Each widget keeps its id as the "controlId" property, so tests and
// callers find a control by the id the dialog was designed with.
#include <cstdint>

enum TransDlgControl : int32_t {
    kTransOk = 1,
    kTransCancel = 2,
    kTransApply = 3,
    kTransParam = 1109,         // "Parameter" combo
    kTransMode = 1110,          // "Mode" combo: "Linear", "Log", "Logical"
    kTransMin = 1112,
    kTransMax = 1113,
    kTransDecades = 1114,
    kTransDecadesLabel = 1115,
    kTransAutoMin = 1196,
    kTransAutoMax = 1197,
    kTransAutoMinFrac = 1198,   // fraction combo under Min
    kTransAutoMaxFrac = 1200,   // fraction combo under Max
};

// Entries of the "Mode" combo, in the order it lists them.
enum TransDlgMode : int32_t { kTransModeLinear = 0, kTransModeLog = 1, kTransModeLogical = 2 };

enum CompDlgControl : int32_t {
    kCompOk = 1,
    kCompCancel = 2,
    kCompValueXY = 1018,    // row 1: coefficient (row X, column Y) in percent
    kCompSpinXY = 1019,     // row 1: vertical spinner, tenths of a percent
    kCompValueYX = 1020,    // row 2: coefficient (row Y, column X) in percent
    kCompSpinYX = 1021,     // row 2: horizontal spinner
    kCompCaptionY1 = 1022,  // row 1: Y title followed by "-"
    kCompCaptionX1 = 1023,  // row 1: X title
    kCompCaptionY2 = 1024,  // row 2: Y title
    kCompCaptionX2 = 1025,  // row 2: X title followed by "-"
};

enum AddPlotsControl : int32_t {
    kAddPlotsOk = 1,
    kAddPlotsCancel = 2,
    kAddPlotsParams = 1147,   // check list of parameters
    kAddPlotsGate = 1223,
    kAddPlotsDot = 1224,
    kAddPlotsHist = 1225,
    kAddPlotsContour = 1226,
    kAddPlotsDensity = 1227,
    kAddPlotsSwap = 1228,     // "Swap Para", shown disabled
    kAddPlotsPercent = 1229,
    kAddPlotsEvents = 1230,
};
