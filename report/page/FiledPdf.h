#pragma once
// The PDFs of filed reports, kept together in one folder and named after
// their reports' file names. Reports of different samples may share a file
// name, so beside each PDF a hidden record (".<pdf name>.owner") names the
// report that wrote it, by its path from the PDF folder (the register's
// folder can move as a whole). A save replaces only the PDF its own report
// wrote; a name taken by another report's PDF, or by a PDF whose writer
// cannot be told (older versions kept no record), is left alone and the new
// PDF takes the first free "name (2).pdf", "name (3).pdf", ...
#include <QString>

// Names a report's PDF may take: "name.pdf", then "name (2).pdf" up to
// "name (100).pdf".
constexpr int kFiledPdfNames = 100;

// The hidden record beside pdfPath that names the report which wrote it.
QString FiledPdfOwnerRecord(const QString& pdfPath);

// Where the PDF of the saved report at reportPath goes in folder (made when
// missing): the PDF this report wrote before, else the first free name,
// which is then recorded as this report's before anything is written there.
// Empty with *error (when given) saying why when no name can be had.
QString ClaimFiledPdf(const QString& folder, const QString& reportPath, QString* error);
