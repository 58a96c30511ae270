#include "WindowPlacement.h"

#include <algorithm>
#include <cstdint>
#include <tuple>
#include <vector>

namespace {

// Room left between a window and the one it is placed beside.
constexpr int kGap = 8;

int64_t OverlapArea(const QRect &a, const QRect &b) {
    const QRect common = a.intersected(b);
    return common.isEmpty() ? 0 : static_cast<int64_t>(common.width()) * common.height();
}

// The nearest position at which a frame of size lies inside available; along
// an axis where it does not fit, the available edge at the top or left.
QPoint Inside(QPoint at, const QSize &size, const QRect &available) {
    const int lastX = available.left() + available.width() - size.width();
    const int lastY = available.top() + available.height() - size.height();
    at.setX(lastX < available.left() ? available.left() : std::clamp(at.x(), available.left(), lastX));
    at.setY(lastY < available.top() ? available.top() : std::clamp(at.y(), available.top(), lastY));
    return at;
}

} // namespace

QPoint WindowPlacement(const QRect &owner, const QSize &frameSize, const QRect &available, const QList<QRect> &avoid) {
    std::vector<QRect> anchors{owner};
    anchors.insert(anchors.end(), avoid.begin(), avoid.end());
    std::vector<QPoint> places;
    for (const QRect &anchor : anchors) {
        places.emplace_back(anchor.left() + anchor.width() + kGap, anchor.top());     // right
        places.emplace_back(anchor.left() - kGap - frameSize.width(), anchor.top());  // left
        places.emplace_back(anchor.left(), anchor.top() + anchor.height() + kGap);    // below
        places.emplace_back(anchor.left(), anchor.top() - kGap - frameSize.height()); // above
    }
    // The screen's corners, for a screen too crowded for any place beside.
    places.push_back(available.topLeft());
    places.emplace_back(available.left() + available.width() - frameSize.width(), available.top());
    places.emplace_back(available.left(), available.top() + available.height() - frameSize.height());
    places.emplace_back(available.left() + available.width() - frameSize.width(),
                        available.top() + available.height() - frameSize.height());

    QPoint best;
    std::tuple<int64_t, int64_t> bestCost{INT64_MAX, INT64_MAX};
    for (const QPoint &place : places) {
        const QPoint at = Inside(place, frameSize, available);
        const QRect frame(at, frameSize);
        int64_t covered = 0;
        for (const QRect &other : avoid)
            covered += OverlapArea(frame, other);
        const std::tuple<int64_t, int64_t> cost{covered, OverlapArea(frame, owner)};
        if (cost < bestCost) {
            bestCost = cost;
            best = at;
        }
    }
    return best;
}
