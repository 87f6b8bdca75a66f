// The program under node: what the toolchain's loader leaves to the host.
//
// - The .wasm comes from beside this script (node's fetch cannot read a path).
// - The linear memory is made here, as large as the process's limits leave
//   room for, so that a limit ends growth early instead of the run; where
//   node's guard region cannot be reserved at all (an address-space limit
//   below about 10 GB), node starts again without it.
// - Fonts open without waiting (the toolchain's own open drops O_NONBLOCK,
//   so a FIFO would hang the run), saved files are flushed with node's fsync,
//   and an ending signal during the save removes the temporary file.
// - Whatever the program cannot handle ends it with one line on standard
//   error and status 1, never node's dump of the minified source.
//
// Module.bramblewispHost is what platformWeb.cpp and temporaryFileWeb.cpp call.
(function () {
  const fs = require('fs');
  const path = require('path');
  const PAGE = 65536;
  const MOST_PAGES = 65535; // 4 GB less a page: sizes must fit in 32 bits
  const FIRST_PAGES = 256; // the 16 MB the module asks for to start
  const NO_TRAP_HANDLER = '--disable-wasm-trap-handler';
  // What node itself may still need under a limit: its own heap and code
  // (the data limit), and the address space of its threads and compiled
  // code (the address-space limit). A V8 that runs out aborts.
  const NODE_DATA_RESERVE = 24 << 20;
  const NODE_ADDRESS_RESERVE = 64 << 20;
  // What node reserves for a wasm memory's guard region; near an address
  // limit a failed try makes V8 collect garbage with no room, and abort.
  const GUARD_REGION = 10 * 2 ** 30;

  const oneLine = (text) => String(text).replace(/[\x00-\x1f\x7f]+/g, ' ').trim().slice(0, 300);
  // V8's words for a reservation or allocation it could not make (not a
  // program's access outside its memory, which is a fault of its own).
  const looksLikeMemory = (text) =>
    /out of memory|(could not|cannot) allocate|allocation failed/i.test(String(text));

  function fail(message) {
    try {
      fs.writeSync(2, `bramblewisp: ${oneLine(message)}\n`);
    } catch {
      // Standard error is gone; the status still tells.
    }
    process.exit(1);
  }

  // Soft limits and current use in bytes, from /proc (Linux); Infinity where
  // unknown or unlimited.
  function processLimits() {
    const limits = { addressSpace: Infinity, data: Infinity };
    try {
      for (const line of fs.readFileSync('/proc/self/limits', 'utf8').split('\n')) {
        const found = /^Max (address space|data size)\s+(\d+)/.exec(line);
        if (found) limits[found[1] === 'data size' ? 'data' : 'addressSpace'] = Number(found[2]);
      }
    } catch {
      // No /proc: the memory is then sized by trying.
    }
    return limits;
  }

  function processUse() {
    const use = { addressSpace: 0, data: 0 };
    try {
      const status = fs.readFileSync('/proc/self/status', 'utf8');
      use.addressSpace = 1024 * Number((/^VmSize:\s+(\d+)/m.exec(status) || [0, 0])[1]);
      use.data = 1024 * Number((/^VmData:\s+(\d+)/m.exec(status) || [0, 0])[1]);
    } catch {
      // Unknown use counts as none; the limits then are unknown too.
    }
    return use;
  }

  const limits = processLimits();
  const trapHandlerOff = process.execArgv.includes(NO_TRAP_HANDLER) ||
    (process.env.NODE_OPTIONS || '').includes(NO_TRAP_HANDLER);

  // Reserves the memory with the largest maximum that the limits leave and
  // node grants: { memory, pages }, or { guarded: true } when node's guard
  // region did not fit, or {} when nothing did.
  function reserveMemory() {
    const use = processUse();
    let room = Math.min(limits.data - use.data - NODE_DATA_RESERVE, MOST_PAGES * PAGE);
    const addressRoom = limits.addressSpace - use.addressSpace - NODE_ADDRESS_RESERVE;
    if (!trapHandlerOff && addressRoom < GUARD_REGION) {
      return { guarded: true };
    }
    if (trapHandlerOff) {
      // Without the guard region the reservation is the maximum itself.
      room = Math.min(room, addressRoom);
    }
    for (let pages = Math.floor(room / PAGE); pages >= FIRST_PAGES; pages = Math.floor(pages / 2)) {
      try {
        return { memory: new WebAssembly.Memory({ initial: FIRST_PAGES, maximum: pages }), pages };
      } catch {
        // With the guard region every size takes the same reservation.
        if (!trapHandlerOff) return { guarded: true };
      }
    }
    return {};
  }

  // Runs this program again in a node without the guard region, passing
  // the ending signals on and ending as it ends.
  function restartWithoutGuardRegion() {
    const child = require('child_process').spawn(process.execPath,
      [NO_TRAP_HANDLER, ...process.execArgv, ...process.argv.slice(1)], { stdio: 'inherit' });
    for (const signal of ['SIGINT', 'SIGTERM', 'SIGHUP']) {
      process.on(signal, () => child.kill(signal));
    }
    child.on('error', () => fail('out of memory'));
    child.on('exit', (code, signal) => {
      if (signal) {
        process.removeAllListeners(signal);
        process.kill(process.pid, signal);
      }
      process.exit(code === null ? 1 : code);
    });
    // This instance only waits: a stand-in memory that is never instantiated.
    Module.wasmMemory = { buffer: new ArrayBuffer(PAGE) };
    Module.instantiateWasm = () => ({});
  }

  // The save's temporary file and the ending signals. Node runs a signal's
  // listener only once the program has returned to it, so the listener is
  // there before the file is made and stays until the process ends: a
  // signal during the save then ends the run right after it, and removes the
  // file if it is still there.
  const save = { temporaries: new Set(), watching: false };

  function removeTemporaries() {
    for (const temporary of save.temporaries) {
      try {
        fs.unlinkSync(temporary);
      } catch {
        // Gone already.
      }
    }
    save.temporaries.clear();
  }

  function endBySignal(signal) {
    removeTemporaries();
    // Without a listener node takes the signal's default action.
    process.removeAllListeners(signal);
    process.kill(process.pid, signal);
  }

  let memoryPages = MOST_PAGES;
  const reserved = reserveMemory();
  if (reserved.memory) {
    Module.wasmMemory = reserved.memory;
    memoryPages = reserved.pages;
  } else if (reserved.guarded && process.allowedNodeEnvironmentFlags.has(NO_TRAP_HANDLER)) {
    restartWithoutGuardRegion();
  } else {
    fail('out of memory');
  }

  Module.wasmBinary = fs.readFileSync(path.join(__dirname, 'bramblewisp.wasm'));

  // The runtime's own messages only matter when it gives up; then onAbort
  // or quit says what in one line.
  Module.printErr = () => {};
  Module.onAbort = (what) => fail(looksLikeMemory(what) ? 'out of memory' : what);
  Module.quit = (status, toThrow) => {
    if (!(toThrow instanceof ExitStatus)) {
      fail(looksLikeMemory(toThrow) ? 'out of memory' : toThrow);
    }
    if (!save.watching) {
      process.exit(status);
    }
    // One more turn of node's loop first: a signal that came during the
    // save runs its listener then.
    process.exitCode = status;
    setImmediate(() => process.exit(status));
    throw toThrow;
  };
  process.on('uncaughtException', (error) => {
    if (!(error instanceof ExitStatus)) {
      fail(looksLikeMemory(error) ? 'out of memory' : error);
    }
  });
  process.on('exit', removeTemporaries);

  Module.bramblewispHost = {
    // The most the linear memory may grow to, in bytes.
    memoryMaximum: () => memoryPages * PAGE,

    // What the data limit leaves for the memory to grow by, in bytes.
    growthRoom() {
      if (limits.data === Infinity) return Infinity;
      return Math.max(0, limits.data - processUse().data - NODE_DATA_RESERVE);
    },

    // A descriptor of the C library's for path, opened read-only without
    // waiting for a FIFO's writer or a device; -errno on failure.
    openWithoutWaiting(pathPointer) {
      const name = UTF8ToString(pathPointer);
      try {
        const c = fs.constants;
        const nfd = fs.openSync(name, c.O_RDONLY | c.O_NONBLOCK | c.O_NOCTTY);
        const status = fs.fstatSync(nfd);
        // Numbered and shaped as the toolchain's own open makes them.
        const fd = FS.nextfd(nfd);
        FS.streams[fd] = {
          fd, nfd, position: 0, path: name, flags: 0, seekable: true,
          node: { id: status.ino, mode: status.mode, node_ops: NODERAWFS, path: name },
        };
        return fd;
      } catch (error) {
        return -(ERRNO_CODES[error.code] || ERRNO_CODES.EIO);
      }
    },

    // Flushes a descriptor of the C library's to the disk; 0 or errno.
    syncFile(fd) {
      try {
        fs.fsyncSync(FS.getStream(fd).nfd);
        return 0;
      } catch (error) {
        return ERRNO_CODES[error.code] || ERRNO_CODES.EIO;
      }
    },

    // Flushes a directory's entries; some file systems refuse, which changes
    // nothing about a file already in place.
    syncDirectory(pathPointer) {
      try {
        const nfd = fs.openSync(UTF8ToString(pathPointer), 'r');
        try {
          fs.fsyncSync(nfd);
        } finally {
          fs.closeSync(nfd);
        }
      } catch {
        // As above.
      }
    },

    watchEndingSignals() {
      if (save.watching) return;
      save.watching = true;
      for (const signal of ['SIGINT', 'SIGTERM', 'SIGHUP']) {
        process.on(signal, () => endBySignal(signal));
      }
    },

    // The temporary files a signal removes: one more, one fewer (paths).
    addTemporaryFile(pathPointer) {
      save.temporaries.add(UTF8ToString(pathPointer));
    },
    removeTemporaryFile(pathPointer) {
      save.temporaries.delete(UTF8ToString(pathPointer));
    },
  };
})();
