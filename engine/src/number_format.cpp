// engine/src/number_format.cpp: shortest round-trip digits of a float laid out as plain or exponent text.
#include "quorvel/number_format.hpp"

#include <charconv>
#include <cmath>
#include <string_view>

namespace quorvel {
namespace {

/// A finite, non-negative float as d1.d2...dn × 10^exponent, with the fewest digits that read
/// back as the same float. Zero is the single digit "0" with exponent 0.
struct Decimal {
    std::string digits;
    int exponent = 0;
};

Decimal shortest_decimal(float magnitude) {
    // Scientific form without a precision is the shortest round-trip text: "d[.ddd]e±xx".
    // It never needs more than 15 characters, so the conversion cannot run out of room.
    char buf[32];
    const char* end = std::to_chars(buf, buf + sizeof buf, magnitude, std::chars_format::scientific).ptr;
    const std::string_view text(buf, static_cast<std::size_t>(end - buf));
    const std::size_t e = text.find('e');

    Decimal d;
    for (char c : text.substr(0, e)) {
        if (c != '.') d.digits += c;
    }
    std::string_view exp = text.substr(e + 1);
    const bool negative = exp.front() == '-';
    exp.remove_prefix(1);  // the sign is always written
    std::from_chars(exp.data(), exp.data() + exp.size(), d.exponent);
    if (negative) d.exponent = -d.exponent;
    return d;
}

/// The digits laid out without an exponent. An integral value gets ".0" when `point_always`.
std::string positional(const Decimal& d, bool point_always) {
    const int whole = d.exponent + 1;  // digits before the decimal point
    const int n = static_cast<int>(d.digits.size());
    std::string text;
    if (whole <= 0) {
        text.append("0.").append(static_cast<std::size_t>(-whole), '0').append(d.digits);
    } else if (whole >= n) {
        text.append(d.digits).append(static_cast<std::size_t>(whole - n), '0');
        if (point_always) text.append(".0");
    } else {
        text.append(d.digits, 0, static_cast<std::size_t>(whole)).append(1, '.');
        text.append(d.digits, static_cast<std::size_t>(whole));
    }
    return text;
}

/// The digits with a point after the first when there are several, then "e" and the exponent.
std::string exponential(const Decimal& d) {
    std::string text(1, d.digits.front());
    if (d.digits.size() > 1) text.append(1, '.').append(d.digits, 1);
    return text.append(1, 'e').append(std::to_string(d.exponent));
}

/// NaN, infinities and the sign are written the same way by both formats.
template <typename Layout>
std::string format_with(float v, Layout layout) {
    if (std::isnan(v)) return "NaN";
    std::string text = std::signbit(v) ? "-" : "";
    return text.append(std::isinf(v) ? std::string("inf") : layout(std::fabs(v)));
}

}  // namespace

std::string format_config_number(float v) {
    return format_with(v, [](float m) { return positional(shortest_decimal(m), false); });
}

std::string format_action_number(float v) {
    return format_with(v, [](float m) {
        // The thresholds are the floats nearest to 1e-4 and 1e16, not the decimal values.
        const bool exponent_form = m != 0.0f && (m < 1e-4f || m >= 1e16f);
        const Decimal d = shortest_decimal(m);
        return exponent_form ? exponential(d) : positional(d, true);
    });
}

}  // namespace quorvel
