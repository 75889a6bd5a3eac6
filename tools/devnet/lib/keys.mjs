// Devnet key material. Every fixed address of the network profile and the
// faucet key come from one published mnemonic, so tests can spend from them.
import { Mnemonic, HD } from './sdk.mjs'

// Words of the BIP39 mnemonic for the entropy SHA-256("quenvale devnet")[0..16].
export const DEVNET_MNEMONIC =
  'carbon crop okay bundle tower genius carpet they stem moment various member'

export const DEVNET_BASE_PATH = "m/44'/236'/900'/0"

// Role -> index under DEVNET_BASE_PATH. The order is part of the documented profile.
export const ROLE_INDEX = Object.freeze({
  faucet: 0,
  as1: 1, as2: 2, as3: 3, as4: 4, as5: 5, as6: 6, as7: 7, as8: 8, as9: 9, as10: 10,
  admission: 11,
  placement_fee: 12,
  sale_fee: 13,
  ocp: 14,
  oao: 15,
  credential_issuer: 16,
  house1_a: 17, house1_b: 18, house1_c: 19,
  house2_a: 20, house2_b: 21, house2_c: 22,
  house3_a: 23, house3_b: 24, house3_c: 25
})

export const HOUSE_ROWS = Object.freeze([
  { id: 'devnet-house-1', name: 'Devnet House One', category: 'oracle', roles: ['house1_a', 'house1_b', 'house1_c'] },
  { id: 'devnet-house-2', name: 'Devnet House Two', category: 'market', roles: ['house2_a', 'house2_b', 'house2_c'] },
  { id: 'devnet-house-3', name: 'Devnet House Three', category: 'archive', roles: ['house3_a', 'house3_b', 'house3_c'] }
])

export function rolePath (role) {
  const i = ROLE_INDEX[role]
  if (i === undefined) throw new Error(`unknown devnet role ${role}`)
  return `${DEVNET_BASE_PATH}/${i}`
}

let cached = null

// Derivation is slow-ish (PBKDF2 + 26 child keys); do it once per process.
export function devnetKeys () {
  if (cached) return cached
  const mnemonic = Mnemonic.fromString(DEVNET_MNEMONIC)
  const root = HD.fromSeed(mnemonic.toSeed(''))
  const keys = {}
  for (const role of Object.keys(ROLE_INDEX)) {
    const priv = root.derive(rolePath(role)).privKey
    keys[role] = { role, path: rolePath(role), privKey: priv, address: priv.toAddress() }
  }
  cached = Object.freeze(keys)
  return cached
}
