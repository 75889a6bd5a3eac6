// The index's txo objects, read by its client and made into rows: origins, content
// types, kinds by sealed tag, tag length and content type, names, credentials and tokens.
#include "ordinals/rows.h"

#include <gtest/gtest.h>

#include "core/crypto.h"
#include "core/hex.h"
#include "core/profile.h"
#include "ordinals/credentials.h"
#include "ordinals/kinds.h"
#include "tests/unit/ordinals/ordinals_fixture.h"

using namespace ord_test;

namespace {

const char* const LABEL = "unit-tag-lab1";  // 13 bytes, like the platform's

// A sealed box of plain under SHA-256(label), as hex.
std::string seal(const std::string& plain, const std::string& label = LABEL) {
    core::Bytes key = core::sha256(label), iv(12, 0x42), ct, tag;
    EXPECT_TRUE(core::aes256gcm_encrypt(key, iv, core::to_bytes(plain), ct, tag));
    core::Bytes box = iv;
    box.insert(box.end(), tag.begin(), tag.end());
    box.insert(box.end(), ct.begin(), ct.end());
    return core::to_hex(box);
}

// A txo as the ordinals index's client reads it.
chain::OrdTxo parsed(const core::Json& j) {
    chain::OrdTxo t;
    EXPECT_TRUE(chain::ord_txo_from_json(j, t)) << j.dump();
    return t;
}

// One "data" object as the client reads it.
chain::OrdData data_of(const core::Json& data) { return parsed({{"data", data}}).own; }

struct LabelProfile {
    explicit LabelProfile(const std::string& label) {
        core::Profile p;
        p.app_tag_label = label;
        core::set_profile(p);
    }
    ~LabelProfile() { core::reset_profile(); }
};

}  // namespace

TEST(OrdinalsKinds, SealedTagsOpenOnlyWithTheLabel) {
    std::string art = seal("Artwork"), cert = seal("Certificate");
    EXPECT_EQ(art.size(), 70u);
    EXPECT_EQ(cert.size(), 78u);
    {
        LabelProfile p(LABEL);
        EXPECT_EQ(ordinals::open_kind_tag(art), "Artwork");
        EXPECT_EQ(ordinals::open_kind_tag(cert), "Certificate");
        EXPECT_EQ(ordinals::open_kind_tag(seal("Artwork", "another-label")), "");
        std::string tampered = art;
        tampered[69] = tampered[69] == '0' ? '1' : '0';
        EXPECT_EQ(ordinals::open_kind_tag(tampered), "");
        EXPECT_EQ(ordinals::open_kind_tag("zz"), "");
        EXPECT_EQ(ordinals::open_kind_tag(art.substr(0, 56)), "");  // IV and tag, nothing sealed
    }
    LabelProfile none("");
    EXPECT_EQ(ordinals::open_kind_tag(art), "");
}

TEST(OrdinalsKinds, KindOfAGalleryDataObject) {
    LabelProfile p(LABEL);
    struct Case {
        const char* name;
        std::string app, tag, type, kind;
    };
    std::string art = seal("Artwork"), cert = seal("Certificate");
    std::vector<Case> cases = {
        {"sealed artwork on JSON content", "ZuvAdudurero", art, "application/json", "Artwork"},
        {"sealed certificate on a picture", "ZuvAdudurero", cert, "image/png", "Certificate"},
        {"78 hex that do not open", "ZuvAdudurero", std::string(78, 'a'), "text/plain", "Certificate"},
        {"70 hex that do not open", "ZuvAdudurero", std::string(70, 'b'), "text/plain", "Artwork"},
        {"78 characters that are not hex", "ZuvAdudurero", std::string(78, 'z'), "text/plain", ""},
        {"no tag, picture", "ZuvAdudurero", "", "image/png", "Artwork"},
        {"no tag, JSON", "ZuvAdudurero", "", "application/json", "Certificate"},
        {"no tag, JSON with charset", "ZuvAdudurero", "", "application/json; charset=utf-8", ""},
        {"no tag, plain text", "ZuvAdudurero", "", "text/plain", ""},
        {"other app, picture", "SomeoneElse", "", "image/png", ""},
        {"other app, sealed tag", "SomeoneElse", art, "image/png", ""},
        {"app in other case", "zuvadudurero", "", "image/png", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        core::Json map = {{"app", c.app}, {"name", "N"}};
        if (!c.tag.empty()) map["tag"] = c.tag;
        std::string name;
        EXPECT_EQ(ordinals::data_object_kind(data_of({{"map", map}}), c.type, name), c.kind);
    }
    std::string name;
    EXPECT_EQ(ordinals::data_object_kind(data_of({{"insc", core::Json::object()}}), "image/png", name), "");  // no map at all
}

TEST(OrdinalsKinds, NamesAreTrimmedAndCutTo48Bytes) {
    struct Case {
        std::string in, out;
    };
    std::string sixty(60, 'n');
    std::vector<Case> cases = {
        {sixty, std::string(48, 'n')},
        {sixty + "\n", std::string(48, 'n')},
        {" \t Blue Dot \t\r\n", "Blue Dot"},
        {"\nLeading line feed", "\nLeading line feed"},  // only spaces and tabs go at the front
        {std::string(47, 'a') + "\xC3\xA9", std::string(47, 'a')},  // never half a character
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(ordinals::clean_name(c.in), c.out) << c.in;
}

TEST(OrdinalsRows, OriginAndContentTypeReaders) {
    const std::string t = txid('1');
    struct Case {
        const char* name;
        core::Json txo;
        std::string origin, type;
    };
    core::Json insc_png = {{"insc", {{"file", {{"type", "image/png"}}}}}};
    std::vector<Case> cases = {
        {"origin as text", {{"origin", t + "_0"}, {"data", insc_png}}, t + "_0", "image/png"},
        {"origin as object", {{"origin", {{"outpoint", t + "_2"}}}, {"data", insc_png}}, t + "_2", "image/png"},
        {"type only in the origin's data",
         {{"origin", {{"outpoint", t + "_2"}, {"data", insc_png}}}, {"data", core::Json::object()}}, t + "_2", "image/png"},
        {"own type wins", {{"origin", {{"outpoint", t + "_2"}, {"data", insc_png}}},
                           {"data", {{"insc", {{"file", {{"type", "text/plain"}}}}}}}}, t + "_2", "text/plain"},
        {"null origin", {{"origin", nullptr}, {"data", nullptr}}, "", ""},
        {"numeric origin", {{"origin", 5}}, "", ""},
    };
    chain::OrdTxo none;
    EXPECT_FALSE(chain::ord_txo_from_json(core::Json::array(), none));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(parsed(c.txo).origin, c.origin);
        EXPECT_EQ(ordinals::txo_content_type(parsed(c.txo)), c.type);
    }
}

TEST(OrdinalsRows, RowsFromTxos) {
    const std::string t = txid('2');
    core::Json art = txo(t, 0, ABANDON_ORDINALS0, gallery_data("image/png", std::string(60, 'A')));
    core::Json cert_json = gallery_data("application/json", "Cert");
    cert_json["insc"]["json"] = {{"pic", t + "_0"}, {"sha256", std::string(64, 'f')}};
    core::Json cert = txo(txid('3'), 0, ABANDON_ORDINALS0, cert_json);
    core::Json plain_text = txo(txid('4'), 0, ABANDON_ORDINALS0, gallery_data("text/plain", "Note"));
    core::Json from_outpoint = art;
    from_outpoint.erase("txid");
    from_outpoint["outpoint"] = txid('5') + "_3";
    core::Json kind_in_origin = art;
    kind_in_origin["data"] = {{"insc", {{"file", {{"type", "image/png"}}}}}};  // MAP only on the origin
    core::Json no_data = {{"txid", t}, {"vout", 1}, {"origin", nullptr}, {"data", core::Json::object()}};
    core::Json no_origin = art;
    no_origin.erase("origin");
    core::Json bad_txid = art;
    bad_txid["txid"] = "12ab";
    core::Json numbers = art;
    numbers["satoshis"] = "lots";
    numbers["height"] = 812345;

    struct Case {
        const char* name;
        core::Json txo;
        bool row;
        std::string origin, txid;
        int vout;
        std::string kind, name_out;
        std::int64_t sats, height;
    };
    std::vector<Case> cases = {
        {"artwork, name cut", art, true, t + "_0", t, 0, "Artwork", std::string(48, 'A'), 1, 0},
        {"certificate JSON", cert, true, txid('3') + "_0", txid('3'), 0, "Certificate", "Cert", 1, 0},
        {"plain text has no kind", plain_text, true, txid('4') + "_0", txid('4'), 0, "", "Note", 1, 0},
        {"txid and vout from the outpoint", from_outpoint, true, t + "_0", txid('5'), 3, "Artwork", std::string(48, 'A'), 1, 0},
        {"kind from the origin's data", kind_in_origin, true, t + "_0", t, 0, "Artwork", std::string(48, 'A'), 1, 0},
        {"a plain coin", no_data, false, "", "", 0, "", "", 0, 0},
        {"no origin", no_origin, false, "", "", 0, "", "", 0, 0},
        {"txid that does not check", bad_txid, false, "", "", 0, "", "", 0, 0},
        {"satoshis not numeric, height given", numbers, true, t + "_0", t, 0, "Artwork", std::string(48, 'A'), 1, 812345},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ordinals::OvWendrelOrdRow r;
        ASSERT_EQ(ordinals::row_from_txo(parsed(c.txo), ABANDON_ORDINALS0, "", r), c.row);
        if (!c.row) continue;
        EXPECT_EQ(r.origin, c.origin);
        EXPECT_EQ(r.txid, c.txid);
        EXPECT_EQ(r.vout, c.vout);
        EXPECT_EQ(r.kind, c.kind);
        EXPECT_EQ(r.name, c.name_out);
        EXPECT_EQ(r.satoshis, c.sats);
        EXPECT_EQ(r.height, c.height);
        EXPECT_EQ(r.address, ABANDON_ORDINALS0);
        EXPECT_FALSE(r.credential);
    }
}

TEST(OrdinalsRows, Credentials) {
    const std::string me = "02" + std::string(64, 'a');
    core::Json cred = {{"protocol", "OV-Identity"}, {"type", "id_issue"}, {"kind", "id_age"}, {"subject", me}};
    core::Json for_other = cred;
    for_other["subject"] = "03" + std::string(64, 'b');
    for_other["subject_handle"] = "bob@orvane.test";
    core::Json unknown_kind = cred;
    unknown_kind["kind"] = "id_shoe";
    auto json_data = [](const core::Json& content) {
        return core::Json{{"insc", {{"file", {{"type", "application/json"}}}, {"json", content}}}};
    };
    core::Json text_data = {{"insc", {{"file", {{"type", "application/json"}}}, {"text", core::dump_compact(cred)}}}};
    core::Json gallery_cred = json_data(cred);
    gallery_cred["map"] = {{"app", "ZuvAdudurero"}};
    core::Json id_app = {{"insc", {{"file", {{"type", "text/plain"}}}}}, {"map", {{"app", "OrvaneId"}, {"name", "  Passport \n"}}}};
    core::Json not_cred = json_data({{"protocol", "OV-Identity"}, {"type", "id_revoke"}});
    struct Case {
        const char* name;
        core::Json data;
        bool credential;
        std::string name_out;
    };
    std::vector<Case> cases = {
        {"issued to me", json_data(cred), true, "ID-age"},
        {"issued to another with a handle", json_data(for_other), true, "ID-age (bob)"},
        {"kind without a label", json_data(unknown_kind), true, ""},
        {"as JSON text", text_data, true, "ID-age"},
        {"gallery app but a credential: no kind", gallery_cred, true, "ID-age"},
        {"identity app", id_app, true, "Passport"},
        {"another type", not_cred, false, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ordinals::OvWendrelOrdRow r;
        ASSERT_TRUE(ordinals::row_from_txo(parsed(txo(txid('6'), 0, ABANDON_ORDINALS0, c.data)), ABANDON_ORDINALS0, me, r));
        EXPECT_EQ(r.credential, c.credential);
        EXPECT_EQ(r.name, c.name_out);
        if (c.credential) {
            EXPECT_EQ(r.kind, "");
        }
    }
    EXPECT_EQ(ordinals::credential_label("id_code_sign"), "code-signing-ID");
    EXPECT_EQ(ordinals::credential_label("id_web_sign"), "website-signing-ID");
    EXPECT_EQ(ordinals::credential_label("id_photo"), "ID-gov-photo");
    core::Json parsed;
    std::string big = core::dump_compact(cred);
    big.insert(big.size() - 1, ",\"pad\":\"" + std::string(ordinals::MAX_CREDENTIAL_BYTES, 'p') + "\"");
    EXPECT_FALSE(ordinals::parse_credential_content(big, parsed));
    EXPECT_FALSE(ordinals::parse_credential_content(" " + core::dump_compact(cred), parsed));
    EXPECT_TRUE(ordinals::parse_credential_content(core::dump_compact(cred), parsed));
}

TEST(OrdinalsRows, TokenOutputs) {
    core::Json bsv20 = txo(txid('7'), 1, ABANDON_ORDINALS0, {{"bsv20", {{"tick", "ORDI"}, {"amt", "1000"}, {"dec", 8}}}});
    bsv20["origin"] = nullptr;
    core::Json bsv21 = txo(txid('8'), 0, ABANDON_ORDINALS0,
                           {{"insc", {{"file", {{"type", "application/bsv-20"}}}}},
                            {"bsv21", {{"id", txid('8') + "_0"}, {"sym", "GEM"}, {"amt", 5}, {"icon", txid('9') + "_0"}}}});
    core::Json reply_element = {{"txid", txid('a')}, {"vout", 2}, {"tick", "PEPE"}, {"amt", "12"}, {"listing", true}, {"status", 0}};
    ordinals::OvWendrelOrdRow r;
    ASSERT_TRUE(ordinals::row_from_txo(parsed(bsv20), ABANDON_ORDINALS0, "", r));
    EXPECT_EQ(r.origin, txid('7') + "_1");  // its own outpoint
    EXPECT_EQ(r.content_type, "application/bsv-20");
    EXPECT_EQ(r.token_id, "ORDI");
    EXPECT_EQ(r.amt, "1000");
    EXPECT_EQ(r.dec, "8");
    EXPECT_EQ(r.name, "ORDI");
    ASSERT_TRUE(ordinals::row_from_txo(parsed(bsv21), ABANDON_ORDINALS0, "", r));
    EXPECT_EQ(r.token_id, txid('8') + "_0");
    EXPECT_EQ(r.name, "GEM");
    EXPECT_EQ(r.amt, "5");
    EXPECT_EQ(r.icon, txid('9') + "_0");
    EXPECT_EQ(r.content_type, "application/bsv-20");
    EXPECT_FALSE(ordinals::row_from_txo(parsed(reply_element), ABANDON_ORDINALS0, "", r));  // not from an inscription listing
    ASSERT_TRUE(ordinals::row_from_txo(parsed(reply_element), ABANDON_ORDINALS0, "", r, true));
    EXPECT_EQ(r.token_id, "PEPE");
    EXPECT_TRUE(r.token_listed);
    EXPECT_TRUE(r.token_pending);
}
