#pragma once
// Tracking states of the report view, shared with the page objects whose
// mouse handlers read and change them.
#include <cstdint>

enum TrackState : int32_t {
    kTrackPolygonTool = -4,
    kTrackQuadrantTool = -5,
    kTrackEllipseTool = -3,
    kTrackRectTool = -2,
    kTrackRangeTool = -1,
    kTrackMove = 0,              // an active object clicked inside
    kTrackRegionCreate = 1,
    kTrackRubberBandRegion = 2,
    kTrackRegionSelected = 3,
    kTrackHandleDrag = 4,
    kTrackRegionMove = 5,
    kTrackPolygonEntry = 6,
    kTrackLabelDrag = 8,
    kTrackPolygonVertex = 9,
    kTrackIdle = 10,             // nothing tracked
    kTrackResizeTopLeft = 11,
    kTrackResizeTopRight = 13,
    kTrackResizeBottomRight = 15,
    kTrackResizeBottomLeft = 17,
    kTrackFrame = 19,            // moving the active object or the multi-selection
    kTrackMultiGrab = 20,
    kTrackRubberBand = 21,
    kTrackTextTool = 22,
    kTrackGridTool = 23,
    kTrackTextBand = 24,
    kTrackGridBand = 25,
    kTrackXAxisBand = 26,
    kTrackYAxisBand = 27,
    kTrackTitlePress = 28,       // title band pressed, waiting for the hold timer
    kTrackTitleHeld = 29,        // dragging a plot onto another plot
    kTrackLabelDragPlot = 31,
    kTrackRegionDragInside = 32,
    kTrackRegionDragOutside = 33,
    kTrackPolygonScale = 34,
    kTrackColumnResize = 41,
    kTrackCellDrag = 42,
};
