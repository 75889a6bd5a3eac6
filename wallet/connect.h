#pragma once
// Connecting this program to a wallet of the wallet application: the request file,
// bringing the application forward, polling for its reply; the disconnect; and the
// background status refresh that keeps the connected wallet's state and balance fresh.
#include <functional>
#include <string>

namespace wallet {

enum class PollOutcome { Pending, Denied, Ok };

// The wallet application's program file, as started and as named to the person.
#ifdef _WIN32
inline constexpr const char* WALLET_APP_FILE = "Wendrel.exe";
#else
inline constexpr const char* WALLET_APP_FILE = "wendrel";
#endif
// The class of the wallet application's window, by which it is found and raised.
inline constexpr const char* WALLET_APP_CLASS = "OrvaneWendrelShell";

// "success" or an "error: …" text. Blocks up to about a minute (worker threads only).
std::string connect_wallet();
std::string disconnect_wallet();
std::string write_connect_request();
// Pending while the reply is absent, unreadable or not yet whole JSON (the wallet
// application may be writing it); Denied for any other reply than {"ok": true, ...}.
PollOutcome poll_connect_reply(const std::string& request_id);
bool show_wallet_app();
// At most one run at a time; returns false when another run is in progress.
bool refresh_wallet_status();

// Progress reports of the wallet code. This program installs none; the formats are
// fixed for whoever does.
struct WalletObserver {
    std::function<void(const std::string&)> event;  // "[OV-WENDREL]" US kind US values…
    std::function<void(const std::string&)> text;
};
void set_wallet_observer(WalletObserver observer);
void report_event(const std::string& kind, const std::string& a = "", const std::string& b = "",
                  const std::string& c = "");
void report_text(const std::string& line);

// The connect loop's pacing, replaceable in tests: polls and the wait between them.
struct ConnectTiming {
    int polls = 120;
    int poll_interval_ms = 500;
};
void set_connect_timing(ConnectTiming t);

}  // namespace wallet
