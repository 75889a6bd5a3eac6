#!/usr/bin/env bash
# The main job: builds everything, starts the local chain network (tools/devnet) with
# its state kept under build/demo, sets up a demo wallet with wendrel in a demo platform
# folder, funds it from the devnet faucet and prints its addresses and balance; then
# plays a whole sale between a seller and a buyer wallet, each in its own platform folder
# under build/demo, through quenvale-cli.
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

# ---- A whole sale between two demo wallets, each in its own platform folder ----------
# Every run mints a new artwork and hangs it on the first free frame, so a rerun plays a
# fresh sale on the same chain. Each step prints its result line; a failing step stops
# the script with its error line.
CLI=build/bin/quenvale-cli
PRICE=5000

mine() {
  curl -sf -X POST "$ROOT/devnet/mine" -H 'content-type: application/json' -d '{"blocks":1}' >/dev/null
}
# A field of the JSON document on stdin ("a.b.0"); empty when missing.
json_field() {
  node -e 'let s="";process.stdin.on("data",d=>s+=d).on("end",()=>{let v;try{v=JSON.parse(s)}catch{v=undefined}
    for(const k of process.argv[1].split(".")){if(v==null)break;v=v[k]}
    process.stdout.write(v==null?"":String(v))})' "$1"
}
# PARTY COMMAND...: a program run with the party's own platform folder.
as() {
  local party=$1; shift
  LOCALAPPDATA="$DEMO/$party" "$@"
}
cli() {
  local party=$1; shift
  as "$party" $CLI --instance "$DEMO/$party/gallery" "$@"
}
# PARTY LABEL ARGS...: one gallery step; prints "LABEL: result" and mines its transaction.
step() {
  local party=$1 label=$2 out; shift 2
  if ! out=$(cli "$party" "$@" 2>&1); then
    echo "$label: $out" >&2
    exit 1
  fi
  echo "$label: $out"
  mine
}
fail() { echo "run: error: $*" >&2; exit 1; }

fund() {
  curl -sf -X POST "$ROOT/devnet/fund" -H 'content-type: application/json' \
    -d "{\"address\":\"$1\",\"sats\":$2,\"confirmed\":true}" >/dev/null || fail "the faucet refused $1"
}

# PARTY NAME ALIAS [EXTRA]: a funded wallet with a paymail, connected to the party's
# gallery; EXTRA sats more in a coin of their own, every run.
open_wallet() {
  local party=$1 name=$2 alias=$3 extra=${4:-} id shown address sats
  mkdir -p "$DEMO/$party"
  if [ -z "$(as "$party" $WENDREL list --json | tr -d '[:space:][]')" ]; then
    id=$(as "$party" $WENDREL create --name "$name") || fail "cannot create the $party wallet"
    echo "Created the $party wallet $id in $DEMO/$party/Orvane"
  fi
  shown=$(as "$party" $WENDREL show --json)
  id=$(json_field id <<<"$shown")
  address=$(json_field address <<<"$shown")
  [ -n "$address" ] || fail "the $party wallet shows no address"
  sats=$(as "$party" $WENDREL balance --json | json_field sats)
  if [ "${sats:-0}" -lt 200000 ]; then
    fund "$address" 1000000
    echo "Funded the $party wallet $address with 1 000 000 sats"
  fi
  if [ -n "$extra" ]; then
    fund "$address" "$extra"
    echo "Funded the $party wallet with a separate coin of $extra sats"
  fi
  if [ -z "$(json_field paymail <<<"$shown")" ]; then
    as "$party" $WENDREL paymail "$alias" >/dev/null || fail "cannot claim the paymail $alias"
    echo "Claimed the paymail $alias for the $party"
  fi
  bind_gallery "$party" "$id" cli
  echo "$party: $(cli "$party" status | head -1)"
}

# PARTY ID RUNNER: connects the gallery RUNNER speaks for (cli: the party's own instance;
# program_cli: the instance of the programs in build/bin) to the party's wallet.
bind_gallery() {
  local party=$1 id=$2 runner=$3
  if [ "$($runner "$party" status --json | json_field connected)" != "true" ]; then
    $runner "$party" connect >"$DEMO/$party/connect.log" 2>&1 &
    local waiter=$!
    # With one wallet in the folder the gallery binds to it at once; otherwise the
    # connect waits for wendrel approve.
    for _ in $(seq 1 300); do
      kill -0 $waiter 2>/dev/null || break
      as "$party" $WENDREL approve --wallet "$id" >/dev/null 2>&1 || sleep 0.1
    done
    wait $waiter || { cat "$DEMO/$party/connect.log" >&2; fail "the $party gallery did not connect"; }
  fi
}

echo
echo "== A sale between two demo wallets"
open_wallet seller "Demo seller" demo-seller
# The buyer's offer and the record carrying it may not share a coin: a second coin.
open_wallet buyer "Demo buyer" demo-buyer 50000
mine

# FILE SEED: a small real PNG whose colours come from SEED.
artwork_png() {
  node -e '
const zlib=require("zlib"),fs=require("fs");const n=Number(process.argv[2]);
const crcTable=[...Array(256)].map((_,i)=>{let c=i;for(let k=0;k<8;k++)c=c&1?0xedb88320^(c>>>1):c>>>1;return c>>>0});
const crc=b=>{let c=~0;for(const x of b)c=crcTable[(c^x)&255]^(c>>>8);return (~c)>>>0};
const chunk=(t,d)=>{const l=Buffer.alloc(4);l.writeUInt32BE(d.length);const td=Buffer.concat([Buffer.from(t),d]);
  const c=Buffer.alloc(4);c.writeUInt32BE(crc(td));return Buffer.concat([l,td,c])};
const w=16,h=16,raw=Buffer.alloc((w*3+1)*h);
for(let y=0;y<h;y++)for(let x=0;x<w;x++){const o=y*(w*3+1)+1+x*3;raw[o]=(n*37+x*9)&255;raw[o+1]=(n*11+y*13)&255;raw[o+2]=(n*5+x*y)&255}
const ihdr=Buffer.alloc(13);ihdr.writeUInt32BE(w,0);ihdr.writeUInt32BE(h,4);ihdr[8]=8;ihdr[9]=2;
fs.writeFileSync(process.argv[1],Buffer.concat([Buffer.from([137,80,78,71,13,10,26,10]),chunk("IHDR",ihdr),
  chunk("IDAT",zlib.deflateSync(raw)),chunk("IEND",Buffer.alloc(0))]))' "$1" "$2"
}
# TITLE SEED: the seller mints a new artwork; prints its origin.
mint_artwork() {
  local image="$DEMO/seller/artwork-$2.png" minted pic
  artwork_png "$image" "$2"
  minted=$(as seller $WENDREL mint --image "$image" --title "$1" --artist "Demo seller" --json 2>&1) \
    || { echo "mint: $minted" >&2; exit 1; }
  pic=$(json_field pic <<<"$minted")
  [ -n "$pic" ] || { echo "mint: $minted" >&2; exit 1; }
  echo "mint: success: artwork $pic, certificate $(json_field cert <<<"$minted")" >&2
  mine
  echo "$pic"
}
# The first free frame on the walls, or nothing.
free_frame() {
  cli seller walls --json | node -e 'let s="";process.stdin.on("data",d=>s+=d).on("end",()=>{
  const f=(JSON.parse(s).frames||[]).find(f=>!f.shown&&!f.error);process.stdout.write(f?String(f.spot):"")})'
}

# A new artwork every run (its colour comes from the time).
RUN=$(date +%s)
PIC=$(mint_artwork "Harbour $RUN" "$RUN")

FRAME=$(free_frame)
[ -n "$FRAME" ] || fail "no free frame on the walls"

step seller "place (seller, frame $FRAME, $PRICE sats)" place --frame "$FRAME" --origin "$PIC" --weeks 1 --price "$PRICE"
echo "-- walls before the sale"
cli buyer walls
step buyer "ask (buyer)" ask --frame "$FRAME"
step seller "accept (seller)" accept --frame "$FRAME"
step buyer "pay (buyer)" pay --frame "$FRAME"
step seller "complete (seller)" complete --frame "$FRAME"
echo "-- walls after the sale"
cli buyer walls

echo "-- the buyer's artworks"
arts=$(cli buyer arts) || fail "cannot list the buyer's artworks"
echo "$arts"
grep -q "^$PIC " <<<"$arts" || fail "the buyer does not hold $PIC"
echo "The buyer holds $PIC: sale complete."

# ---- Screenshots of the desktop program, when this machine can show it -----------------
# The seller hangs one more piece, then the program opens the seller's folder under Xvfb,
# driven through WebKitWebDriver (the GUI suite's harness), and leaves its pictures in
# build/demo: the gallery, the new piece on its frame, its frame panel open and, when the
# program has its whole-window hook, the window with its header.
program_cli() {
  local party=$1; shift
  as "$party" $CLI "$@"
}
shots_missing=""
for need in xvfb-run WebKitWebDriver; do
  command -v "$need" >/dev/null 2>&1 || shots_missing="$shots_missing $need"
done
[ -x build/bin/quenvale ] || shots_missing="$shots_missing build/bin/quenvale"
if [ -n "$shots_missing" ]; then
  echo "screenshots: skipped, this machine has no$shots_missing"
  exit 0
fi

echo
echo "== Screenshots of the program"
SHOWN=$(mint_artwork "Lantern $RUN" "$((RUN + 1))")
SHOWN_FRAME=$(free_frame)
[ -n "$SHOWN_FRAME" ] || fail "no free frame on the walls for the screenshots"
step seller "place (seller, frame $SHOWN_FRAME)" place --frame "$SHOWN_FRAME" --origin "$SHOWN" --weeks 1
# The program serves the gallery of its own folder's instance: bind the seller's wallet there.
bind_gallery seller "$(as seller $WENDREL show --json | json_field id)" program_cli
timeout 120 xvfb-run -a -s '-screen 0 1280x800x24' node --input-type=module - "$DEMO" "$SHOWN_FRAME" <<'JS' \
  || fail "the screenshots failed"
import { existsSync, readFileSync, rmSync, writeFileSync } from 'node:fs'
import path from 'node:path'
import { pathToFileURL } from 'node:url'
const { World, Driver, PROGRAM, PNG, waitFor, sleep } = await import(pathToFileURL(path.resolve('tests/gui/support/harness.mjs')))

const [demo, spotText] = process.argv.slice(2)
const spot = Number(spotText)
const world = new World()
world.env.LOCALAPPDATA = path.join(demo, 'seller')
world.env.QUENVALE_PROFILE = path.join(demo, 'profile.json')
const driver = new Driver(world)
const state = () => driver.exec('return window.__room.state()')
async function shot (name) {
  await driver.exec('window.__room.render()')
  writeFileSync(path.join(demo, name), PNG.sync.write(await driver.screenshot()))
  console.log('screenshot: ' + path.join('build/demo', name))
}
try {
  await driver.start()
  await driver.newSession()
  await driver.call('POST', driver.s('/window/rect'), { x: 0, y: 0, width: 1280, height: 800 })
  await driver.url('quenvale://room/index.html?v=40&test')
  await waitFor('the room', async () => (await state()).framesReady, 30000)
  const frame = await waitFor(`the picture on frame ${spot}`, async () => {
    const f = (await state()).frames[spot]
    return f && f.url && f
  }, 60000, 250)
  // The hall from the gate, then two metres in front of the new piece, facing it.
  await driver.exec('window.__room.moveTo(arguments[0])', [{ x: 15.86, z: 16.38, yaw: 0.35, pitch: 0.05, level: 0 }])
  await shot('gallery.png')
  const d = 2
  await driver.exec('window.__room.moveTo(arguments[0])', [{
    x: frame.x + frame.dc * d, z: frame.z + frame.dr * d, yaw: Math.atan2(frame.dc, frame.dr), pitch: 0, level: frame.level
  }])
  await shot('frame.png')
  await driver.keys(['\uE00D'])
  const open = await waitFor('the frame panel', async () => (await state()).panel.visible, 10000).catch(() => false)
  if (open) await shot('frame-panel.png')
  else console.log('screenshot: no frame panel opened; frame-panel.png not taken')
  // The whole window with its header, through the program's test-only request file.
  if (readFileSync(PROGRAM).includes('window-shot.request')) {
    const file = path.join(world.dataFolder, 'window-shot.png')
    rmSync(file, { force: true })
    writeFileSync(path.join(world.dataFolder, 'window-shot.request'), '')
    await waitFor('the whole-window picture', () => existsSync(file), 10000)
    writeFileSync(path.join(demo, 'window.png'), readFileSync(file))
    rmSync(file, { force: true })
    console.log('screenshot: build/demo/window.png')
  }
} finally {
  try { await driver.endSession() } catch {}
  await sleep(200)
  await world.close()
}
JS
