#pragma once
// Host data with the user's doings between its bytes, as the terminal-type tests and the
// emulator fuzz target play it to a screen: a step begins with the bytes 0xFF 0xFE (never
// UTF-8, and rare from a single-byte host) and one letter:
//   'R' r c   resize to 1 + r rows and 1 + c columns (one byte each)
//   'T' t     switch to terminal type t % 18
//   'E'       swap the host encoding (UTF-8, single-byte)
//   'P' n     pages of display memory: 1 + n % 6, the other options kept (as a change of the
//             session's settings sets them)
// The mark before another letter is host data.
// A step cut off at the end of the data is left out. Everything between the steps goes to the
// screen through the host protocol's parser, as the control sends it: the display bytes reach
// the screen, requests are left out. Header-only; include it as "common/hoststream.h".

#include "emulator/hostprotocol.h"
#include "emulator/screen.h"

#include <QByteArray>
#include <QByteArrayView>

namespace hoststream {

inline constexpr char mark[] = "\xff\xfe";
inline constexpr int termTypes = 18;

inline QByteArray resize(int rows, int cols)
{
    return QByteArray(mark) + 'R' + char(rows - 1) + char(cols - 1);
}

inline QByteArray switchType(int termType)
{
    return QByteArray(mark) + 'T' + char(termType);
}

inline QByteArray swapEncoding()
{
    return QByteArray(mark) + 'E';
}

inline QByteArray setPages(int pages)
{
    return QByteArray(mark) + 'P' + char(pages - 1);
}

// Plays the stream to the screen.
inline void play(emu::Screen &screen, QByteArrayView stream)
{
    emu::HostProtocol protocol;
    auto show = [&](QByteArrayView bytes) {
        if (bytes.isEmpty())
            return;
        for (const emu::HostPiece &piece : protocol.parse(bytes)) {
            if (!piece.isRequest)
                screen.feed(piece.display);
        }
    };
    qsizetype at = 0;
    while (at < stream.size()) {
        const qsizetype step = stream.indexOf(QByteArrayView(mark), at);
        if (step < 0) {
            show(stream.sliced(at));
            return;
        }
        show(stream.sliced(at, step - at));
        const QByteArrayView rest = stream.sliced(step + 2);
        const auto byte = [&rest](qsizetype i) { return int(uchar(rest[i])); };
        if ((rest.startsWith('R') && rest.size() < 3)
            || ((rest.startsWith('T') || rest.startsWith('P')) && rest.size() < 2))
            return;
        if (rest.startsWith('R')) {
            screen.resize(1 + byte(1), 1 + byte(2));
            at = step + 5;
        } else if (rest.startsWith('T')) {
            screen.setTerminalType(byte(1) % termTypes);
            at = step + 4;
        } else if (rest.startsWith('P')) {
            emu::TerminalOptions options = screen.options();
            options.pages = 1 + byte(1) % 6;
            screen.setOptions(options);
            at = step + 4;
        } else if (rest.startsWith('E')) {
            screen.setHostEncoding(screen.hostEncoding() == emu::HostEncoding::Utf8
                    ? emu::HostEncoding::SingleByte
                    : emu::HostEncoding::Utf8);
            at = step + 3;
        } else {
            show(stream.sliced(step, 2)); // no step: host bytes
            at = step + 2;
        }
    }
}

} // namespace hoststream
