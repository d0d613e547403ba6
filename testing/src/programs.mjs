// Where the device's two programs are and the web folder App serves, found
// the way a developer has them: options first, then the environment, then
// what the project at hand says (PATH, capacitor.config.json).
import { accessSync, constants, existsSync, readFileSync, statSync } from 'node:fs';
import path from 'node:path';

export const appName = 'App';
export const hostName = 'BrisklaneWidgetExtension';

function isProgram(file) {
  try {
    accessSync(file, constants.X_OK);
    return statSync(file).isFile();
  } catch {
    return false;
  }
}

// The folder that holds both programs: `binDir` (the `brisklaneBinDir`
// option), else BRISKLANE_BIN_DIR, else the first folder on PATH with both.
export function findPrograms(binDir = process.env.BRISKLANE_BIN_DIR) {
  const pair = (folder) => ({ app: path.resolve(folder, appName), host: path.resolve(folder, hostName) });
  if (binDir) {
    const programs = pair(binDir);
    const missing = Object.values(programs).filter((file) => !isProgram(file));
    if (missing.length > 0) throw new Error(`${missing.join(' and ')}: not found or not executable (from brisklaneBinDir or BRISKLANE_BIN_DIR)`);
    return programs;
  }
  for (const folder of (process.env.PATH ?? '').split(path.delimiter).filter(Boolean)) {
    const programs = pair(folder);
    if (isProgram(programs.app) && isProgram(programs.host)) return programs;
  }
  throw new Error(
    `cannot find ${appName} and ${hostName}: set the brisklaneBinDir option in playwright.config's \`use\`, ` +
      'or BRISKLANE_BIN_DIR, to the folder that holds them (a build of Brisklane native, e.g. build/default), or put it on PATH',
  );
}

// The `webDir` of the first capacitor.config.json from `start` upwards,
// resolved against the config's folder.
export function findWebDir(start = process.cwd()) {
  for (let folder = path.resolve(start); ; folder = path.dirname(folder)) {
    const config = path.join(folder, 'capacitor.config.json');
    if (existsSync(config)) return webDirOf(config);
    if (existsSync(path.join(folder, 'capacitor.config.ts'))) {
      throw new Error(`${folder} has capacitor.config.ts, which the kit cannot read: set the webDir option in playwright.config's \`use\``);
    }
    if (path.dirname(folder) === folder) {
      throw new Error(`no capacitor.config.json in ${path.resolve(start)} or above it: set the webDir option in playwright.config's \`use\``);
    }
  }
}

function webDirOf(config) {
  let webDir;
  try {
    webDir = JSON.parse(readFileSync(config, 'utf8')).webDir;
  } catch (error) {
    throw new Error(`${config}: ${error.message}`);
  }
  if (typeof webDir !== 'string' || webDir === '') throw new Error(`${config} names no "webDir"`);
  return path.resolve(path.dirname(config), webDir);
}

// A web folder App can serve: built, with its index.html.
export function checkWebDir(webDir) {
  if (!existsSync(path.join(webDir, 'index.html'))) {
    throw new Error(`${webDir} has no index.html: build your web app first (the folder is capacitor.config.json's webDir, or the webDir option)`);
  }
  return webDir;
}
