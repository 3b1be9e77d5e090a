#include "run/Fields.h"

namespace orvane {

namespace {
const std::string kEmpty;
}

const std::string& PositionGrid::cell(int row) const
{
    if (row < 0 || row >= kRowCount)
        return kEmpty;
    return cells_[static_cast<std::size_t>(row)];
}

void PositionGrid::setCell(int row, std::string text)
{
    if (row < 0 || row >= kRowCount)
        return;
    cells_[static_cast<std::size_t>(row)] = std::move(text);
}

} // namespace orvane
