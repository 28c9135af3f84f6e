// The console in a real browser: a wrong password, login, a RAID 1 created from two disks,
// a member pulled with kelsim and the notice seen, a stale form refused, the mirror repaired
// and its synchronisation followed to the end, and the array removed. Every wait is for something on the page.
import { chromium } from 'playwright-core';
import { execFileSync } from 'node:child_process';

const url = process.env.CONSOLE_URL;
const browser = await chromium.launch({ executablePath: process.env.CHROMIUM, args: ['--no-sandbox'] });
const page = await (await browser.newContext()).newPage();
page.setDefaultTimeout(20000);
const message = (kind) => page.locator(`p.msg.${kind}`).first();
const expectText = async (locator, pattern) => {
  await locator.filter({ hasText: pattern }).first().waitFor();
};

let stale = null;
// The array's page, found by name in the overview (a repair may give it another index).
const openArray = async () => {
  await page.goto(`${url}/index.php`);
  await page.locator('#arrays tr', { hasText: 'web1' }).locator('a').click();
  await page.waitForURL(/array\.php/);
};
try {
  await page.goto(`${url}/login.php`);
  await page.fill('input[name=user]', 'admin');
  await page.fill('input[name=password]', 'not-the-password');
  await page.click('#login');
  await expectText(message('error'), /wrong user name or password/);
  if (page.url().includes('password')) throw new Error('password in the URL');

  await page.fill('input[name=password]', 'pelum');
  await page.click('#login');
  await page.locator('#disks tr[data-disk]').nth(3).waitFor();

  await page.goto(`${url}/create.php`);
  await page.selectOption('select[name=level]', '1');
  await page.locator('input[name="disks[]"]').nth(0).check();
  await page.locator('input[name="disks[]"]').nth(1).check();
  await page.click('#size-range');
  await expectText(page.locator('#range'), /\d+ to \d+ MiB/);
  await page.fill('input[name=name]', 'web1');
  await page.click('#create');
  await expectText(message('ok'), /Array web1 created/);
  const row = page.locator('#arrays tr', { hasText: 'web1' });
  await expectText(row, /RAID 1/);

  // A second tab keeps the array's page as it is now; then a member disappears.
  await row.locator('a').click();
  await page.waitForURL(/array\.php/);
  const arrayPage = page.url();
  stale = await page.context().newPage();
  stale.setDefaultTimeout(20000);
  await stale.goto(arrayPage);
  await page.goto(`${url}/index.php`);
  execFileSync(process.env.KELSIM, ['--dir', process.env.SIM_DIR, 'unplug', 'sdb']);
  await expectText(page.locator('#notices p.msg'), /plugged in or pulled out|disks has changed/);
  await page.reload();
  await expectText(page.locator('#arrays tr', { hasText: 'web1' }), /degraded/);
  await stale.click('button[value=remove]');
  await expectText(stale.locator('p.msg.error'), /changed since the page was loaded, reload/);

  // Repaired with a blank disk, the mirror is synchronised in the background.
  await page.goto(arrayPage);
  await page.locator('form:has(button[value=repair-disk]) select').selectOption({ index: 0 });
  await page.click('button[value=repair-disk]');
  await expectText(message('ok'), /Array repaired/);
  await openArray();
  await page.click('button[value=sync-start]');
  await expectText(message('ok'), /Synchronisation started/);
  await page.goto(`${url}/index.php`);
  await expectText(page.locator('#tasks .state'), /starting|running/);
  // The bar must show the work under way, not only its start and its end.
  await page.waitForFunction(() => [...document.querySelectorAll('#tasks progress')]
    .some((p) => p.value > 0 && p.value < 100), null, { timeout: 120000 });
  await page.locator('#tasks progress[value="100"]').waitFor({ timeout: 120000 });
  await expectText(page.locator('#tasks .state'), /completed/);

  await openArray();
  await page.click('button[value=remove]');
  await expectText(message('ok'), /Array removed/);
  if (await page.locator('#arrays tr', { hasText: 'web1' }).count() !== 0) throw new Error('web1 still listed');
  console.log('scenario passed');
} catch (e) {
  console.log(`scenario failed at ${page.url()}: ${e.message}`);
  for (const p of [page, stale]) {
    if (p) console.log((await p.locator('main').innerText().catch(() => '')).slice(0, 1500));
  }
  process.exitCode = 1;
} finally {
  await browser.close();
}
