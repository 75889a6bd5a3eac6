// The room's files as the custom scheme serves them: real folders with a symbolic link
// pointing out, so the resolver is checked against what the file system says.
#include "shell/web_resource.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "core/files.h"
#include "tests/support/temp_platform.h"

namespace {

class WebResource : public ::testing::Test {
protected:
    testing_support::TempPlatform tp;
    std::string web() const { return tp.root() + "/web"; }
    std::string spots() const { return tp.root() + "/data/spots"; }
    std::string outside() const { return tp.root() + "/secret.txt"; }
    void SetUp() override {
        ASSERT_TRUE(core::make_dirs(web() + "/models"));
        ASSERT_TRUE(core::make_dirs(spots()));
        ASSERT_TRUE(core::write_file(web() + "/index.html", "<html>"));
        ASSERT_TRUE(core::write_file(web() + "/models/frame 1.glb", "glTF"));
        ASSERT_TRUE(core::write_file(spots() + "/ap3.png", "png"));
        ASSERT_TRUE(core::write_file(outside(), "keys"));
        ASSERT_EQ(::symlink(outside().c_str(), (web() + "/leak.txt").c_str()), 0);
        ASSERT_EQ(::symlink(tp.root().c_str(), (web() + "/up").c_str()), 0);
    }
    std::string resolve(std::string_view path) const { return shell::resolve_web_resource(web(), spots(), path); }
};

TEST_F(WebResource, ServesFilesOfTheRootAndSpotsFromTheStore) {
    EXPECT_NE(resolve("/index.html"), "");
    EXPECT_EQ(resolve("/index.html").substr(resolve("/index.html").size() - 11), "/index.html");
    EXPECT_NE(resolve("/models/frame%201.glb"), "");
    const std::string pic = resolve("/spots/ap3.png");
    ASSERT_NE(pic, "");
    EXPECT_NE(pic.find("/data/spots/ap3.png"), std::string::npos);
    // Not in the web folder's own spots/: the store is wherever the bridge chose.
    EXPECT_EQ(shell::resolve_web_resource(web(), "", "/spots/ap3.png"), "");
}

TEST_F(WebResource, RefusesEverythingThatLeavesItsRoot) {
    for (const char* path : {"/../secret.txt", "/%2e%2e/secret.txt", "/models/../../secret.txt",
                             "/./index.html", "//index.html", "/models//frame%201.glb", "index.html",
                             "/leak.txt", "/up/secret.txt", "/spots/../index.html",
                             "/spots/%2e%2e/%2e%2e/secret.txt", "/models%5c..%5c..%5csecret.txt",
                             "/index.html%00.png", "/index.html%", "/index.html%2", "/index%zz.html", "/",
                             "", "/models", "/missing.js"}) {
        EXPECT_EQ(resolve(path), "") << path;
    }
    // An absolute path decoded from the address stays under the root, where it does not exist.
    EXPECT_EQ(resolve("/%2Fetc/passwd"), "");
}

TEST(WebMime, TypesThePageDependsOn) {
    EXPECT_EQ(shell::web_mime_type("/x/room.js"), "text/javascript; charset=utf-8");
    EXPECT_EQ(shell::web_mime_type("/x/index.HTML"), "text/html; charset=utf-8");
    EXPECT_EQ(shell::web_mime_type("a.css"), "text/css; charset=utf-8");
    EXPECT_EQ(shell::web_mime_type("frame-1.glb"), "model/gltf-binary");
    EXPECT_EQ(shell::web_mime_type("p.jpg"), "image/jpeg");
    EXPECT_EQ(shell::web_mime_type("p.webp"), "image/webp");
    EXPECT_EQ(shell::web_mime_type("p.gif"), "image/gif");
    EXPECT_EQ(shell::web_mime_type("p.svg"), "image/svg+xml");
    EXPECT_EQ(shell::web_mime_type("d.json"), "application/json");
    EXPECT_EQ(shell::web_mime_type("dir.v2/README"), "application/octet-stream");
}

TEST(WebPercent, DecodesAndRefusesBrokenEscapes) {
    std::string out;
    ASSERT_TRUE(shell::percent_decode("a%20b%2Fc%e2%82%ac", out));
    EXPECT_EQ(out, "a b/c\xe2\x82\xac");
    EXPECT_FALSE(shell::percent_decode("%0", out));
    EXPECT_FALSE(shell::percent_decode("%g0", out));
    EXPECT_FALSE(shell::percent_decode("a%00", out));
}

}  // namespace
