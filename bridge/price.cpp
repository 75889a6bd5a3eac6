#include "bridge/price.h"

#include <cctype>

#include "core/hex.h"
#include "core/text.h"
#include "ledger/walls.h"

namespace bridge {

namespace {

constexpr int SATS_PER_BSV_DIGITS = 8;
// Longer texts are no price anyone types; the bound keeps the digit loops short.
constexpr std::size_t MAX_PRICE_TEXT = 64;
constexpr int MAX_EXPONENT_DIGITS = 4;

bool all_digits(const std::string& s) {
    if (s.empty()) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

// Whole decimal digits to a value in 1..MAX_RECORD_SATS; false when zero or above.
bool digits_to_sats(const std::string& digits, std::int64_t& out) {
    std::int64_t v = 0;
    for (char c : digits) {
        const int d = c - '0';
        if (v > (ledger::MAX_RECORD_SATS - d) / 10) return false;
        v = v * 10 + d;
    }
    if (v < 1) return false;
    out = v;
    return true;
}

// BSV as digits[.digits][e[+|-]digits] to sats, rounded half up, computed exactly on
// the decimal digits (no binary floating point). False for anything else, for zero and
// for more than MAX_RECORD_SATS.
bool bsv_to_sats(const std::string& text, std::int64_t& out) {
    std::size_t i = 0;
    std::string mantissa;
    int frac_digits = 0;
    bool any_digit = false;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
        mantissa.push_back(text[i++]);
        any_digit = true;
    }
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
            mantissa.push_back(text[i++]);
            ++frac_digits;
            any_digit = true;
        }
    }
    if (!any_digit) return false;
    int exponent = 0;
    if (i < text.size() && text[i] == 'e') {
        ++i;
        bool negative = false;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
        const std::string e = text.substr(i);
        if (!all_digits(e) || e.size() > MAX_EXPONENT_DIGITS) return false;
        exponent = std::stoi(e) * (negative ? -1 : 1);
        i = text.size();
    }
    if (i != text.size()) return false;
    const std::size_t first = mantissa.find_first_not_of('0');
    if (first == std::string::npos) return false;  // zero
    mantissa = mantissa.substr(first);
    // value in sats = mantissa × 10^shift
    const int shift = exponent - frac_digits + SATS_PER_BSV_DIGITS;
    std::string whole;
    bool round_up = false;
    if (shift >= 0) {
        if (mantissa.size() + static_cast<std::size_t>(shift) > 16) return false;  // above 21e14 sats
        whole = mantissa + std::string(static_cast<std::size_t>(shift), '0');
    } else {
        const std::size_t drop = static_cast<std::size_t>(-shift);
        if (drop > mantissa.size()) {
            whole = "0";  // below a tenth of a sat
        } else {
            whole = mantissa.substr(0, mantissa.size() - drop);
            round_up = mantissa[mantissa.size() - drop] >= '5';
            if (whole.empty()) whole = "0";
        }
        if (whole.size() > 16) return false;
    }
    std::int64_t sats = 0;
    for (char c : whole) sats = sats * 10 + (c - '0');
    if (round_up) ++sats;
    if (sats > ledger::MAX_RECORD_SATS) return false;
    // Something above zero that rounds to nothing still costs one sat.
    out = sats < 1 ? 1 : sats;
    return true;
}

PriceEntry refuse(const char* message) {
    PriceEntry p;
    p.message = message;
    return p;
}

}  // namespace

PriceEntry parse_price(const std::string& text_in, const std::string& unit) {
    const std::string spaces = " \t\r\n\v\f";
    std::string text = core::trim_left(text_in, spaces);
    if (text.empty()) {
        PriceEntry view_only;
        view_only.accepted = true;
        return view_only;
    }
    const bool bsv = core::lower_ascii(unit) == "bsv";
    text = core::lower_ascii(core::trim_right(text, spaces));
    if (text.size() > MAX_PRICE_TEXT) return refuse(bsv ? PRICE_BSV_HINT : PRICE_SATS_HINT);
    if (text.size() >= 4 && text.compare(text.size() - 3, 3, "bsv") == 0)
        text = core::trim_right(text.substr(0, text.size() - 3), spaces);
    PriceEntry p;
    if (bsv) {
        if (!bsv_to_sats(text, p.sats)) return refuse(PRICE_BSV_HINT);
    } else {
        if (text.find('.') != std::string::npos) return refuse(PRICE_SATS_DECIMAL);
        if (!all_digits(text) || !digits_to_sats(text, p.sats)) return refuse(PRICE_SATS_HINT);
    }
    p.accepted = true;
    return p;
}

}  // namespace bridge
