// The common dialogs as the program asks for them: what a test hook is asked, and the answer when
// nobody can answer (the offscreen platform): a cancel at once, without a window.

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
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("logs")));
        QFile file(m_dir.filePath(QStringLiteral("logs/today.txt")));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    void cleanup()
    {
        commondlg::setHook(nullptr);
        rt::setDialogsWaitOffscreen(false);
    }

    // Where the open-file dialog opens and what it answers.
    void openFile_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("opensAt");
        QTest::addColumn<QString>("answer"); // "" cancels
        QTest::addColumn<QString>("result");
        QTest::newRow("folder") << "logs"
                                << "logs"
                                << "logs/today.txt"
                                << "logs/today.txt";
        QTest::newRow("a file opens with it selected") << "logs/today.txt"
                                                       << "logs/today.txt"
                                                       << "logs/today.txt"
                                                       << "logs/today.txt";
        QTest::newRow("missing folder opens at its parent") << "logs/gone/deeper"
                                                            << "logs"
                                                            << ""
                                                            << "";
    }
    void openFile()
    {
        QFETCH(QString, start);
        QFETCH(QString, answer);
        QFETCH(QString, result);
        const QDir dir(m_dir.path());
        QList<commondlg::Request> asked;
        commondlg::setHook([&](const commondlg::Request &request) -> commondlg::Answer {
            asked.append(request);
            if (answer.isEmpty())
                return std::nullopt;
            return dir.filePath(answer);
        });
        const QStringList filters { QStringLiteral("Text Files (*.txt)"),
            QStringLiteral("All Files (*)") };
        const commondlg::Answer chosen
            = commondlg::openFile(nullptr, QStringLiteral("Pick"), dir.filePath(start), filters);
        QCOMPARE(chosen.value_or(QString()), result.isEmpty() ? QString() : dir.filePath(result));
        QCOMPARE(asked.size(), 1);
        QCOMPARE(asked[0].kind, commondlg::Kind::OpenFile);
        QCOMPARE(asked[0].filters, filters);
        QTEST(QDir(m_dir.path()).relativeFilePath(asked[0].directory), "opensAt");
    }

    // Without a hook and without anyone to answer, every dialog cancels at once.
    void nobodyToAnswer_data()
    {
        QTest::addColumn<bool>("folder");
        QTest::newRow("folder") << true;
        QTest::newRow("open file") << false;
    }
    void nobodyToAnswer()
    {
        QFETCH(bool, folder);
        if (rt::userCanAnswer())
            QSKIP("a display: someone can answer (run offscreen)");
        const commondlg::Answer chosen = folder
            ? commondlg::chooseFolder(nullptr, QStringLiteral("Pick"), m_dir.path())
            : commondlg::openFile(nullptr, QStringLiteral("Pick"), m_dir.path(), {});
        QVERIFY(!chosen);
        QVERIFY(!QApplication::activeModalWidget());
    }
};

QTEST_MAIN(tst_commondlg)
#include "tst_commondlg.moc"
