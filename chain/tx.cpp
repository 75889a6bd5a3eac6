#include "chain/tx.h"

#include <algorithm>
#include <utility>

#include "core/crypto.h"
#include "core/hex.h"
#include "wallet/keys.h"

namespace chain {

namespace {

constexpr std::uint32_t TX_VERSION = 1;
constexpr std::uint32_t TX_LOCK_TIME = 0;
constexpr std::uint32_t TX_SEQUENCE = 0xFFFFFFFFu;
constexpr std::uint8_t OP_FALSE = 0x00;
constexpr std::uint8_t OP_RETURN = 0x6A;
constexpr std::uint8_t OP_PUSHDATA1 = 0x4C;
constexpr std::uint8_t OP_PUSHDATA2 = 0x4D;
constexpr std::uint8_t OP_PUSHDATA4 = 0x4E;
// version, lock time
constexpr std::size_t TX_FIXED_SIZE = 4 + 4;

void put_le(core::Bytes& buf, std::uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) buf.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
void put_u32(core::Bytes& buf, std::uint32_t v) { put_le(buf, v, 4); }

bool value_in_range(std::int64_t v) { return v >= 0 && v <= MAX_SATS; }

// Appends the wire form of a txid (its bytes reversed) and vout.
bool put_outpoint(core::Bytes& buf, const TxInput& in) {
    core::Bytes id;
    if (!core::from_hex(in.txid, id) || id.size() != 32) return false;
    buf.insert(buf.end(), id.rbegin(), id.rend());
    put_u32(buf, in.vout);
    return true;
}

bool put_outputs(core::Bytes& buf, const std::vector<TxOutput>& outputs) {
    for (const TxOutput& out : outputs) {
        if (!value_in_range(out.value)) return false;
        put_le(buf, static_cast<std::uint64_t>(out.value), 8);
        write_varint(buf, out.script.size());
        buf.insert(buf.end(), out.script.begin(), out.script.end());
    }
    return true;
}

// Bounds-checked little-endian reads over a received transaction.
struct Reader {
    const core::Bytes& buf;
    std::size_t pos = 0;

    std::size_t left() const { return buf.size() - pos; }
    bool skip(std::size_t n) {
        if (n > left()) return false;
        pos += n;
        return true;
    }
    bool le(int bytes, std::uint64_t& v) {
        if (static_cast<std::size_t>(bytes) > left()) return false;
        v = 0;
        for (int i = 0; i < bytes; ++i) v |= static_cast<std::uint64_t>(buf[pos + i]) << (8 * i);
        pos += bytes;
        return true;
    }
    bool varint(std::uint64_t& v) {
        std::uint64_t first = 0;
        if (!le(1, first)) return false;
        if (first < 0xFD) {
            v = first;
            return true;
        }
        return le(first == 0xFD ? 2 : first == 0xFE ? 4 : 8, v);
    }
    bool bytes(std::uint64_t n, core::Bytes& out) {
        if (n > left()) return false;
        auto from = buf.begin() + static_cast<std::ptrdiff_t>(pos);
        out.assign(from, from + static_cast<std::ptrdiff_t>(n));
        pos += static_cast<std::size_t>(n);
        return true;
    }
};

bool parse_items(Reader& r, std::vector<TxInput>& inputs, std::vector<TxOutput>& outputs) {
    if (!r.skip(4)) return false;  // version
    std::uint64_t count = 0;
    if (!r.varint(count) || count < 1 || count > MAX_TX_ITEMS) return false;
    inputs.resize(static_cast<std::size_t>(count));
    for (TxInput& in : inputs) {
        core::Bytes id;
        std::uint64_t vout = 0, script_len = 0;
        if (!r.bytes(32, id) || !r.le(4, vout) || !r.varint(script_len) ||
            !r.bytes(script_len, in.unlocking_script) || !r.skip(4))
            return false;
        std::reverse(id.begin(), id.end());
        in.txid = core::to_hex(id);
        in.vout = static_cast<std::uint32_t>(vout);
        in.value = 0;
        in.height = -1;
    }
    if (!r.varint(count) || count < 1 || count > MAX_TX_ITEMS) return false;
    outputs.resize(static_cast<std::size_t>(count));
    for (TxOutput& out : outputs) {
        std::uint64_t value = 0, script_len = 0;
        if (!r.le(8, value) || !r.varint(script_len) || !r.bytes(script_len, out.script)) return false;
        // No valid transaction carries more than the supply; refusing here keeps every
        // amount the program handles inside the bound.
        if (value > static_cast<std::uint64_t>(MAX_SATS)) return false;
        out.value = static_cast<std::int64_t>(value);
    }
    return true;
}

}  // namespace

TxInput& TxInput::operator=(const TxInput& other) {
    if (this != &other) {
        core::cleanse(private_key);
        txid = other.txid;
        vout = other.vout;
        value = other.value;
        height = other.height;
        unlocking_script = other.unlocking_script;
        prev_locking_script = other.prev_locking_script;
        private_key = other.private_key;
        public_key = other.public_key;
        key_hash = other.key_hash;
    }
    return *this;
}

TxInput& TxInput::operator=(TxInput&& other) noexcept {
    if (this != &other) {
        // A string move may hand this buffer to the source instead of freeing it; wipe it
        // first so the old key survives nowhere.
        core::cleanse(private_key);
        txid = std::move(other.txid);
        vout = other.vout;
        value = other.value;
        height = other.height;
        unlocking_script = std::move(other.unlocking_script);
        prev_locking_script = std::move(other.prev_locking_script);
        private_key = std::move(other.private_key);
        core::cleanse(other.private_key);
        public_key = std::move(other.public_key);
        key_hash = std::move(other.key_hash);
    }
    return *this;
}

TxInput::~TxInput() { core::cleanse(private_key); }

void write_varint(core::Bytes& buf, std::uint64_t n) {
    if (n <= 252) {
        buf.push_back(static_cast<std::uint8_t>(n));
    } else if (n <= 0xFFFF) {
        buf.push_back(0xFD);
        put_le(buf, n, 2);
    } else if (n <= 0xFFFFFFFFu) {
        buf.push_back(0xFE);
        put_le(buf, n, 4);
    } else {
        buf.push_back(0xFF);
        put_le(buf, n, 8);
    }
}

std::size_t varint_size(std::uint64_t n) {
    if (n <= 252) return 1;
    if (n <= 0xFFFF) return 3;
    if (n <= 0xFFFFFFFFu) return 5;
    return 9;
}

bool push_data(core::Bytes& script, const core::Bytes& data) {
    const std::uint64_t n = data.size();
    if (n <= 75) {
        script.push_back(static_cast<std::uint8_t>(n));
    } else if (n <= 0xFF) {
        script.push_back(OP_PUSHDATA1);
        put_le(script, n, 1);
    } else if (n <= 0xFFFF) {
        script.push_back(OP_PUSHDATA2);
        put_le(script, n, 2);
    } else if (n <= 0xFFFFFFFFu) {
        script.push_back(OP_PUSHDATA4);
        put_le(script, n, 4);
    } else {
        return false;
    }
    script.insert(script.end(), data.begin(), data.end());
    return true;
}

core::Bytes data_script(const core::Bytes& payload) {
    core::Bytes script{OP_FALSE, OP_RETURN};
    if (!payload.empty() && !push_data(script, payload)) return {};
    return script;
}

core::Bytes serialize_tx(const std::vector<TxInput>& inputs, const std::vector<TxOutput>& outputs,
                         bool estimate) {
    core::Bytes raw;
    raw.reserve(estimate ? estimate_size(inputs.size(), outputs) : 256);
    put_u32(raw, TX_VERSION);
    write_varint(raw, inputs.size());
    for (const TxInput& in : inputs) {
        if (!put_outpoint(raw, in)) return {};
        if (estimate) {
            raw.push_back(static_cast<std::uint8_t>(ESTIMATE_SCRIPT_SIZE));
            raw.insert(raw.end(), ESTIMATE_SCRIPT_SIZE, 0);
        } else {
            write_varint(raw, in.unlocking_script.size());
            raw.insert(raw.end(), in.unlocking_script.begin(), in.unlocking_script.end());
        }
        put_u32(raw, TX_SEQUENCE);
    }
    write_varint(raw, outputs.size());
    if (!put_outputs(raw, outputs)) return {};
    put_u32(raw, TX_LOCK_TIME);
    return raw;
}

core::Bytes serialize_tx_extended(const std::vector<TxInput>& inputs, const std::vector<TxOutput>& outputs) {
    static constexpr std::uint8_t EF_MARKER[6] = {0x00, 0x00, 0x00, 0x00, 0x00, 0xEF};
    core::Bytes raw;
    raw.reserve(256);
    put_u32(raw, TX_VERSION);
    raw.insert(raw.end(), std::begin(EF_MARKER), std::end(EF_MARKER));
    write_varint(raw, inputs.size());
    for (const TxInput& in : inputs) {
        if (!put_outpoint(raw, in) || in.value <= 0 || !value_in_range(in.value)) return {};
        const core::Bytes previous =
            !in.prev_locking_script.empty() ? in.prev_locking_script
            : in.key_hash.size() == 20      ? wallet::p2pkh_script(in.key_hash)
                                            : core::Bytes{};
        if (previous.empty()) return {};
        write_varint(raw, in.unlocking_script.size());
        raw.insert(raw.end(), in.unlocking_script.begin(), in.unlocking_script.end());
        put_u32(raw, TX_SEQUENCE);
        put_le(raw, static_cast<std::uint64_t>(in.value), 8);
        write_varint(raw, previous.size());
        raw.insert(raw.end(), previous.begin(), previous.end());
    }
    write_varint(raw, outputs.size());
    if (!put_outputs(raw, outputs)) return {};
    put_u32(raw, TX_LOCK_TIME);
    return raw;
}

std::size_t estimate_size(std::size_t input_count, const std::vector<TxOutput>& outputs) {
    std::size_t size = TX_FIXED_SIZE + varint_size(input_count) + input_count * ESTIMATE_INPUT_SIZE +
                       varint_size(outputs.size());
    for (const TxOutput& out : outputs) size += 8 + varint_size(out.script.size()) + out.script.size();
    return size;
}

bool parse_tx(const core::Bytes& raw, std::vector<TxInput>& inputs, std::vector<TxOutput>& outputs) {
    inputs.clear();
    outputs.clear();
    if (raw.size() <= 9) return false;
    Reader r{raw};
    if (!parse_items(r, inputs, outputs)) {
        inputs.clear();
        outputs.clear();
        return false;
    }
    return true;
}

std::string tx_id(const core::Bytes& raw) {
    core::Bytes h = core::sha256d(raw);
    if (h.size() != 32) return {};
    std::reverse(h.begin(), h.end());
    return core::to_hex(h);
}

std::int64_t fee_for(std::int64_t size) {
    if (size <= 0) return 1;
    // (size * 100 + 999) / 1000 is ceil(size / 10); this form cannot overflow.
    return size / 10 + (size % 10 != 0 ? 1 : 0);
}

core::Bytes signature_preimage(std::size_t index, const std::vector<TxInput>& inputs,
                               const std::vector<TxOutput>& outputs, const core::Bytes& key_hash) {
    if (index >= inputs.size()) return {};
    const TxInput& in = inputs[index];
    if (!value_in_range(in.value)) return {};
    const core::Bytes script_code =
        in.prev_locking_script.empty() ? wallet::p2pkh_script(key_hash) : in.prev_locking_script;
    if (script_code.empty()) return {};

    core::Bytes prevouts, sequences, outs;
    prevouts.reserve(inputs.size() * 36);
    for (const TxInput& each : inputs) {
        if (!put_outpoint(prevouts, each)) return {};
        put_u32(sequences, TX_SEQUENCE);
    }
    if (!put_outputs(outs, outputs)) return {};
    const core::Bytes hash_prevouts = core::sha256d(prevouts);
    const core::Bytes hash_sequence = core::sha256d(sequences);
    const core::Bytes hash_outputs = core::sha256d(outs);
    if (hash_prevouts.size() != 32 || hash_sequence.size() != 32 || hash_outputs.size() != 32) return {};

    core::Bytes pre;
    pre.reserve(4 + 32 + 32 + 36 + varint_size(script_code.size()) + script_code.size() + 8 + 4 + 32 + 4 + 4);
    put_u32(pre, TX_VERSION);
    pre.insert(pre.end(), hash_prevouts.begin(), hash_prevouts.end());
    pre.insert(pre.end(), hash_sequence.begin(), hash_sequence.end());
    put_outpoint(pre, in);  // already decoded once above
    write_varint(pre, script_code.size());
    pre.insert(pre.end(), script_code.begin(), script_code.end());
    put_le(pre, static_cast<std::uint64_t>(in.value), 8);
    put_u32(pre, TX_SEQUENCE);
    pre.insert(pre.end(), hash_outputs.begin(), hash_outputs.end());
    put_u32(pre, TX_LOCK_TIME);
    put_u32(pre, SIGHASH_ALL_FORKID);
    return pre;
}

bool sign_input(std::size_t index, std::vector<TxInput>& inputs, const std::vector<TxOutput>& outputs,
                std::string_view private_key_hex, std::string_view public_key_hex,
                const core::Bytes& key_hash) {
    if (index >= inputs.size()) return false;
    inputs[index].unlocking_script.clear();
    core::Bytes pub;
    if (!core::from_hex(public_key_hex, pub) || (pub.size() != 33 && pub.size() != 65)) return false;
    const core::Bytes preimage = signature_preimage(index, inputs, outputs, key_hash);
    if (preimage.empty()) return false;
    const core::Bytes digest = core::sha256d(preimage);
    core::Bytes sig;
    if (digest.size() != 32 || !wallet::sign_digest(private_key_hex, digest, sig)) return false;
    sig.push_back(static_cast<std::uint8_t>(SIGHASH_ALL_FORKID));
    core::Bytes script;
    if (!push_data(script, sig) || !push_data(script, pub)) return false;
    inputs[index].unlocking_script = std::move(script);
    return true;
}

bool add_sats(std::int64_t& total, std::int64_t value) {
    // Both sides are within 0..MAX_SATS before the addition, so it cannot overflow.
    if (!value_in_range(value) || !value_in_range(total) || value > MAX_SATS - total) return false;
    total += value;
    return true;
}

}  // namespace chain
