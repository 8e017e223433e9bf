// Tab on a real pseudo-terminal: what one, several or no candidates do to
// the line, whole clusters in the common prefix, the space after a single
// candidate, and completers that fail or offer what cannot be used.
#include "ext_session.h"

namespace {

struct TabRow {
    std::vector<std::string> words;
    std::string typed;    // keys typed before Enter
    std::string expected; // the line returned
};

TEST(ExtCompletion, TabInsertsWhatTheCandidatesAllow) {
    const TabRow rows[] = {
        {{}, "ma\t", "ma"},                                // no candidate
        {{"make"}, "ma\t", "make "},                       // one: a space follows
        {{"src/"}, "sr\t", "src/"},                        // ending in '/': no space
        {{"make", "man"}, "m\t", "ma"},                    // common prefix
        {{"make", "man"}, "ma\t\t", "ma"},                 // nothing more: unchanged
        {{"make", "make"}, "m\t", "make "},                // repeats count once
        {{"caf\xC3\xA9", "caf\xC3\xA8"}, "c\t", "caf"},    // UTF-8 never cut
        {{"e\xCC\x81x", "e\xCC\x82y"}, "\t", ""},          // combining marks: cluster kept whole
        {{"e\xCC\x81x", "e\xCC\x81y"}, "\t", "e\xCC\x81"}, // same cluster: taken
        {{"echo"}, "x\x01\t", "echo x"},                   // an empty range at the cursor
        {{"make"}, "ma\x02\t", "make a"},                  // only the range is replaced
    };
    for (const TabRow &r : rows) {
        ExtSession s;
        s.words.words = r.words;
        EXPECT_EQ(s.run(r.typed + "\r"), r.expected) << "typed " << r.typed;
    }
}

TEST(ExtCompletion, TheSpaceAfterOneCandidateCanBeTurnedOff) {
    const TabRow rows[] = {
        {{"make"}, "ma\t", "make"},
        {{"make", "man"}, "m\t", "ma"},
    };
    for (const TabRow &r : rows) {
        ExtSession s;
        kvx_detach(s.ext);
        kvx_options o;
        kvx_options_init(&o);
        o.completer = Words::complete;
        o.completer_data = &s.words;
        o.append_space = 0;
        ASSERT_EQ(kvx_attach(s.ed, &o, &s.ext), 0);
        s.words.words = r.words;
        EXPECT_EQ(s.run(r.typed + "\r"), r.expected) << "typed " << r.typed;
    }
}

} // namespace
