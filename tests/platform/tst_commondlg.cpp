// The common dialogs when nobody can answer them (the offscreen platform): each cancels at once,
// without a window; and the answer for several chosen files.

#include "commondlg/commondlg.h"
#include "runtime/interaction.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QtTest>

class tst_commondlg : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void nobodyToAnswer_data()
    {
        QTest::addColumn<int>("kind");
        QTest::newRow("folder") << int(commondlg::Kind::Folder);
        QTest::newRow("open file") << int(commondlg::Kind::OpenFile);
        QTest::newRow("save file") << int(commondlg::Kind::SaveFile);
    }
    void nobodyToAnswer()
    {
        QFETCH(int, kind);
        if (rt::userCanAnswer())
            QSKIP("a display: someone can answer (run offscreen)");
        QVERIFY(m_dir.isValid());
        commondlg::Request request;
        request.kind = commondlg::Kind(kind);
        request.title = QStringLiteral("Pick");
        request.directory = m_dir.path();
        request.filter = QStringLiteral("Text Files (*.txt)|*.txt");
        const commondlg::Answer chosen = request.kind == commondlg::Kind::Folder
            ? commondlg::chooseFolder(nullptr, request.title, request.directory)
            : commondlg::chooseFile(request);
        QVERIFY(!chosen);
        QVERIFY(!QApplication::activeModalWidget());
    }
    // Several chosen files answer their directory (made absolute), a NUL and the names; one
    // chosen file answers its path.
    void severalFiles_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("expected");
        QTest::newRow("several") << "sub|a.txt|b c.txt" << "$D/sub|a.txt|b c.txt";
        QTest::newRow("one") << "sub/a.txt" << "$D/sub/a.txt";
    }
    void severalFiles()
    {
        QFETCH(QString, answer);
        QFETCH(QString, expected);
        auto expand = [this](QString text) {
            return text.replace(u"$D"_qs, m_dir.path()).replace(u'|', QChar(0));
        };
        commondlg::Request asked;
        commondlg::setHook([&](const commondlg::Request &request) {
            asked = request;
            return commondlg::Answer(expand(answer));
        });
        commondlg::Request request;
        request.kind = commondlg::Kind::OpenFile;
        request.directory = m_dir.path();
        request.multiSelect = true;
        const commondlg::Answer chosen = commondlg::chooseFile(request);
        commondlg::setHook(nullptr);
        QVERIFY(asked.multiSelect);
        QCOMPARE(chosen.value_or(QString()), expand(expected));
    }

};

QTEST_MAIN(tst_commondlg)
#include "tst_commondlg.moc"
