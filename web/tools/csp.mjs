// The page's Content-Security-Policy allows its inline import map and style sheet by hash.
// These helpers compute the hashes and check or rewrite the policy.

import { createHash } from 'node:crypto';

const INLINE = {
  script: /<script type="importmap">([\s\S]*?)<\/script>/,
  style: /<style>([\s\S]*?)<\/style>/,
};

function hashOf(text) {
  return "'sha256-" + createHash('sha256').update(text, 'utf8').digest('base64') + "'";
}

export function inlineHashes(html) {
  const out = {};
  for (const [kind, re] of Object.entries(INLINE)) {
    const m = html.match(re);
    if (!m) throw new Error('index.html has no inline ' + kind);
    out[kind] = hashOf(m[1]);
  }
  return out;
}

export function policyOf(html) {
  const m = html.match(/http-equiv="Content-Security-Policy" content="([^"]*)"/);
  if (!m) throw new Error('index.html has no Content-Security-Policy');
  return m[1];
}

function directive(policy, name) {
  const d = policy.split(';').map((s) => s.trim()).find((s) => s.startsWith(name + ' '));
  return d ? d.split(/\s+/).slice(1) : [];
}

/** Problems with the policy, empty when the inline parts are allowed and nothing else is. */
export function checkPolicy(html) {
  const hashes = inlineHashes(html);
  const policy = policyOf(html);
  const problems = [];
  if (!directive(policy, 'script-src').includes(hashes.script)) problems.push('script-src lacks the import map hash ' + hashes.script);
  if (!directive(policy, 'style-src').includes(hashes.style)) problems.push('style-src lacks the style hash ' + hashes.style);
  if (/unsafe-inline|unsafe-eval/.test(policy)) problems.push('policy allows unsafe sources');
  return problems;
}

/** Rewrites the hashes in the policy to match the inline parts. */
export function withCurrentHashes(html) {
  const hashes = inlineHashes(html);
  const policy = policyOf(html)
    .replace(/(script-src 'self' )'sha256-[^']*'/, '$1' + hashes.script)
    .replace(/(style-src )'sha256-[^']*'/, '$1' + hashes.style);
  return html.replace(/(http-equiv="Content-Security-Policy" content=")[^"]*"/, '$1' + policy + '"');
}
