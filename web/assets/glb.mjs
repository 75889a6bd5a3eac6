// Writes named parts with their materials as one binary glTF file.

import { Document, NodeIO } from '@gltf-transform/core';

/**
 * parts: [{ name, material, mesh }], materials: { Name: { color: [r,g,b], metallic, roughness,
 * emissive?, doubleSided? } }. Parts sharing a material become primitives of one mesh.
 */
export async function writeGlb(file, parts, materials) {
  const doc = new Document();
  const buffer = doc.createBuffer();
  const mats = {};
  for (const [name, m] of Object.entries(materials)) {
    const mat = doc.createMaterial(name)
      .setBaseColorFactor([...m.color, 1])
      .setMetallicFactor(m.metallic ?? 0)
      .setRoughnessFactor(m.roughness ?? 0.8)
      .setDoubleSided(!!m.doubleSided);
    if (m.emissive) mat.setEmissiveFactor(m.emissive);
    mats[name] = mat;
  }
  const scene = doc.createScene('scene');
  const root = doc.createNode('root');
  scene.addChild(root);
  for (const part of parts) {
    const m = part.mesh;
    const prim = doc.createPrimitive()
      .setAttribute('POSITION', doc.createAccessor().setType('VEC3').setArray(new Float32Array(m.positions)).setBuffer(buffer))
      .setAttribute('NORMAL', doc.createAccessor().setType('VEC3').setArray(new Float32Array(m.normals)).setBuffer(buffer))
      .setAttribute('TEXCOORD_0', doc.createAccessor().setType('VEC2').setArray(new Float32Array(m.uvs)).setBuffer(buffer))
      .setIndices(doc.createAccessor().setType('SCALAR').setArray(
        m.positions.length / 3 > 65535 ? new Uint32Array(m.indices) : new Uint16Array(m.indices),
      ).setBuffer(buffer))
      .setMaterial(mats[part.material]);
    const mesh = doc.createMesh(part.name).addPrimitive(prim);
    root.addChild(doc.createNode(part.name).setMesh(mesh));
  }
  const bytes = await new NodeIO().writeBinary(doc);
  return { file, bytes };
}
