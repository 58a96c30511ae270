// Where a secondary window (the progress window, the palette editor, the size
// editor) opens: wholly on the screen that shows the main window, beside the
// main window when there is room, and off the other secondary windows showing
// wherever the screen leaves room beside them.
#pragma once

#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>

// The top-left corner, frame included, for a window whose frame has frameSize.
// owner: the main window's frame; available: the available geometry of its
// screen; avoid: the frames of the secondary windows showing. Of the places
// beside the owner and beside each window to avoid, each moved inside
// available, the one overlapping the windows to avoid least wins, then the one
// overlapping the owner least, then the earlier one (right of the owner first).
// A window larger than available keeps available's top or left edge.
QPoint WindowPlacement(const QRect &owner, const QSize &frameSize, const QRect &available, const QList<QRect> &avoid);
