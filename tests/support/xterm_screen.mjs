// Replays terminal sessions in xterm.js (headless, with grapheme clusters)
// and prints what each showed at the moments asked for.  Used by the C++
// tests through tests/support/screen_batch.cpp.
//
// Usage: node xterm_screen.mjs MODULES_DIR < commands
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
import { createRequire } from 'node:module';
import { readFileSync, writeSync } from 'node:fs';

const modules = process.argv[2];
if (!modules) {
  process.stderr.write('usage: node xterm_screen.mjs MODULES_DIR < commands\n');
  process.exit(2);
}
const require = createRequire(`${modules}/`);
const { Terminal } = require('@xterm/headless');
const { UnicodeGraphemesAddon } = require('@xterm/addon-unicode-graphemes');

// Reads the commands into one list per terminal.
function parse(input) {
  const sessions = new Map();
  let at = 0;
  let snaps = 0;
  while (at < input.length) {
    const nl = input.indexOf(10, at);
    if (nl < 0) throw new Error(`unterminated command at byte ${at}`);
    const [op, id, ...args] = input.toString('latin1', at, nl).split(' ');
    at = nl + 1;
    if (!sessions.has(id)) sessions.set(id, []);
    const ops = sessions.get(id);
    const n = args.map(Number);
    if (op === 'feed') {
      ops.push({ op, bytes: input.subarray(at, at + n[0]) });
      at += n[0] + 1;
    } else if (op === 'snap') {
      ops.push({ op, index: snaps++ });
    } else if (op === 'open' || op === 'resize') {
      ops.push({ op, rows: n[0], cols: n[1] });
    } else if (op !== 'close') {
      throw new Error(`unknown command ${op}`);
    }
  }
  return { sessions: [...sessions.values()], snaps };
}

// Making a terminal costs far more than resetting one, so a finished
// session's terminal is reset and reused for the next.
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

// Runs one session's commands.  Writes are parsed asynchronously; the next
// command runs from the write's callback, so that a resize or a snap lands
// exactly between two pieces of output.
function run(ops, out) {
  return new Promise((done) => {
    let t = null;
    const step = (i) => {
      for (; i < ops.length; ++i) {
        const o = ops[i];
        if (o.op === 'open') t = terminal(o.rows, o.cols);
        else if (o.op === 'resize') t.resize(o.cols, o.rows);
        else if (o.op === 'snap') out[o.index] = screen(t);
        else return t.write(o.bytes, () => step(i + 1));
      }
      if (t) spare.push(t);
      done();
    };
    step(0);
  });
}

// A few sessions at a time, each taking the next when it ends: their writes
// wait on timers together, and terminals are reused.
const { sessions, snaps } = parse(readFileSync(0));
const out = new Array(snaps);
let next = 0;
const worker = async () => {
  while (next < sessions.length) await run(sessions[next++], out);
};
await Promise.all(Array.from({ length: 32 }, worker));
const text = Buffer.from(out.join(''), 'utf8');
for (let at = 0; at < text.length;) at += writeSync(1, text, at);
