#pragma once
// The frame picture store: each shown frame's artwork is fetched once and kept as
// spots/ap<n>.<ext> (png, jpg, webp or gif) with a side file spots/ap<n>.origin naming
// the extension and the origin it holds, so an unchanged frame is never fetched again.
// The store is the web folder's spots/ when that can be written, else the data
// folder's; the page address is "spots/ap<n>.<ext>" either way. A frame outside 1..10
// or an origin that is not a 64-hex inscription id or txid_vout is refused before any
// path is built. Failures are quiet: not ok, or "" for the address. Blocking; any
// worker thread, never while holding the wallet-state lock.
#include <array>
#include <functional>
#include <mutex>
#include <string>

#include "core/bytes.h"
#include "ledger/records.h"

namespace bridge {

// One frame picture lookup: bytes are empty when the stored file is still good, and the
// extension is empty when the content is no picture we show.
struct SpotPic {
    std::string extension;
    core::Bytes bytes;
    bool ok = false;
};

// "png", "jpg", "webp", "gif" or "" for a content type (any letter case).
std::string picture_extension(const std::string& content_type);

// The stored picture when the side file names this origin (either letter case) and its
// file is there; otherwise the content (cache, ordinals host first, then WhatsOnChain).
SpotPic fetch_spot_picture(int n, const std::string& origin);

// Writes the picture (when it has bytes) and then the side file, each atomically.
// The page address, or "" when there is nothing to show.
std::string store_spot_picture(int n, const std::string& origin, const SpotPic& pic);

// fetch_spot_picture, then store_spot_picture.
std::string spot_picture_url(int n, const std::string& origin);

// Chooses the store, once per call: web_dir + "/spots" when web_dir is a folder in which
// that folder can be created and a file written, else data_dir + "/spots" ("" for an
// empty data_dir).
void set_picture_folders(const std::string& web_dir, const std::string& data_dir);
// The chosen store folder; "" when none is set.
std::string spots_folder();

// Tests: called between writing a picture file and writing its side file.
void set_picture_store_hook(std::function<void()> hook);

struct PictureState {
    std::mutex mutex;  // guards folder and store_hook
    std::string folder;
    std::function<void()> store_hook;
    // Check+fetch and store of one frame take turns, so a side file never names another store's picture.
    std::array<std::mutex, ledger::FRAME_COUNT> frames;
};
PictureState& picture_state();
// Tests: no store folder, no hook.
void reset_pictures_for_tests();

}  // namespace bridge
