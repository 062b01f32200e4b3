#pragma once
// Error codes of the analysis core. They carry no text; readers collect them
// in lists that the data set gathers and hands to its users.
#include <cstdint>

enum FcsErrorCode : int32_t {
    kErrHeaderInvalid = 1,      // not "FCS", no version digit, no four spaces, too short, unreadable
    kErrNotListMode = 4,        // "$MODE" does not begin with 'L'; no events read
    kErrNoDecades = 8,          // log-amplified parameter without $PnE decades (data shell)
    kErrNoRange = 9,            // log-amplified parameter without $PnR; 1.0 used
    kErrDoubledDelimiter = 10,  // TEXT segment starts with a doubled delimiter
    kErrNoParameters = 12,      // "$PAR" absent or below 1
    kErrSizeImpossible = 13,    // "$PAR" or "$TOT" larger than the file could hold
    kErrTextPastEnd = 14,       // a TEXT segment ends beyond the end of the file; clamped
    kErrParamUndecodable = 15,  // a parameter's $PnB / $BYTEORD cannot be decoded; column left 0
    kErrDataPastEnd = 16,       // DATA ends beyond the end of the file; clamped
    kErrDataSize = 17,          // DATA size differs from total events x bytes per event
    kErrSpillUnusable = 19,     // a spillover keyword that names unknown parameters or has the wrong count
};

// Codes of the data shell and the gate tree.
enum ShellErrorCode : int32_t {
    kErrCopyInputMissing = 18,   // a copied gate's input is not a gate of the source shell
    kErrRangesDiffer = 20,       // a data set offered to a shell has other $PnR values
    kErrNamesDiffer = 25,        // a data set offered to a shell has other $PnN names at the
                                 // same places (its plots and regions would show other parameters)
    kErrGateTooFewInputs = 21,   // a logic gate with fewer inputs than its operator needs
                                 // (AND/OR below two, NOT or region gate none)
    kErrGateForeignInput = 22,   // an input belongs to another shell (skipped; as first input
                                 // the gate stays empty)
    kErrGateNotManyInputs = 23,  // NOT with more than one input (input 0 is used)
    kErrGateNotWithRegion = 24,  // NOT that also has a region
};
