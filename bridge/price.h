#pragma once
// The price box of the frame panel: the user's text and unit ("sats" or "bsv") to a
// whole number of sats, or the sentence that says what to type instead. Only finite
// plain decimals (an exponent is allowed in BSV) up to 21 million BSV are taken.
#include <cstdint>
#include <string>

namespace bridge {

inline constexpr const char* PRICE_BSV_HINT = "Enter a BSV price such as 0.001. Leave it empty for view only.";
inline constexpr const char* PRICE_SATS_DECIMAL = "Sats are a whole number. Switch the unit to BSV for a decimal.";
inline constexpr const char* PRICE_SATS_HINT = "Enter a whole number of sats. Leave it empty for view only.";

struct PriceEntry {
    bool accepted = false;
    std::int64_t sats = -1;  // -1 = view only (an empty box)
    std::string message;     // why it was refused; "" when accepted
};

PriceEntry parse_price(const std::string& text, const std::string& unit);

}  // namespace bridge
