#include "app/screens/peak_marker.hpp"

#include <algorithm>
#include <charconv>
#include <string>

#include "app/screens/frame.hpp"
#include "tui/widgets/clear.hpp"

namespace vorlix::app {

void render_peak_marker(tui::Buffer& buf, tui::Rect area, PlotView& view) {
    const std::optional<Peak>& peak = memo_visible_peak(view);
    if (!peak || area.is_empty()) return;
    const auto width = std::min(PEAK_BOX_WIDTH, area.width);
    const auto height = std::min(PEAK_BOX_HEIGHT, area.height);
    const tui::Rect marker{static_cast<std::uint16_t>(area.right() - width), area.y, width, height};

    // to_chars, not printf: the terminal set-up may switch the C locale, and
    // the level must keep its decimal point.
    char level[400];
    auto [end, ec] = std::to_chars(level, level + sizeof level, peak->level_dbm, std::chars_format::fixed, 2);
    const std::string text = std::string(level, ec == std::errc{} ? end : level) + " dBm\n" +
                             format_frequency(peak->frequency_mhz, view.viewport.view_span()) + " MHz";

    tui::Clear{}.render(marker, buf);
    tui::Paragraph(tui::Text(text)).block(screens::box("Visible peak")).render(marker, buf);
}

}  // namespace vorlix::app
