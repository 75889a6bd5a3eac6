// Hex, Base64, UTF-8/16 and JSON read helpers.
#include <gtest/gtest.h>

#include "core/base64.h"
#include "core/hex.h"
#include "core/json.h"
#include "core/text.h"

using namespace core;

TEST(Hex, WritesLowercaseAndReadsEitherCase) {
    Bytes b = {0x00, 0xab, 0xCD, 0xff};
    EXPECT_EQ(to_hex(b), "00abcdff");
    Bytes out;
    ASSERT_TRUE(from_hex("00ABcdFF", out));
    EXPECT_EQ(out, b);
}

TEST(Hex, OddLengthOrStrayCharacterReadsAsNothing) {
    struct Case {
        const char* text;
        bool ok;
    } cases[] = {{"abc", false}, {"0g", false}, {"0 ", false}, {"", true}, {"zz00", false}, {"00", true}};
    for (const auto& c : cases) {
        Bytes out = {1, 2, 3};
        EXPECT_EQ(from_hex(c.text, out), c.ok) << c.text;
        if (!c.ok) {
            EXPECT_TRUE(out.empty()) << c.text;
            EXPECT_TRUE(from_hex(std::string_view(c.text)).empty());
        }
    }
    EXPECT_TRUE(is_txid(std::string(64, 'A')));
    EXPECT_FALSE(is_txid(std::string(63, 'a')));
    EXPECT_FALSE(is_txid(std::string(63, 'a') + "g"));
}

TEST(Base64, RoundTripsEveryPaddingLength) {
    // RFC 4648 section 10 test vectors.
    const char* plain[] = {"", "f", "fo", "foo", "foob", "fooba", "foobar"};
    const char* enc[] = {"", "Zg==", "Zm8=", "Zm9v", "Zm9vYg==", "Zm9vYmE=", "Zm9vYmFy"};
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(base64_encode(std::string_view(plain[i])), enc[i]);
        Bytes out;
        ASSERT_TRUE(base64_decode(enc[i], out));
        EXPECT_EQ(to_string(out), plain[i]);
    }
}

TEST(Base64, SkipsWhiteSpaceAndPaddingAnywhereButRejectsOtherCharacters) {
    Bytes out;
    ASSERT_TRUE(base64_decode(" Zm9v\nYm=Fy\t", out));
    EXPECT_EQ(to_string(out), "foobar");
    EXPECT_FALSE(base64_decode("Zm9v*", out));
    EXPECT_TRUE(out.empty());
    EXPECT_FALSE(base64_decode("Zm-9", out));
}

TEST(Text, Utf8AndUtf16RoundTripIncludingSurrogatePairs) {
    std::string s = "AP\xc3\xa9 \xe2\x80\x93 \xf0\x9f\x96\xbc";  // é – 🖼
    std::u16string w = utf8_to_utf16(s);
    ASSERT_EQ(w.size(), 8u);
    EXPECT_EQ(w[2], 0x00e9);
    EXPECT_EQ(w[4], 0x2013);
    EXPECT_EQ(w[6], 0xd83d);
    EXPECT_EQ(utf16_to_utf8(w), s);
}

TEST(Text, InvalidSequencesBecomeReplacementCharacters) {
    EXPECT_EQ(utf8_to_utf16("a\xff" "b"), (std::u16string{u'a', 0xfffd, u'b'}));
    EXPECT_EQ(utf8_to_utf16("\xc0\xaf"), (std::u16string{0xfffd, 0xfffd}));  // overlong '/'
    EXPECT_EQ(utf8_to_utf16("\xe2\x80"), (std::u16string{0xfffd, 0xfffd}));  // truncated
    EXPECT_EQ(utf16_to_utf8(std::u16string{0xd800}), "\xef\xbf\xbd");       // lone surrogate
}

TEST(Text, TrimAndCutKeepUtf8Whole) {
    EXPECT_EQ(trim("  \t a b \r\n"), "a b");
    EXPECT_EQ(trim_left("@@$x", "@$"), "x");
    EXPECT_EQ(trim(" \n "), "");
    EXPECT_EQ(cut_utf8("ab\xc3\xa9", 3), "ab");
    EXPECT_EQ(cut_utf8("ab\xc3\xa9", 4), "ab\xc3\xa9");
}

TEST(Text, StripControlsLeavesNothingATerminalWouldObey) {
    const struct {
        const char* name;
        std::string in;
        std::string out;
    } rows[] = {
        {"plain text and UTF-8 stay", "Dawn \xc3\xa9t\xc3\xa9 \xf0\x9f\x96\xbc", "Dawn \xc3\xa9t\xc3\xa9 \xf0\x9f\x96\xbc"},
        {"C0 and DEL go", std::string("a\x00" "b\x01\x07\x08\x7f" "c", 8), "abc"},
        {"line breaks and tabs become spaces", "a\tb\r\nc", "a b  c"},
        {"colour CSI goes whole", "\x1b[1;31mred\x1b[0m", "red"},
        {"cursor moves and erase go whole", "x\x1b[2J\x1b[10;20Hy\x1b[?25l", "xy"},
        {"OSC title ended by BEL", "\x1b]0;owned\x07name", "name"},
        {"OSC hyperlink ended by ESC backslash", "\x1b]8;;http://x\x1b\\link\x1b]8;;\x1b\\", "link"},
        {"DCS and APC strings", "\x1bPq#0\x1b\\a\x1b_hidden\x1b\\b", "ab"},
        {"unterminated OSC swallows the rest", "ok\x1b]2;never ends", "ok"},
        {"two-byte ESC sequences", "a\x1b" "cb\x1b(Bc\x1b" "7d", "abcd"},
        {"lone ESC at the end", "end\x1b", "end"},
        {"UTF-8 encoded C1 controls go", "a\xc2\x85" "b\xc2\x9c" "c", "abc"},
        {"UTF-8 encoded CSI goes whole", "a\xc2\x9b" "31mb", "ab"},
        {"UTF-8 encoded OSC to ST", "a\xc2\x9d" "0;t\xc2\x9c" "b", "ab"},
        {"raw C1 bytes are not UTF-8", "a\x9b" "31mb", "a\xef\xbf\xbd" "31mb"},
        {"overlong ESC is not UTF-8", "a\xc0\x9b" "b", "a\xef\xbf\xbd\xef\xbf\xbd" "b"},
        {"truncated sequence at the end", "a\xe2\x80", "a\xef\xbf\xbd\xef\xbf\xbd"},
        {"U+00A0 and above stay", "\xc2\xa0\xc2\xbf", "\xc2\xa0\xc2\xbf"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        EXPECT_EQ(strip_controls(r.in), r.out);
    }
}

TEST(Json, OptionalMembersFallBackWhenAbsentOrOfAnotherType) {
    Json j;
    ASSERT_TRUE(parse_json(R"({"s":"x","n":5,"b":true,"f":1.5,"neg":-3,"big":18446744073709551615})", j));
    EXPECT_EQ(json_string(j, "s"), "x");
    EXPECT_EQ(json_string(j, "n", "d"), "d");
    EXPECT_EQ(json_int(j, "n"), 5);
    EXPECT_EQ(json_int(j, "neg"), -3);
    EXPECT_EQ(json_int(j, "f", 7), 7);
    EXPECT_EQ(json_int(j, "big", 9), 9);  // does not fit a signed 64-bit amount
    EXPECT_EQ(json_int(j, "s", 2), 2);
    EXPECT_TRUE(json_bool(j, "b"));
    EXPECT_FALSE(json_bool(j, "n"));
    EXPECT_EQ(json_string(Json::array(), "s", "d"), "d");
}

TEST(Json, ParseFailuresNeverThrow) {
    Json j;
    EXPECT_FALSE(parse_json("{\"a\":", j));
    EXPECT_TRUE(j.is_null());
    EXPECT_FALSE(parse_json("{} trailing", j));
    EXPECT_FALSE(parse_json("", j));
    // Bad UTF-8 in a value is replaced on output instead of throwing.
    Json bad = {{"k", std::string("\xff")}};
    EXPECT_NO_THROW(dump_compact(bad));
}
