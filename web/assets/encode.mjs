// PNG and JPEG bytes from raster images, with pure JavaScript encoders.

import { PNG } from 'pngjs';
import jpeg from 'jpeg-js';
import { toBytes } from './raster.mjs';

export function encodePng(img) {
  const png = new PNG({ width: img.width, height: img.height });
  toBytes(img).copy(png.data);
  return PNG.sync.write(png);
}

export function encodeJpeg(img, quality = 88) {
  return jpeg.encode({ data: toBytes(img), width: img.width, height: img.height }, quality).data;
}
