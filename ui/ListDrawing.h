#pragma once
// What the three camera lists draw alike: the row background strips, texts
// shortened to their columns, the dotted focus rectangle around the current
// row, the header items a press counts on, and the column widths.

#include <QColor>
#include <QRect>
#include <QStyleOptionViewItem>

#include <string>

class QHeaderView;
class QModelIndex;
class QPainter;
class QTableView;

namespace qrv {

// The system's application-workspace grey, used for greyed texts.
inline const QColor kWorkspaceGrey(128, 128, 128);

// Draws `text` shortened to `cell` less the lists' margin, 6 pixels in from
// each side, vertically centred, in one line.
void DrawCellText(QPainter* painter, const QRect& cell, const std::u16string& text, Qt::Alignment alignment);
// The background strip `bitmap` stretched over `rect`.
void DrawStrip(QPainter* painter, const QRect& rect, int bitmap);
// The header item under `x`, counting only presses at least 4 pixels inside
// an item (closer to an edge the divider takes them); -1 for none.
int HeaderItemAt(const QHeaderView* header, int x);
// This cell's part of the focus rectangle around the view's current row.
void DrawRowFocus(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index);

// What the three lists' views share: whole rows selected in `mode`, one tab
// stop, no editing, grid or word wrap, no row header, rows `minRowHeight` or
// the font's height plus 4 pixels high, and a header with left-aligned titles
// whose presses reach the view's event filter rather than sorting or
// highlighting by themselves.
void SetUpListView(QTableView* view, int selectionMode, int minRowHeight);

// Gives each column its design width, or more where this desktop's font
// needs it for the header or for `samples[column]` (a typical value) to show
// whole; the last column takes the room that is left.
void FitColumns(QTableView* view, const int* widths, const char* const* samples, int count);

}  // namespace qrv
