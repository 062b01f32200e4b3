#pragma once
// Control ids of the result-table settings ("Stat" page, "Head" page, the
// export dialog, "Parameter") and of the Info Assistant's pages. Widgets keep
// their id as the "controlId" property (lm::WithControlId).
#include <cstdint>

enum StatPageControl : int32_t {
    kStatPagePercent = 1037,
    kStatPageEvent = 1038,
    kStatPageParentPre = 1066,
    kStatPageApply = 1042,
    kStatPageCancel = 1043,
    kStatPageMatrixBox = 201,  // every box of the matrix
    kStatParClear = 1036,  // "Clear" of the "Parameter" dialog
};

enum RltHeadControl : int32_t {
    kHeadKeyWords = 1159,
    kHeadCurrentFileName = 1160,
    kHeadOriginalFileName = 1161,
    kHeadPatientId = 1162,
    kHeadSampleId = 1163,
    kHeadDate = 1164,
    kHeadList = 1165,
    kHeadApply = 1167,
    kHeadCancel = 2,
};

enum RltExportControl : int32_t {
    kExportOk = 1,
    kExportCancel = 2,
    kExportTabs = 1166,
    kExportDataSets = 1170,
};

enum InfoAssistantControl : int32_t {
    kInfoText = 1204,
    kInfoToClipboard = 1206,
    // "Dict" page
    kDictNames = 1199,
    kDictName = 1200,
    kDictPhrases = 1201,
    kDictPhrase = 1202,
    kDictNameAdd = 1203,
    kDictNameDel = 1204,
    kDictPhraseAdd = 1205,
    kDictPhraseDel = 1206,
    kDictPhraseModify = 1207,
    // "Para table" page
    kParaVScroll = 1175,
    kParaHScroll = 1176,
    kParaEditString = 1177,
    kParaResetAll = 1178,
    kParaApply = 1179,
    // "Edit String"
    kEditStrEdit = 1180,
    kEditStrList = 1181,
    kEditStrAdd = 1178,
    kEditStrDelete = 1179,
};
