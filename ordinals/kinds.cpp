#include "ordinals/kinds.h"

#include "core/crypto.h"
#include "core/hex.h"
#include "core/profile.h"
#include "core/text.h"

namespace ordinals {

namespace {

// The hex lengths of boxes holding the two kind words (28 bytes of IV and tag, then 7
// or 11 bytes of plaintext): a box that does not open still tells them apart.
constexpr std::size_t ARTWORK_TAG_HEX = 70;
constexpr std::size_t CERTIFICATE_TAG_HEX = 78;

}  // namespace

bool is_kind_word(std::string_view word) { return word == KIND_ARTWORK || word == KIND_CERTIFICATE; }

std::string clean_name(std::string_view name) {
    std::string t = core::trim_right(core::trim_left(name, " \t"), " \t\r\n");
    return core::cut_utf8(t, MAX_NAME_BYTES);
}

std::string open_kind_tag(std::string_view tag_hex) {
    const std::string& label = core::profile().app_tag_label;
    if (label.empty()) return "";
    core::Bytes box;
    if (!core::from_hex(tag_hex, box) || box.size() <= core::GCM_IV_SIZE + core::GCM_TAG_SIZE) return "";
    core::Bytes key = core::sha256(label);
    core::Bytes iv(box.begin(), box.begin() + core::GCM_IV_SIZE);
    core::Bytes tag(box.begin() + core::GCM_IV_SIZE, box.begin() + core::GCM_IV_SIZE + core::GCM_TAG_SIZE);
    core::Bytes ct(box.begin() + core::GCM_IV_SIZE + core::GCM_TAG_SIZE, box.end());
    core::Bytes plain;
    bool ok = core::aes256gcm_decrypt(key, iv, ct, tag, plain);
    core::cleanse(key);
    return ok ? core::to_string(plain) : "";
}

std::string data_object_kind(const chain::OrdData& data, std::string_view content_type, std::string& name) {
    if (!data.map.present || data.map.app != GALLERY_APP) return "";
    if (name.empty()) name = clean_name(data.map.name);
    const std::string& tag = data.map.tag;
    std::string opened = open_kind_tag(tag);
    if (is_kind_word(opened)) return opened;
    if (tag.size() == ARTWORK_TAG_HEX && core::is_hex(tag)) return KIND_ARTWORK;
    if (tag.size() == CERTIFICATE_TAG_HEX && core::is_hex(tag)) return KIND_CERTIFICATE;
    if (core::starts_with(content_type, "image/")) return KIND_ARTWORK;
    if (content_type == "application/json") return KIND_CERTIFICATE;
    return "";
}

}  // namespace ordinals
