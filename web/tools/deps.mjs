// Packages that the tests outside web/ use, resolved here from web/node_modules.

export { chromium } from 'playwright-core';
export { NodeIO } from '@gltf-transform/core';
export { PNG } from 'pngjs';
export { default as jpeg } from 'jpeg-js';
