// The notes list from ten replayed frames, with the offer look-up standing in for the
// chain.
#include "shell/notes.h"

#include <gtest/gtest.h>

#include <map>

namespace {

const std::string ME = "02" + std::string(64, 'a');
const std::string OTHER = "03" + std::string(64, 'b');
const std::string THIRD = "02" + std::string(64, 'c');

std::string upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

ledger::SpotLoad shown_by(const std::string& owner, std::int64_t price) {
    ledger::SpotLoad s;
    s.shown = true;
    s.owner = owner;
    s.price = price;
    return s;
}
ledger::AskEntry ask_by(const std::string& buyer) {
    ledger::AskEntry a;
    a.buyer = buyer;
    return a;
}
ledger::AcceptEntry accept_for(const std::string& buyer) {
    ledger::AcceptEntry a;
    a.buyer = buyer;
    return a;
}
ledger::FundedEntry funded(const std::string& offer) {
    ledger::FundedEntry f;
    f.offer = offer;
    return f;
}

// Offer texts name their status: "live1", "dead2", "dead3", "unread0".
struct Offers {
    std::map<std::string, int> asked;
    shell::OfferStatusFn fn() {
        return [this](const std::string& offer) {
            ++asked[offer];
            return offer.back() - '0';
        };
    }
    int total() const {
        int n = 0;
        for (const auto& [offer, count] : asked) n += count;
        return n;
    }
};

std::vector<std::pair<int, std::string>> pairs(const std::vector<bridge::NoteItem>& notes) {
    std::vector<std::pair<int, std::string>> out;
    for (const auto& n : notes) out.emplace_back(n.spot, n.text);
    return out;
}

TEST(Notes, EachCaseOfOneFrame) {
    struct Case {
        const char* name;
        ledger::SpotLoad spot;
        const char* want;  // "" for no note
    };
    auto with = [](ledger::SpotLoad s, auto change) {
        change(s);
        return s;
    };
    const Case cases[] = {
        {"mine, a live funded offer and open asks", with(shown_by(ME, 5000), [](auto& s) {
             s.asks = {ask_by(OTHER)};
             s.accepts = {accept_for(OTHER)};
             s.funded = {funded("dead3"), funded("live1")};
         }),
         "AP4. Complete the sale."},
        {"mine, an offer that cannot be read still counts as live", with(shown_by(ME, 5000), [](auto& s) {
             s.funded = {funded("unread0")};
         }),
         "AP4. Complete the sale."},
        {"mine, every offer dead, an ask and no accept", with(shown_by(ME, 5000), [](auto& s) {
             s.asks = {ask_by(OTHER)};
             s.funded = {funded("dead2"), funded("dead3")};
         }),
         "AP4. Accept the ask."},
        {"mine, an ask already accepted", with(shown_by(ME, 5000), [](auto& s) {
             s.asks = {ask_by(OTHER)};
             s.accepts = {accept_for(OTHER)};
         }),
         ""},
        {"mine, an ask on a piece for view only", with(shown_by(ME, -1), [](auto& s) { s.asks = {ask_by(OTHER)}; }),
         ""},
        {"mine, an ask at price 0", with(shown_by(ME, 0), [](auto& s) { s.asks = {ask_by(OTHER)}; }), ""},
        {"mine, no asks", shown_by(ME, 5000), ""},
        {"mine in capitals", with(shown_by(upper(ME), 5000), [](auto& s) { s.asks = {ask_by(OTHER)}; }),
         "AP4. Accept the ask."},
        {"theirs, my ask accepted", with(shown_by(OTHER, 5000), [](auto& s) {
             s.asks = {ask_by(ME)};
             s.accepts = {accept_for(THIRD), accept_for(upper(ME))};
         }),
         "AP4. Pay for this piece."},
        {"theirs, accepted and my payment already live", with(shown_by(OTHER, 5000), [](auto& s) {
             s.accepts = {accept_for(ME)};
             s.funded = {funded("live1")};
         }),
         ""},
        {"theirs, accepted and my earlier payment spent elsewhere", with(shown_by(OTHER, 5000), [](auto& s) {
             s.accepts = {accept_for(ME)};
             s.funded = {funded("dead2")};
         }),
         "AP4. Pay for this piece."},
        {"theirs, someone else accepted", with(shown_by(OTHER, 5000), [](auto& s) {
             s.accepts = {accept_for(THIRD)};
         }),
         ""},
        {"theirs, view only", with(shown_by(OTHER, -1), [](auto& s) { s.accepts = {accept_for(ME)}; }), ""},
        {"sold", with(shown_by(ME, 5000), [](auto& s) {
             s.sold = true;
             s.funded = {funded("live1")};
         }),
         ""},
        {"not shown", with(shown_by(ME, 5000), [](auto& s) {
             s.shown = false;
             s.funded = {funded("live1")};
         }),
         ""},
        {"history not read", with(shown_by(ME, 5000), [](auto& s) {
             s.error = "error: could not read the frame history.";
             s.funded = {funded("live1")};
         }),
         ""},
    };
    for (const Case& c : cases) {
        shell::Walls walls;
        walls[3] = c.spot;
        Offers offers;
        const auto notes = shell::build_notes(walls, ME, offers.fn());
        if (std::string(c.want).empty()) {
            EXPECT_TRUE(notes.empty()) << c.name;
        } else {
            EXPECT_EQ(pairs(notes), (std::vector<std::pair<int, std::string>>{{4, c.want}})) << c.name;
        }
    }
}

TEST(Notes, OneNotePerFrameInFrameOrder) {
    shell::Walls walls;
    walls[8] = shown_by(OTHER, 900);
    walls[8].accepts = {accept_for(ME)};
    walls[1] = shown_by(ME, 100);
    walls[1].asks = {ask_by(OTHER), ask_by(THIRD)};
    walls[4] = shown_by(ME, 100);
    walls[4].asks = {ask_by(OTHER)};
    walls[4].funded = {funded("live1"), funded("live1")};
    Offers offers;
    EXPECT_EQ(pairs(shell::build_notes(walls, upper(ME), offers.fn())),
              (std::vector<std::pair<int, std::string>>{
                  {2, "AP2. Accept the ask."}, {5, "AP5. Complete the sale."}, {9, "AP9. Pay for this piece."}}));

    for (auto& s : walls) {
        s = shown_by(ME, 100);
        s.asks = {ask_by(OTHER)};
    }
    const auto ten = shell::build_notes(walls, ME, offers.fn());
    ASSERT_EQ(ten.size(), 10u);
    EXPECT_EQ(ten.back().text, "AP10. Accept the ask.");
}

TEST(Notes, NoKeyNoNotesAndOffersAskedOnlyWhenTheyMatter) {
    shell::Walls walls;
    walls[0] = shown_by(ME, 100);
    walls[0].asks = {ask_by(OTHER)};
    walls[0].funded = {funded("live1")};
    Offers offers;
    EXPECT_TRUE(shell::build_notes(walls, "", offers.fn()).empty());
    EXPECT_EQ(offers.total(), 0);

    // Someone else's frame with offers but no accept of mine: nothing to ask the chain.
    walls[0].owner = OTHER;
    walls[0].accepts = {accept_for(THIRD)};
    EXPECT_TRUE(shell::build_notes(walls, ME, offers.fn()).empty());
    EXPECT_EQ(offers.total(), 0);

    // The owner's first live offer settles it.
    walls[0].owner = ME;
    walls[0].funded = {funded("dead3"), funded("live1"), funded("dead2")};
    EXPECT_EQ(shell::build_notes(walls, ME, offers.fn()).size(), 1u);
    EXPECT_EQ(offers.asked["dead2"], 1);  // newest first
    EXPECT_EQ(offers.asked["live1"], 1);
    EXPECT_EQ(offers.asked.count("dead3"), 0u);
}

TEST(Notes, AFrameFullOfOffersIsCheckedOnlyToTheBound) {
    shell::Walls walls;
    walls[6] = shown_by(ME, 100);
    walls[6].asks = {ask_by(OTHER)};
    walls[6].funded.push_back(funded("live1"));  // the oldest, past the bound
    for (int i = 0; i < 500; ++i) walls[6].funded.push_back(funded("dead2"));
    Offers offers;
    const auto notes = shell::build_notes(walls, ME, offers.fn());
    EXPECT_EQ(offers.total(), static_cast<int>(shell::MAX_OFFERS_CHECKED));
    EXPECT_EQ(pairs(notes), (std::vector<std::pair<int, std::string>>{{7, "AP7. Accept the ask."}}));
}

}  // namespace
