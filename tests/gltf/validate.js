// Validates glTF files with Khronos' glTF-Validator and prints one line per
// file: its counts of errors, warnings, infos and hints, then every error
// and warning. Exits 1 when any file has an error or a warning.
// Usage: node validate.js VALIDATOR_DIR FILE...
'use strict';
const fs = require('fs');
const path = require('path');

const validator = require(path.resolve(process.argv[2], 'node_modules', 'gltf-validator'));

async function check(file) {
  const bytes = new Uint8Array(fs.readFileSync(file));
  const report = await validator.validateBytes(bytes, {
    uri: path.basename(file),
    maxIssues: 50,
    externalResourceFunction: () => Promise.reject(new Error('qmf writes no external resources')),
  });
  const i = report.issues;
  console.log(`${file}: ${i.numErrors} errors, ${i.numWarnings} warnings, ${i.numInfos} infos, ${i.numHints} hints`);
  for (const m of i.messages)
    if (m.severity <= 1) console.log(`  ${m.severity === 0 ? 'error' : 'warning'} ${m.code} at ${m.pointer || '-'}: ${m.message}`);
  return i.numErrors + i.numWarnings === 0;
}

(async () => {
  let ok = true;
  for (const f of process.argv.slice(3)) ok = (await check(f)) && ok;
  process.exit(ok ? 0 : 1);
})().catch((e) => {
  console.error(`validate.js: ${e.message}`);
  process.exit(2);
});
