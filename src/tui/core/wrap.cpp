#include "tui/core/wrap.hpp"

#include <algorithm>

#include "tui/core/rect.hpp"
#include "tui/core/utf8.hpp"

namespace vorlix::tui {

namespace {

bool is_blank(const StyledGrapheme& g) { return g.symbol == " "; }

class RowBuilder {
public:
    RowBuilder(std::span<const StyledGrapheme> g, std::uint16_t width, bool trim)
        : g_(g), width_(width), trim_(trim) {}

    // A word [begin, end) of `word_width` cells, after the blanks [blank_begin, begin).
    void place_word(std::size_t blank_begin, std::size_t begin, std::size_t end, std::size_t word_width) {
        const std::size_t blanks = width_of(blank_begin, begin);
        const bool keep_blanks = open_ || !trim_;
        const std::size_t lead = keep_blanks ? blanks : 0;
        if (row_.width + lead + word_width <= width_) {
            if (!open_) row_.begin = keep_blanks ? blank_begin : begin;
            open_ = true;
            row_.end = end;
            row_.width += lead + word_width;
            return;
        }
        if (open_) emit();
        for (std::size_t i = begin; i < end; ++i) {
            const std::size_t w = g_[i].width;
            if (w > width_) continue;  // can never be drawn at this width
            if (open_ && row_.width + w > width_) emit();
            if (!open_) row_.begin = i;
            open_ = true;
            row_.end = i + 1;
            row_.width += w;
        }
    }

    // The blanks [begin, end) that close the line.
    void place_trailing_blanks(std::size_t begin, std::size_t end) {
        if (trim_ || !open_) return;
        for (std::size_t i = begin; i < end && row_.width + g_[i].width <= width_; ++i) {
            row_.end = i + 1;
            row_.width += g_[i].width;
        }
    }

    std::vector<Row> finish() {
        if (open_ || rows_.empty()) emit();
        return std::move(rows_);
    }

private:
    std::size_t width_of(std::size_t begin, std::size_t end) const {
        std::size_t w = 0;
        for (std::size_t i = begin; i < end; ++i) w += g_[i].width;
        return w;
    }
    void emit() {
        rows_.push_back(row_);
        row_ = Row{};
        open_ = false;
    }

    std::span<const StyledGrapheme> g_;
    std::size_t width_;
    bool trim_;
    std::vector<Row> rows_;
    Row row_;
    bool open_ = false;  // the row holds at least one word
};

}  // namespace

std::vector<StyledGrapheme> styled_graphemes(const Line& line, const Style& base) {
    std::vector<StyledGrapheme> out;
    const Style line_style = base.patch(line.style);
    for (const Span& span : line.spans) {
        const Style style = line_style.patch(span.style);
        GraphemeReader reader(span.content);
        while (auto g = reader.next()) out.push_back({g->text, g->width, style});
    }
    return out;
}

std::vector<Row> wrap_rows(std::span<const StyledGrapheme> g, std::uint16_t width, bool trim) {
    if (width == 0) return {};
    RowBuilder builder(g, width, trim);
    std::size_t i = 0;
    while (i < g.size()) {
        const std::size_t blank_begin = i;
        while (i < g.size() && is_blank(g[i])) ++i;
        if (i == g.size()) {
            builder.place_trailing_blanks(blank_begin, i);
            break;
        }
        const std::size_t word_begin = i;
        std::size_t word_width = 0;
        while (i < g.size() && !is_blank(g[i])) word_width += g[i++].width;
        builder.place_word(blank_begin, word_begin, i, word_width);
    }
    return builder.finish();
}

Row truncate_row(std::span<const StyledGrapheme> g, std::uint16_t width, Alignment alignment) {
    std::size_t total = 0;
    for (const StyledGrapheme& s : g) total += s.width;
    if (total <= width) return {0, g.size(), total};
    Row row;
    if (alignment == Alignment::Right) {
        row.begin = row.end = g.size();
        while (row.begin > 0 && row.width + g[row.begin - 1].width <= width)
            row.width += g[--row.begin].width;
        return row;
    }
    if (alignment == Alignment::Center) {
        const std::size_t cut = (total - width) / 2;
        std::size_t skipped = 0;
        while (row.begin < g.size() && skipped < cut) skipped += g[row.begin++].width;
    }
    row.end = row.begin;
    while (row.end < g.size() && row.width + g[row.end].width <= width) row.width += g[row.end++].width;
    return row;
}

std::uint16_t row_offset(std::size_t row_width, std::uint16_t width, Alignment alignment) {
    const auto w = static_cast<std::uint16_t>(std::min<std::size_t>(row_width, width));
    switch (alignment) {
        case Alignment::Left: return 0;
        case Alignment::Center:
            return saturating_sub(static_cast<std::uint16_t>(width / 2), static_cast<std::uint16_t>(w / 2));
        case Alignment::Right: return static_cast<std::uint16_t>(width - w);
    }
    return 0;
}

std::vector<std::string> wrap_words(std::string_view text, std::uint16_t width, bool trim) {
    std::vector<std::string> out;
    const Text t(text);
    for (const Line& line : t.lines) {
        const std::vector<StyledGrapheme> g = styled_graphemes(line, {});
        for (const Row& r : wrap_rows(g, width, trim)) {
            std::string row;
            for (std::size_t i = r.begin; i < r.end; ++i) row += g[i].symbol;
            out.push_back(std::move(row));
        }
    }
    return out;
}

}  // namespace vorlix::tui
