#include "WindowPlacement.h"

#include <algorithm>
#include <cstdint>
#include <tuple>

namespace {

// Room left between a window and the one it is placed beside.
constexpr int kGap = 8;

int64_t OverlapArea(const TPlaceRect &a, const TPlaceRect &b) {
    const int left = std::max(a.Left, b.Left);
    const int top = std::max(a.Top, b.Top);
    const int right = std::min(a.Left + a.Width, b.Left + b.Width);
    const int bottom = std::min(a.Top + a.Height, b.Top + b.Height);
    return right > left && bottom > top ? static_cast<int64_t>(right - left) * (bottom - top) : 0;
}

// The nearest position at which a frame of width x height lies inside
// available; along an axis where it does not fit, the available edge at the
// top or left.
TPlacePoint Inside(TPlacePoint at, int width, int height, const TPlaceRect &available) {
    const int lastX = available.Left + available.Width - width;
    const int lastY = available.Top + available.Height - height;
    at.X = lastX < available.Left ? available.Left : std::clamp(at.X, available.Left, lastX);
    at.Y = lastY < available.Top ? available.Top : std::clamp(at.Y, available.Top, lastY);
    return at;
}

} // namespace

TPlacePoint WindowPlacement(const TPlaceRect &owner, int width, int height, const TPlaceRect &available,
                            const std::vector<TPlaceRect> &avoid) {
    std::vector<TPlaceRect> anchors{owner};
    anchors.insert(anchors.end(), avoid.begin(), avoid.end());
    std::vector<TPlacePoint> places;
    for (const TPlaceRect &anchor : anchors) {
        places.push_back({anchor.Left + anchor.Width + kGap, anchor.Top});  // right
        places.push_back({anchor.Left - kGap - width, anchor.Top});         // left
        places.push_back({anchor.Left, anchor.Top + anchor.Height + kGap}); // below
        places.push_back({anchor.Left, anchor.Top - kGap - height});        // above
    }
    // The screen's corners, for a screen too crowded for any place beside.
    const int right = available.Left + available.Width - width;
    const int bottom = available.Top + available.Height - height;
    places.push_back({available.Left, available.Top});
    places.push_back({right, available.Top});
    places.push_back({available.Left, bottom});
    places.push_back({right, bottom});

    TPlacePoint best;
    std::tuple<int64_t, int64_t> bestCost{INT64_MAX, INT64_MAX};
    for (const TPlacePoint &place : places) {
        const TPlacePoint at = Inside(place, width, height, available);
        const TPlaceRect frame{at.X, at.Y, width, height};
        int64_t covered = 0;
        for (const TPlaceRect &other : avoid)
            covered += OverlapArea(frame, other);
        const std::tuple<int64_t, int64_t> cost{covered, OverlapArea(frame, owner)};
        if (cost < bestCost) {
            bestCost = cost;
            best = at;
        }
    }
    return best;
}
