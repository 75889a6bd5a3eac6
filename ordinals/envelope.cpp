#include "ordinals/envelope.h"

#include <cstdint>
#include <vector>

#include "core/json.h"

namespace ordinals {

namespace {

constexpr std::uint8_t OP_0 = 0x00;
constexpr std::uint8_t OP_PUSHDATA1 = 0x4c;
constexpr std::uint8_t OP_PUSHDATA2 = 0x4d;
constexpr std::uint8_t OP_PUSHDATA4 = 0x4e;
constexpr std::uint8_t OP_1 = 0x51;
constexpr std::uint8_t OP_16 = 0x60;
constexpr std::uint8_t OP_IF = 0x63;
constexpr std::uint8_t OP_ENDIF = 0x68;
constexpr std::uint8_t OP_RETURN = 0x6a;
constexpr std::uint8_t OP_DUP = 0x76;
constexpr std::uint8_t OP_EQUALVERIFY = 0x88;
constexpr std::uint8_t OP_HASH160 = 0xa9;
constexpr std::uint8_t OP_CHECKSIG = 0xac;

struct Chunk {
    std::uint8_t op = 0;
    bool push = false;   // carries data (OP_0 counts as an empty push)
    std::size_t at = 0;  // offset of the data in the script
    std::size_t len = 0;
};

// Splits a script into chunks; a push running past the end stops the walk (what was
// read so far stays usable, as the envelope may already be complete).
std::vector<Chunk> chunks_of(const core::Bytes& s) {
    std::vector<Chunk> out;
    std::size_t pos = 0;
    while (pos < s.size()) {
        Chunk c;
        c.op = s[pos++];
        std::size_t len = 0;
        bool push = true;
        if (c.op >= 0x01 && c.op <= 0x4b) {
            len = c.op;
        } else if (c.op == OP_PUSHDATA1) {
            if (pos + 1 > s.size()) break;
            len = s[pos];
            pos += 1;
        } else if (c.op == OP_PUSHDATA2) {
            if (pos + 2 > s.size()) break;
            len = static_cast<std::size_t>(s[pos]) | (static_cast<std::size_t>(s[pos + 1]) << 8);
            pos += 2;
        } else if (c.op == OP_PUSHDATA4) {
            if (pos + 4 > s.size()) break;
            len = static_cast<std::size_t>(s[pos]) | (static_cast<std::size_t>(s[pos + 1]) << 8) |
                  (static_cast<std::size_t>(s[pos + 2]) << 16) | (static_cast<std::size_t>(s[pos + 3]) << 24);
            pos += 4;
        } else if (c.op != OP_0) {
            push = false;
        }
        if (push) {
            if (len > s.size() - pos) break;
            c.push = true;
            c.at = pos;
            c.len = len;
            pos += len;
        }
        out.push_back(c);
    }
    return out;
}

std::string text_of(const core::Bytes& s, const Chunk& c) {
    return std::string(reinterpret_cast<const char*>(s.data()) + c.at, c.len);
}

bool p2pkh_at(const std::vector<Chunk>& ch, std::size_t i) {
    if (i + 5 > ch.size()) return false;
    return ch[i].op == OP_DUP && ch[i + 1].op == OP_HASH160 && ch[i + 2].op == 0x14 && ch[i + 2].len == 20 &&
           ch[i + 3].op == OP_EQUALVERIFY && ch[i + 4].op == OP_CHECKSIG;
}

// An envelope starting at chunk i; end receives the index of its OP_ENDIF.
bool envelope_at(const core::Bytes& s, const std::vector<Chunk>& ch, std::size_t i, std::size_t& end,
                 Inscription& out) {
    if (i + 3 > ch.size() || ch[i].op != OP_0 || ch[i + 1].op != OP_IF) return false;
    if (!ch[i + 2].push || text_of(s, ch[i + 2]) != "ord") return false;
    std::string type;
    std::string body;
    std::size_t j = i + 3;
    while (j < ch.size()) {
        const Chunk& c = ch[j];
        if (c.op == OP_ENDIF) {
            end = j;
            out.content_type = type;
            out.content = body;
            return true;
        }
        if (c.op == OP_0) {  // the body: every data push up to OP_ENDIF
            for (++j; j < ch.size() && ch[j].push; ++j) body += text_of(s, ch[j]);
            if (j >= ch.size() || ch[j].op != OP_ENDIF) return false;
            end = j;
            out.content_type = type;
            out.content = body;
            return true;
        }
        int tag = -1;
        if (c.op >= OP_1 && c.op <= OP_16)
            tag = c.op - OP_1 + 1;
        else if (c.push && c.len == 1)
            tag = s[c.at];
        if (tag < 0 || j + 1 >= ch.size() || !ch[j + 1].push) return false;
        if (tag == 1) type = text_of(s, ch[j + 1]);
        j += 2;
    }
    return false;
}

void read_map(const core::Bytes& s, const std::vector<Chunk>& ch, std::size_t from,
              std::map<std::string, std::string>& out) {
    for (std::size_t i = from; i + 2 < ch.size(); ++i) {
        if (ch[i].op != OP_RETURN) continue;
        if (!ch[i + 1].push || text_of(s, ch[i + 1]) != MAP_PREFIX) continue;
        if (!ch[i + 2].push || text_of(s, ch[i + 2]) != "SET") continue;
        for (std::size_t k = i + 3; k + 1 < ch.size(); k += 2) {
            if (!ch[k].push || !ch[k + 1].push) break;
            std::string key = text_of(s, ch[k]);
            if (key == "|") break;
            out[key] = text_of(s, ch[k + 1]);
        }
        return;
    }
}

}  // namespace

bool parse_inscription_script(const core::Bytes& script, Inscription& out) {
    out = Inscription{};
    std::vector<Chunk> ch = chunks_of(script);
    std::size_t end = 0;
    Inscription found;
    if (p2pkh_at(ch, 0) && envelope_at(script, ch, 5, end, found)) {
        found.owner_hash.assign(script.begin() + static_cast<std::ptrdiff_t>(ch[2].at),
                                script.begin() + static_cast<std::ptrdiff_t>(ch[2].at + 20));
        read_map(script, ch, end + 1, found.map);
    } else if (envelope_at(script, ch, 0, end, found) && p2pkh_at(ch, end + 1)) {
        const Chunk& h = ch[end + 3];
        found.owner_hash.assign(script.begin() + static_cast<std::ptrdiff_t>(h.at),
                                script.begin() + static_cast<std::ptrdiff_t>(h.at + 20));
        read_map(script, ch, end + 6, found.map);
    } else {
        return false;
    }
    out = std::move(found);
    return true;
}

std::string inscription_name(const Inscription& insc) {
    auto it = insc.map.find("name");
    if (it != insc.map.end() && !it->second.empty()) return it->second;
    core::Json j;
    if (!insc.content.empty() && insc.content[0] == '{' && core::parse_json(insc.content, j) && j.is_object())
        return core::json_string(j, "name");
    return "";
}

}  // namespace ordinals
