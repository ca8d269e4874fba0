// Headless Chromium (Debian's, driven by npm's playwright-core; no browser
// is downloaded), started with a fresh profile and nothing running in the
// background. CHROMIUM names the browser (default: /usr/bin/chromium).
import { mkdtempSync, rmSync } from "node:fs";
import { tmpdir } from "node:os";
import path from "node:path";
import { chromium } from "playwright-core";

export async function launchChromium() {
  const profile = mkdtempSync(path.join(tmpdir(), "zekalg-chromium-"));
  const context = await chromium.launchPersistentContext(profile, {
    executablePath: process.env.CHROMIUM || "/usr/bin/chromium",
    headless: true,
    args: ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
      "--disable-background-networking", "--disable-component-update", "--disable-sync",
      "--disable-dev-shm-usage"],
  });
  return {
    context,
    close: async () => {
      await context.close();
      rmSync(profile, { recursive: true, force: true });
    },
  };
}
