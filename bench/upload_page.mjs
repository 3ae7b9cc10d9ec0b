// The upload page in Debian's headless chromium, on loopback, against the application's web
// server (bench_web_server):
//   - a 1 GiB file picked on the page, from the pick to "saved" (it goes through the chunked
//     protocol, as any file over the page's threshold), against a plain dd of the same bytes
//     into the same folder;
//   - with --threshold, files of 1 to 32 MiB sent in one request and in chunks, on loopback and
//     on a link like a phone's Wi-Fi (chromium's emulation: 10 ms latency, 25 MB/s up), to show
//     where the page's threshold (data-chunked-above) stands.
// Prints MB/s (10^6 bytes per second) or milliseconds, best of ORVEX_BENCH_RUNS runs (3).
//
// Usage: node bench/upload_page.mjs [build-dir] [--threshold]   (a Release build is best;
// ORVEX_BENCH_MIB=0 leaves the large file out)
// Needs chromium and playwright-core (npm install in tests/web/browser, as the test command does).
import { execFileSync, spawn } from 'node:child_process';
import { createHash } from 'node:crypto';
import { closeSync, mkdirSync, mkdtempSync, openSync, readFileSync, readdirSync, rmSync, writeSync } from 'node:fs';
import { createRequire } from 'node:module';
import { dirname, join, resolve } from 'node:path';
import { createInterface } from 'node:readline';
import { fileURLToPath } from 'node:url';

const root = resolve(dirname(fileURLToPath(import.meta.url)), '..');
const { chromium } = createRequire(join(root, 'tests/web/browser/package.json'))('playwright-core');

const args = process.argv.slice(2);
const build = resolve(args.find((arg) => !arg.startsWith('--')) || 'build');
const thresholds = args.includes('--threshold');
const mib = Number(process.env.ORVEX_BENCH_MIB || 1024);
const runs = Number(process.env.ORVEX_BENCH_RUNS || 3);
const work = mkdtempSync(join(process.env.ORVEX_BENCH_DIR || '/var/tmp', 'orvex-upload-bench.'));
const incoming = join(work, 'in');
mkdirSync(incoming);

function randomFile(path, bytes) {
    const fd = openSync(path, 'w');
    const block = Buffer.alloc(1 << 20);
    for (let left = bytes; left > 0; left -= block.length) {
        for (let i = 0; i < block.length; i += 4)
            block.writeUInt32LE((Math.random() * 0x100000000) >>> 0, i);
        writeSync(fd, block, 0, Math.min(left, block.length));
    }
    closeSync(fd);
}

const sha256 = (path) => createHash('sha256').update(readFileSync(path)).digest('hex');
const best = (values) => Math.min(...values);
const clearIncoming = () => {
    for (const name of readdirSync(incoming))
        rmSync(join(incoming, name));
    execFileSync('sync');
};

const server = spawn(join(build, 'bench_web_server'), [], {
    env: { ...process.env, ORVEX_BENCH_DOWNLOADS: incoming },
    stdio: ['pipe', 'pipe', 'ignore'],
});
const said = {};
for await (const line of createInterface({ input: server.stdout })) {
    const [key, value] = line.split(' ');
    said[key] = value;
    if (key === 'port')
        break;
}
const link = `http://127.0.0.1:${said.port}/r/${said['receive-key']}`;

const browser = await chromium.launch({
    executablePath: '/usr/bin/chromium',
    headless: true,
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--no-first-run', '--disable-background-networking'],
});

// Seconds from picking files on a fresh page until all are saved. chunkedAbove replaces the
// page's threshold; link conditions are chromium's network emulation.
async function upload(files, { chunkedAbove, conditions } = {}) {
    clearIncoming();
    const context = await browser.newContext();
    const page = await context.newPage();
    const chunkSize = process.env.ORVEX_BENCH_CHUNK;
    if (chunkedAbove !== undefined || chunkSize) {
        await page.route('**/r/*', async (route) => {
            const response = await route.fetch();
            let body = await response.text();
            if (chunkedAbove !== undefined)
                body = body.replace(/data-chunked-above="\d+"/, `data-chunked-above="${chunkedAbove}"`);
            if (chunkSize)
                body = body.replace(/data-chunk-size="\d+"/, `data-chunk-size="${chunkSize}"`);
            await route.fulfill({ response, body });
        });
    }
    if (conditions) {
        const cdp = await context.newCDPSession(page);
        await cdp.send('Network.enable');
        await cdp.send('Network.emulateNetworkConditions', { offline: false, downloadThroughput: -1, ...conditions });
    }
    await page.goto(link);
    // Interception would pass every request body through the driver: none while uploading.
    await page.unrouteAll();
    const start = performance.now();
    await page.setInputFiles('#picker', files);
    await page.locator('.queue li.done, .queue li.failed').nth(files.length - 1).waitFor({ timeout: 600000 });
    const seconds = (performance.now() - start) / 1000;
    if (await page.locator('.queue li.failed').count())
        throw new Error(`upload failed: ${await page.locator('.queue li.failed .msg').first().textContent()}`);
    await context.close();
    return seconds;
}

function dd(source) {
    clearIncoming();
    const start = performance.now();
    execFileSync('dd', [`if=${source}`, `of=${join(incoming, 'dd.bin')}`, 'bs=1M', 'status=none']);
    return (performance.now() - start) / 1000;
}

try {
    if (mib > 0) {
        const big = join(work, 'big.bin');
        const bytes = mib * 1024 * 1024;
        console.log(`Preparing a file of ${mib} MiB in ${work} ...`);
        randomFile(big, bytes);
        console.log(`Uploading on the page and with dd (${runs} runs each, best kept) ...`);
        const times = [];
        for (let i = 0; i < runs; ++i)
            times.push(await upload([big], { chunkedAbove: process.env.ORVEX_BENCH_SINGLE ? 1e15 : undefined }));
        if (sha256(join(incoming, 'big.bin')) !== sha256(big))
            throw new Error('the uploaded bytes differ');
        const pageTime = best(times);
        const ddTime = best(Array.from({ length: runs }, () => dd(big)));
        const rate = (seconds) => (bytes / seconds / 1e6).toFixed(0);
        console.log(`upload page in chromium, ${mib} MiB`.padEnd(44), `${rate(pageTime)} MB/s`.padStart(12));
        console.log('plain dd of the same bytes, same folder'.padEnd(44), `${rate(ddTime)} MB/s`.padStart(12));
        console.log('  ratio page / dd'.padEnd(44), (ddTime / pageTime).toFixed(2).padStart(12));
    }

    if (thresholds) {
        const wifi = { latency: 10, uploadThroughput: 25e6 };
        console.log('\none file, ms (best of runs):  size   one request   chunks   one request (Wi-Fi)   chunks (Wi-Fi)');
        for (const size of [1, 2, 4, 8, 16, 32]) {
            const path = join(work, `f${size}.bin`);
            randomFile(path, size * 1024 * 1024);
            const row = [];
            for (const conditions of [undefined, wifi]) {
                for (const chunkedAbove of [1e15, 0]) {
                    const measured = [];
                    for (let i = 0; i < runs; ++i)
                        measured.push(await upload([path], { chunkedAbove, conditions }));
                    row.push((best(measured) * 1000).toFixed(0));
                }
            }
            console.log(`${String(size).padStart(34)} MiB ${row.map((v, i) => v.padStart([11, 9, 20, 17][i])).join(' ')}`);
        }
    }
} finally {
    await browser.close();
    server.stdin.end();
    rmSync(work, { recursive: true, force: true });
}
