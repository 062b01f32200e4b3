#pragma once
// The question asked before text is written to a file whose strings are in
// code page 936 (reports, the phrase lists): the characters that file cannot
// hold would be stored as '?', so the user is told which ones, and where,
// and may keep the file as it was.
#include <QString>

#include <vector>

#include "base/Archive.h"

class QWidget;

namespace lm {

// True when nothing would be replaced or the user chose to write anyway.
// store names the file in the text ("a report", "the phrase lists").
bool AcceptReplacedCharacters(QWidget* parent, const std::vector<CArchive::Replaced>& replaced,
                              const QString& store);

}  // namespace lm
