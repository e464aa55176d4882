#include "app/browsefolder.h"

#include "commondlg/commondlg.h"
#include "runtime/interaction.h"

#include <QApplication>
#include <QFileDialog>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QWidget>
#include <QtTest>

// The folder browser answered through the common dialogs' hook: where it opens, what it returns.
class tst_browsefolder : public QObject
{
    Q_OBJECT

    QTemporaryDir m_home;
    QString m_documents;

    QString expand(QString text) const
    {
        text.replace("$DOCS", m_documents);
        text.replace("$PARENT", QFileInfo(m_home.path()).path());
        text.replace("$TMP", m_home.path());
        text.replace("$CWD", QDir::currentPath());
        return text;
    }

private slots:
    void initTestCase()
    {
        // The real dialog is driven here: it must wait on the offscreen platform too.
        rt::setDialogsWaitOffscreen(true);
        QVERIFY(m_home.isValid());
        // The Documents folder of a user of our own: $HOME/Documents without a user-dirs file.
        qputenv("HOME", m_home.path().toUtf8());
        qputenv("XDG_CONFIG_HOME", (m_home.path() + "/config").toUtf8());
        QVERIFY(QDir(m_home.path()).mkpath("Documents"));
        QVERIFY(QDir(m_home.path()).mkpath("a b/c"));
        m_documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        QCOMPARE(m_documents, m_home.path() + "/Documents");
    }
    void cleanup() { commondlg::setHook(nullptr); }

    void browse_data()
    {
        QTest::addColumn<QString>("initial");
        QTest::addColumn<QString>("answer"); // "<cancel>" cancels
        QTest::addColumn<QString>("opensAt");
        QTest::addColumn<QString>("result");
        QTest::newRow("empty opens Documents, cancel") << ""
                                                       << "<cancel>"
                                                       << "$DOCS"
                                                       << "";
        QTest::newRow("My Documents text") << "MY documents"
                                           << "$TMP/a b"
                                           << "$DOCS"
                                           << "$TMP/a b";
        QTest::newRow("existing folder") << "$TMP/a b/c"
                                         << "$TMP/a b/c/"
                                         << "$TMP/a b/c"
                                         << "$TMP/a b/c";
        QTest::newRow("missing folder opens at parent") << "$TMP/a b/gone/deeper"
                                                        << "$TMP"
                                                        << "$TMP/a b"
                                                        << "$TMP";
        QTest::newRow("dots cleaned") << "$TMP/a b/c/../c"
                                      << "$TMP/a b/./c/.."
                                      << "$TMP/a b/c"
                                      << "$TMP/a b";
        QTest::newRow("relative answer") << "$TMP"
                                         << "rel/dir"
                                         << "$TMP"
                                         << "$CWD/rel/dir";
        QTest::newRow("root") << "/"
                              << "/"
                              << "/"
                              << "/";
        QTest::newRow("empty answer is a cancel") << "$TMP"
                                                  << ""
                                                  << "$TMP"
                                                  << "";
        QTest::newRow("backslash is a name character") << "$TMP\\x"
                                                       << "<cancel>"
                                                       << "$PARENT"
                                                       << "";
    }
    void browse()
    {
        QFETCH(QString, initial);
        QFETCH(QString, answer);
        QFETCH(QString, opensAt);
        QFETCH(QString, result);
        QWidget owner;
        QList<commondlg::Request> asked;
        commondlg::setHook([&](const commondlg::Request &request) -> commondlg::Answer {
            asked.append(request);
            if (answer == "<cancel>")
                return std::nullopt;
            return expand(answer);
        });
        const QString chosen = modBrowseForFolder::BrowseForFolder(
            "Select Download Folder", expand(initial), &owner);
        QCOMPARE(chosen, expand(result));
        QCOMPARE(asked.size(), 1);
        QCOMPARE(asked[0].kind, commondlg::Kind::Folder);
        QCOMPARE(asked[0].title, QString("Select Download Folder"));
        QCOMPARE(asked[0].owner, &owner);
        QCOMPARE(asked[0].directory, expand(opensAt));
    }

    void realDialog_data()
    {
        QTest::addColumn<bool>("accept");
        QTest::newRow("cancel") << false;
        QTest::newRow("choose") << true;
    }
    void realDialog()
    {
        // Without a hook the user sees Qt's own folder dialog, opened at the start folder.
        QFETCH(bool, accept);
        const QString start = m_home.path() + "/a b";
        bool seen = false;
        std::function<void()> answer = [&] {
            auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
            if (!dialog) {
                QTimer::singleShot(10, answer);
                return;
            }
            seen = true;
            QVERIFY(dialog->testOption(QFileDialog::ShowDirsOnly));
            QVERIFY(dialog->testOption(QFileDialog::DontUseNativeDialog));
            QCOMPARE(dialog->fileMode(), QFileDialog::Directory);
            QCOMPARE(dialog->directory().absolutePath(), start);
            QCOMPARE(dialog->windowTitle(), QString("Pick"));
            if (accept) {
                dialog->selectFile(start + "/c");
                static_cast<QDialog *>(dialog)->accept();
            } else {
                dialog->reject();
            }
        };
        QTimer::singleShot(0, answer);
        const QString chosen = modBrowseForFolder::BrowseForFolder("Pick", start, nullptr);
        QVERIFY(seen);
        QCOMPARE(chosen, accept ? start + "/c" : QString());
    }
};

QTEST_MAIN(tst_browsefolder)
#include "tst_browsefolder.moc"
