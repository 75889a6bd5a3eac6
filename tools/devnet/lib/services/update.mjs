// The program's own page on the maker's site (update_site + "/quenvale/"): the update
// check reads the last "Version" number on it. The admin path POST /devnet/update sets
// the version it announces.
import { HttpError, send } from '../http.mjs'

export const PREFIX = '/quenvale'
export const NAME = 'update'
export const DEFAULT_VERSION = '0.001'
export const VERSION_PATTERN = /^[0-9]{1,6}(\.[0-9]{1,4})?$/

export function errorReply (res, err) {
  send(res, err.status, err.message, 'text/plain; charset=utf-8')
}

export function page (version) {
  return '<!doctype html>\n<html><head><meta charset="utf-8"><title>Quenvale</title></head>\n' +
    '<body><h1>Quenvale</h1>\n<p>The walkable gallery on the devnet.</p>\n' +
    `<p>Version ${version}</p>\n</body></html>\n`
}

export async function handle (ctx) {
  const { method, path, res, devnet } = ctx
  if (path !== '/' && path !== '') throw new HttpError(404, 'Not Found')
  if (method !== 'GET' && method !== 'HEAD') throw new HttpError(405, 'use GET')
  return send(res, 200, page(devnet.updateVersion), 'text/html; charset=utf-8')
}
