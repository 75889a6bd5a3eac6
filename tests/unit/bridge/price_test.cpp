// The price box: what a person types, in either unit, and the sats or the sentence it
// gives.
#include "bridge/price.h"

#include <gtest/gtest.h>

namespace {

struct Case {
    std::string text;
    std::string unit;
    bool accepted;
    std::int64_t sats;
    std::string message;
};

const std::string BSV_HINT = bridge::PRICE_BSV_HINT;
const std::string SATS_HINT = bridge::PRICE_SATS_HINT;
const std::string SATS_DECIMAL = bridge::PRICE_SATS_DECIMAL;

void check(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        const bridge::PriceEntry p = bridge::parse_price(c.text, c.unit);
        EXPECT_EQ(p.accepted, c.accepted) << "'" << c.text << "' " << c.unit;
        EXPECT_EQ(p.sats, c.accepted ? c.sats : -1) << "'" << c.text << "' " << c.unit;
        EXPECT_EQ(p.message, c.accepted ? "" : c.message) << "'" << c.text << "' " << c.unit;
    }
}

}  // namespace

TEST(PriceEntry, EmptyIsViewOnly) {
    check({{"", "sats", true, -1, ""}, {"   \t ", "sats", true, -1, ""}, {"", "bsv", true, -1, ""},
           {"  ", "BSV", true, -1, ""}});
}

TEST(PriceEntry, Sats) {
    check({
        {" 1500 ", "sats", true, 1500, ""},
        {"\t1500" + std::string(100, ' '), "sats", true, 1500, ""},
        {"1500 bsv", "sats", true, 1500, ""},  // the suffix goes, the unit stays sats
        {"1500BSV", "", true, 1500, ""},
        {"1.5 bsv", "sats", false, 0, SATS_DECIMAL},
        {"1.5", "sats", false, 0, SATS_DECIMAL},
        {"0", "sats", false, 0, SATS_HINT},
        {"-5", "sats", false, 0, SATS_HINT},
        {"+5", "sats", false, 0, SATS_HINT},
        {"15 00", "sats", false, 0, SATS_HINT},
        {"2100000000000000", "sats", true, 2100000000000000, ""},
        {"2100000000000001", "sats", false, 0, SATS_HINT},
        {"99999999999999999999", "sats", false, 0, SATS_HINT},
        {"00000000000000000000000000001", "sats", true, 1, ""},
        {"1e300", "sats", false, 0, SATS_HINT},
        {"inf", "sats", false, 0, SATS_HINT},
        {"nan", "sats", false, 0, SATS_HINT},
        {"0x10", "sats", false, 0, SATS_HINT},
        {"bsv", "sats", false, 0, SATS_HINT},
        {std::string(100, '1'), "sats", false, 0, SATS_HINT},
    });
}

TEST(PriceEntry, Bsv) {
    check({
        {"0.001", "bsv", true, 100000, ""},
        {"0.001 BSV", "bsv", true, 100000, ""},
        {"1e-3", "bsv", true, 100000, ""},
        {"0.000000001", "bsv", true, 1, ""},   // rounds to nothing, still one sat
        {"0.000000005", "bsv", true, 1, ""},
        {"0.000000015", "bsv", true, 2, ""},   // half a sat rounds up
        {"0.00000001499", "bsv", true, 1, ""},
        {"1.23456789", "bsv", true, 123456789, ""},
        {".5", "bsv", true, 50000000, ""},
        {"21000000", "bsv", true, 2100000000000000, ""},
        {"2.1e7", "bsv", true, 2100000000000000, ""},
        {"21000000.00000001", "bsv", false, 0, BSV_HINT},
        {"0", "bsv", false, 0, BSV_HINT},
        {"0.0", "bsv", false, 0, BSV_HINT},
        {"-1", "bsv", false, 0, BSV_HINT},
        {"1e300", "bsv", false, 0, BSV_HINT},
        {"1e-300", "bsv", true, 1, ""},
        {"1e99999", "bsv", false, 0, BSV_HINT},
        {"inf", "bsv", false, 0, BSV_HINT},
        {"infinity", "bsv", false, 0, BSV_HINT},
        {"nan", "bsv", false, 0, BSV_HINT},
        {"0x10", "bsv", false, 0, BSV_HINT},
        {"12345678901234567890", "bsv", false, 0, BSV_HINT},
        {"1.2.3", "bsv", false, 0, BSV_HINT},
        {"1e", "bsv", false, 0, BSV_HINT},
        {".", "bsv", false, 0, BSV_HINT},
        {"1 000", "bsv", false, 0, BSV_HINT},
    });
}
