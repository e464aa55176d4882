// The terminal types against their terminfo entries: every capability an entry defines for
// cursor movement, erasing, insert and delete, scrolling, attributes, line graphics, the status
// line, the reports and the keys, with the bytes the entry on this machine gives (tput -T), and
// what the terminal's screen must look like afterwards.

#include "common/hoststream.h"
#include "common/testutil.h"
#include "emulator/block.h"
#include "emulator/emulator.h"
#include "emulator/screen.h"
#include "emulator/screenview.h"
#include "emulator/sequencematcher.h"
#include "platform/fakehost.h"

#include <QHash>
#include <QProcess>
#include <QSignalSpy>
#include <QtTest>

#include <future>

using emu::Cell;
using emu::Screen;

namespace {

constexpr int Rows = 5;
constexpr int Cols = 20;

struct Entry
{
    const char *name;
    int termType;
};

// The entries and the types that must honour them.
const Entry entries[] = {
    { "wy50", 5 },
    { "wy60", 6 },
    { "vt52", 7 },
    { "viewpoint", 1 },
    { "vp60", 2 },
    { "vp60", 3 },
    { "wyse-vp", 4 },
    { "tek4105", 17 },
    { "pcansi", 10 },
    { "vt100", 12 },
    { "vt220", 8 },
    { "vt320", 13 },
    { "vt420", 14 },
    { "ansi", 9 },
    { "scoansi", 15 },
    { "linux", 16 },
};

bool vtFamily(const Entry &e)
{
    return Screen::isVtFamily(e.termType);
}

struct Capability
{
    QByteArray bytes; // empty: not in the entry
    int exitCode = 0;
};

// tput -T term cap args: the bytes of a string capability, the value of a number, the exit
// code of a Boolean (0 true). Cached: the tables ask for the same ones often.
Capability tput(const QString &term, const QString &cap, const QStringList &args = {})
{
    static QHash<QString, Capability> cache;
    const QString key = term + u'|' + cap + u'|' + args.join(u'|');
    const auto it = cache.constFind(key);
    if (it != cache.constEnd())
        return *it;
    QProcess p;
    p.start(QStringLiteral("tput"), QStringList { QStringLiteral("-T"), term, cap } + args);
    p.waitForFinished(10000);
    Capability c { p.readAllStandardOutput(), p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1 };
    // tput pads with NUL (the terminals ignore it): the tables compare without it.
    c.bytes.replace('\0', QByteArray());
    cache.insert(key, c);
    return c;
}

QByteArray cap(const char *term, const char *name, const QStringList &args = {})
{
    const Capability c = tput(QString::fromLatin1(term), QString::fromLatin1(name), args);
    return c.exitCode == 0 ? c.bytes : QByteArray();
}

bool flag(const char *term, const char *name)
{
    return tput(QString::fromLatin1(term), QString::fromLatin1(name)).exitCode == 0;
}

int number(const char *term, const char *name)
{
    return std::max(0, tput(QString::fromLatin1(term), QString::fromLatin1(name)).bytes.trimmed().toInt());
}

bool terminfoAvailable()
{
    return tput(QStringLiteral("wy50"), QStringLiteral("cols")).bytes.trimmed() == "80";
}

QByteArray cup(const char *term, int row, int col)
{
    return cap(term, "cup", { QString::number(row), QString::number(col) });
}

QStringList screenLines(const Screen &screen)
{
    QStringList lines;
    for (int r = 0; r < screen.rows(); ++r)
        lines << trimmedRight(screen.rowText(r));
    while (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

QStringList normalized(QStringList lines)
{
    for (QString &line : lines)
        line = trimmedRight(line.left(Cols));
    while (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

// Five rows of 19 characters each (the last column stays free: writing it wraps).
QStringList canvas()
{
    QStringList lines;
    for (int r = 0; r < Rows; ++r)
        lines << QString::number(r) + QStringLiteral("abcdefghijklmnopqr");
    return lines;
}

QByteArray drawCanvas(const char *term)
{
    QByteArray bytes;
    const QStringList lines = canvas();
    for (int r = 0; r < Rows; ++r)
        bytes += cup(term, r, 0) + lines[r].toLatin1();
    return bytes;
}

Cell cellAt(const Screen &screen, int row, int col)
{
    std::vector<Cell> cells(static_cast<size_t>(screen.cols()));
    screen.readRow(row, cells.data());
    return cells[size_t(col)];
}

// A 4014 address of 10 bits (0-1023 x 0-779): high Y, low Y, high X, low X.
QByteArray tek(int x, int y)
{
    const char bytes[] = { char(0x20 | (y >> 5)), char(0x60 | (y & 31)), char(0x20 | (x >> 5)),
        char(0x40 | (x & 31)) };
    return QByteArray(bytes, sizeof bytes);
}

// A 12-bit address (0-4095 x 0-3119): the extra byte carries the two lowest bits of each.
QByteArray tek12(int x, int y)
{
    const char bytes[] = { char(0x20 | (y >> 7)), char(0x60 | ((y & 3) << 2) | (x & 3)),
        char(0x60 | ((y >> 2) & 31)), char(0x20 | (x >> 7)), char(0x40 | ((x >> 2) & 31)) };
    return QByteArray(bytes, sizeof bytes);
}

// A 4100 integer parameter: high characters of six bits, a low one of four bits and the sign.
QByteArray tekInt(int value)
{
    const int magnitude = std::abs(value);
    QByteArray bytes;
    if (magnitude >= 16)
        bytes += char(0x40 | (magnitude >> 4));
    bytes += char(0x20 | (value >= 0 ? 0x10 : 0) | (magnitude & 15));
    return bytes;
}

using Item = emu::GraphicsItem;

Item line(QPoint from, QPoint to, int style = 0, int color = 0)
{
    Item item;
    item.kind = Item::Kind::Line;
    item.from = from;
    item.to = to;
    item.style = quint8(style);
    item.color = quint8(color);
    item.size = 1;
    return item;
}

Item point(QPoint at)
{
    Item item;
    item.kind = Item::Kind::Point;
    item.from = item.to = at;
    item.size = 1;
    return item;
}

Item text(QPoint at, const QString &s, int size = 1)
{
    Item item;
    item.kind = Item::Kind::Text;
    item.from = item.to = at;
    item.text = s;
    item.size = quint8(size);
    return item;
}

QString describe(const std::vector<Item> &items)
{
    QStringList out;
    for (const Item &i : items)
        out << QStringLiteral("%1 (%2,%3)-(%4,%5) s%6 c%7 z%8 %9")
                   .arg(int(i.kind))
                   .arg(i.from.x())
                   .arg(i.from.y())
                   .arg(i.to.x())
                   .arg(i.to.y())
                   .arg(i.style)
                   .arg(i.color)
                   .arg(i.size)
                   .arg(i.text);
    return out.join(u'\n');
}

// A plot: axes, ticks, a damped wave and labels, as a plotting program draws it.
QByteArray tekPlot()
{
    QByteArray plot = "\x1b\x0c";
    plot += "\x1d" + tek(100, 80) + tek(100, 700) + "\x1d" + tek(100, 80) + tek(950, 80);
    for (int x = 100; x <= 950; x += 85)
        plot += "\x1d" + tek(x, 80) + tek(x, 70);
    plot += "\x1d";
    for (int i = 0; i <= 200; ++i) {
        const double t = i / 200.0;
        const int x = 100 + int(t * 850);
        const int y = 390 + int(280 * std::exp(-2.2 * t) * std::sin(t * 6 * 3.14159265));
        plot += tek(x, y);
    }
    plot += "\x1d" + tek(300, 730) + "\x1f" + "Damped response";
    plot += "\x1d" + tek(880, 40) + "\x1f" + "time";
    plot += "\x1b" "a\x1d" + tek(100, 390) + tek(950, 390) + "\x1b`";
    return plot;
}

// Shows the control for a screenshot: a 4014 with the plot, and what follows it, from the host.
bool showWithPlot(emu::nvEmulator &control, const QByteArray &more = {})
{
    control.Settings()->setTermType(11);
    control.resize(900, 680);
    control.show();
    if (!QTest::qWaitForWindowExposed(&control))
        return false;
    control.feedHostData(tekPlot() + more);
    control.view()->flushDamage();
    return true;
}

QString rowName(const Entry &e, const char *what)
{
    return QStringLiteral("%1 (%2) %3").arg(QLatin1String(e.name)).arg(e.termType).arg(QLatin1String(what));
}

std::unique_ptr<Screen> screenOf(int termType)
{
    auto screen = std::make_unique<Screen>(Rows, Cols, 10);
    screen->setTerminalType(termType);
    return screen;
}

// The look of a cell as bits: 1 reverse, 2 underline, 4 blink, 8 bold, 16 dim, 32 concealed.
int lookOf(const Cell &c)
{
    return ((c.attr & emu::AttrReverse) ? 1 : 0) | ((c.attr & emu::AttrUnderline) ? 2 : 0)
        | ((c.attr & emu::AttrBlink) ? 4 : 0) | ((c.attr & emu::AttrBold) ? 8 : 0)
        | ((c.flags & emu::CellDim) ? 16 : 0) | ((c.flags & emu::CellConcealed) ? 32 : 0);
}

} // namespace

class TestTermTypes : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void capabilities_data();
    void capabilities();
    void attributes_data();
    void attributes();
    void lineGraphics_data();
    void lineGraphics();
    void keys_data();
    void keys();
    void reports_data();
    void reports();
    void vtBehaviours_data();
    void vtBehaviours();
    void columnModeThroughTheControl();
    void hostFaults_data();
    void hostFaults();
    void statusLine_data();
    void statusLine();
    void programmedKeys();
    void userDefinedKeys_data();
    void userDefinedKeys();
    void protectedFields_data();
    void protectedFields();
    void magicCookies();
    void cursorVisibility_data();
    void cursorVisibility();
    void pcCharacterSet_data();
    void pcCharacterSet();
    void characterSets_data();
    void characterSets();
    void vt52Keypad_data();
    void vt52Keypad();
    void splitSequences_data();
    void splitSequences();
    void tektronix_data();
    void tektronix();
    void tektronixInquiry();
    void tektronixNewLink();
    void graphicsInput_data();
    void graphicsInput();
    void graphicsInputEnds_data();
    void graphicsInputEnds();
    void graphicsInputThroughTheControl();
    void plotShowsAsLines();
    void statusLineInView_data();
    void statusLineInView();
    void tektronixScreenshot();
    void crosshairScreenshot();
    void lineSizes_data();
    void lineSizes();
    void lineSizesMoveWithTheirLines();
    void doubleWidthIsDrawnWide();
    void vt420Pages_data();
    void vt420Pages();
    void pagesThroughTheControl();
    void wysePages_data();
    void wysePages();
    void printController_data();
    void printController();
    void settingsReachTheScreen();
    void keysThroughTheControl_data();
    void keysThroughTheControl();
};

void TestTermTypes::initTestCase()
{
    if (!terminfoAvailable())
        QSKIP("the terminfo entries of ncurses-term are not installed (scripts/setup installs them)");
}

// --- Capabilities: bytes of the entry -> screen and cursor -------------------------------------

void TestTermTypes::capabilities_data()
{
    QTest::addColumn<int>("termType");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QPoint>("cursor"); // (-1, -1): not compared

    const QPoint any(-1, -1);
    for (const Entry &e : entries) {
        const char *t = e.name;
        if (cap(t, "cup").isEmpty())
            continue;
        const QByteArray base = drawCanvas(t) + cup(t, 2, 5);
        const QStringList lines = canvas();
        auto add = [&](const char *what, const QByteArray &input, const QStringList &expected,
                       QPoint cursor) {
            QTest::newRow(qPrintable(rowName(e, what)))
                << e.termType << input << normalized(expected) << cursor;
        };
        auto motion = [&](const char *name, QPoint cursor, const QByteArray &start = {}) {
            const QByteArray bytes = cap(t, name);
            if (!bytes.isEmpty())
                add(name, (start.isEmpty() ? base : drawCanvas(t) + start) + bytes, lines, cursor);
        };
        add("cup", drawCanvas(t) + cup(t, 3, 7), lines, QPoint(7, 3));
        motion("home", QPoint(0, 0));
        motion("ll", QPoint(0, Rows - 1));
        motion("cuu1", QPoint(5, 1));
        motion("cud1", QPoint(5, 3));
        motion("cub1", QPoint(4, 2));
        motion("cuf1", QPoint(6, 2));
        motion("cr", QPoint(0, 2));
        // ANSI's nel scrolls the screen up under the cursor (CR, ESC [ S).
        if (e.termType != 9)
            motion("nel", QPoint(0, 3));
        motion("ht", QPoint(8, 2));
        motion("cbt", QPoint(8, 2), cup(t, 2, 10));
        // The character terminals' own rows (the VT family's engine has its own tests).
        if (const QByteArray cbt = cap(t, "cbt"); !cbt.isEmpty() && !vtFamily(e))
            add("cbt before the first stop", drawCanvas(t) + cup(t, 2, 5) + cbt, lines, QPoint(0, 2));
        if (e.termType == 5 || e.termType == 6)
            add("ESC a: decimal address", drawCanvas(t) + "\x1b" "a3R12C", lines, QPoint(11, 2));

        if (const QByteArray el = cap(t, "el"); !el.isEmpty()) {
            QStringList l = lines;
            l[2] = l[2].left(5);
            add("el", base + el, l, QPoint(5, 2));
        }
        if (const QByteArray ed = cap(t, "ed"); !ed.isEmpty()) {
            QStringList l = lines;
            l[2] = l[2].left(5);
            l[3].clear();
            l[4].clear();
            add("ed", base + ed, l, QPoint(5, 2));
        }
        if (const QByteArray clear = cap(t, "clear"); !clear.isEmpty())
            add("clear", base + clear, {}, QPoint(0, 0));
        if (const QByteArray dl = cap(t, "dl1"); !dl.isEmpty()) {
            QStringList l = lines;
            l.removeAt(2);
            add("dl1", base + dl, l, any);
        }
        if (const QByteArray il = cap(t, "il1"); !il.isEmpty()) {
            QStringList l = lines;
            l.insert(2, QString());
            l.removeLast();
            add("il1", base + il, l, any);
        }
        if (const QByteArray dch = cap(t, "dch1"); !dch.isEmpty()) {
            QStringList l = lines;
            l[2].remove(5, 1);
            add("dch1", base + dch, l, QPoint(5, 2));
        }
        if (const QByteArray ich = cap(t, "ich1"); !ich.isEmpty()) {
            QStringList l = lines;
            l[2].insert(5, u' ');
            add("ich1", base + ich, l, any);
        }
        if (const QByteArray smir = cap(t, "smir"); !smir.isEmpty()) {
            QStringList l = lines;
            l[2] = lines[2].left(5) + QStringLiteral("XYz") + lines[2].mid(6);
            add("smir rmir", base + smir + "XY" + cap(t, "rmir") + "z", l, QPoint(8, 2));
            l[2] = lines[2].left(5) + QStringLiteral("XY") + lines[2].mid(7);
            add("rmir ends insert mode", base + smir + cap(t, "rmir") + "XY", l, QPoint(7, 2));
        }
        if (const QByteArray ind = cap(t, "ind"); !ind.isEmpty()) {
            QStringList l = lines.mid(1);
            add("ind on the bottom row", drawCanvas(t) + cup(t, Rows - 1, 3) + ind, l,
                QPoint(3, Rows - 1));
        }
        if (const QByteArray ri = cap(t, "ri"); !ri.isEmpty()) {
            QStringList l = lines;
            l.prepend(QString());
            l.removeLast();
            add("ri on the top row", drawCanvas(t) + cup(t, 0, 3) + ri, l, QPoint(3, 0));
        }
        {
            // am: the character after the last column goes to the next line; without it
            // the last column is written over.
            QStringList l = lines;
            const QByteArray text = QByteArray(Cols, 'Z') + 'Y';
            if (flag(t, "am")) {
                l[2] = QString(Cols, u'Z');
                l[3] = u'Y' + lines[3].mid(1);
                add("am", drawCanvas(t) + cup(t, 2, 0) + text, l, QPoint(1, 3));
            } else {
                l[2] = QString(Cols - 1, u'Z') + u'Y';
                add("no am", drawCanvas(t) + cup(t, 2, 0) + text, l, QPoint(Cols - 1, 2));
            }
        }
        if (flag(t, "am") && !vtFamily(e)) {
            // xenl: writing the last column leaves the cursor there, so a CR stays on the line.
            QStringList l = lines;
            l[2] = QString(Cols, u'Z');
            const QByteArray text = drawCanvas(t) + cup(t, 2, 0) + QByteArray(Cols, 'Z') + "\rY";
            if (flag(t, "xenl")) {
                l[2][0] = u'Y';
                add("xenl: CR after the last column", text, l, QPoint(1, 2));
            } else {
                l[3] = u'Y' + lines[3].mid(1);
                add("no xenl: CR after the last column", text, l, QPoint(1, 3));
            }
        }
        if (const QByteArray cub1 = cap(t, "cub1"); !cub1.isEmpty()) {
            const QPoint after = flag(t, "bw") ? QPoint(Cols - 1, 1) : QPoint(0, 2);
            add(flag(t, "bw") ? "bw" : "no bw", drawCanvas(t) + cup(t, 2, 0) + cub1, lines, after);
        }
    }
}

void TestTermTypes::capabilities()
{
    QFETCH(int, termType);
    QFETCH(QByteArray, input);
    QFETCH(QStringList, lines);
    QFETCH(QPoint, cursor);
    auto screen = screenOf(termType);
    screen->feed(input);
    QCOMPARE(screenLines(*screen), lines);
    if (cursor.x() >= 0)
        QCOMPARE(screen->cursor(), cursor);
}

// --- Attributes ---------------------------------------------------------------------------------

void TestTermTypes::attributes_data()
{
    QTest::addColumn<int>("termType");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("markedCol"); // the X
    QTest::addColumn<int>("plainCol"); // the b after the attribute ended
    QTest::addColumn<int>("look"); // lookOf bits the X must have; -1: any highlight

    struct Attribute
    {
        const char *on;
        const char *off;
        int look;
    };
    const Attribute attributes[] = {
        { "smso", "rmso", -1 },
        { "smul", "rmul", 2 },
        { "rev", "sgr0", 1 },
        { "blink", "sgr0", 4 },
        { "bold", "sgr0", 8 },
        { "dim", "sgr0", 16 },
        { "invis", "sgr0", 32 },
    };
    for (const Entry &e : entries) {
        const int cookie = number(e.name, "xmc");
        for (const Attribute &a : attributes) {
            // The 4105's invis lacks its final "m": no terminal could take it.
            if (QByteArray(e.name) == "tek4105" && QByteArray(a.on) == "invis")
                continue;
            const QByteArray on = cap(e.name, a.on);
            QByteArray off = cap(e.name, a.off);
            if (off.isEmpty())
                off = cap(e.name, "sgr0");
            if (on.isEmpty() || off.isEmpty())
                continue;
            QTest::newRow(qPrintable(rowName(e, a.on)))
                << e.termType << cup(e.name, 1, 0) + "a" + on + "X" + off + "b" << 1 + cookie
                << 2 + 2 * cookie << a.look;
        }
    }
    // The 16th parameter is the last one kept: the digits after it change nothing.
    QTest::newRow("vt420 bold as the 16th of 17 parameters")
        << 14 << "\x1b[2;1Ha\x1b[" + QByteArray("0;").repeated(15) + "1;7mX\x1b[mb" << 1 << 2 << 8;
}

void TestTermTypes::attributes()
{
    QFETCH(int, termType);
    QFETCH(QByteArray, input);
    QFETCH(int, markedCol);
    QFETCH(int, plainCol);
    QFETCH(int, look);
    auto screen = screenOf(termType);
    screen->feed(input);
    QCOMPARE(cellAt(*screen, 1, markedCol).ch, U'X');
    QCOMPARE(cellAt(*screen, 1, plainCol).ch, U'b');
    const int marked = lookOf(cellAt(*screen, 1, markedCol));
    if (look < 0)
        QVERIFY2(marked != 0, "standout shows");
    else
        QCOMPARE(marked & look, look);
    QCOMPARE(lookOf(cellAt(*screen, 1, plainCol)), 0);
    QCOMPARE(lookOf(cellAt(*screen, 1, 0)), 0);
}

// --- Line graphics: acsc ----------------------------------------------------------------------

void TestTermTypes::lineGraphics_data()
{
    QTest::addColumn<int>("termType");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QStringList>("expected"); // the characters each may show as

    // What the VT100's graphics letters stand for (and the near forms a PC character set has).
    const QHash<char, QString> unicode = {
        { 'j', u"┘"_qs }, { 'k', u"┐"_qs }, { 'l', u"┌"_qs }, { 'm', u"└"_qs }, { 'n', u"┼"_qs },
        { 'q', u"─"_qs }, { 't', u"├"_qs }, { 'u', u"┤"_qs }, { 'v', u"┴"_qs }, { 'w', u"┬"_qs },
        { 'x', u"│"_qs }, { 'f', u"°"_qs }, { 'g', u"±"_qs }, { '+', u"→»"_qs }, { ',', u"←«"_qs },
        { '.', u"↓"_qs }, { 'o', u"⎺~"_qs }, { 'p', u"⎻─"_qs }, { 'r', u"⎼─"_qs },
        { 's', u"⎽_"_qs }, { '0', u"█"_qs }, { 'a', u"▒▓░"_qs }, { 'h', u"▒▓░␤"_qs },
        { 'y', u"≤⩽"_qs }, { 'z', u"≥⩾"_qs }, { '{', u"π"_qs },
    };
    for (const Entry &e : entries) {
        const QByteArray acsc = cap(e.name, "acsc");
        const QByteArray smacs = cap(e.name, "smacs");
        if (acsc.size() < 2 || smacs.isEmpty())
            continue;
        QByteArray input;
        QStringList expected;
        for (qsizetype i = 0; i + 1 < acsc.size(); i += 2) {
            if (!unicode.contains(acsc[i]) || uchar(acsc[i + 1]) < 0x20)
                continue;
            input += acsc[i + 1];
            expected << unicode.value(acsc[i]);
        }
        // enacs readies the graphics set, as curses sends it first.
        QTest::newRow(qPrintable(rowName(e, "acsc")))
            << e.termType
            << cap(e.name, "enacs") + cup(e.name, 0, 0) + smacs + input + cap(e.name, "rmacs") + "q"
            << expected + QStringList { QStringLiteral("q") };
    }
}

void TestTermTypes::lineGraphics()
{
    QFETCH(int, termType);
    QFETCH(QByteArray, input);
    QFETCH(QStringList, expected);
    Screen screen(Rows, 40, 0);
    screen.setTerminalType(termType);
    // The PC consoles' graphics are bytes of the PC's own character set, from a single-byte host.
    if (termType == 10 || termType == 9)
        screen.setHostEncoding(emu::HostEncoding::SingleByte);
    screen.feed(input);
    const QString shown = trimmedRight(screen.rowText(0));
    QCOMPARE(shown.size(), expected.size());
    for (qsizetype i = 0; i < shown.size(); ++i)
        QVERIFY2(expected[i].contains(shown[i]),
            qPrintable(QStringLiteral("%1: %2 for one of %3").arg(i).arg(shown[i]).arg(expected[i])));
}

// --- Keys -------------------------------------------------------------------------------------

void TestTermTypes::keys_data()
{
    QTest::addColumn<int>("termType");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QByteArray>("bytes");

    struct KeyCap
    {
        const char *cap;
        int key;
        int modifiers;
    };
    const KeyCap keyCaps[] = {
        { "kcuu1", Qt::Key_Up, 0 },
        { "kcud1", Qt::Key_Down, 0 },
        { "kcub1", Qt::Key_Left, 0 },
        { "kcuf1", Qt::Key_Right, 0 },
        { "khome", Qt::Key_Home, 0 },
        { "kHOM", Qt::Key_Home, Qt::ShiftModifier },
        { "kich1", Qt::Key_Insert, 0 },
        { "kil1", Qt::Key_Insert, Qt::ShiftModifier },
        { "kdch1", Qt::Key_Delete, 0 },
        { "kdl1", Qt::Key_Delete, Qt::ShiftModifier },
        { "kpp", Qt::Key_PageUp, 0 },
        { "knp", Qt::Key_PageDown, 0 },
        { "kcbt", Qt::Key_Backtab, Qt::ShiftModifier },
        { "kbs", Qt::Key_Backspace, 0 },
        { "kel", Qt::Key_End, 0 },
        { "ked", Qt::Key_End, Qt::ShiftModifier },
        { "kprt", Qt::Key_Print, 0 },
        { "kfnd", Qt::Key_Home, 0 },
        { "kslt", Qt::Key_End, 0 },
        { "kend", Qt::Key_End, 0 },
        { "kbeg", Qt::Key_Clear, Qt::KeypadModifier },
        { "kb2", Qt::Key_Clear, Qt::KeypadModifier },
        { "kent", Qt::Key_Enter, Qt::KeypadModifier },
    };
    for (const Entry &e : entries) {
        for (const KeyCap &k : keyCaps) {
            // The Wyse "Send" key (kent) is not the keypad's Enter, which sends CR; the VT100's
            // and VT52's kb2 is a key of the keypad's bottom rows, not its centre.
            if (QByteArray(k.cap) == "kent" && !vtFamily(e))
                continue;
            if (QByteArray(k.cap) == "kb2" && e.termType != 16)
                continue;
            const QByteArray bytes = cap(e.name, k.cap);
            if (!bytes.isEmpty())
                QTest::newRow(qPrintable(rowName(e, k.cap)))
                    << e.termType << k.key << k.modifiers << bytes;
        }
        // The function keys, where the entry numbers them from F1 (the Viewpoint A2's entry
        // counts from F0 and mixes in shifted keys: its own rows follow).
        if (QByteArray(e.name) == "viewpoint")
            continue;
        for (int n = 1; n <= 20; ++n) {
            const QByteArray name = "kf" + QByteArray::number(n);
            const QByteArray bytes = cap(e.name, name.constData());
            if (!bytes.isEmpty())
                QTest::newRow(qPrintable(rowName(e, name.constData())))
                    << e.termType << Qt::Key_F1 + n - 1 << 0 << bytes;
        }
    }
    // The Viewpoint A2: ^B and the digit, shifted ^B and the shifted digit (the entry's kf2,
    // kf3 = ^B ! and kf5 = ^B #).
    QTest::newRow("viewpoint F2") << 1 << int(Qt::Key_F2) << 0 << QByteArray("\x02" "2");
    QTest::newRow("viewpoint shift F1") << 1 << int(Qt::Key_F1) << int(Qt::ShiftModifier)
                                        << QByteArray("\x02!");
    QTest::newRow("viewpoint shift F3") << 1 << int(Qt::Key_F3) << int(Qt::ShiftModifier)
                                        << QByteArray("\x02#");
    QTest::newRow("vp60 F10") << 2 << int(Qt::Key_F10) << 0 << QByteArray("\x02:\r");
    QTest::newRow("wy50 shift F1") << 5 << int(Qt::Key_F1) << int(Qt::ShiftModifier)
                                   << QByteArray("\x01`\r");
    QTest::newRow("wy60 shift F16") << 6 << int(Qt::Key_F16) << int(Qt::ShiftModifier)
                                    << QByteArray("\x01o\r");
    QTest::newRow("vt52 F4 (PF4)") << 7 << int(Qt::Key_F4) << 0 << QByteArray("\x1bS");
    QTest::newRow("vt52 F10") << 7 << int(Qt::Key_F10) << 0 << QByteArray("\x1b?y");
    QTest::newRow("wy50 F17 (none)") << 5 << int(Qt::Key_F17) << 0 << QByteArray();
    QTest::newRow("wy50 ctrl+a") << 5 << int(Qt::Key_A) << int(Qt::ControlModifier)
                                 << QByteArray("\x01");
    QTest::newRow("wy50 ctrl+[") << 5 << int(Qt::Key_BracketLeft) << int(Qt::ControlModifier)
                                 << QByteArray("\x1b");
    QTest::newRow("wy50 return") << 5 << int(Qt::Key_Return) << 0 << QByteArray("\r");
    QTest::newRow("pc monitor F12") << 10 << int(Qt::Key_F12) << 0 << QByteArray("\x1b[X");
    QTest::newRow("pc monitor shift F12") << 10 << int(Qt::Key_F12) << int(Qt::ShiftModifier)
                                          << QByteArray("\x1b[j");
    // Control letters are their control characters on every type.
    for (const int type : { 12, 8, 16, 9, 5, 7, 1 }) {
        const QString name = QStringLiteral("type %1 ").arg(type);
        QTest::newRow(qPrintable(name + QStringLiteral("ctrl+i"))) << type << int(Qt::Key_I)
                                                   << int(Qt::ControlModifier) << QByteArray("\t");
        QTest::newRow(qPrintable(name + QStringLiteral("ctrl+j"))) << type << int(Qt::Key_J)
                                                   << int(Qt::ControlModifier) << QByteArray("\n");
        QTest::newRow(qPrintable(name + QStringLiteral("ctrl+m"))) << type << int(Qt::Key_M)
                                                   << int(Qt::ControlModifier) << QByteArray("\r");
        QTest::newRow(qPrintable(name + QStringLiteral("ctrl+shift+c")))
            << type << int(Qt::Key_C) << int(Qt::ControlModifier | Qt::ShiftModifier)
            << QByteArray("\x03");
    }
    QTest::newRow("vt100 ctrl+alt+x") << 12 << int(Qt::Key_X)
                                      << int(Qt::ControlModifier | Qt::AltModifier)
                                      << QByteArray("\x1b\x18");
    QTest::newRow("sco ctrl+F1") << 15 << int(Qt::Key_F1) << int(Qt::ControlModifier)
                                 << cap("scoansi", "kf25");
    QTest::newRow("sco ctrl+shift+F12")
        << 15 << int(Qt::Key_F12) << int(Qt::ControlModifier | Qt::ShiftModifier)
        << cap("scoansi", "kf48");
    QTest::newRow("sco shift+F1") << 15 << int(Qt::Key_F1) << int(Qt::ShiftModifier)
                                  << cap("scoansi", "kf13");
    QTest::newRow("linux backtab") << 16 << int(Qt::Key_Backtab) << int(Qt::ShiftModifier)
                                   << cap("linux", "kcbt");
    QTest::newRow("vt220 shift+F6 (no shifted keys)")
        << 8 << int(Qt::Key_F6) << int(Qt::ShiftModifier) << cap("vt220", "kf6");
    QTest::newRow("vt220 F5 (local)") << 8 << int(Qt::Key_F5) << 0 << QByteArray();
}

void TestTermTypes::keys()
{
    QFETCH(int, termType);
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(QByteArray, bytes);
    auto screen = screenOf(termType);
    // The entries describe the keys with the keypad transmitting (smkx).
    for (const Entry &e : entries) {
        if (e.termType == termType)
            screen->feed(cap(e.name, "smkx"));
    }
    QCOMPARE(screen->key(key, Qt::KeyboardModifiers(modifiers), QString()), bytes);
}

// --- Reports and answerback -----------------------------------------------------------------

void TestTermTypes::reports_data()
{
    QTest::addColumn<int>("termType");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("answer");

    for (const Entry &e : entries)
        QTest::newRow(qPrintable(rowName(e, "ENQ answerback")))
            << e.termType << QByteArray("\x05") << QByteArray("LINE7");
    // The VT52's identity request (u9) and its answer (u8: ESC / K or L).
    QTest::newRow("vt52 identify") << 7 << cap("vt52", "u9") << QByteArray("\x1b/K");
    QTest::newRow("wy50 cursor address") << 5 << cup("wy50", 2, 5) + "\x1b?" << QByteArray("\"%\r");
    QTest::newRow("wy50 identity") << 5 << QByteArray("\x1b ") << QByteArray("50\r");
    QTest::newRow("wy60 identity") << 6 << QByteArray("\x1b ") << QByteArray("60\r");
    QTest::newRow("viewpoint cursor address")
        << 1 << cup("viewpoint", 3, 1) + "\x1b?" << QByteArray("#!\r");
    QTest::newRow("tek4105 cursor position")
        << 17 << cup("tek4105", 2, 5) + "\x1b[6n" << QByteArray("\x1b[3;6R");
    QTest::newRow("pc monitor cursor position")
        << 10 << QByteArray("\x1b[4;7H\x1b[6n") << QByteArray("\x1b[4;7R");
    // Device attributes as each DEC terminal answers them (CSI c, CSI > c).
    QTest::newRow("vt100 DA") << 12 << QByteArray("\x1b[c") << QByteArray("\x1b[?1;2c");
    QTest::newRow("vt100 DECID") << 12 << QByteArray("\x1bZ") << QByteArray("\x1b[?1;2c");
    // 9: the national replacement sets, from the VT220 on.
    QTest::newRow("vt220 DA") << 8 << QByteArray("\x1b[0c") << QByteArray("\x1b[?62;1;2;6;8;9c");
    QTest::newRow("vt320 DA") << 13 << QByteArray("\x1b[c") << QByteArray("\x1b[?63;1;2;6;8;9c");
    QTest::newRow("vt420 DA") << 14 << QByteArray("\x1b[c")
                              << QByteArray("\x1b[?64;1;2;6;8;9;21;28c");
    // VT52 mode answers the VT52's identity request; back in ANSI mode DECID again.
    QTest::newRow("vt100 VT52 mode identify") << 12 << QByteArray("\x1b[?2l\x1bZ")
                                              << QByteArray("\x1b/Z");
    QTest::newRow("vt420 VT52 mode identify") << 14 << QByteArray("\x1b[?2l\x1bZ")
                                              << QByteArray("\x1b/Z");
    QTest::newRow("vt100 DECID after ESC <") << 12 << QByteArray("\x1b[?2l\x1b<\x1bZ")
                                             << QByteArray("\x1b[?1;2c");
    QTest::newRow("vt220 CSI > c") << 8 << QByteArray("\x1b[>c") << QByteArray("\x1b[>1;10;0c");
    QTest::newRow("vt320 CSI > c") << 13 << QByteArray("\x1b[>0c") << QByteArray("\x1b[>24;10;0c");
    QTest::newRow("vt420 CSI > c") << 14 << QByteArray("\x1b[>c") << QByteArray("\x1b[>41;10;0c");
    QTest::newRow("vt220 S7C1T: 7-bit answers again")
        << 8 << QByteArray("\x1b G\x1b F\x1b[>c") << QByteArray("\x1b[>1;10;0c");
    QTest::newRow("vt100 no CSI > c, then DA") << 12 << QByteArray("\x1b[>c\x1b[c")
                                              << QByteArray("\x1b[?1;2c");
    QTest::newRow("linux DA") << 16 << QByteArray("\x1b[c") << QByteArray("\x1b[?6c");
    // 8-bit answers take the form of the host's last C1 control: a byte of its own until one
    // comes UTF-8 encoded (C1 controls from a UTF-8 host act on the VT220 and later).
    QTest::newRow("vt220 S8C1T: 8-bit answers") << 8 << QByteArray("\x1b G\x1b[>c")
                                               << QByteArray("\x9b>1;10;0c");
    QTest::newRow("vt220 S8C1T after a UTF-8 encoded C1")
        << 8 << QByteArray("\x1b G\xc2\x9b>c") << QByteArray("\xc2\x9b>1;10;0c");
    QTest::newRow("vt420 S8C1T after a C1 byte")
        << 14 << QByteArray("\x1b G\xc2\x9b" "0m\x9b" "6n") << QByteArray("\x9b" "1;1R");
    QTest::newRow("vt320 C1 byte from a UTF-8 host, 7-bit answer")
        << 13 << QByteArray("\x9b" "c") << QByteArray("\x1b[?63;1;2;6;8;9c");
    QTest::newRow("vt420 DCS in UTF-8") << 14 << QByteArray("\xc2\x90$qr\xc2\x9c")
                                       << QByteArray("\x1bP1$r1;5r\x1b\\");
    // DECREQTPARM (CSI 0 x, CSI 1 x).
    QTest::newRow("vt100 DECREQTPARM 0") << 12 << QByteArray("\x1b[x")
                                         << QByteArray("\x1b[2;1;1;128;128;1;0x");
    QTest::newRow("vt100 DECREQTPARM 1") << 12 << QByteArray("\x1b[1x")
                                         << QByteArray("\x1b[3;1;1;128;128;1;0x");
    // Device status reports (CSI ? n).
    QTest::newRow("vt220 keyboard DSR") << 8 << QByteArray("\x1b[?26n") << QByteArray("\x1b[?27;1n");
    QTest::newRow("vt420 keyboard DSR") << 14 << QByteArray("\x1b[?26n")
                                        << QByteArray("\x1b[?27;1;0;0n");
    QTest::newRow("vt220 printer DSR, no printer")
        << 8 << QByteArray("\x1b[?15n") << QByteArray("\x1b[?13n");
    QTest::newRow("vt220 UDK DSR, unlocked") << 8 << QByteArray("\x1b[?25n") << QByteArray("\x1b[?20n");
    QTest::newRow("vt220 UDK DSR, locked by DECUDK")
        << 8 << QByteArray("\x1bP1;0|17/41\x1b\\\x1b[?25n") << QByteArray("\x1b[?21n");
    // CPR counts from the scrolling region in origin mode (CSI ? 6 h, CSI 6 n).
    QTest::newRow("vt100 CPR in origin mode")
        << 12 << QByteArray("\x1b[2;4r\x1b[?6h\x1b[2;3H\x1b[6n") << QByteArray("\x1b[2;3R");
    QTest::newRow("vt100 CPR without origin mode")
        << 12 << QByteArray("\x1b[2;4r\x1b[2;3H\x1b[6n") << QByteArray("\x1b[2;3R");
    QTest::newRow("vt420 CPR on the region's first line")
        << 14 << QByteArray("\x1b[4;5r\x1b[?6h\x1b[6n") << QByteArray("\x1b[1;1R");
    // DECRQM (CSI ? Ps $ p, CSI Ps $ p).
    QTest::newRow("vt420 DECRQM origin mode")
        << 14 << QByteArray("\x1b[?6h\x1b[?6$p") << QByteArray("\x1b[?6;1$y");
    QTest::newRow("vt420 DECRQM of a mode beyond 65535")
        << 14 << QByteArray("\x1b[?99999$p") << QByteArray("\x1b[?65535;0$y");
    QTest::newRow("vt420 a parameter after an intermediate voids the sequence")
        << 14 << QByteArray("\x1b[4 5q\x1bP$q q\x1b\\") << QByteArray("\x1bP1$r1 q\x1b\\");
    QTest::newRow("vt420 DECRQM DECCOLM") << 14 << QByteArray("\x1b[?3h\x1b[?3$p")
                                          << QByteArray("\x1b[?3;1$y");
    QTest::newRow("vt320 DECRQM DECLRMM") << 13 << QByteArray("\x1b[?69$p")
                                          << QByteArray("\x1b[?69;0$y");
    QTest::newRow("vt420 DECCOLM resets DECLRMM")
        << 14 << QByteArray("\x1b[?69h\x1b[?3h\x1b[?69$p") << QByteArray("\x1b[?69;2$y");
    QTest::newRow("vt420 RIS goes back to 80 columns")
        << 14 << QByteArray("\x1b[?3h\x1b" "c\x1b[?3$p") << QByteArray("\x1b[?3;2$y");
    QTest::newRow("vt420 DECRC with nothing saved resets origin mode")
        << 14 << QByteArray("\x1b[?6h\x1b" "8\x1b[?6$p") << QByteArray("\x1b[?6;2$y");
    QTest::newRow("vt420 DECRQM insert mode") << 14 << QByteArray("\x1b[4$p") << QByteArray("\x1b[4;2$y");
    // Modes the host cannot change answer 3 (permanently set) or 4 (permanently reset); a mode
    // the type lacks, 0.
    QTest::newRow("vt420 DECRQM KAM") << 14 << QByteArray("\x1b[2$p") << QByteArray("\x1b[2;4$y");
    QTest::newRow("vt320 DECRQM KAM") << 13 << QByteArray("\x1b[2$p") << QByteArray("\x1b[2;4$y");
    QTest::newRow("vt420 DECRQM DECBKM") << 14 << QByteArray("\x1b[?67$p")
                                         << QByteArray("\x1b[?67;3$y");
    QTest::newRow("vt320 DECRQM DECBKM") << 13 << QByteArray("\x1b[?67$p")
                                         << QByteArray("\x1b[?67;0$y");
    QTest::newRow("vt420 DECRQM DECSCLM") << 14 << QByteArray("\x1b[?4$p")
                                          << QByteArray("\x1b[?4;4$y");
    QTest::newRow("vt320 DECRQM DECARM") << 13 << QByteArray("\x1b[?8$p")
                                         << QByteArray("\x1b[?8;3$y");
    // DECRQSS: DCS $ q setting ST, answered DCS 1 $ r setting ST, or DCS 0 $ r ST for a
    // setting the terminal does not report.
    const struct
    {
        const char *name;
        QByteArray input;
        QByteArray answer;
    } statusRequests[] = {
        { "rendition", "\x1b[m\x1bP$qm\x1b\\", "\x1bP1$r0m\x1b\\" },
        { "rendition bold underline", "\x1b[1;4m\x1bP$qm\x1b\\", "\x1bP1$r0;1;4m\x1b\\" },
        { "margins", "\x1b[2;4r\x1bP$qr\x1b\\", "\x1bP1$r2;4r\x1b\\" },
        { "margins whole screen", "\x1bP$qr\x1b\\", "\x1bP1$r1;5r\x1b\\" },
        { "cursor style", "\x1b[4 q\x1bP$q q\x1b\\", "\x1bP1$r4 q\x1b\\" },
        { "protection", "\x1b[1\"q\x1bP$q\"q\x1b\\", "\x1bP1$r1\"q\x1b\\" },
        { "no protection", "\x1b[1\"q\x1b[0\"q\x1bP$q\"q\x1b\\", "\x1bP1$r0\"q\x1b\\" },
        { "unknown setting", "\x1bP$qc\x1b\\", "\x1bP0$r\x1b\\" },
        { "setting of no terminal", "\x1bP$q*x+y\x1b\\", "\x1bP0$r\x1b\\" },
        { "bright colours", "\x1b[90;101m\x1bP$qm\x1b\\", "\x1bP1$r0;90;101m\x1b\\" },
        { "status line type", "\x1b[2$~\x1bP$q$~\x1b\\", "\x1bP1$r2$~\x1b\\" },
        { "no status line", "\x1bP$q$~\x1b\\", "\x1bP1$r0$~\x1b\\" },
        { "active display", "\x1b[2$~\x1b[1$}\x1bP$q$}\x1b\\", "\x1bP1$r1$}\x1b\\" },
        { "main display active", "\x1b[2$~\x1bP$q$}\x1b\\", "\x1bP1$r0$}\x1b\\" },
    };
    for (const auto &r : statusRequests) {
        QTest::newRow(qPrintable(QStringLiteral("vt320 DECRQSS %1").arg(QLatin1String(r.name))))
            << 13 << r.input << r.answer;
        QTest::newRow(qPrintable(QStringLiteral("vt420 DECRQSS %1").arg(QLatin1String(r.name))))
            << 14 << r.input << r.answer;
    }
    QTest::newRow("vt320 DECRQSS level")
        << 13 << QByteArray("\x1bP$q\"p\x1b\\") << QByteArray("\x1bP1$r63;1\"p\x1b\\");
    QTest::newRow("vt420 DECRQSS level")
        << 14 << QByteArray("\x1bP$q\"p\x1b\\") << QByteArray("\x1bP1$r64;1\"p\x1b\\");
    // The page's size: DECSLPP, DECSCPP, DECSNLS (the VT420's).
    for (const auto &[what, answer] : { std::pair { "t", "5t" }, std::pair { "$|", "20$|" },
             std::pair { "*|", "5*|" } }) {
        const QByteArray request = "\x1bP$q" + QByteArray(what) + "\x1b\\";
        QTest::newRow(qPrintable(QStringLiteral("vt420 DECRQSS %1").arg(QLatin1String(what))))
            << 14 << request << "\x1bP1$r" + QByteArray(answer) + "\x1b\\";
        QTest::newRow(qPrintable(QStringLiteral("vt320 DECRQSS %1").arg(QLatin1String(what))))
            << 13 << request << QByteArray("\x1bP0$r\x1b\\");
    }
}

// --- The VT family beyond terminfo: bytes in -> screen, cursor and a cell's look ------------

void TestTermTypes::vtBehaviours_data()
{
    QTest::addColumn<int>("termType");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QPoint>("cursor"); // (-1, -1): not compared
    QTest::addColumn<QPoint>("cell"); // the cell whose look is compared; (-1, -1): none
    QTest::addColumn<int>("look");

    const QPoint any(-1, -1);
    auto row = [](const char *name, int type, const QByteArray &input, const QStringList &lines,
                   QPoint cursor, QPoint cell = QPoint(-1, -1), int look = 0) {
        QTest::newRow(name) << type << input << lines << cursor << cell << look;
    };
    const QStringList canvas = ::canvas();
    const QByteArray drawn = drawCanvas("vt420");
    auto with = [&canvas](int line, const QString &text) {
        QStringList l = canvas;
        l[line] = text;
        return l;
    };

    // Rows filled alike are filled again after a fill with another cell, and after text that
    // scrolled into them.
    row("vt100 erase after alignment", 12, "\x1b#8\x1b[2J", {}, QPoint(0, 0));
    row("vt100 erase after text scrolled", 12, "\x1b[2J\x1b[5;1Habc\n\n\x1b[2Jd",
        { QString(), QString(), QString(), QString(), u"   d"_qs }, QPoint(4, 4));
    // REP writes as many single characters would: wrapping and scrolling, or keeping the last
    // column without automatic wrap.
    row("vt100 REP wraps and scrolls", 12, "\x1b[5;19Hx\x1b[5b",
        QStringList(3, QString()) + QStringList { QString(18, u' ') + u"xx"_qs, u"xxxx"_qs },
        QPoint(4, 4));
    row("vt100 REP without autowrap", 12, "\x1b[?7l\x1b[1;18Hx\x1b[5by",
        { QString(17, u' ') + u"xxy"_qs }, QPoint(19, 0));
    // A region of one line is refused (CSI 0;1r): a line feed moves on.
    // REP gives what the whole count gives.
    const QString full(Cols, u'A');
    row("vt100 REP of many lines", 12, "A\x1b[2010b", { full, full, full, full, QString(11, u'A') },
        QPoint(11, 4));
    row("vt100 REP of many lines, the last one full", 12, "A\x1b[1999b",
        { full, full, full, full, full }, QPoint(Cols - 1, 4));
    row("vt100 REP of many lines in a region", 12, drawn + "\x1b[2;3r\x1b[2;1HA\x1b[2010b",
        { canvas[0], full, QString(11, u'A'), canvas[3], canvas[4] }, QPoint(11, 2));
    row("vt420 REP of many lines inside the margins", 14,
        drawn + "\x1b[?69h\x1b[3;8s\x1b[2;3r\x1b[2;3HA\x1b[2010b",
        { canvas[0], u"1aAAAAAAhijklmnopqr"_qs, u"2aA     hijklmnopqr"_qs, canvas[3], canvas[4] },
        QPoint(3, 2));
    row("vt100 REP from the middle of the last row", 12, drawn + "\x1b[5;10HA\x1b[2010b",
        { full, full, full, full, full }, QPoint(Cols - 1, 4));
    row("vt100 REP on the last row below the region", 12, "\x1b[1;2r\x1b[5;1HA\x1b[2010b",
        { QString(), QString(), QString(), QString(), QString(11, u'A') + QString(9, u'A') },
        QPoint(11, 4));
    row("vt100 REP count beyond 65535", 12, "a\x1b[99999b", // clamped: 65,536 characters
        QStringList(Rows - 1, QString(Cols, u'a')) + QStringList { QString(16, u'a') },
        QPoint(16, Rows - 1));
    row("vt220 REP of a character beyond ASCII", 8, "\xc3\xa9\x1b[2b", { u"\u00e9\u00e9\u00e9"_qs },
        QPoint(3, 0));
    // The parser's bounds and the sequences it aborts or ignores.
    row("vt100 CSI with an empty first parameter", 12, "\x1b[;5HX", { u"    X"_qs }, QPoint(5, 0));
    row("vt100 a 17th parameter is dropped", 12, "\x1b[" + QByteArray("0;").repeated(15) + "1;mX",
        { u"X"_qs }, QPoint(1, 0), QPoint(0, 0), 8);
    row("vt100 digits of a 17th parameter are not the 16th's", 12,
        "\x1b[" + QByteArray("0;").repeated(15) + "4;1mX", { u"X"_qs }, QPoint(1, 0), QPoint(0, 0), 2);
    row("vt420 a sub-parameter", 14, "\x1b[4:3mX", { u"X"_qs }, QPoint(1, 0), QPoint(0, 0), 2);
    row("vt100 SUB aborts a sequence", 12, "a\x1b[3\x1a" "Cb", { u"aCb"_qs }, QPoint(3, 0));
    row("vt100 ED 1 takes the cursor's cell", 12, "abcdef\x1b[1;3H\x1b[1J", { u"   def"_qs },
        QPoint(2, 0));
    row("vt100 DCH blanks the cells it vacates", 12, "abcdef\x1b[1;2H\x1b[2P", { u"adef"_qs },
        QPoint(1, 0));
    row("vt100 DECSTBM bottom beyond the screen", 12, "\x1b[1;99r\x1b[5;1HA\nB",
        { QString(), QString(), QString(), u"A"_qs, u" B"_qs }, QPoint(2, 4));
    row("vt100 CUU stops at the top margin", 12, "\x1b[2;4r\x1b[3;1H\x1b[5AX",
        { QString(), u"X"_qs }, QPoint(1, 1));
    row("vt220 no autowrap: the last column takes the last character", 8,
        "\x1b[?7l\x1b[1;19H\xc3\xa9\xc3\xa8\xc3\xaa", { QString(18, u' ') + u"\u00e9\u00ea"_qs },
        QPoint(Cols - 1, 0));
    // The VT420's rectangles.
    row("vt420 DECERA on the last row", 14, drawn + "\x1b[5;1;5;3$z",
        canvas.mid(0, 4) + QStringList { u"   cdefghijklmnopqr"_qs }, any);
    row("vt420 DECERA in origin mode counts from the left margin", 14,
        drawn + "\x1b[?69h\x1b[3;8s\x1b[?6h\x1b[1;2;1;3$z",
        QStringList { u"0ab  efghijklmnopqr"_qs } + canvas.mid(1), any);
    row("vt420 DECERA erases protected characters", 14, "\x1b[1\"qAB\x1b[0\"q\x1b[1;1;1;5$z", {},
        any);
    row("vt420 DECFRA with a GR character", 14, "\x1b[233;1;1;1;3$x", { u"\u00e9\u00e9\u00e9"_qs },
        any);
    row("vt420 DECCARA without attributes resets them all", 14,
        "\x1b[1;4mAB\x1b[m\x1b[1;1;1;2$r", { u"AB"_qs }, any, QPoint(0, 0), 0);
    row("vt420 DECRARA leaves 24 alone", 14, "AB\x1b[1;1;1;2;24$t", { u"AB"_qs }, any, QPoint(0, 0),
        0);
    row("vt420 DECSACE 1 is a stream", 14, drawn + "\x1b[1*x\x1b[1;5;2;6;1$r", canvas, any,
        QPoint(1, 1), 8);
    // The cursor saved and restored.
    row("vt420 DECSC on the alternate screen keeps the main screen's", 14,
        "\x1b[1;3H\x1b" "7\x1b[?1049h\x1b[2;2H\x1b" "7\x1b[?1049l\x1b" "8X", { u"  X"_qs },
        QPoint(3, 0));
    row("vt100 one-line region", 12, drawn + "\x1b[0;1r\x1b[1;1H\n", canvas, QPoint(0, 1));
    row("vt100 two-line region", 12, drawn + "\x1b[1;2r\x1b[2;1H\n", with(0, canvas[1]).mid(0, 1)
            + QStringList { QString() } + canvas.mid(2), QPoint(0, 1));
    // DECSC and DECRC (ESC 7, ESC 8) keep the character sets, origin mode and the wrap flag.
    row("vt100 DECSC keeps G0", 12, "\x1b(0\x1b" "7\x1b(B\x1b" "8q", { u"─"_qs }, QPoint(1, 0));
    row("vt100 DECSC keeps SO", 12, "\x1b)0\x0e\x1b" "7\x0f\x1b" "8q", { u"─"_qs }, QPoint(1, 0));
    row("vt220 DECSC keeps a single shift", 8, "\x1b*0\x1bN\x1b" "7q\x1b" "8q",
        { u"─"_qs }, QPoint(1, 0));
    row("vt100 DECSC keeps origin mode", 12,
        "\x1b[2;4r\x1b[?6h\x1b" "7\x1b[?6l\x1b" "8\x1b[1;1HX", { QString(), u"X"_qs }, QPoint(1, 1));
    row("vt100 DECSC keeps the wrap flag", 12,
        QByteArray(Cols, 'Z') + "\x1b" "7\x1b[3;3H\x1b" "8Y", { QString(Cols, u'Z'), u"Y"_qs },
        QPoint(1, 1));
    row("vt100 DECRC without DECSC: home", 12, "\x1b[3;3H\x1b(0\x1b" "8q", { u"q"_qs }, QPoint(1, 0));
    // VT52 mode (DECANM reset) on the VT100 to VT420: the VT52's sequences until ESC <.
    const QByteArray vt52 = "\x1b[?2l";
    row("vt100 VT52 addressing", 12, vt52 + "\x1bY#(X", { {}, {}, {}, u"        X"_qs },
        QPoint(9, 3));
    row("vt420 VT52 addressing", 14, vt52 + "\x1bY!!X", { {}, u" X"_qs }, QPoint(2, 1));
    row("vt100 VT52 line out of range keeps the line", 12, vt52 + "a\x1bY\x7f\"X",
        { u"a X"_qs }, QPoint(3, 0));
    row("vt100 VT52 cursor moves", 12, vt52 + "\x1b" "BX\x1b" "CY\x1b" "AZ\x1b" "DW",
        { u"   W"_qs, u"X Y"_qs }, QPoint(4, 0));
    row("vt100 VT52 home", 12, vt52 + "ab\x1bHc", { u"cb"_qs }, QPoint(1, 0));
    row("vt100 VT52 erase to the end", 12, vt52 + "abc\r\ndef\x1bY  \x1b" "C\x1bJ", { u"a"_qs },
        QPoint(1, 0));
    row("vt100 VT52 erase the line's end", 12, vt52 + "abc\r\ndef\x1b" "A\x1b" "D\x1b" "D\x1bK",
        { u"a"_qs, u"def"_qs }, QPoint(1, 0));
    row("vt100 VT52 reverse line feed", 12, vt52 + "ab\x1bI", { QString(), u"ab"_qs }, QPoint(2, 0));
    row("vt100 VT52 graphics", 12, vt52 + "\x1b" "Fq\x1bGq", { u"─q"_qs }, QPoint(2, 0));
    row("vt100 VT52 takes no ANSI sequence", 12, vt52 + "\x1b[2;3HX", { u"2;3HX"_qs }, QPoint(5, 0));
    row("vt220 ESC < back to ANSI", 8, vt52 + "\x1b<\x1b[2;3HX", { {}, u"  X"_qs }, QPoint(3, 1));
    row("vt100 VT52 sequence cut by CAN", 12, vt52 + "\x1bY\x18%X", { u"%X"_qs }, QPoint(2, 0));
    row("linux has no VT52 mode", 16, vt52 + "\x1bY!!X", { u"!!X"_qs }, QPoint(3, 0));
    // DEC Special Graphics: 0x5F is a blank.
    row("vt100 graphics 0x5F", 12, "\x1b(0a_b", { u"▒ ␉"_qs }, QPoint(3, 0));
    // Selective erase: DECSCA with DECSED and DECSEL (CSI ? J, CSI ? K), DECSERA (CSI $ {).
    const QByteArray field = "ab\x1b[1\"qPP\x1b[0\"qcd";
    row("vt220 DECSED keeps protected", 8, field + "\x1b[?2J", { u"  PP"_qs }, QPoint(6, 0));
    row("vt220 ED erases them", 8, field + "\x1b[2J", {}, QPoint(6, 0));
    row("vt320 DECSEL keeps protected", 13, field + "\r\x1b[?K", { u"  PP"_qs }, QPoint(0, 0));
    row("vt420 DECSERA keeps protected", 14, field + "\x1b[1;1;1;20${", { u"  PP"_qs }, QPoint(6, 0));
    row("vt100 has no selective erase", 12, field + "\x1b[?2J", { u"abPPcd"_qs }, QPoint(6, 0));
    // REP (CSI b): the last character written, bounded by the screen; nothing without one.
    row("vt100 REP", 12, "ab\x1b[3b", { u"abbbb"_qs }, QPoint(5, 0));
    row("vt100 REP before any character", 12, "\x1b[3bx", { u"x"_qs }, QPoint(1, 0));
    row("vt100 REP after RIS", 12, "a\x1b" "c\x1b[3b", {}, QPoint(0, 0));
    row("vt100 REP bounded", 12, "a\x1b[65535b", // 65,536 characters: 3,276 lines and 16
        QStringList(Rows - 1, QString(Cols, u'a')) + QStringList { QString(16, u'a') },
        QPoint(16, Rows - 1));
    row("vt100 17 parameters", 12, "\x1b[1;2;3;4;5;6;7;8;9;10;11;12;13;14;15;16;17;18HX",
        { u" X"_qs }, QPoint(2, 0));
    // DECCOLM (CSI ? 3 h) clears the screen, homes the cursor and resets the margins.
    row("vt100 DECCOLM clears", 12, drawn + "\x1b[2;3r\x1b[?3h\x1b[3;1H\n\n\nx",
        { QString(), QString(), QString(), QString(), u"x"_qs }, QPoint(1, 4));
    row("ansi has no DECCOLM", 9, "ab\x1b[?3h", { u"ab"_qs }, QPoint(2, 0));
    // DECSCNM (CSI ? 5 h): the whole screen in reverse.
    row("vt100 DECSCNM", 12, "x\x1b[?5h", { u"x"_qs }, any, QPoint(5, 3), 1);
    row("vt100 DECSCNM off", 12, "x\x1b[?5h\x1b[?5l", { u"x"_qs }, any, QPoint(0, 0), 0);
    row("vt100 DECSCNM over reverse text", 12, "\x1b[7mx\x1b[?5h", { u"x"_qs }, any, QPoint(0, 0), 0);
    // The VT420's rectangles: DECFRA, DECERA, DECCRA, DECCARA, DECRARA, DECSACE, in and out of
    // origin mode.
    row("vt420 DECFRA", 14, "\x1b[1m\x1b[88;2;3;3;5$x", { QString(), u"  XXX"_qs, u"  XXX"_qs },
        QPoint(0, 0), QPoint(2, 1), 8);
    row("vt420 DECFRA in origin mode", 14, "\x1b[2;4r\x1b[?6h\x1b[88;1;1;9;2$x",
        { QString(), u"XX"_qs, u"XX"_qs, u"XX"_qs }, QPoint(0, 1));
    row("vt420 DECFRA needs a printable character", 14, "\x1b[7;1;1;2;2$x", {}, QPoint(0, 0));
    row("vt420 DECERA", 14, drawn + "\x1b[2;3;3;5$z",
        with(1, u"1a   efghijklmnopqr"_qs).mid(0, 2) + QStringList { u"2a   efghijklmnopqr"_qs }
            + canvas.mid(3), any);
    row("vt420 DECCRA", 14, drawn + "\x1b[1;1;1;3;1;4;10;1$v",
        with(3, u"3abcdefgh0ablmnopqr"_qs).mid(0, 5), any);
    row("vt420 DECCRA clipped at the edge", 14, drawn + "\x1b[1;1;1;5;1;5;18;1$v",
        with(4, u"4abcdefghijklmnop0ab"_qs), any);
    row("vt420 DECCARA rectangle", 14, "abc\r\ndef\x1b[2*x\x1b[1;2;2;2;1;7$r",
        { u"abc"_qs, u"def"_qs }, any, QPoint(1, 1), 9);
    row("vt420 DECCARA rectangle leaves the rest", 14, "abc\r\ndef\x1b[2*x\x1b[1;2;2;2;1$r",
        { u"abc"_qs, u"def"_qs }, any, QPoint(2, 0), 0);
    row("vt420 DECCARA stream", 14, "abc\r\ndef\x1b[1;2;2;2;1$r", { u"abc"_qs, u"def"_qs }, any,
        QPoint(2, 0), 8);
    row("vt420 DECCARA stream ends at the corner", 14, "abc\r\ndef\x1b[1;2;2;2;1$r",
        { u"abc"_qs, u"def"_qs }, any, QPoint(2, 1), 0);
    row("vt420 DECCARA 0 resets", 14, "\x1b[1;4mab\x1b[1;1;1;1;0$r", { u"ab"_qs }, any,
        QPoint(0, 0), 0);
    row("vt420 DECRARA", 14, "\x1b[7mab\x1b[1;1;1;1;7;4$t", { u"ab"_qs }, any, QPoint(0, 0), 2);
    row("vt100 has no rectangles", 12, "abc\x1b[1;1;1;2;1$r\x1b[88;1;1;1;1$x", { u"abc"_qs },
        any, QPoint(0, 0), 0);
    // DECBI and DECFI (ESC 6, ESC 9) scroll the columns within the margins at their edge.
    row("vt420 DECFI at the right margin", 14, drawn + "\x1b[?69h\x1b[3;6s\x1b[1;6H\x1b" "9",
        { u"0acde fghijklmnopqr"_qs, u"1acde fghijklmnopqr"_qs, u"2acde fghijklmnopqr"_qs,
            u"3acde fghijklmnopqr"_qs, u"4acde fghijklmnopqr"_qs },
        QPoint(5, 0));
    row("vt420 DECBI at the left margin", 14, drawn + "\x1b[?69h\x1b[3;6s\x1b[1;3H\x1b" "6",
        { u"0a bcdfghijklmnopqr"_qs, u"1a bcdfghijklmnopqr"_qs, u"2a bcdfghijklmnopqr"_qs,
            u"3a bcdfghijklmnopqr"_qs, u"4a bcdfghijklmnopqr"_qs },
        QPoint(2, 0));
    row("vt420 DECBI inside moves left", 14, "\x1b[1;5H\x1b" "6x", { u"   x"_qs }, QPoint(4, 0));
    // Left and right margins (CSI ? 69 h, DECSLRM) bound scrolling, insertion and deletion.
    row("vt420 line feed scrolls inside the margins", 14, drawn + "\x1b[?69h\x1b[3;6s\x1b[5;4H\n",
        with(4, u"4a    fghijklmnopqr"_qs), QPoint(3, 4));
    row("vt420 IL inside the margins", 14, drawn + "\x1b[?69h\x1b[3;6s\x1b[2;4H\x1b[L",
        with(1, u"1a    fghijklmnopqr"_qs), QPoint(2, 1));
    row("vt420 ICH up to the right margin", 14, drawn + "\x1b[?69h\x1b[3;6s\x1b[1;3H\x1b[2@",
        with(0, u"0a  bcfghijklmnopqr"_qs), QPoint(2, 0));
    // DECIC and DECDC (CSI Pn ' } and CSI Pn ' ~) move the columns inside the margins.
    row("vt420 DECIC inside the margins", 14,
        drawn + "\x1b[2;4r\x1b[?69h\x1b[3;8s\x1b[3;5H\x1b[2'}",
        { canvas[0], u"1abc  dehijklmnopqr"_qs, u"2abc  dehijklmnopqr"_qs, u"3abc  dehijklmnopqr"_qs,
            canvas[4] },
        QPoint(4, 2));
    row("vt420 DECDC inside the margins", 14,
        drawn + "\x1b[2;4r\x1b[?69h\x1b[3;8s\x1b[3;5H\x1b[2'~",
        { canvas[0], u"1abcfg  hijklmnopqr"_qs, u"2abcfg  hijklmnopqr"_qs, u"3abcfg  hijklmnopqr"_qs,
            canvas[4] },
        QPoint(4, 2));
    row("vt420 DECDC outside the region", 14, drawn + "\x1b[2;4r\x1b[5;5H\x1b[2'~", canvas,
        QPoint(4, 4));
    row("vt420 DECSLRM without DECLRMM", 14, drawn + "\x1b[3;6s\x1b[5;4H\n", canvas.mid(1),
        QPoint(3, 4));
    // The alternate screen (CSI ? 1049 h) and the cursor it saves.
    row("vt100 alternate screen keeps the main one", 12, "main\x1b[?1049h\x1b[2Jalt\x1b[?1049l",
        { u"main"_qs }, QPoint(4, 0));
    row("vt100 1049 restores the cursor", 12, "ab\x1b[?1049h\x1b[3;3Hx\x1b[?1049lc", { u"abc"_qs },
        QPoint(3, 0));
    // Origin mode, soft reset, tabs.
    row("vt100 CUP stays in the region in origin mode", 12, "\x1b[2;3r\x1b[?6h\x1b[9;1HX",
        { QString(), QString(), u"X"_qs }, QPoint(1, 2));
    row("vt220 DECSTR resets origin mode and margins", 8, "\x1b[2;3r\x1b[?6h\x1b[!p\x1b[1;1HX",
        { u"X"_qs }, QPoint(1, 0));
    row("vt100 HT stops at the last column", 12, "\x1b[1;17H\tX", { QString(Cols - 1, u' ') + u'X' },
        QPoint(Cols - 1, 0));
    row("vt100 TBC 3 clears every stop", 12, "\x1b[3g\tX", { QString(Cols - 1, u' ') + u'X' },
        QPoint(Cols - 1, 0));
    // Cells hold no control characters: one after the Wyse's ESC H acts, the PC font shows
    // the picture code page 437 has for DEL.
    row("vt220 UTF-8 encoded CSI", 8, "ab\xc2\x9b" "1;1HX\xc2\x85Y", { u"Xb"_qs, u"Y"_qs },
        QPoint(1, 1));
    row("vt420 CSI as a byte of its own in UTF-8", 14, "ab\x9b" "1;1HX", { u"Xb"_qs },
        QPoint(1, 0));
    row("wy50 ESC H then a control", 5, "ab\x1bH\x1b=!!c\x1bH\x1c\x1bH\x01" "d", { u"ab"_qs, u" cd"_qs },
        QPoint(3, 1));
    row("wy60 ESC H then a control", 6, "ab\x1bH\rc", { u"cb"_qs }, QPoint(1, 0));
    row("scoansi SGR 12 turns the high bit over", 15, "\x1b[12m\xc3\xbf\x41\x1b[10mA",
        { u"\u2302\u2534A"_qs }, QPoint(3, 0));
}

void TestTermTypes::vtBehaviours()
{
    QFETCH(int, termType);
    QFETCH(QByteArray, input);
    QFETCH(QStringList, lines);
    QFETCH(QPoint, cursor);
    QFETCH(QPoint, cell);
    QFETCH(int, look);
    auto screen = screenOf(termType);
    screen->feed(input);
    QCOMPARE(screenLines(*screen), normalized(lines));
    if (cursor.x() >= 0)
        QCOMPARE(screen->cursor(), cursor);
    if (cell.x() >= 0)
        QCOMPARE(lookOf(cellAt(*screen, cell.y(), cell.x())), look);
}

// DECCOLM (CSI ? 3 h, CSI ? 3 l) and the Wyse's ESC ` ; and ESC ` : switch the control between
// its normal and extended screen size.
void TestTermTypes::columnModeThroughTheControl()
{
    for (const auto &[type, wide, narrow] : { std::tuple { 12, "\x1b[?3h", "\x1b[?3l" },
             std::tuple { 14, "\x1b[?3h", "\x1b[?3l" }, std::tuple { 5, "\x1b`;", "\x1b`:" } }) {
        emu::nvEmulator control;
        control.Settings()->setTermType(type);
        QSignalSpy screenChange(&control, &emu::nvEmulator::ScreenChange);
        control.feedHostData(QByteArray("text") + wide);
        QCOMPARE(control.screen()->cols(), 132);
        QCOMPARE(control.ExtendedMode(), rt::Int(1));
        QCOMPARE(screenChange.last().at(0).value<rt::Int>(), rt::Int(132));
        QCOMPARE(screenLines(*control.screen()), QStringList {});
        control.feedHostData(QByteArray("more") + narrow);
        QCOMPARE(control.screen()->cols(), 80);
        QCOMPARE(control.ExtendedMode(), rt::Int(0));
        QCOMPARE(control.screen()->cursor(), QPoint(0, 0));
    }
}

void TestTermTypes::reports()
{
    QFETCH(int, termType);
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, answer);
    auto screen = screenOf(termType);
    screen->setAnswerBack("LINE7");
    QSignalSpy answers(screen.get(), &Screen::answer);
    screen->feed(input);
    QCOMPARE(answers.size(), 1);
    QCOMPARE(answers.at(0).at(0).toByteArray(), answer);
}

// --- What a hostile host sends: no hang, no crash, a sound screen --------------------------------

namespace {

struct Outcome
{
    QStringList lines;
    QByteArray answers;
    QPoint cursor;
    QSize size; // rows x columns
};

// Plays a stream (see hoststream.h) to a fresh screen on a thread of its own; a run that does
// not end within the time ends the test program, which counts as the test failing.
Outcome playWithin(int termType, const QByteArray &stream, int seconds = 20)
{
    auto run = std::async(std::launch::async, [termType, stream] {
        auto screen = screenOf(termType);
        Outcome out;
        QObject::connect(screen.get(), &Screen::answer,
            [&out](const QByteArray &bytes) { out.answers += bytes; });
        hoststream::play(*screen, stream);
        out.lines = screenLines(*screen);
        out.cursor = screen->cursor();
        out.size = QSize(screen->rows(), screen->cols());
        return out;
    });
    if (run.wait_for(std::chrono::seconds(seconds)) != std::future_status::ready)
        qFatal("the terminal did not take the host's bytes within %d s", seconds);
    return run.get();
}

QByteArray manyParameters(int count, char separator = ';')
{
    QByteArray params;
    for (int i = 1; i <= count; ++i)
        params += (i > 1 ? QByteArray(1, separator) : QByteArray()) + QByteArray::number(i);
    return params;
}

} // namespace

void TestTermTypes::hostFaults_data()
{
    QTest::addColumn<int>("termType");
    QTest::addColumn<QByteArray>("stream"); // host bytes and steps (hoststream.h)
    QTest::addColumn<QStringList>("lines"); // the screen afterwards
    QTest::addColumn<QSize>("size"); // rows x columns afterwards

    const QSize small(Rows, Cols);
    const QByteArray home = "\x1b[H\x1b[2J";
    const int vtTypes[] = { 8, 9, 12, 13, 14, 15, 16 };
    for (const int type : vtTypes) {
        auto add = [type](const char *what, const QByteArray &stream, const QStringList &lines,
                       QSize size) {
            QTest::newRow(qPrintable(QStringLiteral("%1 %2").arg(type).arg(QLatin1String(what))))
                << type << stream << lines << size;
        };
        add("REP first", "\x1b[b\x1b[5bok", { "ok" }, small);
        add("REP after RIS", "x\033c\x1b[3bok", { "ok" }, small);
        add("REP after a combining mark alone", "\xcc\x81\x1b[2bok", { "ok" }, small);
        if (type == 9) // REP is ANSI's (terminfo's rep)
            add("REP", "x\x1b[3b", { "xxxx" }, small);
        add("REP of more than a screen", "x\x1b[65535b\x1b[999999999b" + home + "ok", { "ok" },
            small);
        add("17 parameters", "hello\r\n\x1b[" + manyParameters(17) + "m\x1b[mok", { "hello", "ok" },
            small);
        add("17 sub-parameters", "hello\r\n\x1b[" + manyParameters(17, ':') + "mok",
            { "hello", "ok" }, small);
        // The 16th parameter kept asks for more (a colour index) than the sequence keeps.
        add("an extended colour as the 16th parameter",
            "\x1b[" + QByteArray("0;").repeated(15) + "38;5;1mok\x1b[" + QByteArray("0;").repeated(15)
                + "48:2:1:2:3m",
            { "ok" }, small);
        add("300 empty parameters", "hello\r\n\x1b[" + QByteArray(300, ';') + "Hok", { "okllo" },
            small);
        add("a parameter beyond every bound",
            "x\x1b[" + QByteArray(400, '9') + "Cy\x1b[00000000000000000000002;"
                + QByteArray(30, '0') + "3Hz",
            { "x                  y", "  z" }, small);
        add("many intermediates", "a\x1b[1" + QByteArray(40, ' ') + "qb", { "ab" }, small);
        add("margins beyond a smaller screen",
            hoststream::resize(24, 80) + "\x1b[20;24r\x1b[22;1H" + hoststream::resize(10, 80)
                + "\n\n\n\n\n\n" + home + "ok",
            { "ok" }, QSize(10, 80));
        add("left and right margins beyond a narrower screen",
            hoststream::resize(24, 80) + "\x1b[?69h\x1b[60;75s\x1b[3;70H"
                + hoststream::resize(24, 40) + "abcdefgh\x1b[5@\x1b[3P\n\n" + home + "ok",
            { "ok" }, QSize(24, 40));
        if (type == 14) {
            // Display memory shrinks under a full-screen program on a later page: the first
            // page is kept and is the one found when the program leaves.
            const QByteArray onPage2 = hoststream::setPages(3) + "first\x1b[Usecond\x1b[?1049hprogram";
            add("pages shrink under the alternate screen, then RIS",
                onPage2 + hoststream::setPages(1) + "\x1b" "cok", { "ok" }, small);
            add("pages shrink under the alternate screen, which is left",
                onPage2 + hoststream::setPages(1) + "\x1b[?1049l", { "first" }, small);
            add("pages shrink between a resize and a type switch",
                hoststream::setPages(3) + "\x1b[2Uthird\x1b[?1049h" + hoststream::resize(8, 30)
                    + hoststream::setPages(2) + hoststream::switchType(8)
                    + hoststream::resize(Rows, Cols) + "\x1b" "cok",
                { "ok" }, small);
        }
        add("DECRQSS",
            "\x1bP$qc\x1b\\\x1bP$q\"p\x1b\\\x1bP$q\x1b\\\x1bP$q" + QByteArray(100, 'm')
                + "\x1b\\ok",
            { "ok" }, small);
    }
}

void TestTermTypes::hostFaults()
{
    QFETCH(int, termType);
    QFETCH(QByteArray, stream);
    QFETCH(QStringList, lines);
    QFETCH(QSize, size);
    const Outcome out = playWithin(termType, stream);
    QCOMPARE(out.size, size);
    QCOMPARE(out.lines, lines);
    QVERIFY2(out.cursor.y() >= 0 && out.cursor.y() < size.width() && out.cursor.x() >= 0
            && out.cursor.x() <= size.height(),
        qPrintable(QStringLiteral("cursor at %1,%2").arg(out.cursor.y()).arg(out.cursor.x())));
}

// --- The status line: the Wyse terminals' status and label line, the VT320's and VT420's ------

void TestTermTypes::statusLine_data()
{
    QTest::addColumn<int>("termType");
    QTest::addColumn<bool>("singleByte"); // Ansi8Bit: 8-bit controls
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<bool>("shown"); // hasStatusLine afterwards
    QTest::addColumn<QString>("line");
    QTest::addColumn<QStringList>("lines"); // of the screen

    auto row = [](const QString &name, int type, const QByteArray &input, bool shown,
                   const QString &line, const QStringList &lines, bool singleByte = false) {
        QTest::newRow(qPrintable(name)) << type << singleByte << input << shown << line << lines;
    };
    for (const Entry &e : entries) {
        if (!flag(e.name, "hs"))
            continue;
        // The character terminals always have their status line; the VT320's and VT420's
        // comes with tsl and goes with dsl.
        const bool always = !vtFamily(e);
        QByteArray tsl = cap(e.name, "tsl");
        if (tsl.contains('%')) // it takes the column to start at: the first
            tsl = cap(e.name, "tsl", { QStringLiteral("0") });
        const QByteArray fsl = cap(e.name, "fsl");
        row(rowName(e, "tsl fsl"), e.termType, tsl + "Posting run 3" + fsl + "x", true,
            QStringLiteral("Posting run 3"), { QStringLiteral("x") });
        row(rowName(e, "dsl"), e.termType, tsl + "gone" + fsl + cap(e.name, "dsl"), always,
            QString(), {});
        const QByteArray pln = cap(e.name, "pln", { QStringLiteral("2"), QStringLiteral("Post") });
        if (!pln.isEmpty()) {
            row(rowName(e, "pln"), e.termType,
                pln + cap(e.name, "pln", { QStringLiteral("1"), QStringLiteral("Help") }), true,
                QStringLiteral("Help     Post"), {});
            row(rowName(e, "rmln"), e.termType, pln + cap(e.name, "rmln"), true, QString(), {});
            row(rowName(e, "smln"), e.termType, pln + cap(e.name, "rmln") + cap(e.name, "smln"),
                true, QStringLiteral("         Post"), {});
        }
    }

    // A status text takes up to the matcher's limit; one character more drops the sequence.
    const QString longest(emu::SequenceMatcher::maxText, u'm');
    row("wy50 status text of the longest length", 5, "\x1b" "F" + longest.toLatin1() + "\ry", true,
        longest, { QStringLiteral("y") });
    row("wy50 status text one past the limit", 5, "\x1b" "F" + longest.toLatin1() + "m\ry", true,
        QString(), { QStringLiteral("y") });

    // The VT320's and VT420's status line beyond what terminfo uses.
    const QByteArray host = "\x1b[2$~";
    const QByteArray to = "\x1b[1$}";
    const QByteArray back = "\x1b[0$}";
    row("vt320 HPA places the text", 13, host + to + "\x1b[5`ab\x1b[2`c" + back, true,
        QStringLiteral(" c  ab"), {});
    row("vt320 EL from the cursor", 13, host + to + "abcdef\x1b[3`\x1b[K" + back, true,
        QStringLiteral("ab"), {});
    row("vt420 controls and other sequences do nothing there", 14,
        host + to + "a\r\n\bb\x1b[31mc\x1b[2Jd\x1b[H" + back + "e", true, QStringLiteral("abcd"),
        { QStringLiteral("e") });
    row("vt420 text keeps its place between visits", 14,
        host + to + "ab" + back + "main" + to + "cd" + back, true, QStringLiteral("abcd"),
        { QStringLiteral("main") });
    row("vt420 DECSSDT 0 ends the visit", 14, host + to + "ab\x1b[0$~cd", false, QString(),
        { QStringLiteral("cd") });
    row("vt420 indicator line: empty, not writable", 14, "\x1b[1$~" + to + "ab", true,
        QString(), { QStringLiteral("ab") });
    row("vt420 DECSASD without a status line", 14, to + "ab", false, QString(),
        { QStringLiteral("ab") });
    row("vt420 RIS removes it", 14, host + to + "ab\x1b" "cx", false, QString(),
        { QStringLiteral("x") });
    row("vt320 8-bit controls", 13, "\x9b" "2$~\x9b" "1$}\x9b" "3`\xe9t\xe9\x9b" "0$}x", true,
        u"  été"_qs, { QStringLiteral("x") }, true);
    for (const Entry &e : entries) {
        if (vtFamily(e) && e.termType != 13 && e.termType != 14)
            row(rowName(e, "has none"), e.termType, host + to + "ab" + back, false, QString(),
                { QStringLiteral("ab") });
    }
}

void TestTermTypes::statusLine()
{
    QFETCH(int, termType);
    QFETCH(bool, singleByte);
    QFETCH(QByteArray, input);
    QFETCH(bool, shown);
    QFETCH(QString, line);
    QFETCH(QStringList, lines);
    auto screen = screenOf(termType);
    if (singleByte)
        screen->setHostEncoding(emu::HostEncoding::SingleByte);
    screen->feed(input);
    QCOMPARE(screen->hasStatusLine(), shown);
    QCOMPARE(screen->statusLine(), line);
    // The status line is not part of the screen's rows.
    QCOMPARE(screenLines(*screen), lines);
}

void TestTermTypes::programmedKeys()
{
    // pfx programs a function key; LockFKeys keeps the keys as they are.
    const QByteArray pfx = cap("wy50", "pfx", { QStringLiteral("3"), QStringLiteral("LIST\r") });
    QVERIFY(!pfx.isEmpty());
    auto screen = screenOf(5);
    screen->feed(pfx);
    QCOMPARE(screen->key(Qt::Key_F3, {}, QString()), QByteArray("LIST\r"));
    QCOMPARE(screen->key(Qt::Key_F3, Qt::ShiftModifier, QString()), QByteArray("\x01" "b\r"));

    auto locked = screenOf(5);
    emu::TerminalOptions options;
    options.lockFunctionKeys = true;
    locked->setOptions(options);
    locked->feed(pfx);
    QCOMPARE(locked->key(Qt::Key_F3, {}, QString()), cap("wy50", "kf3"));

    screen->reset();
    QCOMPARE(screen->key(Qt::Key_F3, {}, QString()), cap("wy50", "kf3"));
}

// DECUDK: the host programs Shift+F6 ... Shift+F20 of the VT220, VT320 and VT420.
void TestTermTypes::userDefinedKeys_data()
{
    QTest::addColumn<int>("termType");
    QTest::addColumn<bool>("singleByte");
    QTest::addColumn<bool>("lockFKeys");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("fkey"); // n of Shift+Fn
    QTest::addColumn<QByteArray>("sent"); // empty: what the key sends unprogrammed

    auto udk = [](const QByteArray &params, const QByteArray &keys) {
        return "\x1bP" + params + '|' + keys + "\x1b\\";
    };
    auto row = [](const char *name, int type, const QByteArray &input, int fkey,
                   const QByteArray &sent, bool singleByte = false, bool lockFKeys = false) {
        QTest::newRow(name) << type << singleByte << lockFKeys << input << fkey << sent;
    };
    row("vt220 F6", 8, udk("1;1", "17/6C730D"), 6, "ls\r");
    row("vt320 F20", 13, udk("1;1", "34/41"), 20, "A");
    row("Pc 0 forgets the keys before", 8, udk("1;1", "17/41") + udk("0;1", "18/42"), 6, {});
    row("Pc 1 keeps them", 8, udk("1;1", "17/41") + udk("1;1", "18/42"), 6, "A");
    row("Pc 1 programs a key again", 8, udk("1;1", "17/41") + udk("1;1", "17/4243"), 6, "BC");
    row("Pl 0 locks", 8, udk("1;0", "17/41") + udk("1;1", "17/42"), 6, "A");
    row("no parameters: forget and lock", 8,
        udk("1;1", "18/42") + udk("", "17/41") + udk("1;1", "17/43"), 6, "A");
    row("bad hex: not that key", 8, udk("1;1", "17/4G;18/42"), 6, {});
    row("bad hex: the other keys are taken", 8, udk("1;1", "17/4G;18/42"), 7, "B");
    row("no such key number", 8, udk("1;1", "22/41;16/41;x/41;18/42"), 7, "B");
    row("empty text forgets the key", 8, udk("1;1", "17/41") + udk("1;1", "17/"), 6, {});
    row("UTF-8 bytes as the host gave them", 8, udk("1;1", "17/C3A9"), 6, "\xc3\xa9");
    row("8-bit DCS and ST", 13, "\x90" "1;1|17/E9\x9c", 6, "\xe9", true);
    row("LockFKeys refuses", 8, udk("1;1", "17/41"), 6, {}, false, true);
    row("RIS forgets", 8, udk("1;1", "17/41") + "\x1b" "c", 6, {});
    row("RIS unlocks", 8, udk("1;0", "17/41") + "\x1b" "c" + udk("1;1", "17/42"), 6, "B");
    row("vt100 has none", 12, udk("1;1", "17/41"), 6, {});
}

void TestTermTypes::userDefinedKeys()
{
    QFETCH(int, termType);
    QFETCH(bool, singleByte);
    QFETCH(bool, lockFKeys);
    QFETCH(QByteArray, input);
    QFETCH(int, fkey);
    QFETCH(QByteArray, sent);
    const int key = Qt::Key_F1 + fkey - 1;
    const QByteArray own = screenOf(termType)->key(key, Qt::ShiftModifier, QString());
    const QByteArray unshifted = screenOf(termType)->key(key, {}, QString());
    QVERIFY(!own.isEmpty());
    auto screen = screenOf(termType);
    if (singleByte)
        screen->setHostEncoding(emu::HostEncoding::SingleByte);
    emu::TerminalOptions options;
    options.lockFunctionKeys = lockFKeys;
    screen->setOptions(options);
    screen->feed(input);
    QCOMPARE(screen->key(key, Qt::ShiftModifier, QString()), sent.isEmpty() ? own : sent);
    // The key without Shift stays the terminal's; a reset forgets what the host programmed.
    QCOMPARE(screen->key(key, {}, QString()), unshifted);
    screen->reset();
    QCOMPARE(screen->key(key, Qt::ShiftModifier, QString()), own);
}

// --- Protected fields -----------------------------------------------------------------------

void TestTermTypes::protectedFields_data()
{
    QTest::addColumn<int>("termType");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("protectAttr");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<int>("look"); // of the protected "P"

    for (const int type : { 5, 6, 4 }) {
        const QString name = type == 4 ? QStringLiteral("wyse-vp") : QStringLiteral("wy%1").arg(type == 5 ? 50 : 60);
        auto row = [&](const char *what, const QByteArray &input, int attr, const QStringList &lines,
                       int look) {
            QTest::newRow(qPrintable(name + u' ' + QLatin1String(what)))
                << type << input << attr << lines << look;
        };
        const QByteArray field = "ab\x1b)PP\x1b(cd";
        // Protect mode off: everything erases.
        row("erased without protect mode", field + "\x1b+", 0, {}, 16);
        // Protect mode on: erasing keeps the protected characters, text skips them.
        row("clear keeps them", field + "\x1b&\x1b+", 0, { QStringLiteral("  PP") }, 16);
        row("line erase keeps them", field + "\r\x1b&\x1bT", 0, { QStringLiteral("  PP") }, 16);
        const QByteArray right = type == 4 ? "\x06" : "\x0c";
        row("text skips them", field + "\x1b&\r" + right + right + "xyz", 0,
            { QStringLiteral("abPPxyz") }, 16);
        row("ESC * clears them too", field + "\x1b&\x1b*", 0, {}, 16);
        // From protected cells at the bottom right, text goes on at the top left. (Writing the
        // last column scrolls: the field comes back down with a line inserted above it.)
        const QByteArray termName = name.toLatin1();
        const char *term = termName.constData();
        const QByteArray corner = cup(term, Rows - 1, Cols - 2);
        row("text skips them from the bottom to the top",
            corner + "\x1b)PP\x1b(" + cup(term, 0, 0) + cap(term, "il1") + "\x1b&" + corner + "xy", 0,
            { QStringLiteral("xy"), QString(), QString(), QString(), QString(Cols - 2, u' ') + u"PP"_qs },
            16);
        // Erasing again the same way finds the rows as the last erase left them, unless the
        // way changed.
        row("clear again without protect mode erases them", field + "\x1b&\x1b+\x1b'\x1b+", 0, {},
            16);
        // A screen protected but for its last row, scrolled by a line: the rows move with what
        // is known of them, and text finds the unprotected row that moved up (and writes over
        // the x there).
        const QStringList protectedRows(Rows - 2, QString(Cols, u'P'));
        row("text finds the unprotected row after a scroll",
            "\x1b)" + QByteArray((Rows - 1) * Cols, 'P') + "\x1b(\x1b&" + cup(term, 0, 0) + "x\x1b'"
                + cup(term, Rows - 1, 0) + "\n\x1b&" + cup(term, 0, 0) + "y",
            0, protectedRows + QStringList { u"y"_qs }, 16);
        row("ProtectAttr reverse", field, 1, { QStringLiteral("abPPcd") }, 1);
        row("ProtectAttr underline", field, 2, { QStringLiteral("abPPcd") }, 2);
        row("ProtectAttr plain", field, 4, { QStringLiteral("abPPcd") }, 0);
        row("the host's reverse wins", "\x1b`6" + field, 0, { QStringLiteral("abPPcd") }, 1);
    }
}

void TestTermTypes::protectedFields()
{
    QFETCH(int, termType);
    QFETCH(QByteArray, input);
    QFETCH(int, protectAttr);
    QFETCH(QStringList, lines);
    QFETCH(int, look);
    auto screen = screenOf(termType);
    emu::TerminalOptions options;
    options.protectLook = protectAttr;
    screen->setOptions(options);
    screen->feed(input);
    QCOMPARE(screenLines(*screen), lines);
    for (int c = 0; c < Cols; ++c) {
        const Cell cell = cellAt(*screen, 0, c);
        if (cell.ch == U'P') {
            QVERIFY(cell.flags & emu::CellProtected);
            QCOMPARE(lookOf(cell), look);
        } else {
            QCOMPARE(lookOf(cell), 0);
        }
    }
}

// The Wyse 50 and the Viewpoint 60 keep attributes on the screen: one attribute cell reaches
// the cells after it, line after line, up to the next one.
void TestTermTypes::magicCookies()
{
    auto wyse = screenOf(5);
    wyse->feed("ab\x1bG4cd\r\nef\x1bG0gh");
    QCOMPARE(screenLines(*wyse), QStringList({ "ab cd", "ef gh" }));
    QCOMPARE(lookOf(cellAt(*wyse, 0, 1)), 0);
    QCOMPARE(lookOf(cellAt(*wyse, 0, 2)), 0); // the attribute cell itself shows plain
    QCOMPARE(lookOf(cellAt(*wyse, 0, 3)), 1);
    QCOMPARE(lookOf(cellAt(*wyse, 1, 0)), 1); // the next line too
    QCOMPARE(lookOf(cellAt(*wyse, 1, 4)), 0);
    // Writing over the attribute cell removes it: the reverse is gone.
    wyse->feed("\x1e\x0c\x0cX");
    QCOMPARE(lookOf(cellAt(*wyse, 0, 3)), 0);
    QCOMPARE(lookOf(cellAt(*wyse, 1, 0)), 0);
    // Dim and underline: 'p' + 8.
    wyse->feed("\x1e\x1bGxZ");
    QCOMPARE(lookOf(cellAt(*wyse, 0, 1)), 2 | 16);

    // The Wyse 60 applies the attribute to what follows without a cell.
    auto wy60 = screenOf(6);
    wy60->feed("ab\x1bG4cd\x1bG0" "ef");
    QCOMPARE(screenLines(*wy60), QStringList({ "abcdef" }));
    QCOMPARE(lookOf(cellAt(*wy60, 0, 2)), 1);
    QCOMPARE(lookOf(cellAt(*wy60, 0, 4)), 0);

    // The Viewpoint 60: ESC 0 P reverse, ESC 0 @ normal, one cell each.
    auto vp60 = screenOf(2);
    vp60->feed("a\x1b" "0Pbc\x1b" "0@d");
    QCOMPARE(screenLines(*vp60), QStringList({ "a bc d" }));
    QCOMPARE(lookOf(cellAt(*vp60, 0, 2)), 1);
    QCOMPARE(lookOf(cellAt(*vp60, 0, 5)), 0);
    // Scrolled into the history, a line keeps the look its attribute cells gave it.
    auto scrolled = screenOf(5);
    scrolled->feed("\x1bG4xy\r\n\n\n\n\n");
    QCOMPARE(scrolled->historyCount(), 1);
    QCOMPARE(lookOf(scrolled->historyLine(0)[1]), 1);
}

void TestTermTypes::cursorVisibility_data()
{
    QTest::addColumn<int>("termType");
    QTest::addColumn<QByteArray>("hide");
    QTest::addColumn<QByteArray>("show");
    for (const Entry &e : entries) {
        const QByteArray civis = cap(e.name, "civis");
        const QByteArray cnorm = cap(e.name, "cnorm");
        if (!civis.isEmpty() && !cnorm.isEmpty())
            QTest::newRow(qPrintable(rowName(e, "civis cnorm"))) << e.termType << civis << cnorm;
    }
}

void TestTermTypes::cursorVisibility()
{
    QFETCH(int, termType);
    QFETCH(QByteArray, hide);
    QFETCH(QByteArray, show);
    auto screen = screenOf(termType);
    screen->feed(hide);
    QVERIFY(!screen->cursorVisible());
    screen->feed(show);
    QVERIFY(screen->cursorVisible());
}

// --- The Pick PC console: code page 437 -----------------------------------------------------

void TestTermTypes::pcCharacterSet_data()
{
    QTest::addColumn<bool>("singleByte");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("colours"); // foreground/background of the text's last cell, "-"
                                          // for the default; empty: not compared

    auto row = [](const char *name, bool singleByte, const QByteArray &input, const QString &text,
                   const QString &colours = {}) {
        QTest::newRow(name) << singleByte << input << text << colours;
    };
    row("box from a single-byte host", true, "\xda\xc4\xbf\x80\x9a", u"┌─┐ÇÜ"_qs);
    row("bytes that are not UTF-8", false, "\xb3\xc9\xcdx", u"│╔═x"_qs);
    row("UTF-8 stays UTF-8", false, "caf\xc3\xa9 \xe2\x94\x80", u"café ─"_qs);
    row("ANSI addressing and colours", false, "xx\x1b[2J\x1b[1;3H\x1b[31mab\x1b[0m\x1b[1;1Hc",
        u"c ab"_qs, u"1/-"_qs);
    row("CSI 2 J clears and homes", false, "xx\x1b[2Jc", u"c"_qs);
    row("erase to the line's start takes the cursor's cell", false,
        "abcdef\x1b[1;3H\x1b[1K", u"   def"_qs);
    row("erase to the screen's start takes the cursor's cell", false,
        "abcdef\x1b[1;3H\x1b[1J", u"   def"_qs);
    row("bright colours", false, "\x1b[93;104mX", u"X"_qs, u"11/12"_qs);
    // The sequence matcher: a private mark, a control inside a sequence, an empty parameter.
    row("? marks a private mode: no automatic margins", false,
        "\x1b[?7l" + QByteArray(Cols, 'a') + "bc", QString(Cols - 1, u'a') + u'c');
    row("a control breaks a sequence and acts", false, "ab\x1b[3\rX", u"Xb"_qs);
    row("a trailing empty parameter is a 0", false, "\x1b[31;mX", u"X"_qs, u"-/-"_qs);
}

void TestTermTypes::pcCharacterSet()
{
    QFETCH(bool, singleByte);
    QFETCH(QByteArray, input);
    QFETCH(QString, text);
    QFETCH(QString, colours);
    auto screen = screenOf(10);
    screen->setHostEncoding(singleByte ? emu::HostEncoding::SingleByte : emu::HostEncoding::Utf8);
    screen->feed(input);
    QCOMPARE(trimmedRight(screen->rowText(0)), text);
    if (!colours.isEmpty()) {
        const Cell last = cellAt(*screen, 0, int(text.size()) - 1);
        const auto colour = [](bool isDefault, int value) {
            return isDefault ? u"-"_qs : QString::number(value);
        };
        QCOMPARE(colour(last.attr & emu::AttrDefaultFg, last.fg) + u'/'
                + colour(last.attr & emu::AttrDefaultBg, last.bg),
            colours);
    }
}

// --- The DEC terminals' character sets ---------------------------------------------------------

// What the first line shows after a designation, a shift and characters, per type: which types
// take which designators (G0-G3, 94 and 96 characters), the locking shifts into GR with a
// single-byte host's 8-bit data, DEC Supplemental Graphics, the national sets under DECNRCM.
void TestTermTypes::characterSets_data()
{
    QTest::addColumn<int>("termType");
    QTest::addColumn<bool>("singleByte");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QString>("text");

    auto row = [](const char *name, int type, bool singleByte, const QByteArray &input,
                   const QString &text) { QTest::newRow(name) << type << singleByte << input << text; };
    const int vt100 = 12, vt220 = 8, vt320 = 13, vt420 = 14, linuxConsole = 16;
    // G2 and G3, and the shifts that invoke them, from the VT220 on.
    row("vt100 has no G2", vt100, false, "\x1b*0\x1bnq", u"q"_qs);
    row("vt220 LS2 invokes G2", vt220, false, "\x1b*0\x1bnq", u"─"_qs);
    row("vt220 LS3 invokes G3", vt220, false, "\x1b+0\x1boq", u"─"_qs);
    row("vt220 SS2 from G2, Latin-1 there at first", vt220, false, "\x1bNAA", u"ÁA"_qs);
    // DEC Supplemental Graphics: Latin-1 but for OE, Y diaeresis, the currency sign, the
    // positions left unassigned.
    row("vt220 DEC Supplemental in G1", vt220, false, "\x1b)<\x0e$(Ww}h", u"⸮¤Œœÿè"_qs);
    row("vt100 knows no DEC Supplemental", vt100, false, "\x1b)0\x1b)<\x0eW", u"W"_qs);
    row("vt320 DEC Supplemental as % 5", vt320, false, "\x1b(%5W", u"Œ"_qs);
    row("vt220 knows no % 5", vt220, false, "\x1b(%5W", u"W"_qs);
    // GR: G2 (Latin-1) until LS1R, LS2R, LS3R invoke another, where the host's bytes are 8-bit.
    row("vt220 GR is Latin-1 at first", vt220, true, "\xe9\xf1", u"éñ"_qs);
    row("vt220 LS1R", vt220, true, "\x1b)0\x1b~\xf1\xeaq", u"─┘q"_qs);
    row("vt220 LS2R back", vt220, true, "\x1b)0\x1b~\x1b}\xf1", u"ñ"_qs);
    row("vt220 LS3R", vt220, true, "\x1b+<\x1b|\xd7\xa8", u"Œ¤"_qs);
    row("vt420 LS3R graphics", vt420, true, "\x1b+0\x1b|\xf8\xe0", u"│◆"_qs);
    row("vt100 has no LS1R", vt100, true, "\x1b)0\x1b~\xf1", u"ñ"_qs);
    row("vt220 GR not read from a UTF-8 host", vt220, false, "\x1b)0\x1b~\xc3\xb1", u"ñ"_qs);
    row("vt220 SS3 takes a GR byte", vt220, true, "\x1b+0\x1bO\xf1\xf1", u"─ñ"_qs);
    row("vt220 DECSC keeps GR", vt220, true, "\x1b)0\x1b~\x1b" "7\x1b}\x1b" "8\xf1",
        u"─"_qs);
    row("vt220 DECSTR resets GR", vt220, true, "\x1b)0\x1b~\x1b[!p\xf1", u"ñ"_qs);
    row("vt220 RIS resets GR", vt220, true, "\x1b)0\x1b~\x1b" "c\xf1", u"ñ"_qs);
    // 96-character sets (ESC - . /): Latin-1 Supplemental on the VT320 and VT420; GL's space
    // stays a space.
    row("vt320 Latin-1 in G1", vt320, false, "\x1b-A\x0e A~", u" Áþ"_qs);
    row("vt420 Latin-1 in G2", vt420, false, "\x1b*0\x1b.A\x1bnq", u"ñ"_qs);
    row("vt420 Latin-1 in G3", vt420, true, "\x1b+0\x1b/A\x1b|\xf1", u"ñ"_qs);
    row("vt220 takes no 96-character set", vt220, false, "\x1b)0\x1b-A\x0eq", u"─"_qs);
    row("vt320 unknown 96-character set changes nothing", vt320, false, "\x1b)0\x1b-Z\x0eq",
        u"─"_qs);
    row("vt320 unknown 94-character set is ASCII", vt320, false, "\x1b(0\x1b(Iq", u"q"_qs);
    // The national sets: only in national mode (DECNRCM), from the VT220 on.
    row("vt220 German", vt220, false, "\x1b[?42h\x1b(K@[\\]{|}~#", u"§ÄÖÜäöüß#"_qs);
    row("vt220 German without DECNRCM", vt220, false, "\x1b(K@[", u"@["_qs);
    row("vt220 DECNRCM reset", vt220, false, "\x1b[?42h\x1b[?42l\x1b(K@", u"@"_qs);
    row("vt100 has no national sets", vt100, false, "\x1b[?42h\x1b(K@[", u"@["_qs);
    row("vt320 French", vt320, false, "\x1b[?42h\x1b(R#@[\\]{|}~", u"£à°ç§éùè¨"_qs);
    row("vt320 French as f", vt320, false, "\x1b[?42h\x1b(f@", u"à"_qs);
    row("vt220 knows no f", vt220, false, "\x1b[?42h\x1b(f@", u"@"_qs);
    row("vt420 Portuguese", vt420, false, "\x1b[?42h\x1b(%6[\\]{|}", u"ÃÇÕãçõ"_qs);
    row("vt420 Swiss in G1", vt420, false, "\x1b[?42h\x1b)=\x0e#_`", u"ùèô"_qs);
    row("vt420 Swedish in G3 by SS3", vt420, false, "\x1b[?42h\x1b+7\x1bO@@", u"É@"_qs);
    row("vt100 British", vt100, false, "\x1b(A#$", u"£$"_qs);
    row("linux G1 graphics with arrows", linuxConsole, false, "\x0e+0q", u"→█─"_qs);
}

void TestTermTypes::characterSets()
{
    QFETCH(int, termType);
    QFETCH(bool, singleByte);
    QFETCH(QByteArray, input);
    QFETCH(QString, text);
    auto screen = screenOf(termType);
    screen->setHostEncoding(singleByte ? emu::HostEncoding::SingleByte : emu::HostEncoding::Utf8);
    screen->feed(input);
    QCOMPARE(trimmedRight(screen->rowText(0)), text);
}

// --- The VT52's keypad ---------------------------------------------------------------------

void TestTermTypes::vt52Keypad_data()
{
    QTest::addColumn<QByteArray>("mode");
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("numeric 5") << QByteArray("\x1b>") << int(Qt::Key_5) << "5" << QByteArray("5");
    QTest::newRow("alternate 5") << QByteArray("\x1b=") << int(Qt::Key_5) << "5" << QByteArray("\x1b?u");
    QTest::newRow("alternate 0") << QByteArray("\x1b=") << int(Qt::Key_0) << "0" << QByteArray("\x1b?p");
    QTest::newRow("alternate point") << QByteArray("\x1b=") << int(Qt::Key_Period) << "."
                                     << QByteArray("\x1b?n");
    QTest::newRow("alternate enter") << QByteArray("\x1b=") << int(Qt::Key_Enter) << "\r"
                                     << QByteArray("\x1b?M");
    QTest::newRow("back to numeric") << QByteArray("\x1b=\x1b>") << int(Qt::Key_7) << "7"
                                     << QByteArray("7");
}

void TestTermTypes::vt52Keypad()
{
    QFETCH(QByteArray, mode);
    QFETCH(int, key);
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    auto screen = screenOf(7);
    screen->feed(mode);
    QCOMPARE(screen->key(key, Qt::KeypadModifier, text), bytes);
    // The same key off the keypad is the plain character.
    QCOMPARE(screen->key(key, {}, text), text.toLatin1());
}

// --- Sequences cut anywhere by the reads -------------------------------------------------------

void TestTermTypes::splitSequences_data()
{
    QTest::addColumn<int>("termType");
    QTest::addColumn<bool>("singleByte");
    QTest::addColumn<QByteArray>("input");
    for (const Entry &e : entries) {
        QTest::newRow(qPrintable(rowName(e, "")))
            << e.termType << false
            << drawCanvas(e.name) + cup(e.name, 2, 5) + cap(e.name, "el") + cup(e.name, 0, 3)
                + cap(e.name, "dl1") + cup(e.name, 4, 18) + "xyz" + cap(e.name, "smso") + "S"
                + cap(e.name, "rmso");
    }
    const QByteArray tsl = cap("vt320", "tsl", { QStringLiteral("3") });
    QTest::newRow("vt320 status line")
        << 13 << false << tsl + "Posting\x1b[K" + cap("vt320", "fsl") + "main";
    QTest::newRow("vt420 status line, 8-bit")
        << 14 << true << QByteArray("ab\x9b" "2$~\x9b" "1$}\x9b" "4`\xe9t\xe9\x9b" "0$}main");
    QTest::newRow("vt220 programmed key")
        << 8 << false << QByteArray("ab\x1bP1;1|17/6C730D\x1b\\main");
}

// The same bytes one at a time end on the same screen, status line and keys as in one read.
void TestTermTypes::splitSequences()
{
    QFETCH(int, termType);
    QFETCH(bool, singleByte);
    QFETCH(QByteArray, input);
    const auto encoding = singleByte ? emu::HostEncoding::SingleByte : emu::HostEncoding::Utf8;
    auto whole = screenOf(termType);
    whole->setHostEncoding(encoding);
    whole->feed(input);
    auto split = screenOf(termType);
    split->setHostEncoding(encoding);
    for (const char c : input)
        split->feed(&c, 1);
    QCOMPARE(screenLines(*split), screenLines(*whole));
    QCOMPARE(split->cursor(), whole->cursor());
    QCOMPARE(split->statusLine(), whole->statusLine());
    QCOMPARE(split->key(Qt::Key_F6, Qt::ShiftModifier, QString()),
        whole->key(Qt::Key_F6, Qt::ShiftModifier, QString()));
}

// --- Tektronix: the graphics layer ---------------------------------------------------------

void TestTermTypes::tektronix_data()
{
    QTest::addColumn<int>("termType");
    QTest::addColumn<bool>("graphics"); // GmodeEnable
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QString>("items"); // describe() of the expected items

    const int top = emu::GraphicsLayer::height - emu::GraphicsLayer::height / 38; // first line
    auto row = [](const char *name, int type, const QByteArray &input,
                   const std::vector<Item> &items, bool graphics = true) {
        QTest::newRow(name) << type << graphics << input << describe(items);
    };
    const QPoint a(400, 800), b(1200, 1600), c(2000, 400), d(2004, 400);
    row("vector: the first address moves", 11, "\x1d" + tek(100, 200) + tek(300, 400), { line(a, b) });
    row("a polyline", 11, "\x1d" + tek(100, 200) + tek(300, 400) + tek(500, 100),
        { line(a, b), line(b, c) });
    row("GS again starts dark", 11,
        "\x1d" + tek(100, 200) + tek(300, 400) + "\x1d" + tek(500, 100) + tek(100, 200),
        { line(a, b), line(c, a) });
    // Only low X changed: one byte is the whole address.
    row("bytes that did not change are left out", 11, "\x1d" + tek(500, 100) + "U",
        { line(c, QPoint(2004, 400)) });
    row("12-bit addresses", 11, "\x1d" + tek12(4001, 3111) + tek12(2, 3),
        { line(QPoint(4001, 3111), QPoint(2, 3)) });
    row("point plot", 11, "\x1c" + tek(100, 200) + tek(300, 400), { point(a), point(b) });
    row("incremental plot", 11, "\x1d" + tek(500, 100) + "\x1e" "APAA",
        { point(QPoint(2008, 400)), point(QPoint(2012, 400)) });
    row("alpha text at the top", 11, "\x1f" "Hello", { text(QPoint(0, top), QStringLiteral("Hello")) });
    row("alpha text at the beam", 11, "\x1d" + tek(100, 200) + "\x1f" "Hi",
        { text(a, QStringLiteral("Hi")) });
    row("CR leaves graph mode for the left margin", 11, "\x1d" + tek(100, 200) + tek(300, 400) + "\rX",
        { line(a, b), text(QPoint(0, 1600), QStringLiteral("X")) });
    row("line feed and backspace move the beam", 11, "\x1f" "ab\b\ncd",
        { text(QPoint(0, top), QStringLiteral("ab")),
            text(QPoint(50, top - 82), QStringLiteral("cd")) });
    // A character beyond the Basic Multilingual Plane takes one place of the run, as any other.
    row("alpha text beyond the plane stays one run", 11, "\x1f" "a\xf0\x9f\x98\x80" "b",
        { text(QPoint(0, top), QStringLiteral("a\U0001F600b")) });
    row("character size", 11, "\x1b;\x1f" "small", { text(QPoint(0, top), QStringLiteral("small"), 3) });
    row("line style", 11, "\x1b" "c" "\x1d" + tek(100, 200) + tek(300, 400), { line(a, b, 3) });
    row("line feed on the bottom line goes to the top", 11, "\x1d" + tek(300, 10) + "\x1f\nX",
        { text(QPoint(1200, top), QStringLiteral("X")) });
    row("ESC FF clears", 11, "\x1d" + tek(100, 200) + tek(300, 400) + "\x1b\x0c", {});
    row("GmodeEnable off draws nothing", 11, "\x1d" + tek(100, 200) + tek(300, 400), {}, false);
    row("4100: Tektronix code draws", 17,
        "\x1b%!0\x1d" + tek(100, 200) + tek(300, 400) + "\x1b%!1", { line(a, b) });
    row("4100: move and draw", 17,
        "\x1b%!0\x1bLF" + tek(100, 200) + "\x1bLG" + tek(300, 400) + "\x1bLG" + tek(500, 100),
        { line(a, b), line(b, c) });
    row("4100: line index", 17, "\x1b%!0\x1bML" + tekInt(3) + "\x1bLF" + tek(100, 200) + "\x1bLG" + tek(300, 400),
        { line(a, b, 0, 3) });
    row("4100: line index above 7", 17,
        "\x1b%!0\x1bML" + tekInt(12) + "\x1bLF" + tek(100, 200) + "\x1bLG" + tek(300, 400),
        { line(a, b, 0, 12) });
    row("4100: graphic text", 17, "\x1b%!0\x1bLF" + tek(100, 200) + "\x1bLT" + tekInt(5) + "Label",
        { text(a, QStringLiteral("Label")) });
    row("4100: unknown commands are skipped", 17,
        "\x1b%!0\x1bQQ" + tekInt(20) + tekInt(3) + "\x1bLF" + tek(100, 200) + "\x1bLG" + tek(300, 400),
        { line(a, b) });
    row("4100: back to ANSI code", 17,
        "\x1b%!0\x1b%!1\x1d" + tek(100, 200) + tek(300, 400), {});
    row("4100: ANSI code does not draw", 17, "\x1d" + tek(100, 200) + tek(300, 400), {});
    Q_UNUSED(d);
}

void TestTermTypes::tektronix()
{
    QFETCH(int, termType);
    QFETCH(bool, graphics);
    QFETCH(QByteArray, input);
    QFETCH(QString, items);
    auto screen = screenOf(termType);
    emu::TerminalOptions options;
    options.graphics = graphics;
    screen->setOptions(options);
    QSignalSpy damaged(screen.get(), &Screen::damaged);
    screen->feed(input);
    QVERIFY(screen->graphics());
    QCOMPARE(describe(screen->graphics()->items()), items);
    // The same bytes one at a time draw the same.
    auto split = screenOf(termType);
    split->setOptions(options);
    for (const char ch : input)
        split->feed(&ch, 1);
    QCOMPARE(describe(split->graphics()->items()), items);
}

// A link that ends in graph mode, in the middle of an address: the next host's text is text.
void TestTermTypes::tektronixNewLink()
{
    auto screen = screenOf(11);
    screen->feed("\x1d" + tek(100, 200) + tek(300, 400) + tek(500, 100).left(2));
    screen->newLink();
    screen->feed("Hi");
    const QPoint b(1200, 1600);
    QCOMPARE(describe(screen->graphics()->items()),
        describe({ line(QPoint(400, 800), b), text(b, QStringLiteral("Hi")) }));
}

void TestTermTypes::tektronixInquiry()
{
    auto screen = screenOf(11);
    QSignalSpy answers(screen.get(), &Screen::answer);
    screen->feed("\x1d" + tek(100, 200) + "\x1b\x05");
    QCOMPARE(answers.size(), 1);
    // Status (graph mode), high and low X, high and low Y of the beam, CR.
    QCOMPARE(answers.at(0).at(0).toByteArray(), QByteArray(" #$&(\r"));
}

// --- Tektronix: graphics input --------------------------------------------------------------

// A live view of 1024 x 780 pixels (a pixel to each 10-bit address) waiting for graphics input;
// its update makes it follow the mouse. Events go to it as they are: QTest clicks (0, 0) in the
// middle.
struct GinView
{
    Screen screen { 24, 80, 0 };
    emu::ScreenView view { &screen, emu::ScreenView::Mode::Live };
    QSignalSpy answers { &screen, &Screen::answer };

    GinView()
    {
        screen.setTerminalType(11);
        view.resize(1024, 780);
        screen.feed("\x1b\x1a");
        view.flushDamage();
    }
    void mouse(QEvent::Type type, QPoint at, Qt::MouseButton button = Qt::NoButton,
        Qt::KeyboardModifiers mods = {})
    {
        QMouseEvent e(type, QPointF(at), view.mapToGlobal(QPointF(at)), button,
            type == QEvent::MouseButtonPress ? Qt::MouseButtons(button) : Qt::NoButton, mods);
        QApplication::sendEvent(&view, &e);
    }
};

void TestTermTypes::graphicsInput_data()
{
    QTest::addColumn<QPoint>("pixel"); // where the mouse goes first; (-1, -1): nowhere
    QTest::addColumn<int>("arrow"); // an arrow key pressed first, 0 for none
    QTest::addColumn<int>("button"); // the mouse button that picks, 0: the key does
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QByteArray>("report");

    const QPoint none(-1, -1), somewhere(100, 200); // x 100, y 579: "#$" "2#"
    auto row = [](const char *name, QPoint pixel, int arrow, int button, int key,
                   const QString &text, int mods, const QByteArray &report) {
        QTest::newRow(name) << pixel << arrow << button << key << text << mods << report;
    };
    const int left = Qt::LeftButton, middle = Qt::MiddleButton, right = Qt::RightButton;
    const int shift = Qt::ShiftModifier;
    row("left button, top left corner", QPoint(0, 0), 0, left, 0, {}, 0, "l  8+\r");
    row("right button, bottom right corner", QPoint(1023, 779), 0, right, 0, {}, 0, "r??  \r");
    row("middle button, centre", QPoint(512, 390), 0, middle, 0, {}, 0, "m0 ,%\r");
    row("shift+left", somewhere, 0, left, 0, {}, shift, "L#$2#\r");
    row("shift+middle", somewhere, 0, middle, 0, {}, shift, "M#$2#\r");
    row("shift+right", somewhere, 0, right, 0, {}, shift, "R#$2#\r");
    row("a key where the mouse went", somewhere, 0, 0, Qt::Key_A, "a", 0, "a#$2#\r");
    row("Return, the crosshair in the middle", none, 0, 0, Qt::Key_Return, "\r", 0, "\r0 ,&\r");
    row("right arrow: eight addresses", none, Qt::Key_Right, 0, Qt::Key_X, "x", 0, "x0(,&\r");
    row("down arrow: eight addresses lower", none, Qt::Key_Down, 0, Qt::Key_X, "x", 0, "x0 +>\r");
    row("left arrow stops at the edge", QPoint(2, 100), Qt::Key_Left, 0, Qt::Key_X, "x", 0, "x  5'\r");
}

void TestTermTypes::graphicsInput()
{
    QFETCH(QPoint, pixel);
    QFETCH(int, arrow);
    QFETCH(int, button);
    QFETCH(int, key);
    QFETCH(QString, text);
    QFETCH(int, modifiers);
    QFETCH(QByteArray, report);
    GinView gin;
    const auto mods = Qt::KeyboardModifiers(modifiers);
    // The crosshair: a full-width and a full-height line through the mouse, gone after the pick.
    const QPoint through = pixel == QPoint(-1, -1) ? QPoint(512, 390) : pixel;
    const QPoint acrossLeft(through.x() > 10 ? 3 : 20, through.y());
    const QPoint acrossTop(through.x(), through.y() > 10 ? 3 : 20);
    auto shown = [&](QPoint p) { return gin.view.grab().toImage().pixelColor(p) != QColor(Qt::black); };
    if (pixel != QPoint(-1, -1))
        gin.mouse(QEvent::MouseMove, pixel);
    QVERIFY(shown(acrossLeft) && shown(acrossTop));
    if (arrow)
        QCOMPARE(gin.screen.key(arrow, {}, QString()), QByteArray());
    if (button) {
        gin.mouse(QEvent::MouseButtonPress, pixel, Qt::MouseButton(button), mods);
        QCOMPARE(gin.answers.size(), 1);
        QCOMPARE(gin.answers.at(0).at(0).toByteArray(), report);
    } else {
        QCOMPARE(gin.screen.key(key, mods, text), report);
    }
    // The report ends graphics input: the keys and the mouse are the terminal's own again.
    QVERIFY(!gin.screen.graphicsInput());
    gin.view.flushDamage();
    QVERIFY(!shown(acrossLeft) && !shown(acrossTop));
    QCOMPARE(gin.screen.key(Qt::Key_B, {}, QStringLiteral("b")), QByteArray("b"));
    gin.mouse(QEvent::MouseButtonPress, QPoint(5, 5), Qt::LeftButton);
    QCOMPARE(gin.answers.size(), button ? 1 : 0);
}

void TestTermTypes::graphicsInputEnds_data()
{
    QTest::addColumn<int>("termType");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<bool>("waiting"); // graphics input goes on
    QTest::addColumn<QByteArray>("answer"); // empty: none

    const QByteArray gin = "\x1b\x1a";
    auto row = [](const char *name, int type, const QByteArray &input, bool waiting,
                   const QByteArray &answer = {}) {
        QTest::newRow(name) << type << input << waiting << answer;
    };
    row("bell and text go on", 11, gin + "\x07" "abc", true);
    // Status (graph mode: no bits; alpha mode 4), the crosshair in the middle, CR.
    row("ESC ENQ answers the crosshair", 11, "\x1d" + tek(100, 200) + gin + "\x1b\x05", false, " 0 ,&\r");
    row("ESC ENQ in alpha mode", 11, gin + "\x1b\x05", false, "$0 ,&\r");
    row("US", 11, gin + "\x1f", false);
    row("GS", 11, gin + "\x1d", false);
    row("CR", 11, gin + "\r", false);
    row("ESC FF", 11, gin + "\x1b\x0c", false);
    row("4100 in Tektronix code", 17, "\x1b%!0" + gin, true);
    row("4100 back to ANSI code", 17, "\x1b%!0" + gin + "\x1b%!1", false);
    row("4100 in ANSI code has none", 17, gin, false);
}

void TestTermTypes::graphicsInputEnds()
{
    QFETCH(int, termType);
    QFETCH(QByteArray, input);
    QFETCH(bool, waiting);
    QFETCH(QByteArray, answer);
    auto screen = screenOf(termType);
    QSignalSpy answers(screen.get(), &Screen::answer);
    screen->feed(input);
    QCOMPARE(screen->graphicsInput().has_value(), waiting);
    QCOMPARE(answers.size(), answer.isEmpty() ? 0 : 1);
    if (!answer.isEmpty())
        QCOMPARE(answers.at(0).at(0).toByteArray(), answer);
}

// A click on the control's view reaches the host as the report, and is not the owner's: the
// right button opens no context menu while the host waits for it.
void TestTermTypes::graphicsInputThroughTheControl()
{
    FakeHost host;
    QVERIFY(host.isListening());
    emu::nvEmulator control;
    emu::Settings *settings = control.Settings();
    settings->setTermType(11);
    settings->setDevice(emu::device::Tcp);
    settings->setHostName(QStringLiteral("127.0.0.1"));
    settings->setHostPort(host.portText());
    control.Reset(2);
    QVERIFY(host.waitForConnection());
    QTRY_COMPARE(control.Connected(), rt::True);
    control.view()->resize(1024, 780);
    QSignalSpy menus(&control, &emu::nvEmulator::ContextMenu);
    host.send("\x1b\x1a");
    QTRY_VERIFY(control.screen()->graphicsInput());
    QTest::mouseClick(control.view(), Qt::RightButton, {}, QPoint(100, 200));
    QTest::keyClick(&control, Qt::Key_Z, {}, 'z');
    QVERIFY(host.waitForReceived("z"));
    QCOMPARE(host.received(), QByteArray("r#$2#\rz"));
    QCOMPARE(menus.size(), 0);
}

// The view draws the layer over the text area: the pixels along a vector are the foreground's.
void TestTermTypes::plotShowsAsLines()
{
    Screen screen(24, 80, 0);
    screen.setTerminalType(11);
    emu::ScreenView view(&screen, emu::ScreenView::Mode::Live);
    view.resize(view.sizeHint());
    // A horizontal line across the middle and a vertical one at a quarter of the width.
    screen.feed("\x1d" + tek(0, 390) + tek(1023, 390) + "\x1d" + tek(256, 0) + tek(256, 779));
    view.flushDamage();
    const QImage image = view.grab().toImage();
    const QColor background = image.pixelColor(image.width() - 2, 2);
    // The layer fills the view's width or height, whichever comes first.
    const double scale = std::min(image.width() / 1024.0, image.height() / 780.0);
    const int middle = int((780 - 390) * scale);
    int drawn = 0;
    const int right = int(1023 * scale);
    for (int x = 10; x < right - 10; x += 10)
        drawn += image.pixelColor(x, middle) != background ? 1 : 0;
    QVERIFY2(drawn > (right - 20) / 10 * 9 / 10, qPrintable(QString::number(drawn)));
    const int quarter = int(256 * scale);
    QVERIFY(image.pixelColor(quarter, middle / 2) != background);
    QCOMPARE(image.pixelColor(quarter + 20, middle / 2), background);
}

void TestTermTypes::statusLineInView_data()
{
    QTest::addColumn<int>("termType");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<bool>("lineGoes"); // with the entry's dsl
    QTest::newRow("wy50") << 5 << QByteArray("\x1b" "FMESSAGE\r") << false;
    const QByteArray tsl = cap("vt320", "tsl", { QStringLiteral("0") });
    QTest::newRow("vt320") << 13 << tsl + "MESSAGE" + cap("vt320", "fsl") << true;
}

// The status line is a row of its own below the screen.
void TestTermTypes::statusLineInView()
{
    QFETCH(int, termType);
    QFETCH(QByteArray, input);
    Screen screen(24, 80, 0);
    emu::ScreenView view(&screen, emu::ScreenView::Mode::Live);
    const int plain = view.sizeHint().height();
    screen.setTerminalType(termType);
    screen.feed(input);
    QCOMPARE(view.sizeHint().height(), plain + view.cellSize().height());
    view.resize(view.sizeHint());
    view.flushDamage();
    const QImage image = view.grab().toImage();
    const QColor background = image.pixelColor(image.width() - 2, 2);
    int drawn = 0;
    const int y0 = 24 * view.cellSize().height() + 2;
    for (int y = y0; y < image.height(); ++y)
        for (int x = 0; x < 7 * view.cellSize().width(); ++x)
            drawn += image.pixelColor(x, y) != background ? 1 : 0;
    QVERIFY2(drawn > 20, "the message shows in the status row");

    // The host clears the line (or takes it away): the row is painted again.
    QFETCH(bool, lineGoes);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QRegion painted;
    EventWatcher watcher(&view, QEvent::Paint, [&](QEvent *e) {
        painted += static_cast<QPaintEvent *>(e)->region();
    });
    screen.feed(cap(termType == 5 ? "wy50" : "vt320", "dsl"));
    view.flushDamage();
    QTRY_VERIFY(painted.intersects(QRect(0, y0, view.width(), 1)));
    QCOMPARE(view.sizeHint().height(), lineGoes ? plain : plain + view.cellSize().height());
}

// Run by tests/screenshot.sh: the control showing a Tektronix plot.
void TestTermTypes::tektronixScreenshot()
{
    const QString out = qEnvironmentVariable("NORVALIS_SCREENSHOT");
    if (out.isEmpty())
        QSKIP("run through tests/screenshot.sh");
    emu::nvEmulator control;
    QVERIFY(showWithPlot(control));
    QCoreApplication::processEvents();
    QVERIFY(control.grab().save(out));
}

// Run by tests/screenshot.sh: the crosshair over the plot, where the host asked for a place.
void TestTermTypes::crosshairScreenshot()
{
    const QString out = qEnvironmentVariable("NORVALIS_SCREENSHOT");
    if (out.isEmpty())
        QSKIP("run through tests/screenshot.sh");
    emu::nvEmulator control;
    QVERIFY(showWithPlot(control, "\x1b\x1a"));
    QTest::mouseMove(control.view(), QPoint(control.view()->width() * 2 / 5, control.view()->height() / 3));
    QTRY_VERIFY(control.screen()->graphicsInput() != QPoint(2048, 1560));
    control.view()->flushDamage();
    QCoreApplication::processEvents();
    QVERIFY(control.grab().save(out));
}

// --- The VT family: double width and height, pages -----------------------------------------

void TestTermTypes::lineSizes_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QString>("text"); // of row 1
    QTest::addColumn<int>("size"); // of row 1
    QTest::addColumn<QPoint>("cursor");

    const int wide = emu::LineDoubleWidth;
    QTest::newRow("double width") << QByteArray("\r\n\x1b#6AB") << "AB" << wide << QPoint(2, 1);
    QTest::newRow("upper half") << QByteArray("\r\n\x1b#3AB") << "AB" << int(emu::LineDoubleTop)
                                << QPoint(2, 1);
    QTest::newRow("lower half") << QByteArray("\r\n\x1b#4AB") << "AB"
                                << int(emu::LineDoubleBottom) << QPoint(2, 1);
    QTest::newRow("back to single") << QByteArray("\r\n\x1b#6AB\x1b#5") << "AB" << 0 << QPoint(2, 1);
    // A double-width line holds half as many characters: the rest waits for the next line.
    QTest::newRow("half as many characters")
        << QByteArray("\r\n\x1b#6") + QByteArray(12, 'x') << QString(10, u'x') << wide << QPoint(2, 2);
    QTest::newRow("erasing the line keeps its size") << QByteArray("\r\n\x1b#6AB\x1b[2K") << ""
                                                     << wide << QPoint(2, 1);
    QTest::newRow("characters take the line's size")
        << QByteArray("\r\n\x1b#6\x1b[2KCD\x1b[1;1H") << "CD" << wide << QPoint(0, 0);
    QTest::newRow("clearing the screen ends it") << QByteArray("\r\n\x1b#6AB\x1b[2J") << "" << 0
                                                 << QPoint(2, 1);
}

void TestTermTypes::lineSizes()
{
    QFETCH(QByteArray, input);
    QFETCH(QString, text);
    QFETCH(int, size);
    QFETCH(QPoint, cursor);
    auto screen = screenOf(12);
    screen->feed(input);
    QCOMPARE(trimmedRight(screen->rowText(1)), text);
    for (int c = 0; c < Cols; ++c)
        QCOMPARE(cellAt(*screen, 1, c).flags & emu::LineSizeMask, size);
    QCOMPARE(cellAt(*screen, 0, 0).flags & emu::LineSizeMask, 0);
    QCOMPARE(screen->cursor(), cursor);
}

// Scrolling and line insertion move a line's size with it; the line into the history keeps it.
void TestTermTypes::lineSizesMoveWithTheirLines()
{
    auto screen = screenOf(12);
    screen->feed("top\r\n\x1b#6big\r\nlow\x1b[2;1H\x1b[L");
    QCOMPARE(cellAt(*screen, 2, 0).flags & emu::LineSizeMask, int(emu::LineDoubleWidth));
    QCOMPARE(cellAt(*screen, 1, 0).flags & emu::LineSizeMask, 0);
    screen->feed("\x1b[5;1H\n\n");
    QCOMPARE(trimmedRight(screen->rowText(0)), QStringLiteral("big"));
    QCOMPARE(cellAt(*screen, 0, 0).flags & emu::LineSizeMask, int(emu::LineDoubleWidth));
    QCOMPARE(cellAt(*screen, Rows - 1, 0).flags & emu::LineSizeMask, 0);
    screen->feed("\n");
    QCOMPARE(screen->historyText(screen->historyCount() - 1).trimmed(), QStringLiteral("big"));
    QCOMPARE(screen->historyLine(screen->historyCount() - 1)[0].flags & emu::LineSizeMask,
        int(emu::LineDoubleWidth));
}

void TestTermTypes::doubleWidthIsDrawnWide()
{
    Screen screen(4, 20, 0);
    screen.setTerminalType(12);
    emu::ScreenView view(&screen, emu::ScreenView::Mode::Live);
    view.setCursorStyle(-1);
    view.resize(view.sizeHint());
    screen.feed("WWWW\r\n\x1b#6WWWW\r\n\x1b#3Big\r\n\x1b#4Big");
    view.flushDamage();
    const QImage image = view.grab().toImage();
    // Through tests/screenshot.sh: the picture of the four lines.
    if (const QString out = qEnvironmentVariable("NORVALIS_SCREENSHOT"); !out.isEmpty())
        QVERIFY(image.save(out));
    const QColor background = image.pixelColor(image.width() - 1, image.height() - 1);
    const int cell = view.cellSize().width();
    const int h = view.cellSize().height();
    auto inkRight = [&](int row) {
        int right = -1;
        for (int y = row * h; y < (row + 1) * h; ++y)
            for (int x = 0; x < image.width(); ++x)
                if (image.pixelColor(x, y) != background)
                    right = std::max(right, x);
        return right;
    };
    QVERIFY(inkRight(0) < 4 * cell + cell / 2);
    QVERIFY2(inkRight(1) > 6 * cell, qPrintable(QString::number(inkRight(1))));
}

void TestTermTypes::vt420Pages_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("page");
    QTest::addColumn<QString>("text"); // of row 0
    QTest::addColumn<QPoint>("cursor");

    QTest::newRow("NP: next page, home") << QByteArray("first\x1b[U") << 1 << "" << QPoint(0, 0);
    QTest::newRow("PP: back, home") << QByteArray("first\x1b[Usecond\x1b[V") << 0 << "first"
                                    << QPoint(0, 0);
    QTest::newRow("NP n") << QByteArray("\x1b[2U") << 2 << "" << QPoint(0, 0);
    QTest::newRow("NP past the last page") << QByteArray("\x1b[9U") << 2 << "" << QPoint(0, 0);
    QTest::newRow("PPA keeps the cursor") << QByteArray("ab\x1b[3 P") << 2 << "" << QPoint(2, 0);
    QTest::newRow("PPR and PPB") << QByteArray("ab\x1b[2 Qcd\x1b[1 R") << 1 << "" << QPoint(4, 0);
    QTest::newRow("each page keeps its text")
        << QByteArray("one\x1b[Utwo\x1b[Uthree\x1b[1 P") << 0 << "one" << QPoint(5, 0);
}

void TestTermTypes::vt420Pages()
{
    QFETCH(QByteArray, input);
    QFETCH(int, page);
    QFETCH(QString, text);
    QFETCH(QPoint, cursor);
    auto screen = screenOf(14);
    emu::TerminalOptions options;
    options.pages = 3;
    screen->setOptions(options);
    QCOMPARE(screen->pageCount(), 3);
    screen->feed(input);
    QCOMPARE(screen->page(), page);
    QCOMPARE(trimmedRight(screen->rowText(0)), text);
    QCOMPARE(screen->cursor(), cursor);

    // With one page the page movements do nothing.
    auto single = screenOf(14);
    single->feed("first\x1b[U\x1b[3 P");
    QCOMPARE(single->page(), 0);
    QCOMPARE(trimmedRight(single->rowText(0)), QStringLiteral("first"));
}

void TestTermTypes::pagesThroughTheControl()
{
    emu::nvEmulator control;
    control.Settings()->setPages(3);
    QCOMPARE(control.Page(), rt::Int(0));
    QVERIFY_THROWS_EXCEPTION(rt::Error, control.setPage(1)); // not a VT420: one page
    control.Settings()->setTermType(14);
    QSignalSpy screenChange(&control, &emu::nvEmulator::ScreenChange);
    control.Settings()->setNormRows(10);
    QCOMPARE(screenChange.last().at(2).value<rt::Int>(), rt::Int(3));
    control.Emulate(QStringLiteral("page one"));
    QSignalSpy location(&control, &emu::nvEmulator::LocationChange);
    control.setPage(2);
    QCOMPARE(control.Page(), rt::Int(2));
    // Column, row and page, each counted from 1.
    QCOMPARE(location.last(), (QVariantList { rt::Int(9), rt::Int(1), rt::Int(3) }));
    control.Emulate(QStringLiteral("page three"));
    // The cursor kept its place on the new page; another page's text is read without
    // showing it.
    QCOMPARE(trimmedRight(control.GetText(0, 0, -1, 0)), QStringLiteral("        page three"));
    std::unique_ptr<emu::Block> block(control.GetBlock(0, 0, 9, 0, 0));
    QCOMPARE(block->Text(), QStringLiteral("page one  "));
    QCOMPARE(control.Page(), rt::Int(2));
    try {
        control.setPage(3);
        QFAIL("page 3 of 3");
    } catch (const rt::Error &e) {
        QCOMPARE(e.number, emu::emuerror::BadPage);
    }
    control.Locate(0, 0, 0);
    QCOMPARE(control.Page(), rt::Int(0));
    QCOMPARE(location.last(), (QVariantList { rt::Int(1), rt::Int(1), rt::Int(1) }));
    QCOMPARE(trimmedRight(control.GetText(0, 0, -1, 0)), QStringLiteral("page one"));

    // A full-screen program on the last page; another type takes the pages away under it and
    // the host's reset finds the first page.
    control.setPage(2);
    control.Emulate(QStringLiteral("\x1b[?1049h"));
    control.Settings()->setTermType(8);
    QCOMPARE(control.Page(), rt::Int(0));
    control.Emulate(QStringLiteral("\x1b" "cok"));
    QCOMPARE(trimmedRight(control.GetText(0, 0, -1, 0)), QStringLiteral("ok"));
}

// The Wyse display memory: two pages; terminfo's wy60 enters full-screen programs on page 0
// (smcup) and leaves them on page 1 (rmcup).
void TestTermTypes::wysePages_data()
{
    QTest::addColumn<int>("termType");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("page");
    QTest::addColumn<QString>("text"); // of row 0
    QTest::addColumn<QPoint>("cursor");

    const QByteArray smcup = cap("wy60", "smcup");
    const QByteArray rmcup = cap("wy60", "rmcup");
    QTest::newRow("smcup: page 0 stays") << 6 << "shell" + smcup << 0 << "shell" << QPoint(5, 0);
    QTest::newRow("rmcup: the other page, cursor kept")
        << 6 << "shell" + smcup + rmcup << 1 << "" << QPoint(5, 0);
    QTest::newRow("each page keeps its text")
        << 6 << "one" + rmcup + "\r" + "two" + smcup << 0 << "one" << QPoint(3, 0);
    QTest::newRow("no such page") << 6 << QByteArray("ab\x1bw7") << 0 << "ab" << QPoint(2, 0);
    QTest::newRow("wy50 next and previous")
        << 5 << QByteArray("one\x1bKtwo\x1bJ") << 0 << "one" << QPoint(6, 0);
    QTest::newRow("wy50 next past the last") << 5 << QByteArray("\x1bK\x1bKx") << 1 << "x"
                                             << QPoint(1, 0);
    QTest::newRow("wy50 previous before the first") << 5 << QByteArray("\x1bJx") << 0 << "x"
                                                    << QPoint(1, 0);
}

void TestTermTypes::wysePages()
{
    QFETCH(int, termType);
    QFETCH(QByteArray, input);
    QFETCH(int, page);
    QFETCH(QString, text);
    QFETCH(QPoint, cursor);
    auto screen = screenOf(termType);
    QCOMPARE(screen->pageCount(), 2);
    screen->feed(input);
    QCOMPARE(screen->page(), page);
    QCOMPARE(trimmedRight(screen->rowText(0)), text);
    QCOMPARE(screen->cursor(), cursor);
    // A reset shows page 0, every page blank.
    screen->reset();
    QCOMPARE(screen->page(), 0);
    screen->setPage(1);
    QCOMPARE(screenLines(*screen), QStringList());
}

// --- The control: print controllers and settings -------------------------------------------

void TestTermTypes::printController_data()
{
    QTest::addColumn<int>("termType");
    QTest::addColumn<QByteArray>("begin");
    QTest::addColumn<QByteArray>("end");
    QTest::newRow("wy50") << 5 << cap("wy50", "mc5") << cap("wy50", "mc4");
    QTest::newRow("wy60") << 6 << cap("wy60", "mc5") << cap("wy60", "mc4");
    QTest::newRow("vt52") << 7 << QByteArray("\x1bW") << QByteArray("\x1bX");
}

void TestTermTypes::printController()
{
    QFETCH(int, termType);
    QFETCH(QByteArray, begin);
    QFETCH(QByteArray, end);
    QTemporaryDir dir;
    emu::nvEmulator control;
    control.Settings()->setTermType(rt::Int(termType));
    control.Settings()->setPrinterName(QStringLiteral("no such printer here"));
    control.Settings()->setDefaultCaptureDir(dir.path());
    control.feedHostData("shown" + begin + "printed line\r\n" + end + " more");
    QTRY_VERIFY(!control.lastPrintTarget().isEmpty());
    QVERIFY(control.lastPrintTarget().startsWith(dir.path()));
    QCOMPARE(trimmedRight(control.screen()->rowText(0)), QStringLiteral("shown more"));
}

void TestTermTypes::settingsReachTheScreen()
{
    emu::nvEmulator control;
    emu::Settings *settings = control.Settings();
    settings->setTermType(5);
    QCOMPARE(settings->GmodeEnable(), rt::Int(1));
    settings->setProtectAttr(1);
    settings->setLockFKeys(1);
    QCOMPARE(control.screen()->options().protectLook, 1);
    QVERIFY(control.screen()->options().lockFunctionKeys);
    control.feedHostData("\x1b)P\x1b(" + cap("wy50", "pfx", { QStringLiteral("1"), QStringLiteral("x") }));
    QCOMPARE(lookOf(cellAt(*control.screen(), 0, 0)), 1);
    QCOMPARE(control.screen()->key(Qt::Key_F1, {}, QString()), cap("wy50", "kf1"));
    settings->setTermType(11);
    settings->setGmodeEnable(0);
    control.feedHostData("\x1d" + tek(1, 2) + tek(3, 4));
    QVERIFY(control.screen()->graphics()->isEmpty());
    settings->setGmodeEnable(1);
    control.feedHostData(tek(5, 6));
    QCOMPARE(control.screen()->graphics()->items().size(), size_t(1));
}

// --- Keys as the control sends them to a host --------------------------------------------------

void TestTermTypes::keysThroughTheControl_data()
{
    QTest::addColumn<int>("termType");
    QTest::addColumn<QString>("setting"); // "name=value", empty for none
    QTest::addColumn<QByteArray>("fromHost"); // fed to the screen first
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("sent"); // empty: nothing (refused)

    const int kp = Qt::KeypadModifier;
    const int shift = Qt::ShiftModifier;
    const int ctrl = Qt::ControlModifier;
    auto row = [](const char *name, int type, const QString &setting, const QByteArray &fromHost,
                   int key, int mods, const QString &text, const QByteArray &sent) {
        QTest::newRow(name) << type << setting << fromHost << key << mods << text << sent;
    };
    row("ctrl+i", 12, {}, {}, Qt::Key_I, ctrl, "\t", "\t");
    row("ctrl+m", 8, {}, {}, Qt::Key_M, ctrl, "\r", "\r");
    row("keypad enter, numeric", 12, {}, {}, Qt::Key_Enter, kp, "\r", "\r");
    row("keypad enter, new-line mode", 12, {}, "\x1b[20h", Qt::Key_Enter, kp, "\r", "\r\n");
    row("keypad enter, application", 12, {}, "\x1b=", Qt::Key_Enter, kp, "\r", "\x1bOM");
    row("keypad 5, application", 12, {}, "\x1b=", Qt::Key_5, kp, "5", "\x1bOu");
    row("keypad +, application", 12, {}, "\x1b=", Qt::Key_Plus, kp, "+", "\x1bOk");
    row("keypad -, application", 12, {}, "\x1b=", Qt::Key_Minus, kp, "-", "\x1bOm");
    row("keypad 5 back in numeric", 12, {}, "\x1b=\x1b>", Qt::Key_5, kp, "5", "5");
    // VT52 mode: the VT52's cursor keys, PF keys and alternate keypad.
    row("VT52 mode up", 12, {}, "\x1b[?2l", Qt::Key_Up, 0, {}, "\x1b" "A");
    row("VT52 mode left, application cursor", 8, {}, "\x1b[?1h\x1b[?2l", Qt::Key_Left, 0, {},
        "\x1b" "D");
    row("VT52 mode PF1", 14, {}, "\x1b[?2l", Qt::Key_F1, 0, {}, "\x1bP");
    row("VT52 mode keypad 5, alternate", 12, {}, "\x1b[?2l\x1b=", Qt::Key_5, kp, "5", "\x1b?u");
    row("VT52 mode keypad enter, alternate", 12, {}, "\x1b[?2l\x1b=", Qt::Key_Enter, kp, "\r",
        "\x1b?M");
    row("VT52 mode left, back in ANSI", 12, {}, "\x1b[?2l\x1b<", Qt::Key_Left, 0, {}, "\x1b[D");
    row("AnsiAppKeypad", 12, "AnsiAppKeypad=1", {}, Qt::Key_7, kp, "7", "\x1bOw");
    row("AnsiAppKeypad set back", 12, "AnsiAppKeypad=0", {}, Qt::Key_7, kp, "7", "7");
    row("AnsiAppCursor", 12, "AnsiAppCursor=1", {}, Qt::Key_Up, 0, {}, "\x1bOA");
    row("AnsiAppCursor set back", 12, "AnsiAppCursor=0", {}, Qt::Key_Up, 0, {}, "\x1b[A");
    row("shift+F1 without MapUpperFKeys", 8, {}, {}, Qt::Key_F1, shift, {}, "\x1bOP");
    row("MapUpperFKeys VT220", 8, "MapUpperFKeys=1", {}, Qt::Key_F1, shift, {}, "\x1b[23~");
    row("MapUpperFKeys Linux", 16, "MapUpperFKeys=1", {}, Qt::Key_F10, shift, {}, "\x1b[34~");
    row("MapUpperFKeys SCO", 15, "MapUpperFKeys=1", {}, Qt::Key_F1, shift, {}, "\x1b[W");
    row("SCO shifted F1", 15, {}, {}, Qt::Key_F1, shift, {}, "\x1b[Y");
    row("MapUpperFKeys Wyse", 5, "MapUpperFKeys=1", {}, Qt::Key_F2, shift, {}, "\x01K\r");
    row("Backspace VT220", 8, {}, {}, Qt::Key_Backspace, 0, "\b", "\b");
    row("Backspace Linux", 16, {}, {}, Qt::Key_Backspace, 0, "\b", "\x7f");
    row("BkspSendsDel", 8, "BkspSendsDel=1", {}, Qt::Key_Backspace, 0, "\b", "\x7f");
    row("BkspSendsDel Wyse", 5, "BkspSendsDel=1", {}, Qt::Key_Backspace, 0, "\b", "\x7f");
    row("UTF-8 host", 12, {}, {}, Qt::Key_Eacute, 0, u"é"_qs, "\xc3\xa9");
    row("single-byte host", 12, "Ansi8Bit=1", {}, Qt::Key_Eacute, 0, u"é"_qs, "\xe9");
    row("single-byte host refuses the euro", 12, "Ansi8Bit=1", {}, 0, 0, u"€"_qs, {});
    row("single-byte Wyse refuses the euro", 5, "Ansi8Bit=1", {}, 0, 0, u"€"_qs, {});
    const QByteArray udk = "\x1bP1;1|17/6C730D\x1b\\";
    row("programmed Shift+F6", 8, {}, udk, Qt::Key_F6, shift, {}, "ls\r");
    row("programmed key with LockFKeys", 8, "LockFKeys=1", udk, Qt::Key_F6, shift, {}, "\x1b[17~");
    row("UDK DSR with LockFKeys: locked", 8, "LockFKeys=1", "\x1b[?25n", Qt::Key_F6, shift, {},
        "\x1b[?21n\x1b[17~");
}

void TestTermTypes::keysThroughTheControl()
{
    QFETCH(int, termType);
    QFETCH(QString, setting);
    QFETCH(QByteArray, fromHost);
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(QString, text);
    QFETCH(QByteArray, sent);
    FakeHost host;
    QVERIFY(host.isListening());
    emu::nvEmulator control;
    emu::Settings *settings = control.Settings();
    settings->setTermType(rt::Int(termType));
    settings->setDevice(emu::device::Tcp);
    settings->setHostName(QStringLiteral("127.0.0.1"));
    settings->setHostPort(host.portText());
    if (setting.endsWith(QLatin1String("=0"))) // a setting put back: on first
        settings->setValue(setting.section(u'=', 0, 0), 1);
    if (!setting.isEmpty())
        settings->setValue(setting.section(u'=', 0, 0), setting.section(u'=', 1).toInt());
    control.Reset(2);
    QVERIFY(host.waitForConnection());
    QTRY_COMPARE(control.Connected(), rt::True);
    control.feedHostData(fromHost);
    QKeyEvent press(QEvent::KeyPress, key, Qt::KeyboardModifiers(modifiers), text);
    QApplication::sendEvent(&control, &press);
    // A plain key after it: what came before it is what the key sent.
    QTest::keyClick(&control, Qt::Key_Z, {}, 'z');
    QVERIFY(host.waitForReceived("z"));
    QCOMPARE(host.received(), sent + "z");
}

QTEST_MAIN(TestTermTypes)
#include "tst_termtypes.moc"
