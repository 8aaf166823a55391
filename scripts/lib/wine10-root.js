'use strict';
// A Debian 13 root with Wine 10, made once with debootstrap and kept in the cache: Windows Node.js
// 24 aborts at start under the host's Wine 8 (its address-space reservation fails), and Debian 12
// has no newer Wine.
const { ensureDebianRoot, debianRootDir } = require('./debian-root');

const SUITE = 'trixie';
// Changing the list makes a new root.
const PACKAGES = ['wine64'];

const wine10RootDir = debianRootDir(SUITE);

const ensureWine10Root = () =>
  ensureDebianRoot({
    suite: SUITE,
    install: PACKAGES,
    title: 'Making a Debian 13 root with Wine 10',
    why: 'Windows Node.js 24 needs a newer Wine than Debian 12 has. This happens once (about a minute, 1.2 GB); the root is reused.',
    system: 'wine10',
    forWhat: 'Wine 10',
  });

module.exports = { ensureWine10Root, wine10RootDir };
