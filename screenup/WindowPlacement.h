// Where a secondary window (the progress window, the palette editor, the size
// editor) opens: wholly on the screen that shows the main window, beside the
// main window when there is room, and off the other secondary windows showing
// wherever the screen leaves room beside them. In the window system's pixels,
// whichever toolkit draws the windows.
#pragma once

#include <vector>

struct TPlacePoint {
    int X = 0;
    int Y = 0;
    bool operator==(const TPlacePoint &) const = default;
};

struct TPlaceRect {
    int Left = 0;
    int Top = 0;
    int Width = 0;
    int Height = 0;
};

// The top-left corner, frame included, for a window whose frame is width x
// height. owner: the main window's frame; available: the work area of its
// screen; avoid: the frames of the secondary windows showing. Of the places
// beside the owner and beside each window to avoid, each moved inside
// available, the one overlapping the windows to avoid least wins, then the one
// overlapping the owner least, then the earlier one (right of the owner first).
// A window larger than available keeps available's top or left edge.
TPlacePoint WindowPlacement(const TPlaceRect &owner, int width, int height, const TPlaceRect &available,
                            const std::vector<TPlaceRect> &avoid);
