#pragma once
// The escape syntax of the DEC and ANSI terminals as one state machine: ground, escape and its
// intermediates, control sequences (entry, parameters, intermediates, ignored), device control
// strings (entry, parameters, intermediates, the string, ignored), operating system commands and
// the strings nobody reads (SOS, PM, APC). Characters come in one at a time, already decoded
// (see hostencoding.h); what they make up goes to a VtParserSink.
//
// C0 controls act where they stand, inside a sequence too; CAN and SUB abort a sequence, ESC
// starts another one. The parser holds no more than it must: at most 16 parameters (more are
// ignored), each clamped to 65535, two intermediates (a sequence with more is ignored). Strings
// are handed on a character at a time; the sink decides what it keeps. Nothing is allocated
// after construction and nothing recurses.
//
// The Linux console's palette sequences (ESC ] P and seven hex digits, ESC ] R) have no
// terminator: with linuxPalette on, the parser reads them as the console does (a character that
// is no hex digit ends one and goes with it, controls act meanwhile).

#include <QtGlobal>

namespace emu {

struct VtSequence
{
    static constexpr int MaxParams = 16;
    static constexpr int MaxValue = 65535;
    static constexpr int Missing = -1;

    int params[MaxParams];
    // Bit i: parameter i follows a colon (a sub-parameter of the one before it).
    quint32 subParams = 0;
    int count = 0; // never more than MaxParams
    char leader = 0; // < = > ? before the parameters, 0 when none
    char inter[2] = {}; // intermediates (0x20-0x2F)
    int interCount = 0;
    char32_t final = 0;

    // Parameter i; `fallback` when it is missing or 0 (a DEC count or position).
    int arg(int i, int fallback = 1) const
    {
        return has(i) && params[i] > 0 ? params[i] : fallback;
    }
    // Parameter i as given; Missing when it was not.
    int raw(int i) const { return has(i) ? params[i] : Missing; }
    bool isSub(int i) const { return has(i) && (subParams >> i & 1); }
    // Parameter i was given (and is within the array, whatever count says).
    bool has(int i) const { return i >= 0 && i < count && i < MaxParams; }
    // The intermediate (0 when none).
    char intermediate() const { return interCount == 1 ? inter[0] : 0; }
};

class VtParserSink
{
public:
    virtual ~VtParserSink() = default;
    virtual void print(char32_t ch) = 0;
    virtual void execute(char32_t control) = 0;
    virtual void escape(const VtSequence &seq) = 0;
    virtual void controlSequence(const VtSequence &seq) = 0;
    // A device control string: its header, each character of it, its end (aborted: false).
    virtual void dcsStart(const VtSequence &seq) = 0;
    virtual void dcsPut(char32_t ch) = 0;
    virtual void dcsEnd(bool complete) = 0;
    // The Linux console's palette: index 0-15 to rgb; index -1 the session's own colours.
    virtual void linuxPalette(int index, quint32 rgb) = 0;
};

class VtParser
{
public:
    enum class State : quint8 {
        Ground,
        Escape,
        EscapeIntermediate,
        CsiEntry,
        CsiParam,
        CsiIntermediate,
        CsiIgnore,
        DcsEntry,
        DcsParam,
        DcsIntermediate,
        DcsPassthrough,
        DcsIgnore,
        OscString,
        IgnoredString, // SOS, PM, APC
        StringEscape, // ESC inside a string: ST, or the start of another sequence
        Palette,
    };

    explicit VtParser(VtParserSink *sink)
        : m_sink(sink)
    { }

    void setLinuxPalette(bool on) { m_linuxPalette = on; }
    State state() const { return m_state; }
    bool inGround() const { return m_state == State::Ground; }
    // Back to ground, a string under way given up.
    void reset();
    void put(char32_t ch);

private:
    void clearSequence();
    void param(char32_t ch);
    void collect(char32_t ch);
    void endString();
    void enterEscape() { m_state = State::Escape; clearSequence(); }
    // C0 controls, ESC, CAN and SUB as every state but the strings takes them; true when done.
    bool anywhere(char32_t ch);

    VtParserSink *m_sink;
    State m_state = State::Ground;
    State m_stringState = State::Ground; // the string an ESC interrupted
    bool m_linuxPalette = false;
    bool m_oscFirst = false;
    bool m_paramStarted = false;
    bool m_paramsFull = false; // past the last parameter kept: the rest is read and ignored
    int m_paletteDigits = 0;
    quint32 m_paletteValue = 0;
    VtSequence m_seq;
};

} // namespace emu
