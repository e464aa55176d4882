// Real full-screen programs (vi, less, dialog, top) run in a pseudo-terminal with the terminfo entry
// of a terminal type, their output replayed into the screen of that type: the final screen must
// be the one the DEC VT100 type shows for the same program run with TERM=vt100.
// vttest runs against a screen that answers it: its VT52 mode and character-set screens must show
// what the DEC terminals show. The programs
// are run by the test itself, one step at a time: each step waits for a marker the program
// writes, so the recordings do not depend on timing. top shows one process of the test's own (a
// sleeping one, whose row stays the same); its figures are masked, and the load average, whose
// width changes as the machine's load crosses 10, is left out.

#include "common/testutil.h"
#include "emulator/screen.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

using emu::Screen;

namespace {

constexpr int Rows = 24;
constexpr int Cols = 80;
constexpr int Vt100 = 12;

// A step: wait until the output holds `marker` (`times` times), then type `keys`.
struct Step
{
    QByteArray marker;
    int times;
    QByteArray keys;
};

// Runs a program in a pseudo-terminal of Rows x Cols with TERM=term, going through the steps,
// and returns everything it wrote until it ended (empty with *error set on a failure). With
// `live`, the program talks to that screen as to a terminal: it reads what the program writes
// and its answers go back to the program.
QByteArray record(const QStringList &command, const QString &term, const QString &dir,
    const std::vector<Step> &steps, QString *error, Screen *live = nullptr)
{
    struct winsize size = {};
    size.ws_row = Rows;
    size.ws_col = Cols;
    int master = -1;
    const pid_t pid = forkpty(&master, nullptr, nullptr, &size);
    if (pid < 0) {
        *error = QStringLiteral("forkpty failed");
        return {};
    }
    if (pid == 0) {
        // The child: a clean environment, so that no user setting changes what the programs do.
        if (chdir(dir.toLocal8Bit().constData()) != 0)
            _exit(126);
        clearenv();
        setenv("TERM", term.toLocal8Bit().constData(), 1);
        setenv("HOME", dir.toLocal8Bit().constData(), 1);
        setenv("PATH", "/usr/local/bin:/usr/bin:/bin", 1);
        setenv("LC_ALL", "C", 1);
        setenv("LINES", "24", 1);
        setenv("COLUMNS", "80", 1);
        std::vector<QByteArray> args;
        for (const QString &a : command)
            args.push_back(a.toLocal8Bit());
        std::vector<char *> argv;
        for (QByteArray &a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    QByteArray output;
    if (live) {
        QObject::connect(live, &Screen::answer, live, [master, error](const QByteArray &bytes) {
            if (write(master, bytes.constData(), size_t(bytes.size())) != bytes.size())
                *error = QStringLiteral("could not answer");
        });
    }
    size_t next = 0;
    QElapsedTimer timer;
    timer.start();
    bool ended = false;
    while (!ended) {
        if (timer.elapsed() > 30000) {
            *error = QStringLiteral("no end after 30 s; output so far: ") + QString::fromLatin1(output.right(300).toPercentEncoding());
            kill(pid, SIGKILL);
            break;
        }
        while (next < steps.size() && output.count(steps[next].marker) >= steps[next].times) {
            const QByteArray &keys = steps[next].keys;
            if (write(master, keys.constData(), size_t(keys.size())) != keys.size())
                *error = QStringLiteral("could not type the keys");
            ++next;
        }
        struct pollfd fd = { master, POLLIN, 0 };
        if (poll(&fd, 1, 1000) <= 0)
            continue;
        char buffer[4096];
        const ssize_t n = read(master, buffer, sizeof buffer);
        if (n <= 0)
            ended = true; // EIO: the program ended and closed the terminal
        else
            output.append(buffer, n);
        if (n > 0 && live)
            live->feed(QByteArrayView(buffer, n));
    }
    close(master);
    int status = 0;
    waitpid(pid, &status, 0);
    if (next < steps.size() && error->isEmpty())
        *error = QStringLiteral("step %1 never came").arg(next);
    return error->isEmpty() ? output : QByteArray();
}

// Line drawing folded to the characters a terminal without it shows (the curses fallbacks).
QString folded(QString text)
{
    for (QChar &c : text) {
        const char16_t u = c.unicode();
        if (u == u'─')
            c = u'-';
        else if (u == u'│')
            c = u'|';
        else if (u >= 0x2500 && u <= 0x257F)
            c = u'+';
    }
    return text;
}

// What may change between two runs of a program that reports the machine's state: a figure
// with the blanks that right-align it (so "  0.0" and "100.0" read alike).
QString masked(QString line)
{
    static const QRegularExpression figure(QStringLiteral("[ 0-9]*[0-9]"));
    for (auto it = figure.globalMatch(line); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        line.replace(m.capturedStart(), m.capturedLength(), QString(m.capturedLength(), u'0'));
    }
    if (const qsizetype load = line.indexOf(QLatin1String("load average")); load >= 0)
        line.truncate(load);
    return line;
}

struct Shown
{
    QStringList lines;
    QPoint cursor;
};

Shown replay(const QByteArray &output, int termType, bool maskFigures)
{
    Screen screen(Rows, Cols, 0);
    screen.setTerminalType(termType);
    screen.feed(output);
    Shown shown;
    for (int r = 0; r < Rows; ++r) {
        const QString line = folded(screen.rowText(r));
        shown.lines << trimmedRight(maskFigures ? masked(line) : line);
    }
    shown.cursor = screen.cursor();
    return shown;
}

} // namespace

class TestRecordings : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void sameScreen_data();
    void sameScreen();
    void vttestCharacterSets_data();
    void vttestCharacterSets();
    void vttestVt52Mode_data();
    void vttestVt52Mode();
    void cleanupTestCase();

private:
    QTemporaryDir m_dir;
    QProcess m_sleeper; // the process top shows
};

void TestRecordings::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_sleeper.start(QStringLiteral("sleep"), { QStringLiteral("600") });
    QVERIFY(m_sleeper.waitForStarted());
    QFile file(m_dir.filePath(QStringLiteral("orders.txt")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    for (int i = 1; i <= 60; ++i)
        file.write(QStringLiteral("Order %1: %2 units of part %3, due in week %4\n")
                       .arg(i, 3)
                       .arg((i * 37) % 500)
                       .arg(1000 + i * 7)
                       .arg(i % 52 + 1)
                       .toLatin1());
}

void TestRecordings::sameScreen_data()
{
    QTest::addColumn<QString>("term");
    QTest::addColumn<int>("termType");
    QTest::addColumn<QStringList>("command");
    QTest::addColumn<QByteArray>("steps"); // marker, times, keys; records separated by \0

    struct Program
    {
        const char *name;
        QStringList command;
        QByteArray steps;
    };
    auto steps = [](std::initializer_list<Step> list) {
        QByteArray bytes;
        for (const Step &s : list)
            bytes += s.marker + '\0' + QByteArray::number(s.times) + '\0' + s.keys + '\0';
        return bytes;
    };
    const Program programs[] = {
        { "vi",
            { QStringLiteral("vi"), QStringLiteral("-u"), QStringLiteral("NONE"),
                QStringLiteral("-i"), QStringLiteral("NONE"), QStringLiteral("-N"),
                QStringLiteral("-n"), QStringLiteral("orders.txt") },
            steps({ { "orders.txt", 1, "5jddjjOA new order line\x1b" "10jx:redraw|echo 'STEP1'\r" },
                { "STEP1", 1, "Gkk3dd:1\r:redraw|echo 'STEP2'\r" },
                { "STEP2", 1, ":q!\r" } }) },
        { "less",
            { QStringLiteral("less"), QStringLiteral("-d"), QStringLiteral("-PsMARK"),
                QStringLiteral("orders.txt") },
            steps({ { "MARK", 1, " " }, { "MARK", 2, "5k" }, { "MARK", 3, "q" } }) },
        { "dialog",
            { QStringLiteral("dialog"), QStringLiteral("--title"), QStringLiteral("Posting"),
                QStringLiteral("--yesno"), QStringLiteral("Post the orders of week 12 now?"),
                QStringLiteral("8"), QStringLiteral("40") },
            steps({ { "week 12", 1, "\t\r" } }) },
        { "top",
            { QStringLiteral("top"), QStringLiteral("-n"), QStringLiteral("1"), QStringLiteral("-p"),
                QString::number(m_sleeper.processId()) },
            {} },
    };
    struct Terminal
    {
        const char *term;
        int termType;
    };
    const Terminal terminals[] = { { "wy50", 5 }, { "vt52", 7 }, { "viewpoint", 1 } };
    for (const Program &p : programs) {
        for (const Terminal &t : terminals) {
            QTest::newRow(qPrintable(QStringLiteral("%1 %2").arg(QLatin1String(p.name), QLatin1String(t.term))))
                << QString::fromLatin1(t.term) << t.termType << p.command << p.steps;
        }
    }
}

void TestRecordings::sameScreen()
{
    QFETCH(QString, term);
    QFETCH(int, termType);
    QFETCH(QStringList, command);
    QFETCH(QByteArray, steps);
    if (QStandardPaths::findExecutable(command.first()).isEmpty())
        QSKIP(qPrintable(command.first() + QStringLiteral(" is not installed")));
    std::vector<Step> list;
    const QList<QByteArray> fields = steps.split('\0');
    for (qsizetype i = 0; i + 2 < fields.size(); i += 3)
        list.push_back({ fields[i], fields[i + 1].toInt(), fields[i + 2] });

    QString error;
    const QByteArray reference = record(command, QStringLiteral("vt100"), m_dir.path(), list, &error);
    QVERIFY2(error.isEmpty(), qPrintable(QStringLiteral("vt100: ") + error));
    const QByteArray recorded = record(command, term, m_dir.path(), list, &error);
    QVERIFY2(error.isEmpty(), qPrintable(term + QStringLiteral(": ") + error));

    const bool figures = command.first() == QLatin1String("top");
    const Shown expected = replay(reference, Vt100, figures);
    const Shown shown = replay(recorded, termType, figures);
    QCOMPARE(shown.lines, expected.lines);
    QCOMPARE(shown.cursor, expected.cursor);
}

// vttest's character-set screens on the VT420 talking to a single-byte host: vttest asks the
// terminal who it is (the screen answers), G1 is given a set from vttest's menu, and the
// locking-shift screen shows each set invoked into GL and GR with 8-bit data. Compared: the GR
// half of the G1 lines (bytes 0xA1-0xBF from column 41, 0xC0-0xDF and 0xE0-0xFE from column 40)
// as the DEC charts have them.
void TestRecordings::vttestCharacterSets_data()
{
    QTest::addColumn<QByteArray>("g1Choice"); // in vttest's menu 3.5
    QTest::addColumn<QStringList>("gr"); // lines 4-6

    QTest::newRow("DEC Supplemental in G1, LS1R")
        << QByteArray("3\r")
        << QStringList { u"¡¢£⸮¥⸮§¤©ª«⸮⸮⸮⸮°±²³⸮µ¶·⸮¹º»¼½⸮¿"_qs,
               u"ÀÁÂÃÄÅÆÇÈÉÊËÌÍÎÏ⸮ÑÒÓÔÕÖŒØÙÚÛÜŸ⸮ß"_qs, u"àáâãäåæçèéêëìíîï⸮ñòóôõöœøùúûüÿ⸮"_qs };
    QTest::newRow("DEC Special Graphics in G1, LS1R")
        << QByteArray("2\r")
        << QStringList { u"!\"#$%&'()*+,-./0123456789:;<=>?"_qs,
               u"@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^ "_qs, u"◆▒␉␌␍␊°±␤␋┘┐┌└┼⎺⎻─⎼⎽├┤┴┬│≤≥π≠£·"_qs };
    QTest::newRow("ISO Latin-1 in G1, LS1R")
        << QByteArray("1\r")
        << QStringList { u"¡¢£¤¥¦§¨©ª«¬\u00ad®¯°±²³´µ¶·¸¹º»¼½¾¿"_qs,
               u"ÀÁÂÃÄÅÆÇÈÉÊËÌÍÎÏÐÑÒÓÔÕÖ×ØÙÚÛÜÝÞß"_qs, u"àáâãäåæçèéêëìíîïðñòóôõö÷øùúûüýþ"_qs };
}

void TestRecordings::vttestCharacterSets()
{
    QFETCH(QByteArray, g1Choice);
    QFETCH(QStringList, gr);
    if (QStandardPaths::findExecutable(QStringLiteral("vttest")).isEmpty())
        QSKIP("vttest is not installed");
    constexpr int Vt420 = 14;
    Screen live(Rows, Cols, 0);
    live.setTerminalType(Vt420);
    live.setHostEncoding(emu::HostEncoding::SingleByte);
    const QByteArray shown = "Push <RETURN>";
    // Main menu: character sets; menu 3: G1 is the set chosen, then the locking shifts; back
    // out of the menus to the end.
    const std::vector<Step> steps = {
        { "(0 - 12)", 1, "3\r" },
        { "(0 - 13)", 1, "5\r" },
        { "(0 - 16)", 1, g1Choice },
        { "(0 - 13)", 2, "10\r" },
        { shown, 1, "\r" },
        { "(0 - 13)", 3, "0\r" },
        { "(0 - 12)", 2, "0\r" },
    };
    QString error;
    const QByteArray output = record({ QStringLiteral("vttest"), QStringLiteral("24x80.80") },
        QStringLiteral("vt420"), m_dir.path(), steps, &error, &live);
    QVERIFY2(error.isEmpty(), qPrintable(error));

    Screen screen(Rows, Cols, 0);
    screen.setTerminalType(Vt420);
    screen.setHostEncoding(emu::HostEncoding::SingleByte);
    screen.feed(output.left(output.indexOf(shown) + shown.size()));
    QVERIFY2(screen.rowText(2).contains(QLatin1String("LS1R")), qPrintable(screen.rowText(2)));
    const int from[] = { 40, 39, 39 };
    for (int i = 0; i < 3; ++i)
        QCOMPARE(screen.rowText(3 + i).mid(from[i], gr[i].size()), gr[i]);
}

// vttest's VT52 mode screens (DECANM) on the VT100 and VT420: the rectangle drawn with the
// VT52's cursor addressing and moves, its text in the normal and the graphics set, and the
// answer to its identity request (vttest judges that itself).
void TestRecordings::vttestVt52Mode_data()
{
    QTest::addColumn<QString>("term");
    QTest::addColumn<int>("termType");
    QTest::newRow("vt100") << QStringLiteral("vt100") << Vt100;
    QTest::newRow("vt420") << QStringLiteral("vt420") << 14;
}

void TestRecordings::vttestVt52Mode()
{
    QFETCH(QString, term);
    QFETCH(int, termType);
    if (QStandardPaths::findExecutable(QStringLiteral("vttest")).isEmpty())
        QSKIP("vttest is not installed");
    Screen live(Rows, Cols, 0);
    live.setTerminalType(termType);
    const QByteArray shown = "Push <RETURN>";
    const std::vector<Step> steps = {
        { "(0 - 12)", 1, "7\r" },
        { shown, 1, "\r" },
        { shown, 2, "\r" },
        { shown, 3, "\r" },
        { "(0 - 12)", 2, "0\r" },
    };
    QString error;
    const QByteArray output = record({ QStringLiteral("vttest"), QStringLiteral("24x80.80") },
        term, m_dir.path(), steps, &error, &live);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    // The screen at each of vttest's three stops.
    std::vector<QStringList> stops;
    qsizetype at = 0;
    for (int i = 0; i < 3; ++i) {
        at = output.indexOf(shown, at);
        QVERIFY(at >= 0);
        at += shown.size();
        Screen screen(Rows, Cols, 0);
        screen.setTerminalType(termType);
        screen.feed(output.left(at));
        QStringList lines;
        for (int r = 0; r < Rows; ++r)
            lines << screen.rowText(r);
        stops.push_back(lines);
    }
    const QString stars = QString(9, u' ') + QString(61, u'*');
    QCOMPARE(trimmedRight(stops[0][0]), stars);
    QCOMPARE(trimmedRight(stops[0][Rows - 1]), stars);
    for (int r = 1; r < Rows - 1; ++r) {
        QCOMPARE(stops[0][r].mid(9, 2), u"*!"_qs);
        QCOMPARE(trimmedRight(stops[0][r].mid(11)).right(2), u"!*"_qs);
    }
    QVERIFY(stops[0][9].contains(QLatin1String("The screen should be cleared")));
    QVERIFY(stops[1][3].contains(QLatin1String("`abcdefghijklmnopqrstuvwxyz{|}~")));
    QVERIFY2(stops[1][8].contains(u"^ ◆▒␉␌␍␊°±␤␋┘┐┌└┼⎺⎻─⎼⎽├┤┴┬│≤≥π≠£·"_qs), qPrintable(stops[1][8]));
    QVERIFY2(stops[2][2].contains(QLatin1String("<27> / Z   -- OK")), qPrintable(stops[2][2]));
}

void TestRecordings::cleanupTestCase()
{
    m_sleeper.kill();
    m_sleeper.waitForFinished();
}

QTEST_MAIN(TestRecordings)
#include "tst_recordings.moc"
