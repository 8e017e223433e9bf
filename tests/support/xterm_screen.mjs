// Replays terminal sessions in xterm.js (headless, with grapheme clusters)
// and prints what each showed at the moments asked for.  Used by the C++
// tests through tests/support/screen_batch.cpp.
//
// Usage: node xterm_screen.mjs MODULES_DIR [--live] < commands
//
// MODULES_DIR holds node_modules/@xterm/headless and
// node_modules/@xterm/addon-unicode-graphemes (tools/install-deps.sh puts
// them there).  Commands, one per line, ids chosen by the caller:
//   open ID ROWS COLS     a new terminal
//   feed ID LENGTH        followed by LENGTH bytes of output and a line feed
//   resize ID ROWS COLS   a window resize
//   snap ID               remember the screen now
//   close ID              the terminal is not used again
// For every snap, in order: a line "ROWS CURSOR_ROW CURSOR_COL", then the
// rows, trailing blanks removed.  A cursor waiting to wrap at the right edge
// is reported on the last column, as libvterm reports it.
//
// Without --live, all input is read first and the sessions run side by side;
// with it, each command runs as it arrives and a snap is answered at once.
import { createRequire } from 'node:module';
import { readFileSync, writeSync } from 'node:fs';

const [modules, mode] = process.argv.slice(2);
if (!modules) {
  process.stderr.write('usage: node xterm_screen.mjs MODULES_DIR [--live] < commands\n');
  process.exit(2);
}
const require = createRequire(`${modules}/`);
const { Terminal } = require('@xterm/headless');
const { UnicodeGraphemesAddon } = require('@xterm/addon-unicode-graphemes');

// The whole commands at the start of input: [commands, bytes used].
function parse(input, snaps) {
  const commands = [];
  let at = 0;
  for (;;) {
    const nl = input.indexOf(10, at);
    if (nl < 0) break;
    const [op, id, ...args] = input.toString('latin1', at, nl).split(' ');
    const n = args.map(Number);
    let next = nl + 1;
    if (op === 'feed') {
      if (input.length < next + n[0] + 1) break;
      commands.push({ op, id, bytes: input.subarray(next, next + n[0]) });
      next += n[0] + 1;
    } else if (op === 'snap') {
      commands.push({ op, id, index: snaps.count++ });
    } else if (op === 'open' || op === 'resize') {
      commands.push({ op, id, rows: n[0], cols: n[1] });
    } else if (op === 'close') {
      commands.push({ op, id });
    } else {
      throw new Error(`unknown command ${op}`);
    }
    at = next;
  }
  return [commands, at];
}

// Making a terminal costs far more than resetting one, so a closed
// terminal is reset and reused for the next.
const spare = [];
function terminal(rows, cols) {
  const t = spare.pop();
  if (!t) {
    const fresh = new Terminal({ rows, cols, allowProposedApi: true });
    fresh.loadAddon(new UnicodeGraphemesAddon());
    return fresh;
  }
  t.reset();
  t.resize(cols, rows);
  return t;
}

function screen(t) {
  const b = t.buffer.active;
  const lines = [];
  // Written spaces are trimmed as well as untouched cells: both look blank.
  for (let r = 0; r < t.rows; ++r) {
    lines.push((b.getLine(b.baseY + r)?.translateToString(true) ?? '').replace(/ +$/, ''));
  }
  const col = Math.min(b.cursorX, t.cols - 1);
  return `${t.rows} ${b.cursorY} ${col}\n${lines.join('\n')}\n`;
}

function print(text) {
  const bytes = Buffer.from(text, 'utf8');
  for (let at = 0; at < bytes.length;) at += writeSync(1, bytes, at);
}

// Runs commands of one terminal or of several; calls done when the last
// one has.  Writes are parsed asynchronously: the next command runs from the
// write's callback, so that a resize or a snap lands exactly between two
// pieces of output.
const terminals = new Map();
function run(commands, answer, done) {
  const step = (i) => {
    for (; i < commands.length; ++i) {
      const c = commands[i];
      const t = terminals.get(c.id);
      if (c.op === 'open') terminals.set(c.id, terminal(c.rows, c.cols));
      else if (c.op === 'resize') t.resize(c.cols, c.rows);
      else if (c.op === 'snap') answer(c.index, screen(t));
      else if (c.op === 'close') { terminals.delete(c.id); spare.push(t); }
      else return t.write(c.bytes, () => step(i + 1));
    }
    done();
  };
  step(0);
}

const snaps = { count: 0 };
if (mode === '--live') {
  let pending = Buffer.alloc(0);
  let busy = Promise.resolve();
  process.stdin.on('data', (chunk) => {
    pending = Buffer.concat([pending, chunk]);
    const [commands, used] = parse(pending, snaps);
    pending = pending.subarray(used);
    busy = busy.then(() => new Promise((done) => run(commands, (i, s) => print(s), done)));
  });
} else {
  // One list per terminal; a few terminals at a time, each taking the next
  // list when it ends, so that their writes wait on timers together.
  const [commands] = parse(readFileSync(0), snaps);
  const sessions = new Map();
  for (const c of commands) {
    if (!sessions.has(c.id)) sessions.set(c.id, []);
    sessions.get(c.id).push(c);
  }
  const lists = [...sessions.values()];
  const out = new Array(snaps.count);
  let next = 0;
  const worker = async () => {
    while (next < lists.length) {
      await new Promise((done) => run(lists[next++], (i, s) => { out[i] = s; }, done));
    }
  };
  await Promise.all(Array.from({ length: 32 }, worker));
  print(out.join(''));
}
