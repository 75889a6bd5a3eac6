// The header's texts from a wallet snapshot and the 800 ms refresh decisions.
#include "shell/header.h"

#include <gtest/gtest.h>

#include <set>

namespace {

wallet::WalletSnapshot snapshot(bool hd, const std::string& address, const std::string& paymail,
                                std::int64_t balance = -1) {
    wallet::WalletSnapshot s;
    s.loaded = true;
    s.hd = hd;
    s.address = address;
    s.paymail = paymail;
    s.identity = "02" + std::string(64, 'a');
    s.balance = balance;
    s.generation = 1;
    return s;
}

TEST(Header, LabelFromTheSnapshot) {
    EXPECT_EQ(shell::header_label(wallet::WalletSnapshot{}), "Not connected");
    EXPECT_EQ(shell::header_label(snapshot(false, "1Legacy", "legacy@orvane.app")), "Not connected");
    EXPECT_EQ(shell::header_label(snapshot(true, "1Addr", "alice@orvane.app")), "alice@orvane.app");
    EXPECT_EQ(shell::header_label(snapshot(true, "1Addr", "")), "1Addr");
    EXPECT_EQ(shell::header_label(snapshot(true, "", "")), "Connected");
}

TEST(Header, BalanceTextIsExact) {
    struct Case {
        std::int64_t sats;
        const char* want;
    };
    const Case cases[] = {
        {123456789, "1.23456789 BSV"},
        {0, "0.00000000 BSV"},
        {1, "0.00000001 BSV"},
        {100000000, "1.00000000 BSV"},
        {99999999, "0.99999999 BSV"},
        {2'100'000'000'000'000, "21000000.00000000 BSV"},
        {2'099'999'999'999'999, "20999999.99999999 BSV"},  // a double would round this up
        {-1, ""},
        {-100000000, ""},
    };
    for (const Case& c : cases) EXPECT_EQ(shell::balance_text(c.sats), c.want) << c.sats;
}

TEST(Header, RefreshRepaintsOnlyOnChangeAndKeepsTheSchedule) {
    shell::HeaderState state;
    const auto off = wallet::WalletSnapshot{};

    // Start-up: the first refresh paints "Not connected" and looks for notes once.
    auto r = shell::refresh_header(state, off);
    EXPECT_TRUE(r.repaint);
    EXPECT_TRUE(r.start_notes_refresh);
    EXPECT_FALSE(r.start_balance_refresh);  // tick 0, but not connected
    EXPECT_EQ(r.button_text, "Connect");
    EXPECT_EQ(state.label, "Not connected");
    EXPECT_EQ(state.balance, "");

    // Connected at tick 1 with a known balance.
    const auto on = snapshot(true, "1Addr", "alice@orvane.app", 123456789);
    r = shell::refresh_header(state, on);
    EXPECT_TRUE(r.repaint);
    EXPECT_TRUE(r.start_notes_refresh);
    EXPECT_FALSE(r.start_balance_refresh);
    EXPECT_EQ(r.button_text, "Disconnect");
    EXPECT_EQ(state.label, "alice@orvane.app");
    EXPECT_EQ(state.balance, "1.23456789 BSV");

    // Unchanged from tick 2 to 121 (the count wraps in between): no repaint; the balance
    // refresh every fourth tick, the notes every fifteenth at 8.
    std::set<int> balance_ticks, notes_ticks;
    for (int tick = 2; tick < 122; ++tick) {
        r = shell::refresh_header(state, on);
        EXPECT_FALSE(r.repaint) << tick;
        if (r.start_balance_refresh) balance_ticks.insert(tick);
        if (r.start_notes_refresh) notes_ticks.insert(tick);
    }
    std::set<int> want_balance, want_notes;
    for (int tick = 2; tick < 122; ++tick) {
        if (tick % 4 == 0) want_balance.insert(tick);
        if (tick % 15 == 8) want_notes.insert(tick);
    }
    EXPECT_EQ(balance_ticks, want_balance);
    EXPECT_EQ(notes_ticks, want_notes);

    // The balance moves (tick 122): repaint and notes; the label stays.
    auto richer = on;
    richer.balance = 223456789;
    r = shell::refresh_header(state, richer);
    EXPECT_TRUE(r.repaint);
    EXPECT_TRUE(r.start_notes_refresh);
    EXPECT_EQ(state.balance, "2.23456789 BSV");

    // An unknown balance empties the line.
    auto unknown = on;
    unknown.balance = -1;
    r = shell::refresh_header(state, unknown);  // tick 123
    EXPECT_TRUE(r.repaint);
    EXPECT_EQ(state.balance, "");

    // Disconnecting (tick 124, a balance tick): label, button and balance change; no
    // balance refresh without a wallet.
    r = shell::refresh_header(state, off);
    EXPECT_TRUE(r.repaint);
    EXPECT_TRUE(r.start_notes_refresh);
    EXPECT_FALSE(r.start_balance_refresh);
    EXPECT_EQ(r.button_text, "Connect");
    EXPECT_EQ(state.label, "Not connected");
    EXPECT_FALSE(state.connected);
}

TEST(Header, ALegacyWalletCountsAsNotConnected) {
    shell::HeaderState state;
    shell::refresh_header(state, wallet::WalletSnapshot{});
    const auto r = shell::refresh_header(state, snapshot(false, "1Legacy", "", 5000));
    EXPECT_FALSE(r.repaint);
    EXPECT_EQ(r.button_text, "Connect");
    EXPECT_EQ(state.balance, "");
}

}  // namespace
