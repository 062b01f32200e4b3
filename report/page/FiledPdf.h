#pragma once
// Filed reports and their PDFs. A report is filed when it lies in a sample
// folder of the register's folder ("Database/YYYYMM/DD-NNN<ID>/", as the
// database panel makes them), however it was opened.
//
// The PDFs of filed reports are kept together in one folder and named after
// their reports' file names. Reports of different samples may share a file
// name, so beside each PDF a hidden record (".<pdf name>.owner") names the
// report that wrote it, by its path from the PDF folder (the register's
// folder can move as a whole). A save replaces only the PDF its own report
// wrote; a name taken by another report's PDF, or by a PDF whose writer
// cannot be told (older versions kept no record), is left alone and the new
// PDF takes the first free "name (2).pdf", "name (3).pdf", ...
//
// Every program writing the PDF of a report of one name holds the lock
// ".<name>.pdf.lock" in the PDF folder while it picks the PDF's name, records
// it and writes it: the check for a free name and the record are one step,
// and the temporary files of a write that was killed are its own to remove.
#include <QString>

#include <functional>

// Names a report's PDF may take: "name.pdf", then "name (2).pdf" up to
// "name (100).pdf".
constexpr int kFiledPdfNames = 100;

// The sample folder ('/' at the end) of a report at reportPath lying in one
// of databaseFolder; empty for a report anywhere else.
QString FiledSampleFolder(const QString& databaseFolder, const QString& reportPath);

// The hidden record beside pdfPath that names the report which wrote it.
QString FiledPdfOwnerRecord(const QString& pdfPath);

// Where the PDF of the saved report at reportPath goes in folder (made when
// missing): the PDF this report wrote before, else the first free name,
// which is then recorded as this report's before anything is written there.
// Empty with *error (when given) saying why when no name can be had. The
// caller holds the report's lock (WriteFiledPdf does).
QString ClaimFiledPdf(const QString& folder, const QString& reportPath, QString* error);

// The PDF the report at reportPath wrote in folder, when it is still there;
// empty otherwise.
QString FindFiledPdf(const QString& folder, const QString& reportPath);

// Writes the report's PDF with write(pdf path, error) under the report's
// lock: its name claimed, and what an interrupted write of it left removed
// first. False with *error saying why.
using FiledPdfWriter = std::function<bool(const QString& pdf, QString* error)>;
bool WriteFiledPdf(const QString& folder, const QString& reportPath, const FiledPdfWriter& write, QString* error);
