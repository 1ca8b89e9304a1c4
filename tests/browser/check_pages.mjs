// Opens pages in headless Chromium and reports, per page, what a reader
// would miss: requests that tried the network, local files that were
// missing, style sheets that did not apply, images that did not load, and
// (from file:// only) links to local files that are not there.
//
//   node check_pages.mjs DIR [--limit N] [--live URL] [--json FILE]
//
// DIR's .html and .htm pages are opened from file:// with every http(s)
// request blocked. With --live, the same pages are opened below URL instead,
// and only requests to other origins are blocked (how the site itself fares).
// Exits 1 when any page has a failure, 2 on bad arguments.
import fs from 'node:fs';
import path from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';
import puppeteer from 'puppeteer-core';

const kinds = ['network', 'missing', 'sheets', 'images', 'links'];

function parseArguments(argv) {
  const options = { limit: Infinity, live: null, json: null, dir: null };
  for (let i = 0; i < argv.length; ++i) {
    const argument = argv[i];
    if (argument === '--limit') options.limit = Number(argv[++i]);
    else if (argument === '--live') options.live = argv[++i].replace(/\/?$/, '/');
    else if (argument === '--json') options.json = argv[++i];
    else if (!options.dir) options.dir = argument;
    else throw new Error(`unknown argument ${argument}`);
  }
  if (!options.dir || !(options.limit > 0)) throw new Error('usage: check_pages.mjs DIR [--limit N] [--live URL] [--json FILE]');
  return options;
}

// Breadth first, so that a limit keeps the pages nearest the top.
function findPages(root, limit) {
  const pages = [];
  let folders = [''];
  while (folders.length && pages.length < limit) {
    const next = [];
    for (const folder of folders) {
      const entries = fs.readdirSync(path.join(root, folder), { withFileTypes: true })
        .sort((a, b) => (a.name < b.name ? -1 : a.name > b.name ? 1 : 0));
      for (const entry of entries) {
        const relative = folder ? `${folder}/${entry.name}` : entry.name;
        if (entry.isDirectory()) next.push(relative);
        else if (/\.html?$/i.test(entry.name) && pages.length < limit) pages.push(relative);
      }
    }
    folders = next;
  }
  return pages;
}

async function checkPage(browser, url, ownOrigin) {
  const page = await browser.newPage();
  const found = Object.fromEntries(kinds.map((kind) => [kind, []]));
  await page.setRequestInterception(true);
  page.on('request', (request) => {
    const target = request.url();
    const web = /^https?:/i.test(target);
    if (web && !(ownOrigin && target.startsWith(ownOrigin))) {
      found.network.push(target);
      request.abort('blockedbyclient').catch(() => {});
    } else {
      request.continue().catch(() => {});
    }
  });
  page.on('requestfailed', (request) => {
    const target = request.url();
    if (!found.network.includes(target) && !target.startsWith('data:')) found.missing.push(target);
  });
  page.on('response', (response) => {
    if (response.status() >= 400) found.missing.push(response.url());
  });
  // A sheet that the browser refused (a file it does not take for CSS) is
  // there but holds no rules; an empty file is no such failure.
  const emptySheets = [];
  page.on('response', async (response) => {
    if (response.request().resourceType() !== 'stylesheet') return;
    const target = response.url();
    const size = target.startsWith('file:')
      ? fs.statSync(fileURLToPath(target), { throwIfNoEntry: false })?.size
      : (await response.buffer().catch(() => null))?.length;
    if (size === 0) emptySheets.push(target);
  });
  try {
    await page.goto(url, { waitUntil: ['load', 'networkidle0'], timeout: 20000 });
  } catch (error) {
    // A page that never goes quiet is still checked as it stands.
  }
  const shown = await page.evaluate((empty) => ({
    sheets: [...document.querySelectorAll('link[rel~="stylesheet" i][href]')]
      .filter((link) => {
        if (link.disabled || empty.includes(link.href)) return false;
        try {
          return link.sheet === null || link.sheet.cssRules.length === 0;
        } catch (error) {
          return true;  // a sheet of another origin: it did not come from the mirror
        }
      })
      .map((link) => link.href),
    images: [...document.images]
      .filter((img) => (img.getAttribute('src') || img.srcset) && !(img.complete && img.naturalWidth > 0))
      .map((img) => img.currentSrc || img.src),
    links: [...document.querySelectorAll('a[href], area[href]')]
      .map((link) => link.href.replace(/[?#].*$/, ''))
      .filter((href) => href.startsWith('file:')),
  }), emptySheets).catch(() => ({ sheets: [], images: [], links: [] }));
  found.sheets = shown.sheets;
  found.images = shown.images;
  found.links = shown.links.filter((href) => !fs.existsSync(fileURLToPath(href)));
  await page.close();
  for (const kind of kinds) found[kind] = [...new Set(found[kind])];
  return found;
}

async function main() {
  const options = parseArguments(process.argv.slice(2));
  const pages = findPages(options.dir, options.limit);
  const browser = await puppeteer.launch({
    executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
    headless: true,
    // File pages share one origin, so their sheets' rules can be read.
    args: ['--no-sandbox', '--allow-file-access-from-files', '--disable-gpu', '--no-first-run', '--disable-background-networking'],
  });
  const results = {};
  const totals = Object.fromEntries(kinds.map((kind) => [kind, 0]));
  try {
    for (const relative of pages) {
      const url = options.live
        ? new URL(relative.split('/').map(encodeURIComponent).join('/'), options.live).href
        : pathToFileURL(path.resolve(options.dir, relative)).href;
      const found = await checkPage(browser, url, options.live && new URL(options.live).origin);
      results[relative] = found;
      for (const kind of kinds) {
        totals[kind] += found[kind].length;
        for (const item of found[kind]) console.log(`${relative}: ${kind}: ${item}`);
      }
    }
  } finally {
    await browser.close();
  }
  if (options.json) fs.writeFileSync(options.json, JSON.stringify(results, null, 1));
  console.log(`pages ${pages.length}, ${kinds.map((kind) => `${kind} ${totals[kind]}`).join(', ')}`);
  process.exitCode = kinds.some((kind) => totals[kind] > 0) ? 1 : 0;
}

main().catch((error) => {
  console.error(error.message);
  process.exitCode = 2;
});
