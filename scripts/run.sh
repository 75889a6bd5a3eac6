#!/usr/bin/env bash
# The main job: builds everything, starts the local chain network (tools/devnet) with
# its state kept under build/demo, sets up a demo wallet with wendrel in a demo platform
# folder, funds it from the devnet faucet and prints its addresses and balance.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

DEMO="$PWD/build/demo"
mkdir -p "$DEMO"
export LOCALAPPDATA="$DEMO"
export QUENVALE_PROFILE="$DEMO/profile.json"
WENDREL=build/bin/wendrel

node tools/devnet/server.mjs --port 0 --profile-out "$QUENVALE_PROFILE" --state "$DEMO/devnet-state.json" \
  > "$DEMO/devnet.log" 2>&1 &
DEVNET_PID=$!
trap 'kill $DEVNET_PID 2>/dev/null || true; wait $DEVNET_PID 2>/dev/null || true' EXIT
ROOT=""
for _ in $(seq 1 300); do
  ROOT=$(sed -n 's/^devnet listening on //p' "$DEMO/devnet.log" | head -1)
  [ -n "$ROOT" ] && break
  kill -0 $DEVNET_PID 2>/dev/null || { cat "$DEMO/devnet.log" >&2; exit 1; }
  sleep 0.1
done
[ -n "$ROOT" ] || { echo "run: the devnet did not start" >&2; exit 1; }
echo "Local chain network at $ROOT"

if [ -z "$($WENDREL list --json | tr -d '[:space:][]')" ]; then
  id=$($WENDREL create --name "Demo wallet")
  echo "Created demo wallet $id in $LOCALAPPDATA/Orvane"
fi
$WENDREL show

address=$($WENDREL show --json | sed -n 's/.*"address": "\([^"]*\)".*/\1/p' | head -1)
sats=$($WENDREL balance --json | sed -n 's/.*"sats": \(-\{0,1\}[0-9]*\).*/\1/p')
if [ "${sats:-0}" -lt 100000 ]; then
  curl -sf -X POST "$ROOT/devnet/fund" -H 'content-type: application/json' \
    -d "{\"address\":\"$address\",\"sats\":1000000,\"confirmed\":true}" >/dev/null
  echo "Funded $address with 1 000 000 sats from the devnet faucet"
fi
$WENDREL balance
