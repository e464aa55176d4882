#include "emulator/sequencematcher.h"

namespace emu {

namespace {

// Blanks are taken (and mean nothing) so that numbers padded to a width still read.
bool isParamChar(char32_t ch)
{
    return (ch >= '0' && ch <= '9') || ch == ';' || (ch >= '<' && ch <= '?') || ch == ' ';
}

bool isControl(char32_t ch)
{
    return ch < 0x20 || ch == 0x7F;
}

} // namespace

SequenceMatcher::SequenceMatcher(const std::vector<QByteArray> &patterns)
{
    for (const QByteArray &pattern : patterns) {
        std::vector<Step> steps;
        for (qsizetype i = 0; i < pattern.size(); ++i) {
            const uchar c = uchar(pattern.at(i));
            if (c != '%' || i + 1 >= pattern.size()) {
                steps.push_back({ Token::Literal, c });
                continue;
            }
            const char kind = pattern.at(++i);
            if (kind == 'c') {
                steps.push_back({ Token::AnyChar, 0 });
                continue;
            }
            if (kind == '%') {
                steps.push_back({ Token::Literal, '%' });
                continue;
            }
            // %d, %s and %p end at the literal that follows, which they take in.
            Q_ASSERT_X(kind == 'd' || kind == 's' || kind == 'p', "SequenceMatcher",
                pattern.constData());
            const Token token = kind == 'd' ? Token::Decimal : kind == 's' ? Token::Text : Token::Params;
            const char32_t end = i + 1 < pattern.size() ? uchar(pattern.at(++i)) : 0;
            steps.push_back({ token, end });
        }
        const int index = int(m_patterns.size());
        if (!steps.empty() && steps.front().token == Token::Literal && steps.front().literal < 128)
            m_byFirst[steps.front().literal].push_back(index);
        m_patterns.push_back(std::move(steps));
    }
    indexSeconds();
}

void SequenceMatcher::indexSeconds()
{
    m_secondsOf.fill(-1);
    for (size_t first = 0; first < m_byFirst.size(); ++first) {
        if (m_byFirst[first].empty())
            continue;
        Seconds seconds;
        for (const int pattern : m_byFirst[first]) {
            const std::vector<Step> &steps = m_patterns[size_t(pattern)];
            if (steps.size() < 2)
                continue;
            const Step &second = steps[1];
            const bool asciiLiteral = second.token == Token::Literal && second.literal < 128;
            for (char32_t c = 0; c < 128; ++c) {
                if (!asciiLiteral || second.literal == c)
                    seconds.byChar[c].push_back(pattern);
            }
            if (!asciiLiteral)
                seconds.beyondAscii.push_back(pattern);
        }
        m_secondsOf[first] = int(m_seconds.size());
        m_seconds.push_back(std::move(seconds));
    }
}

SequenceMatcher::Result SequenceMatcher::feed(char32_t ch)
{
    if (m_held >= 0)
        follow(ch);
    else if (m_active.empty())
        return start(ch);
    // The candidates that go on stay in place, in order (moved only past those that failed).
    size_t kept = 0;
    for (size_t i = 0; i < m_active.size(); ++i) {
        Candidate &c = m_active[i];
        switch (advance(c, ch)) {
        case Advance::Fail:
            break;
        case Advance::More:
            if (kept != i)
                m_active[kept] = std::move(c);
            ++kept;
            break;
        case Advance::Done:
            // Candidates are in table order: the first one done wins.
            m_matched = c.pattern;
            m_args = std::move(c.args);
            m_active.clear();
            return Result::Matched;
        }
    }
    m_active.resize(kept);
    if (!m_active.empty())
        return Result::Pending;
    // Nothing continues: the sequence is dropped; a control character acts on its own.
    return isControl(ch) ? start(ch) : Result::Pending;
}

SequenceMatcher::Result SequenceMatcher::start(char32_t ch)
{
    if (ch >= 128 || m_byFirst[ch].empty())
        return Result::Plain;
    const std::vector<int> &first = m_byFirst[ch];
    for (int pattern : first) {
        if (m_patterns[size_t(pattern)].size() == 1) {
            m_matched = pattern;
            m_args = SequenceArgs();
            return Result::Matched;
        }
    }
    m_held = int(ch);
    return Result::Pending;
}

void SequenceMatcher::follow(char32_t ch)
{
    const Seconds &seconds = m_seconds[size_t(m_secondsOf[size_t(m_held)])];
    m_held = -1;
    for (const int pattern : ch < 128 ? seconds.byChar[ch] : seconds.beyondAscii)
        m_active.push_back({ pattern, 1, SequenceArgs() });
}

SequenceMatcher::Advance SequenceMatcher::advance(Candidate &c, char32_t ch) const
{
    const std::vector<Step> &steps = m_patterns[size_t(c.pattern)];
    const Step &step = steps[size_t(c.step)];
    auto next = [&] { return ++c.step == int(steps.size()) ? Advance::Done : Advance::More; };
    SequenceArgs &a = c.args;
    switch (step.token) {
    case Token::Literal:
        return ch == step.literal ? next() : Advance::Fail;
    case Token::AnyChar:
        if (a.valueCount < int(a.values.size()))
            a.values[size_t(a.valueCount++)] = int(ch);
        return next();
    case Token::Decimal:
        if (ch >= '0' && ch <= '9') {
            c.digits = std::min(99999, std::max(0, c.digits) * 10 + int(ch - '0'));
            return Advance::More;
        }
        if (ch != step.literal || c.digits < 0)
            return Advance::Fail;
        if (a.valueCount < int(a.values.size()))
            a.values[size_t(a.valueCount++)] = c.digits;
        c.digits = -1;
        return next();
    case Token::Text:
        if (ch == step.literal)
            return next();
        if (a.text.size() >= maxText)
            return Advance::Fail;
        a.text += QString::fromUcs4(&ch, 1);
        return Advance::More;
    case Token::Params:
        if (isParamChar(ch)) {
            if (ch >= '0' && ch <= '9') {
                c.digits = std::min(99999, std::max(0, c.digits) * 10 + int(ch - '0'));
            } else if (ch == ';') {
                a.params.push_back(c.digits);
                c.digits = -1;
            } else if (ch != ' ' && a.paramMark == 0) {
                a.paramMark = ch;
            }
            return a.params.size() < SequenceArgs::maxParams ? Advance::More : Advance::Fail;
        }
        if (ch != step.literal)
            return Advance::Fail;
        if (c.digits >= 0 || !a.params.empty())
            a.params.push_back(c.digits);
        c.digits = -1;
        return next();
    }
    return Advance::Fail;
}

} // namespace emu
