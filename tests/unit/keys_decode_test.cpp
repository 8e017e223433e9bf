// Key decoding through a pipe: the escape decoder with both introducers,
// unknown sequences consumed whole, saturating numbers, and the collection of
// a typed character's continuation bytes.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <utility>

#include "keys_call.h"

namespace {

struct Row {
    const char *after_esc; // bytes that follow the ESC
    int key;
};

// Decodes ESC + bytes followed by a sentinel and checks both the key and that
// exactly the sequence was consumed (the sentinel is the next byte).
void expect_decodes(const std::string &after_esc, int key) {
    KeysCall k;
    ASSERT_TRUE(k.ok());
    k.feed(after_esc + "z");
    EXPECT_EQ(kv_key_decode_escape(&k.c), key) << "ESC " << after_esc;
    EXPECT_EQ(k.rest(), "z") << "ESC " << after_esc;
}

// Every row of the table that uses an introducer, tried with [ and with O.
constexpr Row kv_introduced_rows[] = {
    {"A", KV_KEY_UP},
    {"B", KV_KEY_DOWN},
    {"D", KV_KEY_LEFT},
    {"C", KV_KEY_RIGHT},
    {"H", KV_KEY_HOME},
    {"1~", KV_KEY_HOME},
    {"7~", KV_KEY_HOME},
    {"F", KV_KEY_END},
    {"4~", KV_KEY_END},
    {"8~", KV_KEY_END},
    {"3~", KV_KEY_DELETE},
    {"200~", KV_KEY_PASTE_START},
    {"201~", KV_KEY_PASTE_END},
    {"P", KV_KEY_F1},
    {"Q", KV_KEY_F2},
    {"R", KV_KEY_F3},
    {"S", KV_KEY_F4},
    {"11~", KV_KEY_F1},
    {"12~", KV_KEY_F2},
    {"13~", KV_KEY_F3},
    {"14~", KV_KEY_F4},
    {"15~", KV_KEY_F5},
    {"17~", KV_KEY_F6},
    {"18~", KV_KEY_F7},
    {"19~", KV_KEY_F8},
    {"20~", KV_KEY_F9},
    {"21~", KV_KEY_F10},
    {"13;5u", KV_KEY_CTRL_ENTER},
    // A modifier on a ~ key is dropped; leading zeros do not matter.
    {"3;5~", KV_KEY_DELETE},
    {"003~", KV_KEY_DELETE},
    {"13;05u", KV_KEY_CTRL_ENTER},
};

TEST(KeyDecode, EveryTableRowWithBothIntroducers) {
    for (const Row &r : kv_introduced_rows) {
        expect_decodes(std::string("[") + r.after_esc, r.key);
        expect_decodes(std::string("O") + r.after_esc, r.key);
    }
}

TEST(KeyDecode, NumbersOutsideTheTableAndOtherFinalsAreUnrecognised) {
    const char *rows[] = {"0~",  "2~",   "5~",   "6~",   "9~",   "10~",   "16~",
                          "22~", "199~", "202~", "1;5D", "1;5C", "13;4u", "12;5u",
                          "13u", "E",    "Z",    "a",    "5x",   "1;5x"};
    for (const char *r : rows) {
        expect_decodes(std::string("[") + r, KV_KEY_UNRECOGNISED);
        expect_decodes(std::string("O") + r, KV_KEY_UNRECOGNISED);
    }
}

TEST(KeyDecode, HugeNumbersSaturateInsteadOfWrapping) {
    // 2^32 + 3 and 2^32 + 13 would wrap around to Delete and Ctrl-Enter.
    expect_decodes("[4294967299~", KV_KEY_UNRECOGNISED);
    expect_decodes("[4294967309;5u", KV_KEY_UNRECOGNISED);
    expect_decodes("[13;4294967301u", KV_KEY_UNRECOGNISED);
    expect_decodes("[3;99999999999999999999999~", KV_KEY_DELETE);
    expect_decodes("[99999999999999999999999999999999~", KV_KEY_UNRECOGNISED);
}

TEST(KeyDecode, AltLettersAndWordKeys) {
    expect_decodes("b", KV_KEY_ALT_B);
    expect_decodes("f", KV_KEY_ALT_F);
    expect_decodes("x", KV_KEY_ALT + 'x');
    expect_decodes("a", KV_KEY_ALT + 'a');
    expect_decodes("z", KV_KEY_ALT + 'z');
    expect_decodes("A", KV_KEY_ALT + 'A');
    expect_decodes("Z", KV_KEY_ALT + 'Z');
    expect_decodes("B", KV_KEY_ALT + 'B');
    expect_decodes("1", KV_KEY_UNRECOGNISED);
    expect_decodes("\x7f", KV_KEY_UNRECOGNISED);
    expect_decodes("\r", KV_KEY_UNRECOGNISED);
}

TEST(KeyDecode, AltWithANonAsciiCharacterSwallowsTheWholeCharacter) {
    expect_decodes("\xc3\xa9", KV_KEY_UNRECOGNISED);
    expect_decodes("\xe2\x82\xac", KV_KEY_UNRECOGNISED);
}

TEST(KeyDecode, EscAloneWaitsForTheTimeOut) {
    KeysCall k;
    EXPECT_EQ(kv_key_decode_escape(&k.c), 27); // 100 ms with nothing to read
    k.feed("x");
    EXPECT_EQ(k.rest(), "x");
}

TEST(KeyDecode, EndOfInputEndsASequence) {
    const std::pair<const char *, int> rows[] = {
        {"", 27},
        {"[", KV_KEY_UNRECOGNISED},
        {"O", KV_KEY_UNRECOGNISED},
        {"[1", KV_KEY_UNRECOGNISED},
        {"[13;5", KV_KEY_UNRECOGNISED},
        {"[<0;1", KV_KEY_UNRECOGNISED},
        {"]0;title", KV_KEY_UNRECOGNISED},
        {"P", KV_KEY_ALT + 'P'},
        {"P1$r", KV_KEY_UNRECOGNISED},
    };
    for (auto [bytes, key] : rows) {
        KeysCall k;
        k.feed(bytes);
        k.close_input();
        EXPECT_EQ(kv_key_decode_escape(&k.c), key) << "ESC " << bytes;
        EXPECT_EQ(k.rest(), "");
    }
}

TEST(KeyDecode, UnknownSequencesAreConsumedToTheirFinalByte) {
    expect_decodes("[27;5;9~", KV_KEY_UNRECOGNISED);  // modified key, three numbers
    expect_decodes("[<0;10;5M", KV_KEY_UNRECOGNISED); // mouse report
    expect_decodes("[?62;22c", KV_KEY_UNRECOGNISED);  // device attributes reply
    expect_decodes("[1;5;7;8;9;10;11A", KV_KEY_UNRECOGNISED);
    expect_decodes("[2 q", KV_KEY_UNRECOGNISED); // intermediate byte
    expect_decodes("[>1;2;3c", KV_KEY_UNRECOGNISED);
    expect_decodes("O2;3P", KV_KEY_UNRECOGNISED);
    expect_decodes("[[A", KV_KEY_UNRECOGNISED); // Linux console F1
    expect_decodes("[[E", KV_KEY_UNRECOGNISED);
}

TEST(KeyDecode, StringsAreConsumedUpToTheirTerminator) {
    expect_decodes("]11;rgb:0000/0000/0000\a", KV_KEY_UNRECOGNISED);
    expect_decodes("]0;a title \xc3\xa9\x1b\\", KV_KEY_UNRECOGNISED);
    expect_decodes("P1$r0m\x1b\\", KV_KEY_UNRECOGNISED);
    expect_decodes("]\a", KV_KEY_UNRECOGNISED);
}

TEST(KeyDecode, AByteThatCannotBelongEndsTheSequenceAndIsReadAgain) {
    const std::pair<const char *, const char *> rows[] = {
        {"[1;5\x01", "\x01"}, {"[\r", "\r"},        {"[12\n", "\n"},        {"[?6\x7f", "\x7f"},
        {"O\xc3", "\xc3"},    {"]0;t\x03", "\x03"}, {"[1\x1b[A", "\x1b[A"}, {"[[\r", "\r"},
    };
    for (auto [bytes, left] : rows) {
        KeysCall k;
        k.feed(bytes);
        EXPECT_EQ(kv_key_decode_escape(&k.c), KV_KEY_UNRECOGNISED) << "ESC " << bytes;
        EXPECT_EQ(k.rest(), left) << "ESC " << bytes;
    }
}

TEST(KeyDecode, ASecondEscStartsAKeyOfItsOwn) {
    KeysCall k;
    k.feed("\x1b[A");
    EXPECT_EQ(kv_key_decode_escape(&k.c), KV_KEY_UNRECOGNISED);
    unsigned char b = 0;
    ASSERT_GT(kv_call_wait_byte(&k.c, &b), 0);
    EXPECT_EQ(b, 27);
    EXPECT_EQ(kv_key_decode_escape(&k.c), KV_KEY_UP);
    EXPECT_EQ(k.rest(), "");
}

TEST(KeyDecode, AnEscInsideAStringThatIsNotItsEndStartsTheNextKey) {
    KeysCall k;
    k.feed("]0;t\x1b[Bz");
    EXPECT_EQ(kv_key_decode_escape(&k.c), KV_KEY_UNRECOGNISED);
    unsigned char b = 0;
    ASSERT_GT(kv_call_wait_byte(&k.c, &b), 0);
    EXPECT_EQ(b, 27);
    EXPECT_EQ(kv_key_decode_escape(&k.c), KV_KEY_DOWN);
    EXPECT_EQ(k.rest(), "z");
}

TEST(KeyDecode, AnEndlessStringIsGivenUpAfterItsBound) {
    KeysCall k;
    std::string s = "]";
    s.append(70000, 'x');
    // The writer runs ahead of the pipe's capacity, so feed from a thread.
    std::thread writer([&] { k.feed(s); });
    EXPECT_EQ(kv_key_decode_escape(&k.c), KV_KEY_UNRECOGNISED);
    writer.join();
    std::string left = k.rest();
    EXPECT_GT(left.size(), 0u);
    EXPECT_LT(left.size(), 70000u);
    EXPECT_EQ(left.find_first_not_of('x'), std::string::npos);
}

// ---- typed characters ---------------------------------------------------------------

struct Utf8Read {
    std::string bytes;
    std::string left;
};

Utf8Read read_char(unsigned char first, const std::string &more, bool close = true) {
    KeysCall k;
    k.feed(more);
    if (close) k.close_input();
    unsigned char buf[4] = {};
    size_t count = 0;
    kv_read_utf8_input(&k.c, first, buf, &count);
    return {std::string(reinterpret_cast<char *>(buf), count), k.rest()};
}

TEST(KeyUtf8, CollectsTheContinuationBytesOfEachLength) {
    EXPECT_EQ(read_char('a', "bc").bytes, "a");
    EXPECT_EQ(read_char('a', "bc").left, "bc");
    Utf8Read two = read_char(0xc3, "\xa9x");
    EXPECT_EQ(two.bytes, "\xc3\xa9");
    EXPECT_EQ(two.left, "x");
    EXPECT_EQ(read_char(0xe2, "\x82\xacx").bytes, "\xe2\x82\xac");
    Utf8Read four = read_char(0xf0, "\x9f\x98\x80\x80");
    EXPECT_EQ(four.bytes, "\xf0\x9f\x98\x80");
    EXPECT_EQ(four.left, "\x80");
}

TEST(KeyUtf8, StrayAndInvalidLeadBytesStandAlone) {
    for (unsigned char b : {0x80, 0xbf, 0xf8, 0xff}) {
        Utf8Read r = read_char(b, "\x80\x80");
        EXPECT_EQ(r.bytes, std::string(1, static_cast<char>(b)));
        EXPECT_EQ(r.left, "\x80\x80");
    }
}

TEST(KeyUtf8, TheByteThatCutsACharacterShortIsReadAgain) {
    Utf8Read r = read_char(0xc3, "a");
    EXPECT_EQ(r.bytes, "\xc3");
    EXPECT_EQ(r.left, "a");
    r = read_char(0xe2, "\x82\r");
    EXPECT_EQ(r.bytes, "\xe2\x82");
    EXPECT_EQ(r.left, "\r");
    r = read_char(0xf0, "\x9f\x1b[A");
    EXPECT_EQ(r.bytes, "\xf0\x9f");
    EXPECT_EQ(r.left, "\x1b[A");
}

TEST(KeyUtf8, ATimeOutKeepsTheBytesCollected) {
    EXPECT_EQ(read_char(0xe2, "", false).bytes, "\xe2"); // waits 100 ms
    EXPECT_EQ(read_char(0xe2, "\x82", false).bytes, "\xe2\x82");
    EXPECT_EQ(read_char(0xf0, "\x9f\x98").bytes, "\xf0\x9f\x98");
}

} // namespace
