#include "wallet/identity.h"

#include <cstdint>

#include "core/base64.h"
#include "core/crypto.h"
#include "core/hex.h"
#include "core/secret.h"
#include "wallet/keys.h"

namespace wallet {

namespace {

constexpr std::string_view MAGIC = "Bitcoin Signed Message:\n";
constexpr std::uint8_t COMPACT_HEADER_BASE = 31;  // compressed-key form, 31..34

void append_compact_size(core::Bytes& out, std::uint64_t n) {
    auto put_le = [&out](std::uint64_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    };
    if (n < 0xfd) {
        out.push_back(static_cast<std::uint8_t>(n));
    } else if (n <= 0xffff) {
        out.push_back(0xfd);
        put_le(n, 2);
    } else if (n <= 0xffffffffu) {
        out.push_back(0xfe);
        put_le(n, 4);
    } else {
        out.push_back(0xff);
        put_le(n, 8);
    }
}

// Signs with low S and returns r and s padded to 32 bytes each.
bool sign_rs(std::string_view priv_hex, const core::Bytes& digest32, core::Bytes& r, core::Bytes& s) {
    core::Bytes der;
    return sign_digest(priv_hex, digest32, der) && der_to_rs(der, r, s);
}

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }

}  // namespace

core::Bytes signed_message_digest(std::string_view message) {
    core::Bytes pre;
    pre.reserve(1 + MAGIC.size() + 9 + message.size());
    pre.push_back(static_cast<std::uint8_t>(MAGIC.size()));
    pre.insert(pre.end(), MAGIC.begin(), MAGIC.end());
    append_compact_size(pre, message.size());
    pre.insert(pre.end(), message.begin(), message.end());
    return core::sha256d(pre);
}

bool sign_message_compact(std::string_view priv_hex, std::string_view message, std::string& base64_out) {
    base64_out.clear();
    // Validates the key and gives the point the recovered key must match.
    std::string signer_hex;
    if (!pub_from_priv(priv_hex, signer_hex)) return false;
    core::Bytes signer = core::from_hex(signer_hex);
    core::Bytes digest = signed_message_digest(message);
    core::Bytes r, s;
    if (!sign_rs(priv_hex, digest, r, s)) return false;
    for (int id = 0; id < 4; ++id) {
        core::Bytes recovered;
        if (!recover_pubkey(digest, r, s, id, recovered) || recovered != signer) continue;
        core::Bytes sig;
        sig.reserve(65);
        sig.push_back(static_cast<std::uint8_t>(COMPACT_HEADER_BASE + id));
        sig.insert(sig.end(), r.begin(), r.end());
        sig.insert(sig.end(), s.begin(), s.end());
        base64_out = core::base64_encode(sig);
        return true;
    }
    return false;
}

bool sign_plain(std::string_view priv_hex, const core::Bytes& digest32, std::string& base64_out) {
    base64_out.clear();
    core::Bytes r, s;
    if (!sign_rs(priv_hex, digest32, r, s)) return false;
    core::Bytes sig = r;
    sig.insert(sig.end(), s.begin(), s.end());
    base64_out = core::base64_encode(sig);
    return true;
}

bool verify_message(std::string_view message, std::string_view pubkey_text, std::string_view sig_base64) {
    std::string_view text = pubkey_text;
    while (!text.empty() && is_space(text.front())) text.remove_prefix(1);
    while (!text.empty() && is_space(text.back())) text.remove_suffix(1);
    if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text.remove_prefix(2);
    core::Bytes pub;
    if (!core::from_hex(text, pub) || (pub.size() != 33 && pub.size() != 65)) return false;

    core::Bytes sig;
    if (!core::base64_decode(sig_base64, sig) || (sig.size() != 64 && sig.size() != 65)) return false;
    const std::size_t off = sig.size() == 65 ? 1 : 0;  // the header only serves recovery
    core::Bytes r(sig.begin() + off, sig.begin() + off + 32);
    core::Bytes s(sig.begin() + off + 32, sig.begin() + off + 64);

    // Signers in the wild use any of these three digests over the same message.
    const core::Bytes digests[] = {signed_message_digest(message), core::sha256(message), core::sha256d(message)};
    for (const core::Bytes& d : digests)
        if (verify_digest(pub, d, r, s)) return true;
    return false;
}

std::string compressed_pubkey_hex(const core::Bytes& key) {
    if (key.size() == 33 && (key[0] == 0x02 || key[0] == 0x03)) return core::to_hex(key);
    if (key.size() == 65 && key[0] == 0x04) {
        core::Bytes c(key.begin(), key.begin() + 33);
        c[0] = (key[64] & 1) ? 0x03 : 0x02;
        return core::to_hex(c);
    }
    return {};
}

}  // namespace wallet
