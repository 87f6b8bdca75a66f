// Node has fetch, which cannot read a file path: hand the loader the .wasm
// beside this script instead.
Module['wasmBinary'] = require('fs').readFileSync(require('path').join(__dirname, 'bramblewisp.wasm'));
