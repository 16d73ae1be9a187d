// engine/include/quorvel/number_format.hpp: decimal text of 32-bit floats for the records' text forms.
#pragma once

#include <string>

namespace quorvel {

/// Writes `v` the way the configuration's text form shows it: the shortest decimal digits that
/// read back as the same 32-bit float, never an exponent, and no decimal point when the value is
/// integral ("40", "40.5", "0.1", "0.0000001", "100000000000000000000"). Special values are
/// "inf", "-inf", "NaN" (whatever the sign of the NaN) and "-0".
std::string format_config_number(float v);

/// Writes `v` the way a command's text form shows it: the shortest decimal digits that read back
/// as the same 32-bit float, with at least one digit after the decimal point ("0.0", "1.0",
/// "-0.5"). A non-zero value whose magnitude is below 1e-4f or at least 1e16f is written with an
/// exponent instead: the digits, a point after the first when there are several, "e" and the
/// decimal exponent without a plus sign ("1e-5", "2.5e-7", "1e16"). Special values are "inf",
/// "-inf", "NaN" and "-0.0".
std::string format_action_number(float v);

}  // namespace quorvel
