#include "app/strfunc.h"

#include <QtTest>
#include <functional>

using namespace Strfunc;

namespace {

// A NUL-separated list of names, as a file dialog gives it.
QString nulList(const QStringList &names)
{
    return names.join(QChar(0));
}

// Rows of the conversion table: routine, input, expected output.
void conversion(const char *tag, const char *routine, const QString &input, const QString &output)
{
    QTest::newRow(tag) << QString::fromLatin1(routine) << input << output;
}

} // namespace

class tst_strfunc : public QObject
{
    Q_OBJECT
private slots:
    void field_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("delimiter");
        QTest::addColumn<int>("n");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char *tag, const char *text, const char *delimiter, int n,
                             const char *expected) {
            QTest::newRow(tag) << QString::fromLatin1(text) << QString::fromLatin1(delimiter) << n
                               << QString::fromLatin1(expected);
        };
        row("first", "a,b,c", ",", 1, "a");
        row("last", "a,b,c", ",", 3, "c");
        row("beyond", "a,b,c", ",", 4, "");
        row("zero is whole", "a,b,c", ",", 0, "a,b,c");
        row("before trailing delimiter", "a,b,", ",", 2, "b");
        row("after trailing delimiter", "a,b,", ",", 3, "");
        row("empty field counts", "a,,b", ",", 3, "b");
        row("empty middle", "a,,b", ",", 2, "");
        row("long delimiter", "one<>two<>three", "<>", 2, "two");
        row("case-sensitive", "aXbxc", "x", 2, "c");
        row("no delimiter", "abc", ",", 1, "abc");
        row("empty text", "", ",", 1, "");
        row("control name",
            "0\x01Toolbar\x01"
            "105",
            "\x01", 3, "105");
        row("empty delimiter", "abc", "", 1, "abc");
        row("empty delimiter beyond", "abc", "", 2, "");
    }
    void field()
    {
        QFETCH(QString, text);
        QFETCH(QString, delimiter);
        QFETCH(int, n);
        QFETCH(QString, expected);
        QCOMPARE(Field(text, delimiter, rt::Int(n)), expected);
    }

    // Dcount and Findstr: a text, a second string, a number.
    void counts_data()
    {
        QTest::addColumn<QString>("routine");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("other");
        QTest::addColumn<int>("expected");
        const auto row = [](const char *tag, const char *routine, const char *text,
                             const char *other, int expected) {
            QTest::newRow(tag) << QString::fromLatin1(routine) << QString::fromLatin1(text)
                               << QString::fromLatin1(other) << expected;
        };
        row("dcount empty", "Dcount", "", ",", 0);
        row("dcount one", "Dcount", "abc", ",", 1);
        row("dcount empty field", "Dcount", "a,,b", ",", 3);
        row("dcount trailing", "Dcount", "a,b,", ",", 3);
        row("dcount overlapping", "Dcount", "a---b", "--", 3);
        row("dcount only delimiter", "Dcount", ",", ",", 2);
        row("dcount empty delimiter", "Dcount", "abc", "", 1);
        row("findstr full stop", "Findstr", "name.txt", ".", 5);
        row("findstr empty set", "Findstr", "name.txt", "", 0);
        row("findstr first of several", "Findstr", "a|b<c", "<|", 2);
        row("findstr none", "Findstr", "abc", "xyz", 0);
        row("findstr first character", "Findstr", "abc", "a", 1);
    }
    void counts()
    {
        QFETCH(QString, routine);
        QFETCH(QString, text);
        QFETCH(QString, other);
        QFETCH(int, expected);
        const int got = routine == u"Dcount" ? int(Dcount(text, other)) : int(Findstr(text, other));
        QCOMPARE(got, expected);
    }

    // More fields than a 16-bit count holds is an overflow, reported by Dcount from strfunc.
    void dcountOverflowReported()
    {
        QString module, procedure;
        rt::Long number = 0;
        rt::setReporter([&](rt::Error &e, const QString &m, const QString &p) {
            number = e.number;
            module = m;
            procedure = p;
            return 0;
        });
        QVERIFY_THROWS_EXCEPTION(rt::Error, Dcount(QString(32767, u','), QStringLiteral(",")));
        rt::setReporter(nullptr);
        QCOMPARE(number, 6);
        QCOMPARE(module, QStringLiteral("strfunc"));
        QCOMPARE(procedure, QStringLiteral("Dcount"));
        QCOMPARE(int(Dcount(QString(32766, u','), QStringLiteral(","))), 32767);
    }

    void arrowToCtrl_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QList<int>>("codes");
        const auto row = [](const char *tag, const char *text, const QList<int> &codes) {
            QTest::newRow(tag) << QString::fromLatin1(text) << codes;
        };
        row("CR LF", "^M^J", { 13, 10 });
        row("lower case", "^a", { 1 });
        row("at", "^@", { 0 });
        row("escape", "^[", { 27 });
        row("delete", "^?", { 127 });
        row("two carets", "^^", { 94 });
        row("two backslashes", "\\\\", { 92 });
        row("backslash A", "\\A", { 193 });
        row("high delete", "\\^?", { 255 });
        row("high less", "\\^<", { 220 });
        row("high greater", "\\^>", { 222 });
        row("high A", "\\^A", { 129 });
        row("high caret", "\\^^", { 158 });
        row("lone caret dropped", "abc^", { 'a', 'b', 'c' });
        row("lone backslash dropped", "x\\", { 'x' });
        row("lone backslash caret dropped", "x\\^", { 'x' });
        row("mixed", "ab^Mc", { 'a', 'b', 13, 'c' });
        row("empty", "", {});
    }
    void arrowToCtrl()
    {
        QFETCH(QString, text);
        QFETCH(QList<int>, codes);
        const QString result = ArrowToCtrl(text);
        QList<int> got;
        for (QChar c : result)
            got << c.unicode();
        QCOMPARE(got, codes);
    }

    void arrowToCtrlLong()
    {
        const QString result = ArrowToCtrl(QString(5000, u'x') + QStringLiteral("^M"));
        QCOMPARE(result.size(), 5001);
        QCOMPARE(result.back(), QChar(13));
    }

    // The text-to-text routines: XlateCmd, ParseFiles, UnParseFiles.
    void conversions_data()
    {
        QTest::addColumn<QString>("routine");
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("output");
        conversion("xlate two groups", "XlateCmd", "[one][two]", "one\r\ntwo\r\n");
        conversion("xlate outside ignored", "XlateCmd", "x[a]b]y", "a\r\n");
        conversion("xlate quoted bracket", "XlateCmd", "[say \"a]b\"][x \"c]\"]",
            "say \"a]b\"\r\nx \"c]\"\r\n");
        conversion("xlate unterminated", "XlateCmd", "[open", "open\r\n");
        conversion("xlate no bracket", "XlateCmd", "plain", "");
        conversion("xlate nested opening is text", "XlateCmd", "[a[b]", "a[b\r\n");
        conversion("xlate quote left open", "XlateCmd", "[a \"b] c", "a \"b\r\n");
        conversion("xlate empty group", "XlateCmd", "[]", "\r\n");
        conversion("xlate group at end", "XlateCmd", "x[", "\r\n");

        conversion(
            "unparse quoted blank", "UnParseFiles", nulList({ "a", "b c", "", "" }), "a \"b c\"");
        conversion("unparse single", "UnParseFiles", "one", "one");
        conversion("unparse directory first", "UnParseFiles", nulList({ "/tmp/d", "x", "y" }),
            "/tmp/d x y");
        conversion("unparse empty", "UnParseFiles", "", "");

        conversion("parse quoted and plain", "ParseFiles", "\"b c\" d", nulList({ "b c", "d" }));
        conversion("parse trailing blanks", "ParseFiles", "a b   ", nulList({ "a", "b" }));
        conversion("parse trailing blanks after quote", "ParseFiles", "\"a b\"   ", "a b");
        conversion(
            "parse slash is part of name", "ParseFiles", "dir/a b", nulList({ "dir/a", "b" }));
        conversion("parse shell characters", "ParseFiles", "a<b>c|d", "a<b>c|d");
        conversion("parse backslash", "ParseFiles", "a\\b", "a\\b");
        conversion(
            "parse quote ends plain name", "ParseFiles", "ab\"cd\"", nulList({ "ab", "cd" }));
        conversion("parse unclosed quote", "ParseFiles", "\"a b", "a b");
        conversion("parse empty quotes dropped", "ParseFiles", "\"\" x", "x");
        conversion("parse only blanks", "ParseFiles", "   ", "");
        conversion("parse empty", "ParseFiles", "", "");
        conversion("parse leading blanks", "ParseFiles", "   x", "x");
    }
    void conversions()
    {
        static const QHash<QString, std::function<QString(const QString &)>> routines {
            { QStringLiteral("XlateCmd"), XlateCmd },
            { QStringLiteral("ParseFiles"), ParseFiles },
            { QStringLiteral("UnParseFiles"), UnParseFiles },
        };
        QFETCH(QString, routine);
        QFETCH(QString, input);
        QFETCH(QString, output);
        QCOMPARE(routines.value(routine)(input), output);
    }

    // A large multiple selection survives both conversions whole.
    void largeSelectionRoundTrip()
    {
        QStringList names;
        for (int i = 0; i < 2000; ++i)
            names << QStringLiteral("/home/user/transfer/file number %1.dat").arg(i);
        const QString list = nulList(names);
        QVERIFY(list.size() > 20000);
        QCOMPARE(ParseFiles(UnParseFiles(list)), list);
    }
};

QTEST_APPLESS_MAIN(tst_strfunc)
#include "tst_strfunc.moc"
