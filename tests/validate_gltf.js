// Runs the Khronos glTF Validator on each file named; prints its findings and exits 1 when
// any file has an error or a warning.
const validator = require('gltf-validator');
const fs = require('fs');

(async () => {
  let bad = 0;
  for (const file of process.argv.slice(2)) {
    const report = await validator.validateBytes(new Uint8Array(fs.readFileSync(file)));
    const issues = report.issues;
    console.log(`${file}: ${issues.numErrors} errors, ${issues.numWarnings} warnings`);
    for (const m of issues.messages.filter((m) => m.severity <= 1).slice(0, 10))
      console.log(`  ${m.code}: ${m.message} (${m.pointer || ''})`);
    if (issues.numErrors || issues.numWarnings) bad++;
  }
  process.exit(bad ? 1 : 0);
})();
