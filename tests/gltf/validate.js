// Runs the Khronos glTF validator over .glb files (or every .glb in the folders given) and fails
// on any error or warning it reports; infos and hints are printed but pass. Exit 0 when every file is
// valid, 1 when one is not, 2 when there is nothing to validate or the validator is missing.
'use strict';

const fs = require('fs');
const path = require('path');

let validator;
try {
  validator = require('gltf-validator');
} catch (e) {
  console.error('skipped: the npm package gltf-validator is missing (scripts/install-deps --tests installs it)');
  process.exit(77);
}

function glbFiles(args) {
  const files = [];
  for (const arg of args) {
    if (fs.statSync(arg).isDirectory()) {
      for (const name of fs.readdirSync(arg).sort()) {
        if (name.endsWith('.glb')) files.push(path.join(arg, name));
      }
    } else {
      files.push(arg);
    }
  }
  return files;
}

async function validate(file) {
  const report = await validator.validateBytes(new Uint8Array(fs.readFileSync(file)), {
    uri: path.basename(file),
    maxIssues: 100,
  });
  const issues = report.issues;
  for (const message of issues.messages) {
    const severity = ['error', 'warning', 'info', 'hint'][message.severity] || message.severity;
    console.log(`${file}: ${severity} ${message.code} ${message.pointer || ''} ${message.message}`);
  }
  console.log(`${file}: ${issues.numErrors} errors, ${issues.numWarnings} warnings, ` +
              `${issues.numInfos} infos, ${issues.numHints} hints`);
  return issues.numErrors === 0 && issues.numWarnings === 0;
}

async function main() {
  const files = glbFiles(process.argv.slice(2));
  if (files.length === 0) {
    console.error('validate.js: no .glb file to validate');
    process.exit(2);
  }
  let valid = 0;
  for (const file of files) {
    if (await validate(file)) valid += 1;
  }
  console.log(`${valid} passed, ${files.length - valid} failed`);
  process.exit(valid === files.length ? 0 : 1);
}

main().catch((error) => {
  console.error(`validate.js: ${error}`);
  process.exit(1);
});
