// Key input: the escape decoder that turns the bytes after an ESC into a key
// code, the collection of a typed character's continuation bytes, and the
// handling of bytes that arrive inside a bracketed paste.  Each of them
// takes one byte at a time and keeps its place in the call record, so a key
// may arrive in pieces; the waiting forms on top read the rest at once.
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

using kv_esc_step = kv_esc_state (*)(kv_call *, unsigned char);

kv_esc_state kv_key_decoded(kv_call *c, int key) {
    c->esc.key = key;
    return kv_esc_state::done;
}

// A byte that cannot belong to the sequence ends it and is read again as input.
kv_esc_state kv_give_back(kv_call *c, unsigned char b) {
    kv_call_unread(c, b);
    return kv_key_decoded(c, KV_KEY_UNRECOGNISED);
}

// Code of ESC [ n ~.
int kv_tilde_key(int n) {
    switch (n) {
    case 1:
    case 7:
        return KV_KEY_HOME;
    case 3:
        return KV_KEY_DELETE;
    case 4:
    case 8:
        return KV_KEY_END;
    case 200:
        return KV_KEY_PASTE_START;
    case 201:
        return KV_KEY_PASTE_END;
    default:
        break;
    }
    if (n >= 11 && n <= 15) return KV_KEY_F1 + (n - 11);
    if (n >= 17 && n <= 21) return KV_KEY_F6 + (n - 17);
    return KV_KEY_UNRECOGNISED;
}

// Code of ESC [ letter.
int kv_letter_key(unsigned char b) {
    switch (b) {
    case 'A':
        return KV_KEY_UP;
    case 'B':
        return KV_KEY_DOWN;
    case 'C':
        return KV_KEY_RIGHT;
    case 'D':
        return KV_KEY_LEFT;
    case 'F':
        return KV_KEY_END;
    case 'H':
        return KV_KEY_HOME;
    case 'P':
        return KV_KEY_F1;
    case 'Q':
        return KV_KEY_F2;
    case 'R':
        return KV_KEY_F3;
    case 'S':
        return KV_KEY_F4;
    default:
        return KV_KEY_UNRECOGNISED;
    }
}

// The byte right after ESC.
kv_esc_state kv_esc_start(kv_call *c, unsigned char b) {
    if (b == 'b') return kv_key_decoded(c, KV_KEY_ALT_B);
    if (b == 'f') return kv_key_decoded(c, KV_KEY_ALT_F);
    if (b == '[' || b == 'O') return kv_esc_state::intro;
    if (b == ']') return kv_esc_state::string;
    if (b == 'P') return kv_esc_state::alt_p;
    if (kv_is_letter(b)) return kv_key_decoded(c, KV_KEY_ALT + b);
    // A second ESC starts a key of its own (ESC ESC [ A: unknown, then Up).
    if (b == kv_esc) return kv_give_back(c, b);
    if (b >= 0xC0 && b <= 0xF7) {
        // Alt with a non-ASCII character: swallow the whole character.
        c->esc.n = static_cast<int>(kv_utf8_sequence_length(b));
        c->esc.m = 1;
        if (c->esc.m < c->esc.n) return kv_esc_state::swallow;
    }
    return kv_key_decoded(c, KV_KEY_UNRECOGNISED);
}

// The continuation bytes of a character typed with Alt; a byte that cannot
// continue it is the next input.
kv_esc_state kv_esc_swallow(kv_call *c, unsigned char b) {
    if ((b & 0xC0) != 0x80) return kv_give_back(c, b);
    if (++c->esc.m < c->esc.n) return kv_esc_state::swallow;
    return kv_key_decoded(c, KV_KEY_UNRECOGNISED);
}

// Any byte of a control sequence that the table does not know: parameters and
// intermediates are consumed up to the final byte.
kv_esc_state kv_esc_unknown(kv_call *c, unsigned char b) {
    if (kv_is_seq_middle(b)) return kv_esc_state::skip;
    if (kv_is_seq_final(b)) return kv_key_decoded(c, KV_KEY_UNRECOGNISED);
    return kv_give_back(c, b);
}

// After ESC [ or ESC O.
kv_esc_state kv_esc_intro(kv_call *c, unsigned char b) {
    if (b >= 'A' && b <= 'Z') return kv_key_decoded(c, kv_letter_key(b));
    // The Linux console sends F1..F5 as ESC [ [ A..E.
    if (b == '[') return kv_esc_state::console_fkey;
    if (kv_is_digit(b)) {
        c->esc.n = b - '0';
        return kv_esc_state::number;
    }
    return kv_esc_unknown(c, b);
}

// Inside the first number.
kv_esc_state kv_esc_number(kv_call *c, unsigned char b) {
    if (kv_is_digit(b)) {
        c->esc.n = kv_saturating_digit(c->esc.n, b);
        return kv_esc_state::number;
    }
    if (b == '~') return kv_key_decoded(c, kv_tilde_key(c->esc.n));
    if (b == ';') return kv_esc_state::modifier;
    return kv_esc_unknown(c, b);
}

// Inside the second number (after ;).
kv_esc_state kv_esc_modifier(kv_call *c, unsigned char b) {
    if (kv_is_digit(b)) {
        c->esc.m = kv_saturating_digit(c->esc.m, b);
        return kv_esc_state::modifier;
    }
    // The modifier of a ~ key is dropped: ESC [ 3 ; 5 ~ is Delete.
    if (b == '~') return kv_key_decoded(c, kv_tilde_key(c->esc.n));
    if (b == 'u')
        return kv_key_decoded(c, c->esc.n == 13 && c->esc.m == 5 ? KV_KEY_CTRL_ENTER
                                                                 : KV_KEY_UNRECOGNISED);
    return kv_esc_unknown(c, b);
}

kv_esc_state kv_esc_skip(kv_call *c, unsigned char b) { return kv_esc_unknown(c, b); }

// The letter after ESC [ [ ends the sequence.
kv_esc_state kv_esc_console_fkey(kv_call *c, unsigned char b) {
    if (b >= 0x20 && b < 0x7F) return kv_key_decoded(c, KV_KEY_UNRECOGNISED);
    return kv_give_back(c, b);
}

// Inside an OSC or DCS string, which ends with BEL or ESC backslash.
kv_esc_state kv_esc_string(kv_call *c, unsigned char b) {
    if (b == kv_bel) return kv_key_decoded(c, KV_KEY_UNRECOGNISED);
    if (b == kv_esc) return kv_esc_state::string_esc;
    if (b < 0x20) return kv_give_back(c, b);
    if (++c->esc.string_len >= kv_escape_string_limit)
        return kv_key_decoded(c, KV_KEY_UNRECOGNISED);
    return kv_esc_state::string;
}

// ESC P is Alt-P when nothing follows within the wait, else the start of a
// DCS string (a terminal's reply to a query).
kv_esc_state kv_esc_alt_p(kv_call *c, unsigned char b) { return kv_esc_string(c, b); }

// An ESC inside a string: with a backslash it ends the string; otherwise it
// starts a new key, and both bytes are read again.
kv_esc_state kv_esc_string_esc(kv_call *c, unsigned char b) {
    if (b == '\\') return kv_key_decoded(c, KV_KEY_UNRECOGNISED);
    kv_call_unread(c, b);
    return kv_give_back(c, kv_esc);
}

constexpr kv_esc_step kv_esc_steps[] = {
    kv_esc_start,        kv_esc_intro, kv_esc_number, kv_esc_modifier,   kv_esc_skip,
    kv_esc_console_fkey, kv_esc_alt_p, kv_esc_string, kv_esc_string_esc, kv_esc_swallow,
};
static_assert(sizeof kv_esc_steps / sizeof kv_esc_steps[0] ==
              static_cast<size_t>(kv_esc_state::done));

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
void kv_paste_end_feed(kv_call *c, unsigned char b) {
    if (b != static_cast<unsigned char>(kv_paste_end[c->chunk_len])) {
        kv_call_unread(c, b);
        c->pending = kv_pending::none;
        kv_paste_insert(c, c->chunk, c->chunk_len);
        return;
    }
    c->chunk[c->chunk_len++] = b;
    if (c->chunk_len < kv_paste_end_len) return;
    c->pending = kv_pending::none;
    c->st->flags.paste_active = 0;
}

// Takes one byte of the key in progress and every further byte that is
// already waiting, until it is whole or the wait runs out.
void kv_paste_one(kv_call *c, unsigned char byte) {
    kv_paste_begin_byte(c, byte);
    kv_key_complete(c);
}

} // namespace

void kv_esc_begin(kv_call *c) noexcept {
    c->esc = kv_escape_decoder{kv_esc_state::start, KV_KEY_UNRECOGNISED, 0, 0, 0};
}

bool kv_esc_feed(kv_call *c, unsigned char b) noexcept {
    c->esc.state = kv_esc_steps[static_cast<size_t>(c->esc.state)](c, b);
    return c->esc.state == kv_esc_state::done;
}

int kv_esc_timeout_key(const kv_call *c) noexcept {
    if (c->esc.state == kv_esc_state::start) return kv_esc;
    if (c->esc.state == kv_esc_state::alt_p) return KV_KEY_ALT + 'P';
    return KV_KEY_UNRECOGNISED;
}

bool kv_utf8_begin(kv_call *c, unsigned char first, kv_utf8_use use) noexcept {
    c->use = use;
    c->chunk[0] = first;
    c->chunk_len = 1;
    c->chunk_want = kv_utf8_sequence_length(first);
    return c->chunk_len >= c->chunk_want;
}

bool kv_utf8_feed(kv_call *c, unsigned char b) noexcept {
    if ((b & 0xC0) != 0x80) {
        // The character was cut short: this byte is the next input.
        kv_call_unread(c, b);
        return true;
    }
    c->chunk[c->chunk_len++] = b;
    return c->chunk_len >= c->chunk_want;
}

void kv_utf8_deliver(kv_call *c) noexcept {
    const char *bytes = reinterpret_cast<const char *>(c->chunk);
    switch (c->use) {
    case kv_utf8_use::text:
        if (kv_buf_insert(c->ed, c->st->line.cursor, bytes, c->chunk_len) == 0)
            c->st->line.cursor += c->chunk_len;
        return;
    case kv_utf8_use::query:
        if (kv_search_extend(c->ed, &c->search, bytes, c->chunk_len) != 0)
            kv_call_fail(c, kv_msg_search_update);
        return;
    case kv_utf8_use::paste:
        kv_paste_insert(c, c->chunk, c->chunk_len);
        return;
    }
}

void kv_paste_begin_byte(kv_call *c, unsigned char byte) noexcept {
    if (byte == kv_esc) {
        c->chunk[0] = byte;
        c->chunk_len = 1;
        c->pending = kv_pending::paste_end;
        return;
    }
    // A NUL would cut the returned line short: pasted NULs are dropped.
    if (byte == 0) return;
    if (byte == '\r') byte = '\n';
    kv_utf8_take(c, byte, kv_utf8_use::paste);
}

void kv_utf8_take(kv_call *c, unsigned char first, kv_utf8_use use) noexcept {
    if (kv_utf8_begin(c, first, use))
        kv_utf8_deliver(c);
    else
        c->pending = kv_pending::utf8;
}

void kv_key_continue(kv_call *c, unsigned char b) noexcept {
    switch (c->pending) {
    case kv_pending::escape:
        if (!kv_esc_feed(c, b)) return;
        c->pending = kv_pending::none;
        kv_edit_dispatch_key(c, c->esc.key);
        return;
    case kv_pending::utf8:
        if (!kv_utf8_feed(c, b)) return;
        c->pending = kv_pending::none;
        kv_utf8_deliver(c);
        return;
    case kv_pending::paste_end:
        kv_paste_end_feed(c, b);
        return;
    case kv_pending::none:
        return;
    }
}

void kv_key_expire(kv_call *c) noexcept {
    const kv_pending was = c->pending;
    c->pending = kv_pending::none;
    switch (was) {
    case kv_pending::escape:
        kv_edit_dispatch_key(c, kv_esc_timeout_key(c));
        return;
    case kv_pending::utf8:
        kv_utf8_deliver(c);
        return;
    case kv_pending::paste_end:
        kv_paste_insert(c, c->chunk, c->chunk_len);
        return;
    case kv_pending::none:
        return;
    }
}

void kv_key_complete(kv_call *c) noexcept {
    while (c->pending != kv_pending::none) {
        unsigned char b;
        if (kv_call_wait_byte(c, &b) > 0)
            kv_key_continue(c, b);
        else
            kv_key_expire(c);
    }
}

int kv_key_decode_escape(kv_call *c) noexcept {
    kv_esc_begin(c);
    for (;;) {
        unsigned char b;
        if (kv_call_wait_byte(c, &b) <= 0) return kv_esc_timeout_key(c);
        if (kv_esc_feed(c, b)) return c->esc.key;
    }
}

void kv_read_utf8_input(kv_call *c, unsigned char first, unsigned char *buf,
                        size_t *count) noexcept {
    bool done = kv_utf8_begin(c, first, kv_utf8_use::text);
    while (!done) {
        unsigned char b;
        if (kv_call_wait_byte(c, &b) <= 0) break;
        done = kv_utf8_feed(c, b);
    }
    for (size_t i = 0; i < c->chunk_len; ++i)
        buf[i] = c->chunk[i];
    *count = c->chunk_len;
}

void kv_edit_paste_byte(kv_call *c, unsigned char byte) noexcept {
    kv_paste_one(c, byte);
    // Bytes of the paste that are already waiting are taken at once, so the
    // loop redraws once per burst instead of once per byte.
    while (c->end == kv_end::none && c->st->flags.paste_active && kv_call_input_pending(c)) {
        unsigned char b;
        if (kv_call_wait_byte(c, &b) <= 0) break;
        kv_paste_one(c, b);
    }
}
