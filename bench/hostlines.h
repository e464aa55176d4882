#pragma once
// The host text of the flood benchmarks, a line at a time: plain listing lines of varying
// length, or lines of words each in its own SGR colours (bold every third word) with a
// character beyond ASCII after every word. Line n is always the same.

#include <QByteArray>
#include <QList>

inline QByteArray hostTextLine(int n, bool sgr)
{
    static const QByteArray words("The quick brown fox jumps over the lazy dog 0123456789 ");
    static const QList<QByteArray> utf8 = { "caf\xc3\xa9", "na\xc3\xafve", "\xe2\x9c\x93",
        "\xce\xbb\xcf\x86", "\xe2\x94\x80\xe2\x94\x80", "Stra\xc3\x9f" "e" };
    QByteArray line;
    if (sgr) {
        for (int w = 0; line.size() < 90; ++w) {
            line += "\x1b[" + QByteArray::number(30 + (n + w) % 8) + ";"
                + QByteArray::number(40 + (n * 3 + w) % 8) + (w % 3 == 0 ? ";1m" : "m");
            line += words.mid((n + w) % 40, 6) + utf8.at((n + w) % utf8.size()) + ' ';
        }
        line += "\x1b[0m";
    } else {
        const int len = 20 + (n * 37) % 58;
        while (line.size() < len)
            line += words;
        line.truncate(len);
    }
    return line + "\r\n";
}
