// The character screen: the plain TTY, the VT family, history, selection and
// the damage notices that let the view coalesce repaints.

#include "common/testutil.h"
#include "emulator/emusettings.h"
#include "emulator/hostencoding.h"
#include "emulator/screen.h"
#include "emulator/screenview.h"

#include <QRandomGenerator>
#include <QSignalSpy>
#include <QtTest>

using emu::Cell;
using emu::Screen;

namespace {

constexpr int Tty = 0;
constexpr int Wyse60 = 6;
constexpr int Ansi = 9;
constexpr int Vt100 = 12;
constexpr int Sco = 15;
constexpr int Linux = 16;

QStringList screenLines(const Screen &screen)
{
    QStringList lines;
    for (int r = 0; r < screen.rows(); ++r)
        lines << trimmedRight(screen.rowText(r));
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

// Feeds the row's input to a 4 x 20 screen and compares its lines and cursor; with `byByte`
// a second screen takes the input one byte per read and must end the same.
void feedAndCompare(int termType, bool byByte = false)
{
    QFETCH(QByteArray, input);
    QFETCH(QStringList, lines);
    QFETCH(QPoint, cursor);
    Screen screen(4, 20, 10);
    screen.setTerminalType(termType);
    screen.feed(input);
    QCOMPARE(screenLines(screen), lines);
    QCOMPARE(screen.cursor(), cursor);
    if (!byByte)
        return;
    Screen split(4, 20, 10);
    split.setTerminalType(termType);
    for (char c : input)
        split.feed(&c, 1);
    QCOMPARE(screenLines(split), lines);
    QCOMPARE(split.cursor(), cursor);
}

Cell cellAt(const Screen &screen, int row, int col)
{
    std::vector<Cell> cells(static_cast<size_t>(screen.cols()));
    screen.readRow(row, cells.data());
    return cells[size_t(col)];
}

// What a cell holds, column by column: W the left half of a wide character, t its right half,
// n a narrow character.
QString occupancy(const Screen &screen, int row, int cols)
{
    QString cells;
    for (int col = 0; col < cols; ++col) {
        const quint8 flags = cellAt(screen, row, col).flags;
        cells += (flags & emu::CellWide) ? u'W' : (flags & emu::CellWideTail) ? u't' : u'n';
    }
    return cells;
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
    void hostText_data();
    void hostText();
    void wideCharacters_data() { bothFamilies_data(); }
    void wideCharacters();
    void supplementaryPlanes_data();
    void supplementaryPlanes();
    void combiningMarks_data();
    void combiningMarks();
    void charWidths_data();
    void charWidths();
    void savedCursor_data();
    void savedCursor();
    void linuxPalette_data();
    void linuxPalette();
    void largeBurst_data();
    void largeBurst();
    void budgetedFeed_data();
    void budgetedFeed();
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
    QCOMPARE(trimmedRight(screen.rowText(0)), QStringLiteral("hello  XYZ"));
    const Cell c = cellAt(screen, 0, 8);
    QCOMPARE(int(c.fg), 14);
    QCOMPARE(int(c.bg), 1);
    QCOMPARE(screen.cursor(), cursor);
    screen.putText(1, -2, QStringLiteral("abZ\u20ac"), -1); // left of the screen cut off
    QCOMPARE(trimmedRight(screen.rowText(1)), QStringLiteral("Z\u20acrld"));
    screen.clearRect(1, 0, 2, 1, -1);
    QCOMPARE(screenLines(screen), (QStringList { "h  lo  XYZ", "Z  ld" }));
    // The host's text after the API's goes where the cursor was.
    screen.feed("!");
    QCOMPARE(trimmedRight(screen.rowText(1)), QStringLiteral("Z  ld!"));
}

void TestScreen::bell()
{
    QFETCH(int, termType);
    Screen screen(3, 10, 0);
    screen.setTerminalType(termType);
    QSignalSpy spy(&screen, &Screen::bell);
    screen.feed("a\ab\a");
    QCOMPARE(spy.count(), 2);
    QCOMPARE(trimmedRight(screen.rowText(0)), QStringLiteral("ab"));
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
    QCOMPARE(trimmedRight(screen.historyText(0)), QStringLiteral("line 22"));
    QCOMPARE(trimmedRight(screen.historyText(4)), QStringLiteral("line 26"));
    QCOMPARE(trimmedRight(screen.rowText(0)), QStringLiteral("line 27"));
    QCOMPARE(screen.firstLine(), qint64(22));
    QCOMPARE(trimmedRight(screen.lineText(24)), QStringLiteral("line 24"));
    QCOMPARE(trimmedRight(screen.lineText(27)), QStringLiteral("line 27"));
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
    QCOMPARE(trimmedRight(screen.historyText(0)), QStringLiteral("c"));
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
    QCOMPARE(trimmedRight(screen.rowText(0)), QStringLiteral("xy"));
}

void TestScreen::printScreenRequest()
{
    Screen screen(2, 20, 0);
    screen.setTerminalType(Vt100);
    QSignalSpy spy(&screen, &Screen::printScreenRequested);
    screen.feed("a\x1b[ib\x1b[0ic\x1b[?1i");
    QCOMPARE(spy.count(), 2);
    QCOMPARE(trimmedRight(screen.rowText(0)), QStringLiteral("abc"));
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
    QCOMPARE(trimmedRight(screen.rowText(0)), QStringLiteral("[1mX"));
    screen.setTerminalType(9); // ANSI
    QVERIFY(screen.vtFamily());
    QCOMPARE(screenLines(screen), QStringList {});
    screen.feed("\x1b[1mX");
    QCOMPARE(trimmedRight(screen.rowText(0)), QStringLiteral("X"));
    screen.setTerminalType(Vt100); // same family: the screen stays
    QCOMPARE(trimmedRight(screen.rowText(0)), QStringLiteral("X"));
}

void TestScreen::keys_data()
{
    QTest::addColumn<int>("termType");
    QTest::addColumn<QByteArray>("setup");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("mods");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("singleByte");

    const int none = Qt::NoModifier;
    const int ctrl = Qt::ControlModifier;
    const int alt = Qt::AltModifier;
    auto row = [](const char *name, int termType, const QByteArray &setup, int key, int mods,
                   const QString &text, const QByteArray &bytes, bool singleByte = false) {
        QTest::newRow(name) << termType << setup << key << mods << text << bytes << singleByte;
    };
    const QString e = QStringLiteral("é");
    const QString euro = QStringLiteral("\u20ac");
    row("TTY letter", Tty, {}, Qt::Key_A, none, "a", "a");
    row("TTY Enter", Tty, {}, Qt::Key_Return, none, "\r", "\r");
    row("TTY arrow sends nothing", Tty, {}, Qt::Key_Up, none, "", {});
    row("TTY accented letter", Tty, {}, Qt::Key_Eacute, none, e, "\xc3\xa9");
    row("TTY beyond Latin-1", Tty, {}, 0, none, euro, "\xe2\x82\xac");
    row("TTY single-byte host", Tty, {}, Qt::Key_Eacute, none, e, "\xe9", true);
    row("TTY single-byte host, beyond Latin-1", Tty, {}, 0, none, euro, {}, true);
    row("VT arrow", Vt100, {}, Qt::Key_Up, none, "", "\x1b[A");
    row("VT application cursor", Vt100, "\x1b[?1h", Qt::Key_Up, none, "", "\x1bOA");
    row("VT F1", Vt100, {}, Qt::Key_F1, none, "", "\x1bOP");
    // The VT100 has PF1-PF4; its terminfo entry gives F5-F10 the keypad's application codes.
    row("VT F5", Vt100, {}, Qt::Key_F5, none, "", "\x1bOt");
    row("VT220 F5 is local", 8, {}, Qt::Key_F5, none, "", {});
    row("VT Ctrl+C", Vt100, {}, Qt::Key_C, ctrl, "\x03", "\x03");
    row("VT Enter", Vt100, {}, Qt::Key_Return, none, "\r", "\r");
    row("VT Alt+x", Vt100, {}, Qt::Key_X, alt, "x", "\x1bx");
    row("VT accented letter", Vt100, {}, Qt::Key_Eacute, none, e, "\xc3\xa9");
    row("VT Alt+accented letter", Vt100, {}, Qt::Key_Eacute, alt, e, "\x1b\xc3\xa9");
    row("VT beyond the plane", Vt100, {}, 0, none, QStringLiteral("\U0001F600"),
        "\xf0\x9f\x98\x80");
    row("VT single-byte host", Vt100, {}, Qt::Key_Eacute, none, e, "\xe9", true);
    row("VT single-byte host, Alt", Vt100, {}, Qt::Key_Eacute, alt, e, "\x1b\xe9", true);
    row("VT single-byte host, beyond Latin-1", Vt100, {}, 0, none, euro, {}, true);
}

void TestScreen::keys()
{
    QFETCH(int, termType);
    QFETCH(QByteArray, setup);
    QFETCH(int, key);
    QFETCH(int, mods);
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QFETCH(bool, singleByte);
    Screen screen(24, 80, 0);
    screen.setTerminalType(termType);
    if (singleByte)
        screen.setHostEncoding(emu::HostEncoding::SingleByte);
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
    QCOMPARE(trimmedRight(screen.rowText(2)), QStringLiteral("e"));
    QCOMPARE(trimmedRight(screen.historyText(screen.historyCount() - 1)), QStringLiteral("b"));
    screen.feed("\r\nf");
    QCOMPARE(trimmedRight(screen.rowText(2)), QStringLiteral("f"));
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
    // The same stream a byte at a time: no sequence is ever whole in one read, so the parser
    // reads every one; the screens must not differ.
    Screen bytewise(24, 80, 100);
    bytewise.setTerminalType(termType);
    for (int chunk = 0; chunk < 400; ++chunk) {
        QByteArray data;
        while (data.size() < 512) {
            if (random.bounded(4) == 0)
                data += char(random.bounded(256));
            else
                data += pieces.at(random.bounded(pieces.size()));
        }
        screen.feed(data);
        for (char byte : std::as_const(data))
            bytewise.feed(QByteArray(1, byte));
        if (chunk % 50 == 49) {
            const int rows = 1 + random.bounded(60);
            const int cols = 1 + random.bounded(200);
            screen.resize(rows, cols);
            bytewise.resize(rows, cols);
        }
        if (chunk % 17 == 0) {
            const int row = random.bounded(screen.rows());
            const int col = random.bounded(screen.cols());
            const int look = random.bounded(256);
            screen.putText(row, col, QStringLiteral("api"), look);
            bytewise.putText(row, col, QStringLiteral("api"), look);
        }
        QCOMPARE(bytewise.cursor(), screen.cursor());
        std::vector<emu::Cell> cells(size_t(screen.cols()));
        std::vector<emu::Cell> bytewiseCells(cells.size());
        for (int r = 0; r < screen.rows(); ++r) {
            screen.readRow(r, cells.data());
            bytewise.readRow(r, bytewiseCells.data());
            QVERIFY2(cells == bytewiseCells, qPrintable(screen.rowText(r)));
        }
        const QPoint cursor = screen.cursor();
        QVERIFY(cursor.x() >= 0 && cursor.x() < screen.cols());
        QVERIFY(cursor.y() >= 0 && cursor.y() < screen.rows());
        QVERIFY(screen.historyCount() <= screen.historyCapacity());
        for (int r = 0; r < screen.rows(); ++r)
            QVERIFY(screen.rowText(r).size() <= screen.cols()); // less with wide characters
        screen.takeDamage();
    }
}

void TestScreen::hostText_data()
{
    QTest::addColumn<int>("termType");
    QTest::addColumn<bool>("singleByte");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QString>("line");

    const struct
    {
        const char *name;
        int termType;
    } types[] = { { "TTY", Tty }, { "VT100", Vt100 }, { "ANSI", Ansi }, { "Linux", Linux } };
    for (const auto &type : types) {
        const bool vt = type.termType != Tty;
        auto row = [&](const char *name, const QByteArray &input, const QString &line,
                       bool singleByte = false) {
            QTest::addRow("%s: %s", type.name, name)
                << type.termType << singleByte << input << line;
        };
        row("UTF-8 and Latin-1 mixed",
            "\xe2\x95\x90 caf\xc3\xa9 caf\xe9 \xe2\x80\x9dq\xe2\x80\x9d tail\r\n",
            QStringLiteral("\u2550 caf\u00e9 caf\u00e9 \u201dq\u201d tail"));
        row("Latin-1 letter before ASCII", "caf\xe9!", QStringLiteral("caf\u00e9!"));
        row("cut-off sequence", "\xe2\x95X", QStringLiteral("\u00e2X"));
        row("lone continuation bytes",
            "a\xa9\x80"
            "b",
            QStringLiteral("a\u00a9b"));
        row("overlong form", "\xc0\xafx", QStringLiteral("\u00c0\u00afx"));
        row("surrogate half", "\xed\xa0\x80x", QStringLiteral("\u00ed\u00a0x"));
        row("beyond U+10FFFF", "\xf4\x90\x80\x80x", QStringLiteral("\u00f4x"));
        row("C1 controls are not recognised",
            "a\x9b"
            "2Jb\xc2\x9d"
            "0;t\x07"
            "c",
            QStringLiteral("a2Jb0;tc"));
        row("beyond the Basic Multilingual Plane", "\xf0\x9f\x98\x80x",
            QStringLiteral("\U0001F600x"));
        row("wide characters", "\xe6\xbc\xa2\xe5\xad\x97x", QStringLiteral("\u6f22\u5b57x"));
        row("combining mark", "e\xcc\x81x", QStringLiteral("\u00e9x"));
        row("single-byte host", "caf\xc3\xa9", QStringLiteral("caf\u00c3\u00a9"), true);
        row("single-byte host, 8-bit CSI",
            "ab\x9b"
            "1;1HX",
            vt ? QStringLiteral("Xb") : QStringLiteral("ab1;1HX"), true);
    }
}

// The same text in one read and a byte per read.
void TestScreen::hostText()
{
    QFETCH(int, termType);
    QFETCH(bool, singleByte);
    QFETCH(QByteArray, input);
    QFETCH(QString, line);
    for (const qsizetype piece : { input.size(), qsizetype(1) }) {
        Screen screen(3, 40, 0);
        screen.setTerminalType(termType);
        if (singleByte)
            screen.setHostEncoding(emu::HostEncoding::SingleByte);
        for (qsizetype at = 0; at < input.size(); at += piece)
            screen.feed(input.mid(at, piece));
        QCOMPARE(trimmedRight(screen.rowText(0)), line);
    }
}

void TestScreen::wideCharacters()
{
    QFETCH(int, termType);
    const QString kan = QStringLiteral("\u6f22");
    const QString ji = QStringLiteral("\u5b57");
    Screen screen(3, 6, 10);
    screen.setTerminalType(termType);
    screen.feed("\xe6\xbc\xa2\xe5\xad\x97x"); // two wide characters and a narrow one
    QCOMPARE(screen.cursor(), QPoint(5, 0));
    QCOMPARE(trimmedRight(screen.rowText(0)), kan + ji + u'x');
    QVERIFY(cellAt(screen, 0, 0).flags & emu::CellWide);
    QVERIFY(cellAt(screen, 0, 1).flags & emu::CellWideTail);
    // Columns that begin on a right half start after it.
    QCOMPARE(screen.rowText(0, 1, 3), ji);
    QCOMPARE(screen.rowText(0, 0, 2), kan + ji);
    screen.setSelection({ screen.screenLine(0), 1 }, { screen.screenLine(0), 4 });
    QCOMPARE(screen.selectedText(), ji + u'x');
    int from = -1;
    int to = -1;
    QVERIFY(screen.wordAt({ screen.screenLine(0), 3 }, &from, &to));
    QCOMPARE(from, 0);
    QCOMPARE(to, 4);
    // A wide character that does not fit in the last column starts the next line.
    screen.feed("\xe6\xbc\xa2");
    QCOMPARE(trimmedRight(screen.rowText(1)), kan);
    QCOMPARE(screen.cursor(), QPoint(2, 1));
    // Writing over one half blanks the other.
    Screen over(2, 10, 0);
    over.setTerminalType(termType);
    over.feed("\xe6\xbc\xa2\xe5\xad\x97\b\b\bY"); // onto the right half of the first
    QCOMPARE(trimmedRight(over.rowText(0)), QStringLiteral(" Y") + ji);
    over.feed("Z"); // onto the left half of the second
    QCOMPARE(trimmedRight(over.rowText(0)), QStringLiteral(" YZ"));
    QCOMPARE(over.rowText(0).size(), over.cols());
    // From the API as well.
    over.putText(1, 0, kan + QStringLiteral("\u20ac"), -1);
    QCOMPARE(trimmedRight(over.rowText(1)), kan + QStringLiteral("\u20ac"));
    QVERIFY(cellAt(over, 1, 1).flags & emu::CellWideTail);
}

void TestScreen::supplementaryPlanes_data()
{
    QTest::addColumn<int>("termType");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("splitAt"); // the input comes in two reads, cut here
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("cells"); // the first cells, as occupancy() spells them
    QTest::addColumn<int>("cursorCol");

    const QString grin = QStringLiteral("\U0001F600");
    const QString gothic = QStringLiteral("\U00010348");
    const QString extB = QStringLiteral("\U00020000");
    const struct
    {
        const char *name;
        int termType;
    } types[] = { { "TTY", Tty }, { "VT100", Vt100 }, { "Wyse 60", Wyse60 } };
    for (const auto &type : types) {
        auto row = [&](const char *name, const QByteArray &input, int splitAt, const QString &line,
                       const char *cells) {
            QTest::addRow("%s: %s", type.name, name)
                << type.termType << input << splitAt << line << QString::fromLatin1(cells)
                << int(qstrlen(cells));
        };
        row("emoji, wide", "\xf0\x9f\x98\x80x", 0, grin + u'x', "Wtn");
        row("Gothic letter, narrow", "\xf0\x90\x8d\x88x", 0, gothic + u'x', "nn");
        row("CJK extension B, wide", "\xf0\xa0\x80\x80x", 0, extB + u'x', "Wtn");
        row("between other characters", "a\xf0\x9f\x98\x80\xf0\x90\x8d\x88\xe6\xbc\xa2z", 0,
            u'a' + grin + gothic + QStringLiteral("\u6f22z"), "nWtnWtn");
        row("cut after the lead byte", "\xf0\x9f\x98\x80x", 1, grin + u'x', "Wtn");
        row("cut before the last byte", "\xf0\xa0\x80\x80x", 3, extB + u'x', "Wtn");
        // Bytes that start no valid sequence stand for their Latin-1 characters, one by one (the
        // C1 controls among them are dropped).
        row("lead byte F5", "\xf5\xbf\xbf\xbfx", 0, QStringLiteral("\u00f5\u00bf\u00bf\u00bfx"),
            "nnnnn");
        row("lead byte F6", "\xf6\x9f\x98\x80x", 0, QStringLiteral("\u00f6x"), "nn");
        row("lead byte F7, cut", "\xf7\xbf\xbf\xbfx", 2,
            QStringLiteral("\u00f7\u00bf\u00bf\u00bfx"), "nnnnn");
        row("overlong F0 80", "\xf0\x80\xbf\xbfx", 0, QStringLiteral("\u00f0\u00bf\u00bfx"),
            "nnnn");
        row("overlong F0 8F", "\xf0\x8f\xbf\xbfx", 0, QStringLiteral("\u00f0\u00bf\u00bfx"),
            "nnnn");
        row("cut short by ASCII", "\xf0\x9f\x98x", 2, QStringLiteral("\u00f0x"), "nn");
    }
}

// A character beyond the Basic Multilingual Plane keeps its code point in its cell: the screen's
// text, columns and selection give its surrogate pair, and it takes the cells its width says.
void TestScreen::supplementaryPlanes()
{
    QFETCH(int, termType);
    QFETCH(QByteArray, input);
    QFETCH(int, splitAt);
    QFETCH(QString, line);
    QFETCH(QString, cells);
    QFETCH(int, cursorCol);
    Screen screen(3, 20, 10);
    screen.setTerminalType(termType);
    screen.feed(input.left(splitAt));
    screen.feed(input.mid(splitAt));
    QCOMPARE(trimmedRight(screen.rowText(0)), line);
    QCOMPARE(occupancy(screen, 0, int(cells.size())), cells);
    QCOMPARE(screen.cursor(), QPoint(cursorCol, 0));
    screen.setSelection({ screen.screenLine(0), 0 }, { screen.screenLine(0), cursorCol - 1 });
    QCOMPARE(screen.selectedText(), line);
    // The same cells scrolled into the history.
    screen.feed("\r\n\n\n");
    QCOMPARE(trimmedRight(screen.historyText(screen.historyCount() - 1)), line);
    // And put from the API.
    screen.putText(2, 0, line, -1);
    QCOMPARE(trimmedRight(screen.rowText(2)), line);
    QCOMPARE(occupancy(screen, 2, int(cells.size())), cells);
}

void TestScreen::combiningMarks_data()
{
    QTest::addColumn<int>("termType");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("cursorCol");
    const struct
    {
        const char *name;
        int termType;
        bool pendingWrap;
    } types[] = { { "TTY", Tty, true }, { "VT100", Vt100, true }, { "Wyse 60", Wyse60, false } };
    for (const auto &type : types) {
        auto row = [&](const char *name, const QByteArray &input, const QString &line, int col) {
            QTest::addRow("%s: %s", type.name, name) << type.termType << input << line << col;
        };
        row("e, acute", "cafe\xcc\x81!", QStringLiteral("caf\u00e9!"), 5);
        row("two marks", "a\xcc\x8a\xcc\x81", QStringLiteral("\u01fb"), 1);
        row("no composed form: the mark goes", "x\xcc\x81y", QStringLiteral("xy"), 2);
        row("at the start of the line", "\xcc\x81" "a", QStringLiteral("a"), 1);
        row("after a wide character", "\xe4\xb8\xad\xcc\x81", QStringLiteral("\u4e2d"), 2);
        if (type.pendingWrap)
            row("in the last column", QByteArray(19, 'a') + "e\xcc\x81",
                QString(19, u'a') + QStringLiteral("\u00e9"), 19);
    }
}

// A combining mark from the host joins the character before it where Unicode has one character
// for the two (hosts that send decomposed text, as file names from some systems are).
void TestScreen::combiningMarks()
{
    QFETCH(int, termType);
    QFETCH(QByteArray, input);
    QFETCH(QString, line);
    QFETCH(int, cursorCol);
    Screen screen(3, 20, 10);
    screen.setTerminalType(termType);
    screen.feed(input);
    QCOMPARE(trimmedRight(screen.rowText(0)), line);
    QCOMPARE(screen.cursor(), QPoint(cursorCol, 0));
}

// The supplementary planes as the host counts them (where the table changed, and its ends).
void TestScreen::charWidths_data()
{
    QTest::addColumn<uint>("ch");
    QTest::addColumn<int>("width");
    auto row = [](const char *name, char32_t ch, int width) {
        QTest::newRow(name) << uint(ch) << width;
    };
    row("Gothic letter", 0x10348, 1);
    row("Tangut ideograph", 0x17000, 2);
    row("mahjong tile", 0x1F004, 2);
    row("regional indicator", 0x1F1E6, 1);
    row("thermometer, text by default", 0x1F321, 1);
    row("rocket", 0x1F680, 2);
    row("ballet shoes", 0x1FA70, 2);
    row("after the last pictograph range", 0x1FAF7, 1);
    row("end of plane 3", 0x3FFFD, 2);
    row("plane 14 tag", 0xE0041, 0);
}

void TestScreen::charWidths()
{
    QFETCH(uint, ch);
    QFETCH(int, width);
    QCOMPARE(emu::charWidth(char32_t(ch)), width);
}

void TestScreen::savedCursor_data()
{
    addFeedColumns();
    QTest::addColumn<int>("termType");
    const QByteArray saveMoveRestore("\x1b[2;3H\x1b[s\x1b[4;1HA\x1b[uB");
    for (const int type : { Ansi, Sco, Linux }) {
        const char *name = type == Ansi ? "ANSI" : type == Sco ? "SCO" : "Linux";
        QTest::addRow("%s: CSI s, CSI u", name)
            << saveMoveRestore << QStringList { "", "  B", "", "A" } << QPoint(3, 1) << type;
        QTest::addRow("%s: restore without a save goes home", name)
            << QByteArray("\x1b[3;3HA\x1b[uB") << QStringList { "B", "", "  A" } << QPoint(1, 0)
            << type;
        QTest::addRow("%s: restore keeps working", name)
            << QByteArray("\x1b[2;2H\x1b[s\x1b[uA\x1b[uB") << QStringList { "", " B" }
            << QPoint(2, 1) << type;
    }
    QTest::newRow("VT100: no save")
        << saveMoveRestore << QStringList { "", "", "", "AB" } << QPoint(2, 3) << Vt100;
}

void TestScreen::savedCursor()
{
    QFETCH(int, termType);
    feedAndCompare(termType, true);
}

void TestScreen::linuxPalette_data()
{
    addFeedColumns();
    QTest::addColumn<int>("termType");
    auto row = [](const char *name, const QByteArray &input, const QString &line, int termType) {
        QTest::newRow(name) << input << QStringList { line } << QPoint(int(line.size()), 0)
                            << termType;
    };
    row("palette entry", "a\x1b]P1ff8000b", "ab", Linux);
    row("seven digits, then text that looks like more", "\x1b]P0000000abc", "abc", Linux);
    row("palette reset", "a\x1b]Rb", "ab", Linux);
    row("a character that is no digit ends it", "a\x1b]P12zb", "ab", Linux);
    row("an escape sequence ends it", "a\x1b]P12\x1b[2Cb", "a  b", Linux);
    row("controls act meanwhile", "ab\x1b]P1\b234567cd", "acd", Linux);
    row("window title",
        "a\x1b]0;title\x07"
        "b",
        "ab", Linux);
    row("VT100 reads an OSC",
        "a\x1b]P1ff8000b\x07"
        "c",
        "ac", Vt100);
}

void TestScreen::linuxPalette()
{
    QFETCH(int, termType);
    feedAndCompare(termType, true);
}

void TestScreen::largeBurst_data()
{
    QTest::addColumn<int>("termType");
    for (const emu::TerminalType &type : emu::terminalTypes())
        QTest::newRow(qPrintable(type.name)) << int(type.code);
}

// A peer can hand over megabytes in one read: plain lines, then lines of characters beyond
// ASCII, in one chunk.
void TestScreen::largeBurst()
{
    QFETCH(int, termType);
    static const QByteArray burst = [] {
        QByteArray data;
        const QByteArray ascii = QByteArray(78, 'a') + "\r\n";
        while (data.size() < 5 * 512 * 1024)
            data += ascii;
        const QByteArray accented = QByteArray("caf\xc3\xa9 ").repeated(12) + "\r\n";
        while (data.size() < 7 * 512 * 1024)
            data += accented;
        return data + "tail";
    }();
    Screen screen(24, 80, 100);
    screen.setTerminalType(termType);
    screen.feed(burst);
    if (screen.graphics() && screen.rowText(23).trimmed().isEmpty()) {
        // The Tektronix 4014 draws its text in the graphics layer.
        QCOMPARE(screen.graphics()->items().back().text, QStringLiteral("tail"));
        return;
    }
    QCOMPARE(trimmedRight(screen.rowText(23)), QStringLiteral("tail"));
    QVERIFY(trimmedRight(screen.rowText(22)).startsWith(QStringLiteral("caf\u00e9 caf\u00e9")));
    QCOMPARE(screen.historyCount(), 100);
}

void TestScreen::budgetedFeed_data()
{
    QTest::addColumn<int>("termType");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<bool>("thenPut"); // text put from the API right after the feed
    QByteArray repeats; // REP of a screenful, a new character each time, lines scrolling
    QByteArray clears; // lines of text and Wyse clears, some text left at the end
    for (int i = 0; i < 200; ++i) {
        repeats += char('a' + i % 26) + QByteArray("\x1b[65535b\n");
        for (int line = 0; line < 150; ++line)
            clears += "line " + QByteArray::number(line) + " of page " + QByteArray::number(i) + "\r\n";
        clears += "\x1b*" + QByteArray::number(i);
    }
    QTest::newRow("vt100 repeats") << Vt100 << repeats << false;
    QTest::newRow("vt100 repeats, then text put") << Vt100 << repeats << true;
    QTest::newRow("wyse60 clears") << Wyse60 << clears << false;
}

// Host data fed within the time budget stops soon, is fed on later turns of the event loop, and
// ends on the screen and history of the same data fed at once; a change from outside comes after
// the data that waited.
void TestScreen::budgetedFeed()
{
    QFETCH(int, termType);
    QFETCH(QByteArray, input);
    QFETCH(bool, thenPut);
    // The input, repeated until fed at once it takes well over the budget.
    std::unique_ptr<Screen> whole;
    qint64 wholeMs = 0;
    for (int n = 0; wholeMs <= 4 * Screen::feedBudgetMs; ++n) {
        QVERIFY2(n < 6, "the input is too cheap to test the budget");
        if (n > 0)
            input += input;
        whole = std::make_unique<Screen>(100, 120, 500);
        whole->setTerminalType(termType);
        QElapsedTimer clock;
        clock.start();
        whole->feed(input);
        wholeMs = clock.elapsed();
    }

    Screen budgeted(100, 120, 500);
    budgeted.setTerminalType(termType);
    QSignalSpy caughtUp(&budgeted, &Screen::caughtUp);
    QElapsedTimer clock;
    clock.start();
    budgeted.feedWithin(QByteArrayView(input).first(input.size() / 2));
    budgeted.feedWithin(QByteArrayView(input).sliced(input.size() / 2));
    QVERIFY(clock.elapsed() < wholeMs / 2);
    QVERIFY(budgeted.behind());
    if (thenPut) {
        whole->putText(0, 0, u"api"_qs, 7);
        budgeted.putText(0, 0, u"api"_qs, 7);
        QVERIFY(!budgeted.behind());
    }
    QTRY_VERIFY_WITH_TIMEOUT(!budgeted.behind(), 60000);
    QCOMPARE(caughtUp.count(), 1);
    QCOMPARE(screenLines(budgeted), screenLines(*whole));
    QCOMPARE(budgeted.cursor(), whole->cursor());
    QCOMPARE(budgeted.historyCount(), whole->historyCount());
    for (int i = 0; i < whole->historyCount(); ++i)
        QCOMPARE(budgeted.historyText(i), whole->historyText(i));
}

QTEST_MAIN(TestScreen)
#include "tst_screen.moc"
