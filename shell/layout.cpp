#include "shell/layout.h"

#include <algorithm>
#include <limits>

namespace shell {

Rect rect_at(int x, int y, int width, int height) { return Rect{x, y, x + width, y + height}; }

int scaled(int n, int dpi) {
    if (dpi <= 0) return -1;
    const std::int64_t product = static_cast<std::int64_t>(n) * dpi;
    const std::int64_t magnitude = (product < 0 ? -product : product);
    const std::int64_t rounded = (magnitude + BASE_DPI / 2) / BASE_DPI;
    const std::int64_t result = product < 0 ? -rounded : rounded;
    if (result > std::numeric_limits<int>::max() || result < std::numeric_limits<int>::min()) return -1;
    return static_cast<int>(result);
}

int header_height(int client_height, int dpi) {
    const int h = client_height <= 80 ? scaled(900, dpi) : client_height;
    const int share = static_cast<int>(static_cast<std::int64_t>(h) * 26 / 100);
    // max over min rather than clamp: no precondition on the bounds for an absurd DPI.
    const int b = std::max(scaled(150, dpi), std::min(share, scaled(280, dpi)));
    const int k = std::min(h / 2, b) - scaled(38, dpi);
    return std::max(k, scaled(142, dpi));
}

MainLayout layout_main(int client_width, int client_height, int dpi) {
    MainLayout out;
    const int W = client_width;
    const int H = client_height;
    const int A = header_height(client_height, dpi);
    const int S = scaled(46, dpi);
    const int g = scaled(8, dpi);
    const int e = scaled(34, dpi);
    const int r = scaled(14, dpi);

    const int T = std::max((A - 2 * g - 2 * e - S) / 2, scaled(6, dpi));
    out.settings_button = rect_at(W - S - r, T, S, S);
    const int M = g + 2 * S;
    const int O = W - r - M;
    out.connect_button = rect_at(O, T + S + g, M, e);
    out.close_button = rect_at(O, T + S + e + 2 * g, M, e);
    out.header = rect_at(0, 0, W, A);
    out.bell_rect = Rect{O, T, O + S, T + S};

    const int q = scaled(104, dpi);
    const int compass_right = O - scaled(18, dpi);
    const int compass_top = std::max((A - q) / 2, scaled(4, dpi));
    out.compass_rect = Rect{compass_right - q, compass_top, compass_right, compass_top + q};

    out.web_view = Rect{0, A, W, std::max(A, H)};
    return out;
}

Rect centred_window(const Rect& work_area) {
    const int W = work_area.width();
    const int H = work_area.height();
    const int width = static_cast<int>(static_cast<std::int64_t>(W) * 61 / 100);
    const int height = static_cast<int>(static_cast<std::int64_t>(H) * 64 / 100);
    return rect_at(work_area.left + (W - width) / 2, work_area.top + (H - height) / 2, width, height);
}

bool on_work_area(const Rect& window, const std::vector<Rect>& work_areas) {
    for (const Rect& area : work_areas) {
        const int overlap_w = std::min(window.right, area.right) - std::max(window.left, area.left);
        const int overlap_h = std::min(window.bottom, area.bottom) - std::max(window.top, area.top);
        if (overlap_w >= MIN_ON_WORK_AREA && overlap_h >= MIN_ON_WORK_AREA && window.top >= area.top &&
            window.top < area.bottom)
            return true;
    }
    return false;
}

StartPlacement start_placement(const WindowPlacement& saved, const std::vector<Rect>& work_areas,
                               const Rect& cursor_work_area) {
    StartPlacement out;
    const Rect rect{saved.left, saved.top, saved.right, saved.bottom};
    if (saved.valid && on_work_area(rect, work_areas)) {
        out.normal = rect;
        out.maximise = saved.max;
        out.restored = true;
        return out;
    }
    out.normal = centred_window(cursor_work_area);
    return out;
}

}  // namespace shell
