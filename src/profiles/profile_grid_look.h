// The profile editor's own cell colours for its parameter grids, and the painter that applies them.
#pragma once

#include <QColor>

namespace segmora {

class TValueListEditor;

// The colours of one cell.
struct CellLook {
    QColor text;
    QColor background;
};

// Silver: the text of a read-only value that is not picked from a list.
inline const QColor kReadOnlyText{192, 192, 192};
// The background of the current row's name while its grid has the input focus.
inline const QColor kFocusedNameBackground{49, 106, 197};

// How the editor paints a cell of grid (column 0 the name, 1 the value); gridHasFocus says
// whether the grid holds the input focus.
// - Value cells: silver text on a read-only row without a pick list, the palette's text colour
//   otherwise, always on the window (base) colour: the current value is never highlighted, so
//   what it says stays readable and its colour still tells whether it can be typed into.
// - The name of the current row: highlighted text on kFocusedNameBackground while the grid has
//   the focus, plain text on the window colour otherwise.
// - Other names: the button colours of a fixed column.
CellLook ProfileCellLook(const TValueListEditor& grid, int row, int column, bool gridHasFocus);

// Makes grid paint its cells by ProfileCellLook. The grid's own editing (line edits, pick
// lists) is kept: the painter wraps the grid's delegate and passes everything else through.
// A click on a name moves the current cell to the value of that row, as in a grid whose name
// column is fixed. Call once per grid.
void InstallProfileCellLook(TValueListEditor* grid);

} // namespace segmora
