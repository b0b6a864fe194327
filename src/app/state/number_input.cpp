#include "app/state/number_input.hpp"

#include <algorithm>
#include <charconv>
#include <limits>

namespace vorlix::app {

namespace {

// Unlike std::clamp, defined for crossed bounds: it gives `min` then.
std::uint64_t clamp_into(std::uint64_t value, std::uint64_t min, std::uint64_t max) {
    return std::max(min, std::min(value, max));
}

}  // namespace

NumberInput NumberInput::make(std::uint64_t value, std::uint64_t step, std::uint64_t min, std::uint64_t max) {
    NumberInput n;
    n.value_ = clamp_into(value, min, max);
    n.step_ = step;
    n.min_ = min;
    n.max_ = max;
    return n;
}

void NumberInput::apply_step(StepDirection direction) {
    std::uint64_t next = 0;
    if (direction == StepDirection::Up) {
        constexpr auto top = std::numeric_limits<std::uint64_t>::max();
        next = value_ > top - step_ ? top : value_ + step_;
    } else {
        next = value_ < step_ ? 0 : value_ - step_;
    }
    value_ = clamp_into(next, min_, max_);
}

void NumberInput::push_digit(char c) {
    if (c < '0' || c > '9') return;
    if (!edit_) edit_.emplace();
    if (edit_->size() < MAX_TYPED) edit_->push_back(c);
    invalid_ = false;
}

void NumberInput::pop_char() {
    if (edit_ && !edit_->empty()) edit_->pop_back();
    invalid_ = false;
}

void NumberInput::cancel_typing() {
    edit_.reset();
    invalid_ = false;
}

void NumberInput::apply_typed_value() {
    if (!edit_) return;
    const std::string& text = *edit_;
    std::uint64_t parsed = 0;
    const char* first = text.data();
    const char* last = first + text.size();
    auto [end, ec] = std::from_chars(first, last, parsed);
    if (text.empty() || ec != std::errc{} || end != last || parsed < min_ || parsed > max_) {
        invalid_ = true;
        return;
    }
    value_ = parsed;
    edit_.reset();
    invalid_ = false;
}

std::string NumberInput::display_text() const {
    if (!edit_) return std::to_string(value_);
    if (invalid_) {
        return *edit_ + "_ (enter " + std::to_string(min_) + "\u2013" + std::to_string(max_) + ")";
    }
    return *edit_ + "_";
}

}  // namespace vorlix::app
