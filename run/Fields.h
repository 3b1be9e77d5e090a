// The window's inputs as plain data: the texts of the edits and combo boxes, the ticks of
// the check boxes and the position grid. The window copies its widgets in before a
// handler runs and the grid back after; orvane-batch and the tests fill it directly.
// Member names are those of the controls; the initial values are the window's defaults.
#pragma once

#include <string>
#include <vector>

#include "geometry/Limits.h"

namespace orvane {

// The position grid: row 0 is the header, row i + 1 the position of ray i. Any row up to
// 5001 keeps its text; only rows 0..24 are shown. A row never written reads empty.
class PositionGrid {
public:
    static constexpr int kVisibleRows = 25;
    static constexpr int kRowCount = kRaySlots + 1;

    PositionGrid() : cells_(kRowCount) {}
    const std::string& cell(int row) const;
    void setCell(int row, std::string text);
    bool operator==(const PositionGrid&) const = default;

private:
    std::vector<std::string> cells_;
};

struct Fields {
    // Top strip and left column.
    std::string Edtmr = "1.333";
    std::string Edtmi = "0.0";
    std::string EdtRadius_a = "50";
    std::string EdtRadius_b = "50";
    std::string EdtRadius_c = "50";
    std::string EdtIncAng = "0";
    std::string CbxPol = "1";
    std::string EdtMinp = "0";
    std::string EdtMaxp = "4";
    bool ChkBxMinMax = false;
    std::string EdtAxisMin = "-25";
    std::string EdtAxisMax = "25";
    PositionGrid StrGrdPosit;

    // Page "Ray tracing".
    std::string CbxNumRay = "20";
    std::string LblEdtSizeEll = "0.5";
    bool ChBxEmergRay = true;

    // Page "Scattering Diagram".
    std::string EdtWl = "0.6328";
    std::string LblEdtNumRays = "200";
    std::string LblEdtNumSca = "1000";
    bool ChBxDiff = false;
    bool ChBxTotalInt = true;
    bool ChBxAiry = false;
    bool ChBxUniformRainbow = false;  // "Uniform rainbow": the total's uniform field at every caustic
    bool ChBxCheck = false;
    bool ChBxEntryFresnel = false;  // "Fresnel at entry only"
    bool ChBxSharpDiff = false;     // "Sharp-edge diffraction"

    // The chart's menu: "Compare with exact theory" and "Compare orders with exact Debye terms".
    bool CompareExact = false;
    bool CompareDebye = false;
};

} // namespace orvane
