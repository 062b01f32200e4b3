#pragma once
// The FCS files of a filed report, copied into its sample folder when it is
// saved so that the folder keeps everything the report shows. A copy is named
// "yyMMdd-<file name>" (then "...000" to "...099" when that is taken) and
// never replaces a file there. A copy whose bytes are those of its source is
// the same copy: a save killed after copying, or a save on a later day, uses
// it again instead of copying the file once more.
//
// A save first plans its copies (names only, nothing written), so that the
// user can still decline before anything is copied; the copies are then made
// under the folder's lock ".filing.lock", each written beside its name and
// renamed into place only when whole. What a killed copy left is removed by
// the next one.
#include <QString>

#include <vector>

class CDataSet;
class CLumitraDoc;

struct SampleCopy {
    CDataSet* dataSet = nullptr;
    QString source;
    QString target;
    bool there = false;  // a copy with the source's bytes is there already
};

// The copies a save of doc into sample folder folder needs: one for every
// data set read from a file outside the folder. False with *error when the
// folder is missing or no name is free.
bool PlanSampleCopies(const CLumitraDoc& doc, const QString& folder, std::vector<SampleCopy>* plan, QString* error);

// Makes the planned copies that are not there. False with *error when one
// cannot be made, or when another file took a planned name meanwhile; the
// copies made before it stay (a later save uses them).
bool MakeSampleCopies(const QString& folder, const std::vector<SampleCopy>& plan, QString* error);
