// look.json and window.json in a temporary data folder: what reads back, what is
// refused, and that a read never changes a file.
#include "shell/view_settings.h"

#include <gtest/gtest.h>

#include "core/files.h"
#include "tests/support/temp_platform.h"

namespace {

class ViewSettings : public ::testing::Test {
protected:
    testing_support::TempPlatform tp;
    std::string folder() const { return tp.root() + "/data"; }
    std::string file(const std::string& name) const { return folder() + "/" + name; }
    void put(const std::string& name, const std::string& text) const {
        ASSERT_TRUE(core::make_dirs(folder()));
        ASSERT_TRUE(core::write_file(file(name), text));
    }
    std::string text_of(const std::string& name) const {
        std::string text;
        EXPECT_TRUE(core::read_file(file(name), text));
        return text;
    }
};

TEST_F(ViewSettings, LookWrittenAsOneLineReadsBack) {
    std::string error;
    ASSERT_TRUE(shell::write_look(folder(), {true, 90}, error)) << error;
    EXPECT_EQ(text_of("look.json"), "{\"quick\":true,\"fps\":90}\n");
    const auto look = shell::read_look(folder());
    EXPECT_TRUE(look.quick);
    EXPECT_EQ(look.fps, 90);

    ASSERT_TRUE(shell::write_look(folder(), {false, 30}, error)) << error;
    EXPECT_EQ(text_of("look.json"), "{\"quick\":false,\"fps\":30}\n");
    EXPECT_FALSE(shell::read_look(folder()).quick);
    EXPECT_EQ(shell::read_look(folder()).fps, 30);

    // A rate the room does not offer is never stored.
    ASSERT_TRUE(shell::write_look(folder(), {false, 75}, error)) << error;
    EXPECT_EQ(text_of("look.json"), "{\"quick\":false,\"fps\":60}\n");
    EXPECT_EQ(core::list_files(folder()), std::vector<std::string>{"look.json"});
}

TEST_F(ViewSettings, LookIsATextSearchOverItsHead) {
    struct Case {
        const char* text;
        bool quick;
        int fps;
    };
    const Case cases[] = {
        {"{\"fps\":75}", false, 60},                  // only 30, 60, 90, 120
        {"true", true, 60},                           // no "quick" at all, but true
        {"{\"quick\":false} true", false, 60},        // names quick: the bare word does not count
        {"{\"quick\": true,\"fps\":90}", false, 90},  // a space after the colon is not "quick":true
        {"{\"quick\":true,\"fps\" : 90}", true, 60},  // nor before the colon "fps":
        {"{\"quick\":true,\"fps\": 120}", true, 120},  // the number conversion skips white space
        {"{\"fps\":+30}", false, 30},
        {"{\"fps\":-60}", false, 60},
        {"{\"fps\":90abc}", false, 90},
        {"{\"fps\":99999999999999999999}", false, 60},
        {"{\"quick\":TRUE}", false, 60},
        {"", false, 60},
        {"\"quick\":tr", false, 60},
    };
    for (const Case& c : cases) {
        const auto look = shell::parse_look(c.text);
        EXPECT_EQ(look.quick, c.quick) << c.text;
        EXPECT_EQ(look.fps, c.fps) << c.text;
    }
}

TEST_F(ViewSettings, LookBeyondItsFirst159BytesIsNotSeen) {
    // 200 bytes: "quick":true starts at byte 160, so quick stays Steady.
    std::string late_quick = std::string(160, ' ') + "\"quick\":true";
    late_quick.resize(200, ' ');
    put("look.json", late_quick);
    EXPECT_FALSE(shell::read_look(folder()).quick);

    // The rate's last digit is byte 160: "12" is all that is read, which is no rate.
    put("look.json", std::string(151, ' ') + "\"fps\":120");
    EXPECT_EQ(shell::read_look(folder()).fps, 60);
    put("look.json", std::string(150, ' ') + "\"fps\":120");
    EXPECT_EQ(shell::read_look(folder()).fps, 120);

    // A big file is read only at its head, not refused.
    put("look.json", "{\"quick\":true,\"fps\":30}" + std::string(100000, ' '));
    EXPECT_TRUE(shell::read_look(folder()).quick);
    EXPECT_EQ(shell::read_look(folder()).fps, 30);
}

TEST_F(ViewSettings, MissingOrUnreadableLookGivesSteadyAndSixty) {
    auto look = shell::read_look(folder());
    EXPECT_FALSE(look.quick);
    EXPECT_EQ(look.fps, 60);
    ASSERT_TRUE(core::make_dirs(file("look.json")));  // a folder where the file should be
    look = shell::read_look(folder());
    EXPECT_FALSE(look.quick);
    EXPECT_EQ(look.fps, 60);
    std::string error;
    EXPECT_FALSE(shell::write_look(folder(), {true, 60}, error));
    EXPECT_EQ(error.rfind("error: ", 0), 0u) << error;
}

TEST_F(ViewSettings, WindowValidation) {
    struct Case {
        const char* text;
        bool valid;
    };
    const Case cases[] = {
        {R"({"left":100,"top":100,"right":739,"bottom":700,"max":false})", false},  // 639 wide
        {R"({"left":100,"top":100,"right":740,"bottom":700,"max":false})", true},
        {R"({"left":100,"top":100,"right":740,"bottom":579})", false},  // 479 high
        {R"({"left":100,"top":100,"right":740,"bottom":580})", true},
        {R"({"left":100,"top":100,"right":20001,"bottom":700})", false},
        {R"({"left":19000,"top":100,"right":20000,"bottom":700})", true},
        {R"({"left":-8001,"top":100,"right":740,"bottom":700})", false},
        {R"({"left":-8000,"top":-8000,"right":740,"bottom":700})", true},
        {R"({"left":100,"top":100,"right":740,"bottom":16001})", false},
        {R"({"left":100,"top":100,"right":740,"bottom":700,"max":1})", false},  // not a boolean
        {R"({"left":"100","top":100,"right":740,"bottom":700})", false},
        {R"({"left":100.0,"top":100,"right":740,"bottom":700})", false},
        {R"({"right":800,"bottom":600})", true},  // absent edges count 0
        {R"({"left":-4294967296,"top":0,"right":800,"bottom":600})", false},
        {R"({"left":0,"top":0,"right":18446744073709551615,"bottom":600})", false},
        {R"({"left":0,"top":0,"right":4294968096,"bottom":600})", false},  // 800 once truncated
        {R"([0,0,800,600])", false},
        {R"({"left":0,"top":0,"right":800,"bottom":600} x)", false},
        {"", false},
    };
    for (const Case& c : cases) EXPECT_EQ(shell::parse_window(c.text).valid, c.valid) << c.text;

    const auto p = shell::parse_window(R"({"left":-20,"top":30,"right":1900,"bottom":1000,"max":true})");
    ASSERT_TRUE(p.valid);
    EXPECT_EQ(p.left, -20);
    EXPECT_EQ(p.top, 30);
    EXPECT_EQ(p.right, 1900);
    EXPECT_EQ(p.bottom, 1000);
    EXPECT_TRUE(p.max);
}

TEST_F(ViewSettings, WindowWrittenReadsBackAndATinyOneIsNeverWritten) {
    std::string error;
    shell::WindowPlacement p;
    p.left = 40;
    p.top = -5;
    p.right = 1240;
    p.bottom = 795;
    p.max = true;
    ASSERT_TRUE(shell::write_window(folder(), p, error)) << error;
    EXPECT_EQ(text_of("window.json"), "{\"left\":40,\"top\":-5,\"right\":1240,\"bottom\":795,\"max\":true}\n");
    const auto back = shell::read_window(folder());
    EXPECT_TRUE(back.valid);
    EXPECT_EQ(back.left, 40);
    EXPECT_EQ(back.top, -5);
    EXPECT_EQ(back.right, 1240);
    EXPECT_EQ(back.bottom, 795);
    EXPECT_TRUE(back.max);

    shell::WindowPlacement narrow{false, 0, 0, 639, 2000, false};
    EXPECT_FALSE(shell::write_window(folder(), narrow, error));
    EXPECT_EQ(error.rfind("error: ", 0), 0u) << error;
    shell::WindowPlacement low{false, 0, 0, 2000, 479, false};
    EXPECT_FALSE(shell::write_window(folder(), low, error));
    EXPECT_EQ(text_of("window.json"), "{\"left\":40,\"top\":-5,\"right\":1240,\"bottom\":795,\"max\":true}\n");
}

TEST_F(ViewSettings, ReadingABrokenFileLeavesItAsItWas) {
    const std::string broken = "{\"left\":40,\"top\":-5,\"right\":12";
    put("window.json", broken);
    put("look.json", "\x01\x02 not json");
    EXPECT_FALSE(shell::read_window(folder()).valid);
    EXPECT_EQ(shell::read_look(folder()).fps, 60);
    EXPECT_EQ(text_of("window.json"), broken);
    EXPECT_EQ(text_of("look.json"), "\x01\x02 not json");

    // Bigger than the one line we write: not ours to trust.
    put("window.json", R"({"left":0,"top":0,"right":800,"bottom":600})" + std::string(5000, ' '));
    EXPECT_FALSE(shell::read_window(folder()).valid);
    EXPECT_FALSE(shell::read_window(tp.root() + "/nowhere").valid);
}

}  // namespace
