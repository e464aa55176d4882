#include "app/strfunc.h"
#include "common/testutil.h"

#include <QtTest>
#include <functional>

using namespace Strfunc;

namespace {

// A NUL-separated list of names, as a file dialog gives it.
QString nulList(const QStringList &names)
{
    return names.join(QChar(0));
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
        dataRow("first", "a,b,c", ",", 1, "a");
        dataRow("last", "a,b,c", ",", 3, "c");
        dataRow("beyond", "a,b,c", ",", 4, "");
        dataRow("zero is whole", "a,b,c", ",", 0, "a,b,c");
        dataRow("before trailing delimiter", "a,b,", ",", 2, "b");
        dataRow("after trailing delimiter", "a,b,", ",", 3, "");
        dataRow("empty field counts", "a,,b", ",", 3, "b");
        dataRow("long delimiter", "one<>two<>three", "<>", 2, "two");
        dataRow("case-sensitive", "aXbxc", "x", 2, "c");
        dataRow("control name",
            "0\x01Toolbar\x01"
            "105",
            "\x01", 3, "105");
        dataRow("empty delimiter", "abc", "", 1, "abc");
        dataRow("empty delimiter beyond", "abc", "", 2, "");
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
        dataRow("dcount empty", "Dcount", "", ",", 0);
        dataRow("dcount one", "Dcount", "abc", ",", 1);
        dataRow("dcount empty field", "Dcount", "a,,b", ",", 3);
        dataRow("dcount trailing", "Dcount", "a,b,", ",", 3);
        dataRow("dcount overlapping", "Dcount", "a---b", "--", 3);
        dataRow("dcount empty delimiter", "Dcount", "abc", "", 1);
        dataRow("findstr full stop", "Findstr", "name.txt", ".", 5);
        dataRow("findstr empty set", "Findstr", "name.txt", "", 0);
        dataRow("findstr first of several", "Findstr", "a|b<c", "<|", 2);
        dataRow("findstr none", "Findstr", "abc", "xyz", 0);
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
        QString where;
        rt::Long number = 0;
        rt::setReporter([&](rt::Error &e, const QString &m, const QString &p) {
            number = e.number;
            where = m + u'.' + p;
            return 0;
        });
        QVERIFY_THROWS_EXCEPTION(rt::Error, Dcount(QString(32767, u','), QStringLiteral(",")));
        rt::setReporter(nullptr);
        QCOMPARE(number, 6);
        QCOMPARE(where, QStringLiteral("strfunc.Dcount"));
        QCOMPARE(int(Dcount(QString(32766, u','), QStringLiteral(","))), 32767);
    }

    void arrowToCtrl_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QList<int>>("codes");
        dataRow("CR LF", "^M^J", QList<int> { 13, 10 });
        dataRow("lower case", "^a", QList<int> { 1 });
        dataRow("at", "^@", QList<int> { 0 });
        dataRow("escape", "^[", QList<int> { 27 });
        dataRow("delete", "^?", QList<int> { 127 });
        dataRow("two carets", "^^", QList<int> { 94 });
        dataRow("two backslashes", "\\\\", QList<int> { 92 });
        dataRow("backslash A", "\\A", QList<int> { 193 });
        dataRow("high delete", "\\^?", QList<int> { 255 });
        dataRow("high less", "\\^<", QList<int> { 220 });
        dataRow("high greater", "\\^>", QList<int> { 222 });
        dataRow("high A", "\\^A", QList<int> { 129 });
        dataRow("high caret", "\\^^", QList<int> { 158 });
        dataRow("lone caret dropped", "abc^", QList<int> { 'a', 'b', 'c' });
        dataRow("lone backslash dropped", "x\\", QList<int> { 'x' });
        dataRow("lone backslash caret dropped", "x\\^", QList<int> { 'x' });
        dataRow("mixed", "ab^Mc", QList<int> { 'a', 'b', 13, 'c' });
    }
    void arrowToCtrl()
    {
        QFETCH(QString, text);
        QFETCH(QList<int>, codes);
        QList<int> got;
        for (QChar c : ArrowToCtrl(text))
            got << c.unicode();
        QCOMPARE(got, codes);
    }

    // The text-to-text routines: XlateCmd, ParseFiles, UnParseFiles.
    void conversions_data()
    {
        QTest::addColumn<QString>("routine");
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("output");
        dataRow("xlate two groups", "XlateCmd", "[one][two]", "one\r\ntwo\r\n");
        dataRow("xlate outside ignored", "XlateCmd", "x[a]b]y", "a\r\n");
        dataRow("xlate quoted bracket", "XlateCmd", "[say \"a]b\"][x \"c]\"]",
            "say \"a]b\"\r\nx \"c]\"\r\n");
        dataRow("xlate unterminated", "XlateCmd", "[open", "open\r\n");
        dataRow("xlate no bracket", "XlateCmd", "plain", "");
        dataRow("xlate nested opening is text", "XlateCmd", "[a[b]", "a[b\r\n");
        dataRow("xlate quote left open", "XlateCmd", "[a \"b] c", "a \"b\r\n");
        dataRow("xlate group at end", "XlateCmd", "x[", "\r\n");

        dataRow(
            "unparse quoted blank", "UnParseFiles", nulList({ "a", "b c", "", "" }), "a \"b c\"");
        dataRow("unparse single", "UnParseFiles", "one", "one");
        dataRow("unparse quote doubled", "UnParseFiles", nulList({ "say\"hi\"", "x" }),
            "\"say\"\"hi\"\"\" x");
        dataRow("parse doubled quote", "ParseFiles", "\"a\"\"b\" c", nulList({ "a\"b", "c" }));

        dataRow("parse quoted and plain", "ParseFiles", "\"b c\" d", nulList({ "b c", "d" }));
        dataRow("parse trailing blanks", "ParseFiles", "a b   ", nulList({ "a", "b" }));
        dataRow("parse trailing blanks after quote", "ParseFiles", "\"a b\"   ", "a b");
        dataRow("parse slash is part of name", "ParseFiles", "dir/a b", nulList({ "dir/a", "b" }));
        dataRow("parse shell characters", "ParseFiles", "a<b>c|d\\e", "a<b>c|d\\e");
        dataRow("parse quote ends plain name", "ParseFiles", "ab\"cd\"", nulList({ "ab", "cd" }));
        dataRow("parse unclosed quote", "ParseFiles", "\"a b", "a b");
        dataRow("parse empty quotes dropped", "ParseFiles", "\"\" x", "x");
        dataRow("parse only blanks", "ParseFiles", "   ", "");
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

    // Any list of names survives both conversions whole, whatever the names hold.
    void listRoundTrip_data()
    {
        QTest::addColumn<QStringList>("names");
        QTest::newRow("quote inside") << QStringList { "ab\"c", "d" };
        QTest::newRow("quote first") << QStringList { "\"lead" };
        QTest::newRow("quote last") << QStringList { "trail\"" };
        QTest::newRow("quote alone") << QStringList { "\"" };
        QTest::newRow("quotes and blanks") << QStringList { "a \"b\" c", "\"\"", "x y" };
        QTest::newRow("quote, then a plain name") << QStringList { "q\"", "plain" };
        QTest::newRow("shell characters") << QStringList { "a<b>c|d\\e/f", "'single'" };
        QTest::newRow("blanks at the ends") << QStringList { " lead", "trail " };
    }
    void listRoundTrip()
    {
        QFETCH(QStringList, names);
        const QString list = nulList(names);
        QCOMPARE(ParseFiles(UnParseFiles(list)), list);
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
