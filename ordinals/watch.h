#pragma once
// The addresses the ordinals list asks the index about.
#include <string>
#include <vector>

namespace ordinals {

struct WatchAddress {
    std::string address;
    bool ordinals = false;  // an ordinals-path address (token listing waits longer for these)
};

// Identity address, current receive address and, for an HD wallet, the ordinals
// addresses m/44'/236'/5'/0/i for i = 0.."recv"[5] and m/44'/236'/5'/1/j for j = 0..4;
// each once. Takes the wallet-state lock; empty when no wallet loads.
std::vector<WatchAddress> ordinals_watch_addresses();

// Most ordinals-chain addresses derived per build: a counter written by another
// program cannot make a build derive and query without end.
inline constexpr unsigned MAX_ORDINALS_INDEX = 499;

}  // namespace ordinals
