// One import point for @bsv/sdk. Test code outside tools/devnet resolves the
// package through this file, so every consumer uses the same pinned copy.
export * from '@bsv/sdk'
