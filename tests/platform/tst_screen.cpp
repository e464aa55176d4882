// The character screen: the plain TTY, the VT family through libvterm, history, selection and
// the damage notices that let the view coalesce repaints.

#include "emulator/screen.h"
#include "emulator/screenview.h"

#include <QRandomGenerator>
#include <QSignalSpy>
#include <QtTest>

using emu::Cell;
using emu::Screen;

namespace {

constexpr int Tty = 0;
constexpr int Vt100 = 12;

QString trimmed(const QString &s)
{
    QString t = s;
    while (t.endsWith(u' '))
        t.chop(1);
    return t;
}

QStringList screenLines(const Screen &screen)
{
    QStringList lines;
    for (int r = 0; r < screen.rows(); ++r)
        lines << trimmed(screen.rowText(r));
    while (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

void addFeedColumns()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QPoint>("cursor");
}

// Feeds the row's input to a 4 x 20 screen and compares its lines and cursor.
void feedAndCompare(int termType)
{
    QFETCH(QByteArray, input);
    QFETCH(QStringList, lines);
    QFETCH(QPoint, cursor);
    Screen screen(4, 20, 10);
    screen.setTerminalType(termType);
    screen.feed(input);
    QCOMPARE(screenLines(screen), lines);
    QCOMPARE(screen.cursor(), cursor);
}

Cell cellAt(const Screen &screen, int row, int col)
{
    std::vector<Cell> cells(static_cast<size_t>(screen.cols()));
    screen.readRow(row, cells.data());
    return cells[size_t(col)];
}

} // namespace

class TestScreen : public QObject
{
    Q_OBJECT

private slots:
    void ttyControls_data();
    void ttyControls();
    void bothFamilies_data();
    void putTextAndClear_data();
    void putTextAndClear();
    void bell_data() { bothFamilies_data(); }
    void bell();
    void historyKeepsNewestLines_data() { bothFamilies_data(); }
    void historyKeepsNewestLines();
    void historyZeroKeepsNothing();
    void vtEscapes_data();
    void vtEscapes();
    void vtAttributes();
    void vtAnswers_data();
    void vtAnswers();
    void answerBack_data() { bothFamilies_data(); }
    void answerBack();
    void printScreenRequest();
    void putCellsAtMarginDoesNotWrapHostText();
    void putTextIgnoresTheHostsModes();
    void switchingFamilyRestartsEmulation();
    void keys_data();
    void keys();
    void selectionFollowsScrolledText();
    void selectionText_data();
    void selectionText();
    void resizeKeepsCursorRow_data() { bothFamilies_data(); }
    void resizeKeepsCursorRow();
    void damageIsSignalledOncePerFrame();
    void viewPaintsWithoutCrashing();
    void hostileStreams_data() { bothFamilies_data(); }
    void hostileStreams();
};

void TestScreen::ttyControls_data()
{
    addFeedColumns();
    QTest::newRow("printable") << QByteArray("abc") << QStringList { "abc" } << QPoint(3, 0);
    QTest::newRow("CR returns to column 0")
        << QByteArray("abc\rX") << QStringList { "Xbc" } << QPoint(1, 0);
    QTest::newRow("LF moves down only")
        << QByteArray("ab\ncd") << QStringList { "ab", "  cd" } << QPoint(4, 1);
    QTest::newRow("BS moves left")
        << QByteArray("abc\b\bX") << QStringList { "aXc" } << QPoint(2, 0);
    QTest::newRow("BS stops at column 0")
        << QByteArray("\b\bX") << QStringList { "X" } << QPoint(1, 0);
    QTest::newRow("HT to the next stop")
        << QByteArray("a\tb") << QStringList { "a       b" } << QPoint(9, 0);
    QTest::newRow("HT stops at the margin")
        << QByteArray(QByteArray(18, 'x') + "\t\tY") << QStringList { QString(18, u'x') + " Y" }
        << QPoint(19, 0);
    QTest::newRow("FF clears and homes")
        << QByteArray("ab\r\ncd\fX") << QStringList { "X" } << QPoint(1, 0);
    QTest::newRow("escape sequences are shown")
        << QByteArray("a\x1b[1mb") << QStringList { "a[1mb" } << QPoint(5, 0);
    QTest::newRow("other controls ignored") << QByteArray("a\x01\x7f\x85\x9b"
                                                          "b")
                                            << QStringList { "ab" } << QPoint(2, 0);
    QTest::newRow("Latin-1 bytes")
        << QByteArray("caf\xe9 \xa9") << QStringList { "café ©" } << QPoint(6, 0);
    QTest::newRow("wrap at the margin") << QByteArray(QByteArray(20, 'a') + "b")
                                        << QStringList { QString(20, u'a'), "b" } << QPoint(1, 1);
    QTest::newRow("full line then CR LF makes no blank line")
        << QByteArray(QByteArray(20, 'a') + "\r\nb") << QStringList { QString(20, u'a'), "b" }
        << QPoint(1, 1);
    QTest::newRow("cursor waits at the margin")
        << QByteArray(20, 'a') << QStringList { QString(20, u'a') } << QPoint(19, 0);
    QTest::newRow("LF at the bottom scrolls") << QByteArray("1\r\n2\r\n3\r\n4\r\n5")
                                              << QStringList { "2", "3", "4", "5" } << QPoint(1, 3);
}

void TestScreen::ttyControls()
{
    feedAndCompare(Tty);
}

void TestScreen::bothFamilies_data()
{
    QTest::addColumn<int>("termType");
    QTest::newRow("TTY") << Tty;
    QTest::newRow("VT100") << Vt100;
}

void TestScreen::putTextAndClear_data()
{
    bothFamilies_data();
}

void TestScreen::putTextAndClear()
{
    QFETCH(int, termType);
    Screen screen(3, 10, 0);
    screen.setTerminalType(termType);
    screen.feed("hello\r\nworld");
    const QPoint cursor = screen.cursor();
    screen.putText(0, 7, QStringLiteral("XYZW"), 0x1E); // yellow on blue, cut at the margin
    QCOMPARE(trimmed(screen.rowText(0)), QStringLiteral("hello  XYZ"));
    const Cell c = cellAt(screen, 0, 8);
    QCOMPARE(int(c.fg), 14);
    QCOMPARE(int(c.bg), 1);
    QCOMPARE(screen.cursor(), cursor);
    screen.putText(1, -2, QStringLiteral("abZ\u20ac"), -1); // left of the screen cut off
    QCOMPARE(trimmed(screen.rowText(1)), QStringLiteral("Z?rld"));
    screen.clearRect(1, 0, 2, 1, -1);
    QCOMPARE(screenLines(screen), (QStringList { "h  lo  XYZ", "Z  ld" }));
    // The host's text after the API's goes where the cursor was.
    screen.feed("!");
    QCOMPARE(trimmed(screen.rowText(1)), QStringLiteral("Z  ld!"));
}

void TestScreen::bell()
{
    QFETCH(int, termType);
    Screen screen(3, 10, 0);
    screen.setTerminalType(termType);
    QSignalSpy spy(&screen, &Screen::bell);
    screen.feed("a\ab\a");
    QCOMPARE(spy.count(), 2);
    QCOMPARE(trimmed(screen.rowText(0)), QStringLiteral("ab"));
}

void TestScreen::historyKeepsNewestLines()
{
    QFETCH(int, termType);
    Screen screen(4, 20, 5);
    screen.setTerminalType(termType);
    QByteArray data;
    for (int i = 0; i < 30; ++i)
        data += "line " + QByteArray::number(i) + "\r\n";
    screen.feed(data);
    // 30 lines and an empty one: 27 left the screen, the newest 5 of them are kept.
    QCOMPARE(screen.historyCount(), 5);
    QCOMPARE(trimmed(screen.historyText(0)), QStringLiteral("line 22"));
    QCOMPARE(trimmed(screen.historyText(4)), QStringLiteral("line 26"));
    QCOMPARE(trimmed(screen.rowText(0)), QStringLiteral("line 27"));
    QCOMPARE(screen.firstLine(), qint64(22));
    QCOMPARE(trimmed(screen.lineText(24)), QStringLiteral("line 24"));
    QCOMPARE(trimmed(screen.lineText(27)), QStringLiteral("line 27"));
    QVERIFY(screen.lineText(3).isEmpty());
    screen.clearHistory();
    QCOMPARE(screen.historyCount(), 0);
}

void TestScreen::historyZeroKeepsNothing()
{
    Screen screen(2, 10, 0);
    screen.feed("a\r\nb\r\nc\r\nd");
    QCOMPARE(screen.historyCount(), 0);
    QCOMPARE(screenLines(screen), (QStringList { "c", "d" }));
    screen.setHistoryCapacity(3);
    screen.feed("\r\ne\r\nf");
    QCOMPARE(screen.historyCount(), 2);
    QCOMPARE(trimmed(screen.historyText(0)), QStringLiteral("c"));
}

void TestScreen::vtEscapes_data()
{
    addFeedColumns();
    QTest::newRow("cursor position")
        << QByteArray("\x1b[3;5HX") << QStringList { "", "", "    X" } << QPoint(5, 2);
    QTest::newRow("cursor up and forward")
        << QByteArray("\x1b[4;1H\x1b[2A\x1b[3CY") << QStringList { "", "   Y" } << QPoint(4, 1);
    QTest::newRow("erase display")
        << QByteArray("abc\r\ndef\x1b[2J") << QStringList {} << QPoint(3, 1);
    QTest::newRow("erase to end of line")
        << QByteArray("abcdef\x1b[1;3H\x1b[K") << QStringList { "ab" } << QPoint(2, 0);
    QTest::newRow("erase below") << QByteArray("aa\r\nbb\r\ncc\x1b[2;2H\x1b[J")
                                 << QStringList { "aa", "b" } << QPoint(1, 1);
    QTest::newRow("insert and delete characters")
        << QByteArray("abcd\x1b[1;2H\x1b[2@XY\x1b[P") << QStringList { "aXYcd" } << QPoint(3, 0);
    QTest::newRow("Latin-1 bytes")
        << QByteArray("na\xefve \xff") << QStringList { "naïve ÿ" } << QPoint(7, 0);
    QTest::newRow("8-bit CSI") << QByteArray("ab\x9b"
                                             "1;1HX")
                               << QStringList { "Xb" } << QPoint(1, 0);
    QTest::newRow("line drawing set")
        << QByteArray("\x1b(0qx\x1b(Bq") << QStringList { QStringLiteral("\u2500\u2502q") }
        << QPoint(3, 0);
    QTest::newRow("scroll region") << QByteArray("1\r\n2\r\n3\r\n4\x1b[2;3r\x1b[3;1H\n")
                                   << QStringList { "1", "3", "", "4" } << QPoint(0, 2);
}

void TestScreen::vtEscapes()
{
    feedAndCompare(Vt100);
}

void TestScreen::vtAttributes()
{
    Screen screen(2, 20, 0);
    screen.setTerminalType(Vt100);
    screen.feed("a\x1b[1;4;31;42mb\x1b[7mc\x1b[0md\x1b[38;5;200me");
    const Cell a = cellAt(screen, 0, 0);
    QCOMPARE(int(a.attr), int(emu::AttrDefaultFg | emu::AttrDefaultBg));
    const Cell b = cellAt(screen, 0, 1);
    QVERIFY(b.attr & emu::AttrBold);
    QVERIFY(b.attr & emu::AttrUnderline);
    QCOMPARE(int(b.fg), 1);
    QCOMPARE(int(b.bg), 2);
    QVERIFY(!(b.attr & (emu::AttrDefaultFg | emu::AttrDefaultBg)));
    QVERIFY(cellAt(screen, 0, 2).attr & emu::AttrReverse);
    QCOMPARE(cellAt(screen, 0, 3), Cell { u'd' });
    QCOMPARE(int(cellAt(screen, 0, 4).fg), 200);
}

void TestScreen::vtAnswers_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("answer");
    QTest::newRow("device attributes") << QByteArray("\x1b[c") << QByteArray("\x1b[?1;2c");
    QTest::newRow("cursor position report")
        << QByteArray("\x1b[3;7H\x1b[6n") << QByteArray("\x1b[3;7R");
    QTest::newRow("status report") << QByteArray("\x1b[5n") << QByteArray("\x1b[0n");
}

void TestScreen::vtAnswers()
{
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, answer);
    Screen screen(24, 80, 0);
    screen.setTerminalType(Vt100);
    QByteArray got;
    connect(&screen, &Screen::answer, this, [&got](const QByteArray &b) { got += b; });
    screen.feed(input);
    QCOMPARE(got, answer);
}

void TestScreen::answerBack()
{
    QFETCH(int, termType);
    Screen screen(2, 20, 0);
    screen.setTerminalType(termType);
    QByteArray got;
    connect(&screen, &Screen::answer, this, [&got](const QByteArray &b) { got += b; });
    screen.feed("\x05");
    QVERIFY(got.isEmpty());
    screen.setAnswerBack("norvalis");
    screen.feed("x\x05y");
    QCOMPARE(got, QByteArray("norvalis"));
    QCOMPARE(trimmed(screen.rowText(0)), QStringLiteral("xy"));
}

void TestScreen::printScreenRequest()
{
    Screen screen(2, 20, 0);
    screen.setTerminalType(Vt100);
    QSignalSpy spy(&screen, &Screen::printScreenRequested);
    screen.feed("a\x1b[ib\x1b[0ic\x1b[?1i");
    QCOMPARE(spy.count(), 2);
    QCOMPARE(trimmed(screen.rowText(0)), QStringLiteral("abc"));
}

void TestScreen::putCellsAtMarginDoesNotWrapHostText()
{
    Screen screen(3, 10, 0);
    screen.setTerminalType(Vt100);
    screen.feed("ab");
    screen.putText(2, 5, QStringLiteral("12345"), -1);
    screen.feed("c");
    QCOMPARE(screenLines(screen), (QStringList { "abc", "", "     12345" }));
    QCOMPARE(screen.cursor(), QPoint(3, 0));
}

void TestScreen::putTextIgnoresTheHostsModes()
{
    Screen screen(3, 20, 0);
    screen.setTerminalType(Vt100);
    // Insert mode, a scrolling region of rows 2-3 and origin mode (the cursor goes to row 2).
    screen.feed("abcdef\x1b[4h\x1b[2;3r\x1b[?6h");
    QCOMPARE(screen.cursor(), QPoint(0, 1));
    screen.putText(0, 0, QStringLiteral("XY\r"), -1);
    QCOMPARE(screenLines(screen), QStringList { "XY def" });
    QCOMPARE(screen.cursor(), QPoint(0, 1));
    screen.feed("z");
    QCOMPARE(screenLines(screen), (QStringList { "XY def", "z" }));
}

void TestScreen::switchingFamilyRestartsEmulation()
{
    Screen screen(3, 20, 5);
    screen.feed("\x1b[1mX");
    QCOMPARE(trimmed(screen.rowText(0)), QStringLiteral("[1mX"));
    screen.setTerminalType(9); // ANSI
    QVERIFY(screen.vtFamily());
    QCOMPARE(screenLines(screen), QStringList {});
    screen.feed("\x1b[1mX");
    QCOMPARE(trimmed(screen.rowText(0)), QStringLiteral("X"));
    screen.setTerminalType(Vt100); // same family: the screen stays
    QCOMPARE(trimmed(screen.rowText(0)), QStringLiteral("X"));
}

void TestScreen::keys_data()
{
    QTest::addColumn<int>("termType");
    QTest::addColumn<QByteArray>("setup");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("mods");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");

    const int none = Qt::NoModifier;
    const int ctrl = Qt::ControlModifier;
    QTest::newRow("TTY letter") << Tty << QByteArray() << int(Qt::Key_A) << none << "a"
                                << QByteArray("a");
    QTest::newRow("TTY Enter") << Tty << QByteArray() << int(Qt::Key_Return) << none << "\r"
                               << QByteArray("\r");
    QTest::newRow("TTY arrow sends nothing")
        << Tty << QByteArray() << int(Qt::Key_Up) << none << "" << QByteArray();
    QTest::newRow("TTY Latin-1") << Tty << QByteArray() << int(Qt::Key_Eacute) << none
                                 << QStringLiteral("é") << QByteArray("\xe9");
    QTest::newRow("TTY beyond Latin-1")
        << Tty << QByteArray() << 0 << none << QStringLiteral("\u20ac") << QByteArray();
    QTest::newRow("VT arrow") << Vt100 << QByteArray() << int(Qt::Key_Up) << none << ""
                              << QByteArray("\x1b[A");
    QTest::newRow("VT application cursor")
        << Vt100 << QByteArray("\x1b[?1h") << int(Qt::Key_Up) << none << "" << QByteArray("\x1bOA");
    QTest::newRow("VT F1") << Vt100 << QByteArray() << int(Qt::Key_F1) << none << ""
                           << QByteArray("\x1bOP");
    QTest::newRow("VT F5") << Vt100 << QByteArray() << int(Qt::Key_F5) << none << ""
                           << QByteArray("\x1b[15~");
    QTest::newRow("VT Ctrl+C") << Vt100 << QByteArray() << int(Qt::Key_C) << ctrl << "\x03"
                               << QByteArray("\x03");
    QTest::newRow("VT Enter") << Vt100 << QByteArray() << int(Qt::Key_Return) << none << "\r"
                              << QByteArray("\r");
    QTest::newRow("VT Latin-1") << Vt100 << QByteArray() << int(Qt::Key_Eacute) << none
                                << QStringLiteral("é") << QByteArray("\xe9");
    QTest::newRow("VT Alt+x") << Vt100 << QByteArray() << int(Qt::Key_X) << int(Qt::AltModifier)
                              << "x" << QByteArray("\x1bx");
}

void TestScreen::keys()
{
    QFETCH(int, termType);
    QFETCH(QByteArray, setup);
    QFETCH(int, key);
    QFETCH(int, mods);
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    Screen screen(24, 80, 0);
    screen.setTerminalType(termType);
    screen.feed(setup);
    QCOMPARE(screen.key(key, Qt::KeyboardModifiers(mods), text), bytes);
}

void TestScreen::selectionFollowsScrolledText()
{
    Screen screen(3, 10, 10);
    screen.feed("one\r\ntwo\r\nthree");
    screen.setSelection({ screen.screenLine(1), 0 }, { screen.screenLine(1), 9 });
    QCOMPARE(screen.selectedText(), QStringLiteral("two"));
    screen.feed("\r\nfour\r\nfive");
    QCOMPARE(screen.selectedText(), QStringLiteral("two"));
    QVERIFY(screen.isSelected(1, 0));
    screen.clearSelection();
    QVERIFY(!screen.hasSelection());
    QVERIFY(screen.selectedText().isEmpty());
}

void TestScreen::selectionText_data()
{
    QTest::addColumn<int>("fromLine");
    QTest::addColumn<int>("fromCol");
    QTest::addColumn<int>("toLine");
    QTest::addColumn<int>("toCol");
    QTest::addColumn<QString>("text");
    QTest::newRow("inside one line") << 1 << 1 << 1 << 3 << "ine";
    QTest::newRow("reversed ends") << 1 << 3 << 1 << 1 << "ine";
    QTest::newRow("across lines") << 0 << 2 << 2 << 1 << "rst\nline two\nth";
    QTest::newRow("blank tails removed") << 0 << 0 << 0 << 9 << "first";
    QTest::newRow("into the history") << -1 << 0 << 0 << 4 << "old\nfirst";
    QTest::newRow("beyond the screen") << 2 << 0 << 9 << 9 << "third";
}

void TestScreen::selectionText()
{
    QFETCH(int, fromLine);
    QFETCH(int, fromCol);
    QFETCH(int, toLine);
    QFETCH(int, toCol);
    QFETCH(QString, text);
    Screen screen(3, 10, 10);
    screen.feed("old\r\nfirst\r\nline two\r\nthird");
    QCOMPARE(screen.historyCount(), 1);
    const qint64 top = screen.screenLine(0);
    screen.setSelection({ top + fromLine, fromCol }, { top + toLine, toCol });
    QCOMPARE(screen.selectedText(), text);
}

void TestScreen::resizeKeepsCursorRow()
{
    QFETCH(int, termType);
    Screen screen(6, 20, 10);
    screen.setTerminalType(termType);
    screen.feed("a\r\nb\r\nc\r\nd\r\ne");
    screen.resize(3, 10);
    QCOMPARE(screen.rows(), 3);
    QCOMPARE(screen.cols(), 10);
    QCOMPARE(screen.cursor().y(), 2);
    QCOMPARE(trimmed(screen.rowText(2)), QStringLiteral("e"));
    QCOMPARE(trimmed(screen.historyText(screen.historyCount() - 1)), QStringLiteral("b"));
    screen.feed("\r\nf");
    QCOMPARE(trimmed(screen.rowText(2)), QStringLiteral("f"));
}

void TestScreen::damageIsSignalledOncePerFrame()
{
    Screen screen(24, 80, 100);
    QSignalSpy spy(&screen, &Screen::damaged);
    for (int i = 0; i < 1000; ++i)
        screen.feed("some text\r\n");
    QCOMPARE(spy.count(), 1);
    const Screen::Damage damage = screen.takeDamage();
    QCOMPARE(int(damage.rows.size()), 24);
    QVERIFY(damage.history);
    screen.feed("x");
    QCOMPARE(spy.count(), 2);
    const Screen::Damage next = screen.takeDamage();
    QCOMPARE(int(std::count(next.rows.begin(), next.rows.end(), true)), 1);
    QVERIFY(!next.history);
}

void TestScreen::viewPaintsWithoutCrashing()
{
    Screen screen(5, 20, 10);
    screen.setTerminalType(Vt100);
    emu::ScreenView view(&screen, emu::ScreenView::Mode::Live);
    emu::ScreenView history(&screen, emu::ScreenView::Mode::History);
    view.resize(view.sizeHint());
    history.resize(view.sizeHint());
    screen.feed("\x1b[1;31mred\x1b[0m plain \x1b[7mrev\x1b[0m\r\n1\r\n2\r\n3\r\n4\r\n5\r\n6");
    screen.setSelection({ screen.firstLine(), 0 }, { screen.screenLine(1), 3 });
    QSignalSpy historySpy(&view, &emu::ScreenView::historyChanged);
    view.flushDamage();
    QCOMPARE(historySpy.count(), 1);
    history.setTopLine(0);
    QCOMPARE(history.topLine(), screen.firstLine());
    const QImage image = view.grab().toImage();
    QCOMPARE(image.size(), view.size());
    // The background is the palette's black, the red text red.
    QCOMPARE(image.pixelColor(view.width() - 1, view.height() - 1), view.color(0));
    QVERIFY(!history.grab().isNull());
    emu::Screen::Pos pos;
    QVERIFY(view.cellAt(QPoint(view.cellSize().width() * 2 + 1, 1), &pos));
    QCOMPARE(pos.col, 2);
    QCOMPARE(pos.line, screen.screenLine(0));
}

// Random host data rich in control sequences (a fixed seed, so a failure repeats): scrolling
// regions, the alternate screen, erases, insertions, huge and missing parameters, cut-off
// sequences, with resizes and text from the API in between. The screen must stay whole.
void TestScreen::hostileStreams()
{
    QFETCH(int, termType);
    QRandomGenerator random(20240611);
    const QList<QByteArray> pieces = { "\033[", "\033[?", "\033]", "\033P", "\033(0", "\033#8",
        "\0337", "\0338", "\033D", "\033M", "\033c", "\x9b", "\x9d", "\x07", "\r\n", "\b\t",
        "\033\\", "r", "h", "l", "J", "K", "L", "M", "P", "@", "X", "S", "T", "H", "m", "n", "1049",
        "47", "6", "7", "25", "999999999", "65535", "-1", ";", ";;", "0", "\xe9", "wide" };
    Screen screen(24, 80, 100);
    screen.setTerminalType(termType);
    for (int chunk = 0; chunk < 400; ++chunk) {
        QByteArray data;
        while (data.size() < 512) {
            if (random.bounded(4) == 0)
                data += char(random.bounded(256));
            else
                data += pieces.at(random.bounded(pieces.size()));
        }
        screen.feed(data);
        if (chunk % 50 == 49)
            screen.resize(1 + random.bounded(60), 1 + random.bounded(200));
        if (chunk % 17 == 0)
            screen.putText(random.bounded(screen.rows()), random.bounded(screen.cols()),
                QStringLiteral("api"), random.bounded(256));
        const QPoint cursor = screen.cursor();
        QVERIFY(cursor.x() >= 0 && cursor.x() < screen.cols());
        QVERIFY(cursor.y() >= 0 && cursor.y() < screen.rows());
        QVERIFY(screen.historyCount() <= screen.historyCapacity());
        for (int r = 0; r < screen.rows(); ++r)
            QCOMPARE(screen.rowText(r).size(), screen.cols());
        screen.takeDamage();
    }
}

QTEST_MAIN(TestScreen)
#include "tst_screen.moc"
