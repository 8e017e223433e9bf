// Key input: the escape decoder that turns the bytes after an ESC into a key
// code, the collection of a typed character's continuation bytes, and the
// handling of bytes that arrive inside a bracketed paste.
#include "edit/internal.h"
#include "edit/messages.h"
#include "text/text.h"

namespace {

constexpr unsigned char kv_esc = kv_key_esc;
constexpr unsigned char kv_bel = kv_ctrl('g');

// Escape numbers stop growing here: far above every listed code, so a huge
// number keeps meaning "no such key" instead of overflowing.
constexpr int kv_escape_number_cap = 100000;
// Bytes of an OSC or DCS string consumed before the decoder gives up on it.
constexpr size_t kv_escape_string_limit = 65536;

// The bytes that end a bracketed paste (ESC [ 2 0 1 ~).
constexpr char kv_paste_end[7] = "\x1b[201~";
constexpr size_t kv_paste_end_len = 6;

bool kv_is_digit(unsigned char b) { return b >= '0' && b <= '9'; }
bool kv_is_letter(unsigned char b) { return (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z'); }
// Parameter (0x30-0x3F) and intermediate (0x20-0x2F) bytes of a sequence.
bool kv_is_seq_middle(unsigned char b) { return b >= 0x20 && b <= 0x3F; }
// Final bytes of a control sequence.
bool kv_is_seq_final(unsigned char b) { return b >= 0x40 && b <= 0x7E; }

int kv_saturating_digit(int n, unsigned char digit) {
    int next = n * 10 + (digit - '0');
    return next > kv_escape_number_cap ? kv_escape_number_cap : next;
}

// ---- escape decoder: one function per state ----------------------------------

enum class kv_esc_state {
    start, intro, number, modifier, skip, console_fkey, alt_p, string, string_esc, done
};

struct kv_escape_decoder {
    kv_call *c;
    kv_esc_state state = kv_esc_state::start;
    int key = KV_KEY_UNRECOGNISED;
    int n = 0;              // the number before ~, ; or u
    int m = 0;              // the number after ;
    size_t string_len = 0;  // bytes of an OSC/DCS string consumed
};

using kv_esc_step = kv_esc_state (*)(kv_escape_decoder &, unsigned char);

kv_esc_state kv_key_decoded(kv_escape_decoder &d, int key) {
    d.key = key;
    return kv_esc_state::done;
}

// A byte that cannot belong to the sequence ends it and is read again as input.
kv_esc_state kv_give_back(kv_escape_decoder &d, unsigned char b) {
    kv_call_unread(d.c, b);
    return kv_key_decoded(d, KV_KEY_UNRECOGNISED);
}

// Code of ESC [ n ~.
int kv_tilde_key(int n) {
    switch (n) {
    case 1: case 7: return KV_KEY_HOME;
    case 3: return KV_KEY_DELETE;
    case 4: case 8: return KV_KEY_END;
    case 200: return KV_KEY_PASTE_START;
    case 201: return KV_KEY_PASTE_END;
    default: break;
    }
    if (n >= 11 && n <= 15) return KV_KEY_F1 + (n - 11);
    if (n >= 17 && n <= 21) return KV_KEY_F6 + (n - 17);
    return KV_KEY_UNRECOGNISED;
}

// Code of ESC [ letter.
int kv_letter_key(unsigned char b) {
    switch (b) {
    case 'A': return KV_KEY_UP;
    case 'B': return KV_KEY_DOWN;
    case 'C': return KV_KEY_RIGHT;
    case 'D': return KV_KEY_LEFT;
    case 'F': return KV_KEY_END;
    case 'H': return KV_KEY_HOME;
    case 'P': return KV_KEY_F1;
    case 'Q': return KV_KEY_F2;
    case 'R': return KV_KEY_F3;
    case 'S': return KV_KEY_F4;
    default: return KV_KEY_UNRECOGNISED;
    }
}

// The byte right after ESC.
kv_esc_state kv_esc_start(kv_escape_decoder &d, unsigned char b) {
    if (b == 'b') return kv_key_decoded(d, KV_KEY_ALT_B);
    if (b == 'f') return kv_key_decoded(d, KV_KEY_ALT_F);
    if (b == '[' || b == 'O') return kv_esc_state::intro;
    if (b == ']') return kv_esc_state::string;
    if (b == 'P') return kv_esc_state::alt_p;
    if (kv_is_letter(b)) return kv_key_decoded(d, KV_KEY_ALT + b);
    // A second ESC starts a key of its own (ESC ESC [ A: unknown, then Up).
    if (b == kv_esc) return kv_give_back(d, b);
    if (b >= 0xC0 && b <= 0xF7) {
        // Alt with a non-ASCII character: swallow the whole character.
        unsigned char rest[4];
        size_t count = 0;
        kv_read_utf8_input(d.c, b, rest, &count);
    }
    return kv_key_decoded(d, KV_KEY_UNRECOGNISED);
}

// Any byte of a control sequence that the table does not know: parameters and
// intermediates are consumed up to the final byte.
kv_esc_state kv_esc_unknown(kv_escape_decoder &d, unsigned char b) {
    if (kv_is_seq_middle(b)) return kv_esc_state::skip;
    if (kv_is_seq_final(b)) return kv_key_decoded(d, KV_KEY_UNRECOGNISED);
    return kv_give_back(d, b);
}

// After ESC [ or ESC O.
kv_esc_state kv_esc_intro(kv_escape_decoder &d, unsigned char b) {
    if (b >= 'A' && b <= 'Z') return kv_key_decoded(d, kv_letter_key(b));
    // The Linux console sends F1..F5 as ESC [ [ A..E.
    if (b == '[') return kv_esc_state::console_fkey;
    if (kv_is_digit(b)) {
        d.n = b - '0';
        return kv_esc_state::number;
    }
    return kv_esc_unknown(d, b);
}

// Inside the first number.
kv_esc_state kv_esc_number(kv_escape_decoder &d, unsigned char b) {
    if (kv_is_digit(b)) {
        d.n = kv_saturating_digit(d.n, b);
        return kv_esc_state::number;
    }
    if (b == '~') return kv_key_decoded(d, kv_tilde_key(d.n));
    if (b == ';') return kv_esc_state::modifier;
    return kv_esc_unknown(d, b);
}

// Inside the second number (after ;).
kv_esc_state kv_esc_modifier(kv_escape_decoder &d, unsigned char b) {
    if (kv_is_digit(b)) {
        d.m = kv_saturating_digit(d.m, b);
        return kv_esc_state::modifier;
    }
    // The modifier of a ~ key is dropped: ESC [ 3 ; 5 ~ is Delete.
    if (b == '~') return kv_key_decoded(d, kv_tilde_key(d.n));
    if (b == 'u') return kv_key_decoded(d, d.n == 13 && d.m == 5 ? KV_KEY_CTRL_ENTER : KV_KEY_UNRECOGNISED);
    return kv_esc_unknown(d, b);
}

kv_esc_state kv_esc_skip(kv_escape_decoder &d, unsigned char b) { return kv_esc_unknown(d, b); }

// The letter after ESC [ [ ends the sequence.
kv_esc_state kv_esc_console_fkey(kv_escape_decoder &d, unsigned char b) {
    if (b >= 0x20 && b < 0x7F) return kv_key_decoded(d, KV_KEY_UNRECOGNISED);
    return kv_give_back(d, b);
}

// Inside an OSC or DCS string, which ends with BEL or ESC backslash.
kv_esc_state kv_esc_string(kv_escape_decoder &d, unsigned char b) {
    if (b == kv_bel) return kv_key_decoded(d, KV_KEY_UNRECOGNISED);
    if (b == kv_esc) return kv_esc_state::string_esc;
    if (b < 0x20) return kv_give_back(d, b);
    if (++d.string_len >= kv_escape_string_limit) return kv_key_decoded(d, KV_KEY_UNRECOGNISED);
    return kv_esc_state::string;
}

// ESC P is Alt-P when nothing follows within the wait, else the start of a
// DCS string (a terminal's reply to a query).
kv_esc_state kv_esc_alt_p(kv_escape_decoder &d, unsigned char b) { return kv_esc_string(d, b); }

// An ESC inside a string: with a backslash it ends the string; otherwise it
// starts a new key, and both bytes are read again.
kv_esc_state kv_esc_string_esc(kv_escape_decoder &d, unsigned char b) {
    if (b == '\\') return kv_key_decoded(d, KV_KEY_UNRECOGNISED);
    kv_call_unread(d.c, b);
    return kv_give_back(d, kv_esc);
}

constexpr kv_esc_step kv_esc_steps[] = {
    kv_esc_start,        kv_esc_intro, kv_esc_number, kv_esc_modifier,   kv_esc_skip,
    kv_esc_console_fkey, kv_esc_alt_p, kv_esc_string, kv_esc_string_esc,
};
static_assert(sizeof kv_esc_steps / sizeof kv_esc_steps[0] ==
              static_cast<size_t>(kv_esc_state::done));

// The key given when no further byte arrives in a state.
int kv_esc_timeout_key(kv_esc_state s) {
    if (s == kv_esc_state::start) return kv_esc;
    if (s == kv_esc_state::alt_p) return KV_KEY_ALT + 'P';
    return KV_KEY_UNRECOGNISED;
}

// ---- paste ----------------------------------------------------------------------

// Appends pasted text to the reverse-search query.  Line breaks and other
// control bytes are dropped, and so is a chunk that would make the query too
// long: a paste never submits, cancels or fails the search.
void kv_paste_to_query(kv_call *c, const unsigned char *bytes, size_t n) {
    // Only a chunk's first byte can be a control byte (an ESC that began a
    // paste-end match is followed by the printable bytes that matched).
    if (bytes[0] < 0x20 || bytes[0] == 0x7F) {
        ++bytes;
        --n;
    }
    if (n == 0) return;
    kv_search *s = &c->search;
    if (s->query_len + n > c->st->line.max_len) return;
    if (kv_search_extend(c->ed, s, reinterpret_cast<const char *>(bytes), n) != 0)
        kv_call_fail(c, kv_msg_search_update);
}

// Inserts a pasted chunk at the cursor when all of it fits; else drops it.
void kv_paste_insert(kv_call *c, const unsigned char *bytes, size_t n) {
    if (c->search.active) {
        kv_paste_to_query(c, bytes, n);
        return;
    }
    kv_state *st = c->st;
    if (st->line.max_len - st->line.len < n) return;
    if (kv_buf_insert(c->ed, st->line.cursor, reinterpret_cast<const char *>(bytes), n) != 0) {
        kv_call_fail(c, nullptr);
        return;
    }
    st->line.cursor += n;
}

// An ESC inside a paste: either the paste end, or text.  The byte that breaks
// the match is read again as pasted input, so an ESC there starts a new match
// and a carriage return still becomes a line feed.
void kv_paste_escape(kv_call *c) {
    unsigned char got[kv_paste_end_len];
    got[0] = kv_esc;
    size_t n = 1;
    while (n < kv_paste_end_len) {
        unsigned char b;
        if (kv_call_wait_byte(c, &b) <= 0) break;
        if (b != static_cast<unsigned char>(kv_paste_end[n])) {
            kv_call_unread(c, b);
            break;
        }
        got[n++] = b;
    }
    if (n == kv_paste_end_len) {
        c->st->call.paste_active = 0;
        return;
    }
    kv_paste_insert(c, got, n);
}

void kv_paste_one(kv_call *c, unsigned char byte) {
    if (byte == kv_esc) {
        kv_paste_escape(c);
        return;
    }
    // A NUL would cut the returned line short: pasted NULs are dropped.
    if (byte == 0) return;
    if (byte == '\r') byte = '\n';
    unsigned char chunk[4];
    size_t n = 0;
    kv_read_utf8_input(c, byte, chunk, &n);
    kv_paste_insert(c, chunk, n);
}

} // namespace

int kv_key_decode_escape(kv_call *c) noexcept {
    kv_escape_decoder d{c};
    while (d.state != kv_esc_state::done) {
        unsigned char b;
        if (kv_call_wait_byte(c, &b) <= 0) return kv_esc_timeout_key(d.state);
        d.state = kv_esc_steps[static_cast<size_t>(d.state)](d, b);
    }
    return d.key;
}

void kv_read_utf8_input(kv_call *c, unsigned char first, unsigned char *buf,
                        size_t *count) noexcept {
    buf[0] = first;
    *count = 1;
    size_t want = kv_utf8_sequence_length(first);
    while (*count < want) {
        unsigned char b;
        if (kv_call_wait_byte(c, &b) <= 0) return;
        if ((b & 0xC0) != 0x80) {
            // The character was cut short: this byte is the next input.
            kv_call_unread(c, b);
            return;
        }
        buf[(*count)++] = b;
    }
}

void kv_edit_paste_byte(kv_call *c, unsigned char byte) noexcept {
    kv_paste_one(c, byte);
    // Bytes of the paste that are already waiting are taken at once, so the
    // loop redraws once per burst instead of once per byte.
    while (c->end == kv_end::none && c->st->call.paste_active && kv_call_input_pending(c)) {
        unsigned char b;
        if (kv_call_wait_byte(c, &b) <= 0) break;
        kv_paste_one(c, b);
    }
}
