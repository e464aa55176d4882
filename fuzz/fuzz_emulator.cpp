// Fuzz target: host bytes to the terminal's screen, for every terminal type, with resizes, type
// switches, changes of the pages of display memory and of the host encoding among them (the
// steps of tests/common/hoststream.h), through the host protocol's parser as the control takes
// them. The first byte picks the terminal type (byte % 18) and the pages of display memory to
// start with (1 + byte / 18 % 3). Whatever the host sends, the screen takes it in bounded time,
// keeps the cursor on the screen and reads back every row.

#include "common/hoststream.h"
#include "fuzzinput.h"

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    emu::Screen screen(24, 80, 50);
    screen.setTerminalType(data[0] % hoststream::termTypes);
    emu::TerminalOptions options;
    options.pages = 1 + data[0] / hoststream::termTypes % 3;
    screen.setOptions(options);
    screen.setAnswerBack("answer");
    hoststream::play(
        screen, QByteArrayView(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1)));

    check(screen.rows() >= 1 && screen.cols() >= 1);
    const QPoint cursor = screen.cursor();
    check(cursor.y() >= 0 && cursor.y() < screen.rows());
    check(cursor.x() >= 0 && cursor.x() <= screen.cols());
    std::vector<emu::Cell> row(size_t(screen.cols()));
    for (int r = 0; r < screen.rows(); ++r) {
        screen.readRow(r, row.data());
        check(screen.rowText(r).size() <= 2 * screen.cols());
    }
    for (int i = 0; i < screen.historyCount(); ++i)
        screen.historyText(i);
    screen.statusLine();
    screen.takeDamage();
    return 0;
}
