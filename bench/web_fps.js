// Frames per second in headless Chromium (SwiftShader): the web viewer on the 2.1 M-triangle
// map while E is held (as the desktop benchmark flies), with the triangles it draws a frame;
// the page that draws that map's triangles from one buffer in one draw call; the demo.
// Usage: node web_fps.js BASE_URL SECONDS; prints one JSON line.
const puppeteer = require('puppeteer-core');

const [base, seconds] = [process.argv[2], +process.argv[3]];

// Counts the frames `counter` names over `seconds`, after the page has drawn two.
async function rate(page, counter) {
  const read = () => page.evaluate((c) => eval(c), counter);
  await page.waitForFunction((c) => eval(c) >= 2, {timeout: 120000}, counter);
  const f0 = await read(), t0 = Date.now();
  await new Promise((r) => setTimeout(r, seconds * 1000));
  return (await read() - f0) / ((Date.now() - t0) / 1000);
}

(async () => {
  const browser = await puppeteer.launch({
    executablePath: '/usr/bin/chromium', headless: true,
    args: ['--no-sandbox', '--use-angle=swiftshader', '--enable-unsafe-swiftshader',
           '--ignore-gpu-blocklist', '--disable-background-timer-throttling'],
  });
  const out = {};
  try {
    let page = await browser.newPage();
    await page.evaluateOnNewDocument(() => {
      const p = WebGLRenderingContext.prototype, draw = p.drawArrays;
      window.drawnVertices = 0;
      p.drawArrays = function (m, first, count) {
        window.drawnVertices += count;
        return draw.call(this, m, first, count);
      };
    });
    await page.goto(base + '?map=frame.map');
    await page.waitForFunction('window.kelvane.state === "running"', {timeout: 120000});
    await page.keyboard.down('e');
    const v0 = await page.evaluate(() => [window.drawnVertices, window.kelvane.frames]);
    out.viewer = await rate(page, 'window.kelvane.frames');
    const v1 = await page.evaluate(() => [window.drawnVertices, window.kelvane.frames]);
    out.viewerTriangles = Math.round((v1[0] - v0[0]) / 3 / (v1[1] - v0[1]));
    await page.keyboard.up('e');
    await page.close();

    page = await browser.newPage();
    await page.goto(base + 'web_limit.html?glb=frame.glb');
    out.limit = await rate(page, 'window.limit.frames');
    out.limitTriangles = await page.evaluate(() => window.limit.triangles);
    await page.close();

    page = await browser.newPage();
    await page.goto(base);
    await page.waitForFunction('window.kelvane.state === "running"', {timeout: 120000});
    await page.keyboard.down('e'); // the viewer draws nothing while nothing moves
    out.demo = await rate(page, 'window.kelvane.frames');
    await page.keyboard.up('e');
    out.display = await page.evaluate(() => new Promise((resolve) => {
      let n = 0;
      const t0 = performance.now();
      const tick = () => (++n < 60 ? requestAnimationFrame(tick) : resolve(n / ((performance.now() - t0) / 1000)));
      requestAnimationFrame(tick);
    }));
    await page.close();
  } finally {
    await browser.close();
  }
  console.log(JSON.stringify(out));
})().catch((e) => {
  console.error('web_fps:', e.message);
  process.exit(1);
});
