#pragma once
// Deleting a gate from a panel. A gate takes every gate that depends on it
// with it, and each plot of those gates leaves the page: when a delete would
// take more than the one gate asked for, or empty grid cells that show its
// values, the user is asked first, told how many gates, plots and cells go. Declining changes nothing; a delete marks the
// document that holds the gate's data set.
#include <cstdint>
#include <vector>

class CGateNode;
class CLumitraDoc;
class VexaDataShell;
class QWidget;

// What deleting a gate takes with it.
struct GateDeleteToll {
    int32_t gates = 0;  // the gate itself included
    int32_t plots = 0;  // plots on a page whose gate is among them
    int32_t cells = 0;  // grid cells on a page showing a statistic of one of them
};
GateDeleteToll CountGateDelete(CGateNode* gate);

// Asks when needed, then deletes. True when the gate was deleted.
bool DeleteGateAsked(QWidget* parent, CGateNode* gate);

// Deleting data sets from a panel takes their gates and every plot and result
// table of theirs off the page, and empties the grid cells that show their
// values; when any of these would go, the user is asked first, told how
// many. True when the user agreed (or nothing was to ask).
bool DataSetDeleteAgreed(QWidget* parent, CLumitraDoc* doc, const std::vector<VexaDataShell*>& shells);

// The open document that holds the gate's data set, or null.
CLumitraDoc* DocumentOfGate(const CGateNode* gate);
