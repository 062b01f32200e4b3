#pragma once
// Control and command ids of the database panel (dialog 106) and its find
// dialog (dialog 196). Layout cells and the "dbgrid" file hold field ids.
#include <cstdint>

enum DatabaseControlId : int32_t {
    kDbId = 1119,
    kDbRemark = 1120,
    kDbList = 1121,
    kDbNew = 1122,
    kDbName = 1123,
    kDbSex = 1124,
    kDbAge = 1125,
    kDbBed = 1127,
    kDbDiagnosis = 1128,
    kDbItem = 1132,
    kDbLayout = 1137,
    kDbLayoutRows = 1139,
    kDbLayoutCols = 1140,
    kDbApply = 1141,
    kDbModify = 1172,
    kDbClear = 1173,
    kDbDepartment = 1182,
    kDbSample = 1183,
    kDbState = 1184,
    kDbFind = 1185,
    kDbHistory = 1186,
    kDbReceiveDate = 1210,
    kDbTestDate = 1211,
};

// Popup-menu ids of the panel.
enum DatabaseMenuId : int32_t {
    kMenuDbOnly = 1,            // New ▸ "DB"
    kMenuNewTemplateFirst = 10, // New ▸ "DB & Report" ▸ template i
    kMenuRecordDelete = 1,      // record menu
    kMenuRecordOpenFolder = 2,
    kMenuNewReportFirst = 100,  // record menu ▸ "New Report" ▸ template i
    kMenuOpenReportFirst = 200, // record menu ▸ "Open Report" ▸ report j (moved up past 100 templates)
};

enum FindControlId : int32_t {
    kFindConjunction = 501,
    kFindColumn = 601,
    kFindValue = 701,
    kFindAdd = 1193,
    kFindDel = 1194,
    kFindDate = 1207,
    kFindOperator = 1208,
};
