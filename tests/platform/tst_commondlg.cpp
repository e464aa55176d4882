// The common dialogs when nobody can answer them (the offscreen platform): each cancels at once,
// without a window.

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
};

QTEST_MAIN(tst_commondlg)
#include "tst_commondlg.moc"
