// Lays out the playground's static folder: the page's and the worker's bundles (esbuild),
// the stylesheet, the WebAssembly module and its loader, and the examples as one JSON file.
//   node build.mjs --module DIR --examples DIR --out DIR
import * as esbuild from 'esbuild';
import fs from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const here = path.dirname(fileURLToPath(import.meta.url));
const args = Object.fromEntries(
  process.argv.slice(2).reduce((pairs, arg, i, all) =>
    (arg.startsWith('--') ? [...pairs, [arg.slice(2), all[i + 1]]] : pairs), []));
for (const name of ['module', 'examples', 'out']) {
  if (!args[name]) {
    console.error('usage: node build.mjs --module DIR --examples DIR --out DIR');
    process.exit(1);
  }
}
fs.mkdirSync(args.out, { recursive: true });

await esbuild.build({
  entryPoints: { main: path.join(here, 'src/main.js'), worker: path.join(here, 'src/worker.js') },
  bundle: true,
  minify: true,
  format: 'iife',
  target: ['chrome100', 'firefox100', 'safari16'],
  outdir: args.out,
  logLevel: 'warning',
});
for (const file of ['index.html', 'style.css']) {
  fs.copyFileSync(path.join(here, 'src', file), path.join(args.out, file));
}
for (const file of ['vorn.js', 'vorn.wasm']) {
  fs.copyFileSync(path.join(args.module, file), path.join(args.out, file));
}

// A project is a folder with an events.lst: its lists and scripts, those of its subfolders
// too unless a subfolder is a project of its own. Its top scripts are those at its root.
function projectFiles(folder, prefix, files) {
  for (const entry of fs.readdirSync(folder, { withFileTypes: true })
    .sort((a, b) => a.name.localeCompare(b.name))) {
    const full = path.join(folder, entry.name);
    if (entry.isDirectory()) {
      if (!fs.existsSync(path.join(full, 'events.lst'))) {
        projectFiles(full, prefix + entry.name + '/', files);
      }
    } else if (/\.(vs|lst)$/.test(entry.name)) {
      files[prefix + entry.name] = fs.readFileSync(full, 'latin1');
    }
  }
  return files;
}

function projects(folder, name, found) {
  if (fs.existsSync(path.join(folder, 'events.lst'))) {
    const files = projectFiles(folder, '', {});
    const top = Object.keys(files).filter((f) => f.endsWith('.vs') && !f.includes('/'));
    found.push({ name, files, top });
  }
  for (const entry of fs.readdirSync(folder, { withFileTypes: true })
    .sort((a, b) => a.name.localeCompare(b.name))) {
    if (entry.isDirectory()) {
      projects(path.join(folder, entry.name), name + '/' + entry.name, found);
    }
  }
  return found;
}

// Named by their folders: examples, examples/build.
const examples = projects(args.examples, 'examples', []);
fs.writeFileSync(path.join(args.out, 'examples.json'), JSON.stringify(examples));
console.log(`playground: ${args.out} (${examples.length} example projects)`);
