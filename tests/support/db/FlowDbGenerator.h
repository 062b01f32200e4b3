#pragma once
// A synthetic patient register for the database tests and benchmark:
// patients with Chinese names and IDs "P000000", "P000001", ..., and samples
// spread over five years, drawn from a seeded generator so that every run
// builds the same file.
#include <QDate>
#include <QString>

#include <cstdint>

class CFlowDb;

struct FlowDbGenOptions {
    int32_t patients = 20000;
    int32_t samples = 100000;
    uint32_t seed = 17;
    QDate firstDay{2021, 1, 1};  // dates fall in the five years from here
    int32_t days = 5 * 365;
};

// Fills an open, empty register in one transaction; false with *error.
bool GenerateFlowDb(CFlowDb& db, const FlowDbGenOptions& options, QString* error);

// What the generator gives patient i.
QString GeneratedPatientId(int32_t i);
QString GeneratedPatientName(int32_t i);
