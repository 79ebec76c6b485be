// Completes the page's Content-Security-Policy after the link: the hashes of
// its one inline script and its one style sheet take the place of
// @SCRIPT_HASH@ and @STYLE_HASH@, so only these run and apply.
// Usage: node csp.mjs PAGE_HTML
import crypto from 'node:crypto';
import fs from 'node:fs';

const page = process.argv[2];
let html = fs.readFileSync(page, 'utf8');
const hash = (tag) => {
  const start = html.indexOf(`<${tag}>`) + tag.length + 2;
  const end = html.indexOf(`</${tag}>`, start);
  if (start < tag.length + 2 || end < 0)
    throw new Error(`${page}: no <${tag}> element`);
  return crypto.createHash('sha256').update(html.slice(start, end), 'utf8').digest('base64');
};
const script = hash('script');
const style = hash('style');
if (!html.includes('@SCRIPT_HASH@') || !html.includes('@STYLE_HASH@'))
  throw new Error(`${page}: the policy has no place for the hashes`);
html = html.replace('@SCRIPT_HASH@', script).replace('@STYLE_HASH@', style);
fs.writeFileSync(page, html);
