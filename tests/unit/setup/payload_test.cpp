// The payload at the end of the setup executable: written by the pack step, read with
// every count, offset and size bounded by the file.
#include <gtest/gtest.h>

#include "setup/payload.h"
#include "setup/table.h"
#include "tests/unit/setup/setup_home.h"

namespace {

using setup_test::read_text;
using setup_test::SetupHome;
using setup_test::write_text;

void put_le(std::string& s, std::size_t at, std::uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) s[at + static_cast<std::size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xff);
}

TEST(SetupPayload, IndexNamesEveryEntryAndItsBytes) {
    SetupHome h;
    const std::string image = h.make_image();
    setup::PayloadIndex index;
    ASSERT_TRUE(setup::read_payload_index(image, index));
    const std::string bytes = read_text(image);
    EXPECT_EQ(bytes.substr(0, index.start), "#!/bin/false\nnot really a program\n");
    const auto files = setup::install_files();
    ASSERT_EQ(index.entries.size(), files.size());
    for (std::uint32_t i = 0; i < files.size(); ++i) {
        const setup::PayloadEntry* e = setup::find_entry(index, i);
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(e->name, files[i].name);
        EXPECT_EQ(bytes.substr(e->offset, e->size), SetupHome::content(i));
    }
    EXPECT_EQ(setup::find_entry(index, 99), nullptr);
}

TEST(SetupPayload, HostileOrTruncatedImagesReadAsNoPayload) {
    SetupHome h;
    const std::string good = read_text(h.make_image());
    const std::string path = h.root() + "/bad";
    setup::PayloadIndex index;
    // Every truncation of the image (the trailer moves into the data) fails cleanly.
    for (std::size_t cut = 1; cut < good.size(); cut += 7) {
        write_text(path, good.substr(0, good.size() - cut));
        EXPECT_FALSE(setup::read_payload_index(path, index)) << "cut " << cut;
        EXPECT_TRUE(index.entries.empty());
    }
    const std::size_t t = good.size() - setup::TRAILER_SIZE;
    auto altered = [&](std::size_t at, std::uint64_t v, int bytes) {
        std::string s = good;
        put_le(s, at, v, bytes);
        write_text(path, s);
        return setup::read_payload_index(path, index);
    };
    EXPECT_FALSE(altered(t + 16, 0xffffffffu, 4)) << "huge count";
    EXPECT_FALSE(altered(t + 16, 3, 4)) << "count short of the index";
    EXPECT_FALSE(altered(t + 8, good.size() * 4, 8)) << "index past the end";
    EXPECT_FALSE(altered(t + 0, ~0ull, 8)) << "start past the index";
    EXPECT_FALSE(altered(t + 20, 2, 4)) << "unknown version";
    // The first index entry's offset and size pointing outside the files.
    setup::PayloadIndex real;
    ASSERT_TRUE(setup::read_payload_index(h.make_image(), real));
    std::string trailer = good.substr(t);
    std::uint64_t index_offset = 0;
    for (int i = 7; i >= 0; --i) index_offset = (index_offset << 8) | static_cast<unsigned char>(trailer[8 + static_cast<std::size_t>(i)]);
    EXPECT_FALSE(altered(index_offset + 4, ~0ull - 3, 8)) << "offset wraps";
    EXPECT_FALSE(altered(index_offset + 12, ~0ull, 8)) << "size wraps";
    EXPECT_FALSE(altered(index_offset + 4, 0, 8)) << "offset inside the executable";
    EXPECT_FALSE(altered(index_offset + 20, 0xffff, 2)) << "name past the index";
    EXPECT_FALSE(altered(index_offset + 0, 1, 4)) << "id repeated";
    EXPECT_TRUE(altered(index_offset + 0, 7777, 4)) << "an unknown id is only unused";
}

}  // namespace
