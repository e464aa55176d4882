#pragma once
// Recognises a terminal's control characters and escape sequences from a table of patterns,
// one character of host data at a time. A pattern is the sequence as the terminal's manual
// writes it, with placeholders for what varies:
//   %c  any one character (an argument)
//   %d  decimal digits, ended by the literal character that follows in the pattern
//   %s  text, ended by the literal character that follows (at most maxText characters)
//   %p  control-sequence parameters (digits and ; < = > ?, blanks ignored), ended by the
//       literal final character that follows
//   %%  a percent sign
// All patterns that fit the characters so far are followed at once; the first one (in table
// order) to be complete wins. A sequence that no pattern can continue is dropped; a control
// character that broke it is taken afresh.
//
// The patterns are indexed by their first two characters: a character that only begins longer
// patterns is held until the next one, and only the patterns that fit both are followed from
// there, so that each character costs the patterns it can still be part of (a flood of ESC
// starts none).

#include <QString>
#include <QVarLengthArray>

#include <array>
#include <vector>

namespace emu {

struct SequenceArgs
{
    // %c and %d values in pattern order (a %c gives the character's code).
    std::array<int, 4> values {};
    int valueCount = 0;
    static constexpr int maxParams = 32;
    // %p numbers; -1 where a parameter was left out. Held in place: a sequence followed by many
    // patterns at once costs no allocation per pattern.
    QVarLengthArray<int, maxParams> params;
    // The first of < = > ? among the %p characters, 0 when none.
    char32_t paramMark = 0;
    // %s
    QString text;

    int value(int i) const { return i < valueCount ? values[size_t(i)] : 0; }
    // A %p parameter, `fallback` when missing or 0 (the usual "0 means 1" of counts).
    int count(size_t i, int fallback = 1) const
    {
        const qsizetype at = qsizetype(i);
        return at < params.size() && params[at] > 0 ? params[at] : fallback;
    }
    int param(size_t i, int fallback = 0) const
    {
        const qsizetype at = qsizetype(i);
        return at < params.size() && params[at] >= 0 ? params[at] : fallback;
    }
};

class SequenceMatcher
{
public:
    static constexpr int maxText = 512;

    enum class Result {
        Plain, // the character is no part of a sequence
        Pending, // taken into a sequence that is not complete yet (or dropped with it)
        Matched, // a pattern is complete: matched() and args()
    };

    SequenceMatcher() = default;
    explicit SequenceMatcher(const std::vector<QByteArray> &patterns);

    Result feed(char32_t ch);
    bool idle() const { return m_active.empty() && m_held < 0; }
    void reset()
    {
        m_active.clear();
        m_held = -1;
    }
    int matched() const { return m_matched; }
    const SequenceArgs &args() const { return m_args; }

private:
    enum class Token : quint8 { Literal, AnyChar, Decimal, Text, Params };
    struct Step
    {
        Token token;
        char32_t literal; // the character itself, or the terminator of Decimal, Text, Params
    };
    struct Candidate
    {
        int pattern;
        int step;
        SequenceArgs args;
        int digits = -1; // digits of the %d or the %p parameter under way (-1: none yet)
    };
    enum class Advance { Fail, More, Done };

    // Patterns of one first character by their second step: byChar[c] those a second character
    // c < 128 may continue, beyond ASCII those whose second step is no ASCII literal; in table order.
    struct Seconds
    {
        std::array<std::vector<int>, 128> byChar;
        std::vector<int> beyondAscii;
    };

    Result start(char32_t ch);
    // The candidates of the first character held and the second one, ch (not yet taken).
    void follow(char32_t ch);
    void indexSeconds();
    Advance advance(Candidate &c, char32_t ch) const;

    std::vector<std::vector<Step>> m_patterns;
    // Patterns by their first character (controls, DEL and printable ASCII).
    std::array<std::vector<int>, 128> m_byFirst;
    std::array<int, 128> m_secondsOf {}; // index into m_seconds, -1 when the first char has none
    std::vector<Seconds> m_seconds;
    int m_held = -1; // the first character of a sequence whose second one is awaited
    std::vector<Candidate> m_active;
    int m_matched = -1;
    SequenceArgs m_args;
};

} // namespace emu
