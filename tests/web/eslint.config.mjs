// ESLint's rules for the web build's scripts (scripts/test-web.sh runs it from the top of the repository, with
// this file as its config): the page's scripts as the browser runs them (classic scripts, their shared names
// declared below), the module's runtime, the service worker, and the tests and benchmarks under Node.
import js from '@eslint/js';
import globals from 'globals';

// What the page's scripts and the module's runtime leave for one another at the global scope.
const PAGE = {
  MoxBridge: 'readonly',          // the constants shared with the module (tools/gen_bridge.py)
  moxNextTask: 'readonly',        // site/next-task.js
  createMoxsim: 'readonly',       // the module's script (moxsim.js, moxsim-single.js)
  moxsimInstantiate: 'readonly',  // site/moxsim-worker.js
  moxsimWorker: 'readonly',
};

// The rules the code follows beyond the recommended ones.
const HOUSE = {
  'no-unused-vars': ['error', {args: 'none', caughtErrors: 'none'}],
  'no-var': 'off',
  'prefer-const': 'error',
  eqeqeq: ['error', 'always'],
  'no-implicit-globals': 'error',
};

export default [
  {ignores: ['**/node_modules/**']},
  js.configs.recommended,
  {
    files: ['src/desktop/web/site/**/*.js'],
    languageOptions: {ecmaVersion: 2022, sourceType: 'script', globals: {...globals.browser, ...PAGE}},
    rules: HOUSE,
  },
  {
    // They define what the page and the worker share.
    files: ['src/desktop/web/site/moxsim-worker.js'],
    languageOptions: {globals: {...globals.worker, moxsimInstantiate: 'off', moxsimWorker: 'off'}},
  },
  {
    files: ['src/desktop/web/site/next-task.js'],
    languageOptions: {globals: {moxNextTask: 'off'}},
  },
  {
    // A worker's script of its own: its global scope is its alone.
    files: ['src/desktop/web/site/sw.js'],
    languageOptions: {globals: {...globals.serviceworker}},
    rules: {'no-implicit-globals': 'off'},
  },
  {
    // Run inside the module's script (--pre-js): Module and the memory's views are the script's own.
    files: ['src/desktop/web/web_*.js'],
    languageOptions: {ecmaVersion: 2022, sourceType: 'script',
                      globals: {...globals.browser, MoxBridge: 'readonly', moxNextTask: 'readonly', Module: 'readonly',
                                HEAPU8: 'readonly'}},
    rules: {...HOUSE, 'no-implicit-globals': 'off'},
  },
  {
    // Node programs that drive the page: what they hand to page.evaluate runs in the browser.
    files: ['tests/web/*.js', 'bench/*.js'],
    languageOptions: {ecmaVersion: 2022, sourceType: 'commonjs', globals: {...globals.node, ...globals.browser}},
    rules: HOUSE,
  },
];
