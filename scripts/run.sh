#!/usr/bin/env bash
# The main job: builds everything, then sets up a demo wallet with wendrel in a demo
# platform folder (build/demo) and prints its addresses.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

export LOCALAPPDATA="$PWD/build/demo"
mkdir -p "$LOCALAPPDATA"
WENDREL=build/bin/wendrel

if [ -z "$($WENDREL list --json | tr -d '[:space:][]')" ]; then
  id=$($WENDREL create --name "Demo wallet")
  echo "Created demo wallet $id in $LOCALAPPDATA/Orvane"
else
  echo "Demo wallet already in $LOCALAPPDATA/Orvane"
fi
$WENDREL show
