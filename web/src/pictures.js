// Loading frame pictures from the web folder.

import * as THREE from 'three';

/** The address with a query member v = now, so a replaced file is not served from cache. */
export function freshUrl(url, nowMs) {
  const hash = url.indexOf('#');
  const base = hash < 0 ? url : url.slice(0, hash);
  const tail = hash < 0 ? '' : url.slice(hash);
  return base + (base.includes('?') ? '&' : '?') + 'v=' + nowMs + tail;
}

export function createPictureLoader() {
  const loader = new THREE.TextureLoader();
  return (url) => new Promise((resolve, reject) => {
    loader.load(url, (tex) => {
      // One mip level per sample, like the room's own textures: texture reads are most of
      // a software renderer's cost.
      tex.minFilter = THREE.LinearMipmapNearestFilter;
      resolve(tex);
    }, undefined, reject);
  });
}
