// Browser tests of the real pages: Debian's chromium (headless) against the web fixture.
// Set ORVEX_WEB_SHOTS to a folder to keep phone-width screenshots of the three pages.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { spawn, spawnSync } from 'node:child_process';
import { createHash, randomBytes } from 'node:crypto';
import { mkdtempSync, readFileSync, rmSync, writeFileSync, mkdirSync, readdirSync, statSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { createInterface } from 'node:readline';
import { fileURLToPath } from 'node:url';

// The test command installs playwright-core with npm; where that was impossible the tests are
// reported as skipped (ctest matches the notice below), never as passed.
let chromium;
try {
    ({ chromium } = await import('playwright-core'));
} catch {
    console.log('SKIPPED: playwright-core is not installed');
}
const browserTest = chromium ? test : test.skip;

const chromiumFlags = [
    '--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
    '--disable-background-networking', '--disable-component-update', '--disable-sync',
];
const phone = { width: 390, height: 844 };
const shots = process.env.ORVEX_WEB_SHOTS;

let fixture;
let info;
// Texts the fixture reports, in order of arrival, and who waits for the next one.
const texts = [];
let textWaiter = null;
let context;
let work;

const sha256 = (data) => createHash('sha256').update(data).digest('hex');

async function screenshot(page, name) {
    if (!shots)
        return;
    mkdirSync(shots, { recursive: true });
    await page.screenshot({ path: join(shots, name), fullPage: true });
}

before(async () => {
    if (!chromium)
        return;
    const binary = process.env.ORVEX_WEB_FIXTURE;
    assert.ok(binary, 'ORVEX_WEB_FIXTURE names the fixture executable');
    fixture = spawn(binary, [], { stdio: ['pipe', 'pipe', 'ignore'] });
    const lines = createInterface({ input: fixture.stdout });
    info = await new Promise((resolve, reject) => {
        fixture.once('exit', (code) => reject(new Error(`fixture exited with ${code}`)));
        lines.once('line', (line) => {
            resolve(JSON.parse(line));
            lines.on('line', (next) => {
                texts.push(JSON.parse(next));
                if (textWaiter)
                    textWaiter();
            });
        });
    });
    work = mkdtempSync(join(tmpdir(), 'orvex-browser-'));
    context = await chromium.launchPersistentContext(join(work, 'profile'), {
        executablePath: '/usr/bin/chromium',
        headless: true,
        args: chromiumFlags,
        viewport: phone,
        deviceScaleFactor: 2,
        isMobile: true,
        hasTouch: true,
        acceptDownloads: true,
        locale: 'zh-CN',
    });
});

after(async () => {
    if (context)
        await context.close();
    if (fixture) {
        const exited = new Promise((resolve) => fixture.once('exit', resolve));
        fixture.stdin.end();
        await exited;
    }
    if (work)
        rmSync(work, { recursive: true, force: true });
});

browserTest('the list page shows names and sizes, and its links download the exact bytes', async () => {
    const page = await context.newPage();
    // The short link carries the key; the page's download links then go with the cookie alone.
    assert.match(info.link, /^http:\/\/127\.0\.0\.1:\d+\/s\/[A-Za-z0-9_-]{22}$/);
    await page.goto(info.link);
    // The key's cookie is out of the scripts' reach.
    assert.equal(await page.evaluate(() => document.cookie), '');
    const names = await page.locator('.files .name').allTextContents();
    const sizes = await page.locator('.files .size').allTextContents();
    assert.deepEqual(names, info.files.map((f) => f.name));
    assert.deepEqual(sizes, info.files.map((f) => f.sizeText));
    await screenshot(page, 'list.png');

    const links = page.locator('.files a.file');
    for (let i = 0; i < info.files.length; ++i) {
        const [download] = await Promise.all([page.waitForEvent('download'), links.nth(i).click()]);
        // The browser itself replaces characters that some file systems forbid.
        assert.equal(download.suggestedFilename(), info.files[i].name.replace(/[<>:"/\\|?*]/g, '_'));
        const saved = join(work, `download-${i}`);
        await download.saveAs(saved);
        assert.equal(sha256(readFileSync(saved)), sha256(readFileSync(info.files[i].path)), info.files[i].name);
    }
    await page.close();
});

browserTest('download all gives one ZIP of every shared file', async () => {
    const page = await context.newPage();
    await page.goto(info.link);
    const all = page.locator('#download-all');
    assert.match(await all.textContent(), new RegExp(`^全部下载${info.files.length} 个文件 · ZIP · `));
    const [download] = await Promise.all([page.waitForEvent('download'), all.click()]);
    assert.equal(download.suggestedFilename(), '共享的文件.zip');
    const saved = join(work, 'all.zip');
    await download.saveAs(saved);
    // Read back with Python's zipfile, which checks each entry's CRC-32 against the bytes.
    const originals = Object.fromEntries(info.files.map((f) => [f.name, f.path]));
    const check = spawnSync('python3', [fileURLToPath(new URL('../checkzip.py', import.meta.url)), '--file', saved, JSON.stringify(originals)],
        { encoding: 'utf8' });
    assert.equal(check.status, 0, check.stderr);
    const entries = JSON.parse(check.stdout).entries;
    assert.deepEqual(entries.map((e) => e.name).sort(), info.files.map((f) => f.name).sort());
    for (const entry of entries)
        assert.ok(entry.same && entry.utf8, entry.name);
    await page.close();
});

browserTest('the upload page stores two files picked at once, with progress shown', async () => {
    const page = await context.newPage();
    // A slow link, so the progress can be seen moving.
    const cdp = await context.newCDPSession(page);
    await cdp.send('Network.enable');
    await cdp.send('Network.emulateNetworkConditions', {
        offline: false, latency: 0, downloadThroughput: -1, uploadThroughput: 4 * 1024 * 1024,
    });
    await page.goto(info.uploadLink);
    const picked = [
        { name: '会议记录 & notes.txt', mimeType: 'text/plain', buffer: Buffer.from('第一行\nsecond line\n') },
        { name: 'camera roll.bin', mimeType: 'application/octet-stream', buffer: randomBytes(6 * 1024 * 1024) },
    ];
    await page.setInputFiles('#picker', picked);
    // Sizes in units of 1000, at most three significant digits; the exact bytes in the title.
    assert.deepEqual(await page.locator('.queue .size').allTextContents(), ['22 B', '6.29 MB']);
    assert.equal(await page.locator('.queue .size').nth(1).getAttribute('title'), '6291456 字节');
    await page.waitForFunction(() => [...document.querySelectorAll('.queue progress')]
        .some((bar) => bar.value > 0 && bar.value < 1000), null, { polling: 50, timeout: 60000 });
    const during = await page.locator('.queue li.running .state').first().textContent();
    assert.match(during, /%/);
    await screenshot(page, 'upload-progress.png');

    await page.locator('.queue li.done').nth(1).waitFor({ timeout: 120000 });
    await page.locator('#summary:not([hidden])').waitFor();
    assert.equal(await page.locator('.queue li.failed').count(), 0);
    const messages = await page.locator('.queue li.done .msg').allTextContents();
    assert.equal(messages.length, 2);
    for (let i = 0; i < picked.length; ++i) {
        assert.ok(messages[i].includes(picked[i].name), messages[i]);
        // The phone learns the file's name in the download folder, not where that folder is.
        assert.ok(!messages[i].includes(info.downloads), messages[i]);
        assert.equal(sha256(readFileSync(join(info.downloads, picked[i].name))), sha256(picked[i].buffer));
    }
    assert.match(await page.locator('#summary').textContent(), /2 个文件上传完成/);
    await cdp.send('Network.emulateNetworkConditions', {
        offline: false, latency: 0, downloadThroughput: -1, uploadThroughput: -1,
    });
    await screenshot(page, 'upload.png');
    await page.close();
});

const chunkSize = 8 * 1024 * 1024;

// Counts the POSTs of the chunked protocol that a page sends from now on.
function chunkedCalls(page) {
    const calls = { count: 0 };
    page.on('requestfinished', (request) => {
        if (request.method() === 'POST' && new URL(request.url()).pathname === '/hugefile')
            calls.count++;
    });
    return calls;
}

async function fileSize(path) {
    try {
        return statSync(path).size;
    } catch {
        return 0;
    }
}

browserTest('old links to the chunked page show the one page, which sends a 50 MB file in chunks', async () => {
    const page = await context.newPage();
    await page.goto(info.uploadLink);
    await page.goto(`http://127.0.0.1:${info.port}/hugefile`);
    const calls = chunkedCalls(page);
    const source = join(work, 'backup 2024.tar');
    const content = randomBytes(50 * 1000 * 1000);
    writeFileSync(source, content);
    const before = readdirSync(info.downloads);
    await page.setInputFiles('#picker', source);
    await page.waitForFunction(() => [...document.querySelectorAll('.queue progress')]
        .some((bar) => bar.value > 0 && bar.value < 1000), null, { polling: 20, timeout: 60000 });
    await page.locator('.queue li.done').waitFor({ timeout: 300000 });
    const message = await page.locator('.queue li.done .msg').textContent();
    assert.ok(message.includes('backup 2024.tar'), message);
    assert.equal(sha256(readFileSync(join(info.downloads, 'backup 2024.tar'))), sha256(content));
    // Only the finished file was added: no chunk or partial file is left in the folder.
    const added = readdirSync(info.downloads).filter((name) => !before.includes(name));
    assert.deepEqual(added, ['backup 2024.tar']);
    // status, begin, a first chunk of 8 MiB, larger ones on a link this fast, finish: fewer
    // calls than the 6 chunks of 8 MiB would take.
    assert.ok(calls.count >= 5 && calls.count < 9, String(calls.count));
    await page.close();
});

browserTest('a large upload cut off by a reload continues from what the computer holds when picked again', async () => {
    const page = await context.newPage();
    page.on('dialog', (dialog) => dialog.accept());
    const cdp = await context.newCDPSession(page);
    await cdp.send('Network.enable');
    // Under twice the first chunk's size a second, every chunk keeps that size.
    await cdp.send('Network.emulateNetworkConditions', {
        offline: false, latency: 0, downloadThroughput: -1, uploadThroughput: 12 * 1024 * 1024,
    });
    await page.goto(info.uploadLink);
    const name = '旅行 video.mp4';
    const source = join(work, name);
    const content = randomBytes(80 * 1000 * 1000);
    writeFileSync(source, content);
    const partial = join(info.downloads, `.${name}.orvex-part`);
    await page.setInputFiles('#picker', source);
    while (await fileSize(partial) < content.length / 2)
        await page.waitForTimeout(50);
    await page.reload();

    // The page remembers the upload, and the computer still holds the chunks it received whole.
    const row = page.locator('#resume li');
    await row.waitFor({ timeout: 60000 });
    assert.ok((await row.textContent()).includes(name));
    const held = await fileSize(partial);
    assert.equal(held % chunkSize, 0);
    assert.ok(held >= 0.35 * content.length && held <= 0.75 * content.length, String(held));

    // With two small files beside it, which go in one request each, all three at once.
    const calls = chunkedCalls(page);
    const small = [
        { name: 'IMG_2041.jpg', buffer: randomBytes(3 * 1000 * 1000) },
        { name: '会议纪要.pdf', buffer: randomBytes(700 * 1000) },
    ];
    for (const file of small)
        writeFileSync(join(work, file.name), file.buffer);
    await page.setInputFiles('#picker', [source, ...small.map((file) => join(work, file.name))]);
    await page.locator('.queue li.done').nth(1).waitFor({ timeout: 60000 });
    await page.locator('.queue li.running progress').first().waitFor();
    while (await page.locator('.queue li.running progress').first().evaluate((bar) => bar.value) < 700)
        await page.waitForTimeout(50);
    assert.match(await page.locator('.queue li', { hasText: name }).locator('.msg').textContent(), /电脑已有/);
    await screenshot(page, 'upload-progress.png');
    await page.locator('.queue li.done').nth(2).waitFor({ timeout: 300000 });
    assert.equal(sha256(readFileSync(join(info.downloads, name))), sha256(content));
    for (const file of small)
        assert.equal(sha256(readFileSync(join(info.downloads, file.name))), sha256(file.buffer));
    assert.equal(await row.count(), 0);
    // Only what was missing went again: status, a chunk of at most 8 MiB per missing one, finish.
    assert.equal(calls.count, 2 + Math.ceil((content.length - held) / chunkSize));
    await cdp.send('Network.emulateNetworkConditions', {
        offline: false, latency: 0, downloadThroughput: -1, uploadThroughput: -1,
    });
    await page.close();
});

browserTest('a chunk whose request fails is sent again after a pause', async () => {
    const page = await context.newPage();
    await page.goto(info.uploadLink);
    await page.waitForLoadState('networkidle');
    // status, begin, chunk 0, chunk 1: the request of chunk 1 breaks once.
    let posts = 0;
    // Chunks carry their fields in the query.
    await page.route((url) => url.pathname === '/hugefile', (route) => {
        if (route.request().method() === 'POST' && ++posts === 4)
            return route.abort('connectionreset');
        return route.continue();
    });
    const source = join(work, 'retried.bin');
    const content = randomBytes(20 * 1000 * 1000);
    writeFileSync(source, content);
    await page.setInputFiles('#picker', source);
    await page.locator('.queue li .msg', { hasText: '重试' }).waitFor({ timeout: 30000 });
    await page.locator('.queue li.done').waitFor({ timeout: 120000 });
    assert.equal(sha256(readFileSync(join(info.downloads, 'retried.bin'))), sha256(content));
    // After the pause it asked where the computer stood, then sent chunks 1 and 2 and finished.
    assert.equal(posts, 8);
    await page.close();
});

browserTest('files dropped on the upload page are stored', async () => {
    const page = await context.newPage();
    await page.goto(info.uploadLink);
    const dataTransfer = await page.evaluateHandle(() => {
        const transfer = new DataTransfer();
        transfer.items.add(new File(['dropped one'], 'dropped 1.txt', { type: 'text/plain' }));
        transfer.items.add(new File(['dropped two'], 'dropped 2.txt', { type: 'text/plain' }));
        return transfer;
    });
    await page.dispatchEvent('#drop', 'dragenter', { dataTransfer });
    assert.equal(await page.locator('#drop.over').count(), 1);
    await page.dispatchEvent('#drop', 'drop', { dataTransfer });
    await page.locator('.queue li.done').nth(1).waitFor({ timeout: 60000 });
    assert.equal(await page.locator('#drop.over').count(), 0);
    assert.equal(readFileSync(join(info.downloads, 'dropped 1.txt'), 'utf8'), 'dropped one');
    assert.equal(readFileSync(join(info.downloads, 'dropped 2.txt'), 'utf8'), 'dropped two');
    await page.close();
});

browserTest('unknown paths show the not-found page', async () => {
    const page = await context.newPage();
    const response = await page.goto(`http://127.0.0.1:${info.port}/`);
    assert.equal(response.status(), 200);
    assert.equal(await page.locator('.lost .code').textContent(), '404');
    await page.close();
});

browserTest('a browser without the link is refused everywhere and stores nothing', async () => {
    const browser = await chromium.launch({ executablePath: '/usr/bin/chromium', headless: true, args: chromiumFlags });
    try {
        const stranger = await browser.newContext({ viewport: phone, locale: 'zh-CN' });
        const page = await stranger.newPage();
        const base = `http://127.0.0.1:${info.port}`;
        const key = info.link.split('/').pop();
        const wrong = key.slice(0, -1) + (key.endsWith('A') ? 'B' : 'A');
        for (const path of ['/file', '/hugefile', '/list', '/s/', `/s/${wrong}`, '/r/', `/download/${encodeURIComponent(info.files[0].name)}`]) {
            const response = await page.goto(base + path);
            assert.equal(response.status(), 403, path);
            assert.match(await page.locator('h2').textContent(), /链接不完整或已失效/, path);
        }
        await screenshot(page, 'denied.png');
        const before = readdirSync(info.downloads);
        const status = await page.evaluate(async () => {
            const form = new FormData();
            form.append('action', 'show');
            form.append('filename', 'intruder.txt');
            form.append('data', new Blob(['not wanted']), 'intruder.txt');
            return (await fetch('/file', { method: 'POST', body: form })).status;
        });
        assert.equal(status, 403);
        assert.deepEqual(readdirSync(info.downloads), before);
        await stranger.close();
    } finally {
        await browser.close();
    }
});

function nextText(count) {
    return new Promise((resolve) => {
        const check = () => {
            if (texts.length >= count)
                resolve(texts[count - 1]);
        };
        textWaiter = check;
        check();
    });
}

browserTest('a text typed on the upload page reaches the computer as typed; an oversized one is refused', async () => {
    const page = await context.newPage();
    await page.goto(info.uploadLink);
    const typed = '会议室 B\nhttps://example.org/a?b=1\t<末尾>';
    await page.fill('#text', typed);
    const before = texts.length;
    await page.click('#send-text');
    const arrived = await nextText(before + 1);
    assert.deepEqual(arrived, { event: 'text', text: typed });
    await page.locator('#text-state.ok').waitFor();
    await screenshot(page, 'upload-text.png');

    // 1 MiB + 1 byte: the page refuses it itself, and nothing more arrives.
    await page.evaluate(() => { document.getElementById('text').value = 'x'.repeat(1024 * 1024 + 1); });
    await page.click('#send-text');
    await page.locator('#text-state.error').waitFor();
    assert.match(await page.locator('#text-state').textContent(), /文字太长/);
    await page.fill('#text', 'after');
    await page.click('#send-text');
    assert.equal((await nextText(before + 2)).text, 'after');
    await page.close();
});

browserTest('the shared text is copied by its button on a page without the clipboard API', async () => {
    await context.grantPermissions(['clipboard-read', 'clipboard-write'], { origin: new URL(info.link).origin });
    const page = await context.newPage();
    // As on the plain-HTTP page of a LAN address, where browsers offer no asynchronous clipboard.
    await page.addInitScript(() => {
        Object.defineProperty(Navigator.prototype, 'clipboard', { get: () => undefined });
    });
    await page.goto(info.link);
    assert.equal(await page.evaluate(() => navigator.clipboard), undefined);
    assert.equal(await page.locator('#open-link').getAttribute('href'), new URL(info.sharedText).href);
    await page.click('#copy-text');
    await page.locator('#copy-state.ok').waitFor();
    await screenshot(page, 'list-text.png');
    // Read back through a page that has the clipboard API.
    const reader = await context.newPage();
    await reader.goto(info.link);
    await reader.bringToFront();
    assert.equal(await reader.evaluate(() => navigator.clipboard.readText()), info.sharedText);
    await reader.close();
    await page.close();
});
