// What every dialog of the program shares, one table over all of them: Tab goes through the
// controls as they stand on screen (top to bottom, left to right, a group or a column of buttons
// as one block), and a Help button opens the guide at the dialog's own topic in a help window
// that answers the mouse beside the modal dialog.

#include "app/mdiparnt.h"
#include "app/msgbox.h"
#include "common/modal.h"
#include "commondlg/helpwindow.h"
#include "dialing/dialingdialog.h"
#include "dialogs/capstart.h"
#include "dialogs/dial.h"
#include "dialogs/dialogtest.h"
#include "dialogs/download.h"
#include "dialogs/settingsdlg.h"
#include "dialogs/upload.h"
#include "dialogs/xferstop.h"
#include "emulator/emusettings.h"

#include <QLayout>
#include <QListWidget>
#include <QPushButton>
#include <QTreeWidget>
#include <QWindow>

namespace {

// A widget or a layout on the way from a window down to a control, and the place it takes.
struct Node
{
    const void *id;
    QRect rect;
};

// The layouts under top that hold w, outermost first.
bool layoutsHolding(QLayout *top, QWidget *w, QList<QLayout *> &chain)
{
    chain.append(top);
    for (int i = 0; i < top->count(); ++i) {
        QLayoutItem *item = top->itemAt(i);
        if (item->widget() == w)
            return true;
        if (item->layout() && layoutsHolding(item->layout(), w, chain))
            return true;
    }
    chain.removeLast();
    return false;
}

QList<Node> pathOf(QWidget *w, QWidget *window)
{
    if (w == window || !w)
        return {};
    QWidget *parent = w->parentWidget();
    QList<Node> path = pathOf(parent, window);
    QList<QLayout *> chain;
    if (parent && parent->layout() && layoutsHolding(parent->layout(), w, chain)) {
        for (QLayout *layout : chain) {
            const QRect r = layout->geometry();
            path.append({ layout, QRect(parent->mapTo(window, r.topLeft()), r.size()) });
        }
    }
    path.append({ w, QRect(w->mapTo(window, QPoint(0, 0)), w->size()) });
    return path;
}

// Whether a stands before b on screen: above it, or beside it on the left.
bool readsBefore(const QRect &a, const QRect &b)
{
    if (a.bottom() < b.top())
        return true;
    if (b.bottom() < a.top())
        return false;
    return a.left() < b.left();
}

bool takesTab(QWidget *w, QWidget *window)
{
    return w->window() == window && w->isVisibleTo(window) && w->isEnabled()
        && (w->focusPolicy() & Qt::TabFocus) && !w->focusProxy();
}

// The controls Tab reaches, once round from the window.
QList<QWidget *> tabChain(QWidget *window)
{
    QList<QWidget *> chain;
    for (QWidget *w = window->nextInFocusChain(); w && w != window; w = w->nextInFocusChain()) {
        if (takesTab(w, window) && !chain.contains(w))
            chain.append(w);
    }
    return chain;
}

QString nameOf(const QWidget *w)
{
    if (const auto *button = qobject_cast<const QAbstractButton *>(w))
        return button->text().remove(u'&');
    return w->objectName().isEmpty() ? QString::fromLatin1(w->metaObject()->className())
                                     : w->objectName();
}

// Checks the window's tab order against the screen; the order as names for the message.
void checkTabOrder(QWidget *window)
{
    const QList<QWidget *> chain = tabChain(window);
    QStringList names;
    for (QWidget *w : chain)
        names << nameOf(w);
    const QString order = names.join(u", "_qs);
    QVERIFY2(chain.size() >= 2, qPrintable(order));
    for (QWidget *w : window->findChildren<QWidget *>()) {
        if (takesTab(w, window))
            QVERIFY2(chain.contains(w), qPrintable(nameOf(w) + u" is never reached: "_qs + order));
    }
    for (int i = 1; i < chain.size(); ++i) {
        const QList<Node> a = pathOf(chain.at(i - 1), window);
        const QList<Node> b = pathOf(chain.at(i), window);
        int k = 0;
        while (k < a.size() && k < b.size() && a.at(k).id == b.at(k).id)
            ++k;
        QVERIFY(k < a.size() && k < b.size());
        QVERIFY2(readsBefore(a.at(k).rect, b.at(k).rect),
            qPrintable(names.at(i - 1) + u" before "_qs + names.at(i) + u": "_qs + order));
    }
}

} // namespace

class tst_forms : public QObject
{
    Q_OBJECT

    DialogTest t;
    std::shared_ptr<clsSession> m_session;

    // The form of a row's dialog, loaded over the session.
    rt::Form *form(const QString &dialog)
    {
        if (dialog == u"capture")
            return &frmCapStart::instance();
        if (dialog == u"end capture") {
            m_session->Emulator()->Capture(t.homeDir() + u"/capture.log"_qs, 1, 0);
            return &frmXferStop::instance();
        }
        if (dialog == u"download")
            return &frmDownload::instance();
        if (dialog == u"upload")
            return &frmUpload::instance();
        if (dialog == u"dialer") {
            m_session->EmulatorSettings().setDevice(emu::device::Modem);
            return &frmDial::instance();
        }
        return nullptr;
    }

private slots:
    void initTestCase()
    {
        t.setUp();
        // The guide where the help commands look for it: beside the program.
        const QString guide = QCoreApplication::applicationDirPath() + u"/nvwin2k.html"_qs;
        QFile::remove(guide);
        QVERIFY(QFile::copy(qEnvironmentVariable("NORVALIS_BIN_DIR") + u"/nvwin2k.html"_qs, guide));
    }
    void init()
    {
        t.start();
        m_session = t.addSession();
        QTRY_COMPARE(gApp->ActiveClsSession(), SessionPtr(m_session));
    }
    void cleanup()
    {
        commondlg::showHelp(nullptr, QString(), commondlg::HelpCommand::Quit);
        if (m_session->Emulator()->CaptureSource() != 0)
            m_session->Emulator()->CaptureEnd();
        m_session.reset();
        t.end();
    }

    void tabOrder_data()
    {
        QTest::addColumn<QString>("dialog");
        for (const char *dialog : { "capture", "end capture", "download", "upload", "dialer",
                 "settings", "settings: terminal", "settings alone", "message box",
                 "dialing properties" })
            QTest::newRow(dialog) << QString::fromLatin1(dialog);
    }
    void tabOrder()
    {
        QFETCH(QString, dialog);
        if (rt::Form *f = form(dialog)) {
            DialogTest::open(*f);
            checkTabOrder(f->widget());
            f->unload();
        } else if (dialog.startsWith(u"settings")) {
            const bool alone = dialog == u"settings alone";
            SettingsWindow window(alone ? nullptr : &m_session->AsSessionSettings(),
                gApp->AsGlobalSettings(), alone ? nullptr : &m_session->EmulatorSettings(),
                dialog.endsWith(u"terminal") ? u"Terminal"_qs : QString());
            if (dialog.endsWith(u"terminal"))
                window.lstPages->setCurrentRow(1);
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            checkTabOrder(&window);
        } else if (dialog == u"message box") {
            frmMsgBox::setAnswerHook(nullptr);
            const ModalAnswer<QDialog> answer([&](QDialog &box) {
                checkTabOrder(&box);
                box.findChild<QPushButton *>(u"cmdCancel"_qs)->click();
            });
            frmMsgBox::instance().ShowMessage(u"Do you want to disconnect session\r\n\"A\"?"_qs,
                MsgBox::YesAllNoCancel + MsgBox::Question + MsgBox::NotAgainFlag, nullptr);
        } else {
            dialing::DialingPropertiesDialog window(u"host"_qs, u"555"_qs);
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            checkTabOrder(&window);
        }
    }

    // Help over a dialog shown modally: the guide opens at the dialog's topic, and the help
    // window takes clicks while the dialog stays open.
    void help_data()
    {
        QTest::addColumn<QString>("dialog");
        QTest::addColumn<QString>("section");
        QTest::newRow("capture") << u"capture"_qs << u"Capture"_qs;
        QTest::newRow("download") << u"download"_qs << u"Uploads and downloads"_qs;
        QTest::newRow("upload") << u"upload"_qs << u"Uploads and downloads"_qs;
        QTest::newRow("dialer") << u"dialer"_qs << u"Dialing"_qs;
    }
    void help()
    {
        QFETCH(QString, dialog);
        QFETCH(QString, section);
        rt::Form *f = form(dialog);
        QString shown, clicked;
        {
            const ModalAnswer<QWidget> answer([&](QWidget &window) {
                for (QPushButton *button : window.findChildren<QPushButton *>()) {
                    if (button->text() == u"&Help")
                        QTest::mouseClick(button, Qt::LeftButton);
                }
                commondlg::HelpWindow *help = commondlg::HelpWindow::current();
                if (help && QTest::qWaitForWindowExposed(help)) {
                    shown = help->sectionShown();
                    const QList<QTreeWidgetItem *> items = help->tvContents->findItems(
                        u"Printing"_qs, Qt::MatchExactly | Qt::MatchRecursive);
                    const QRect rect = help->tvContents->visualItemRect(items.value(0));
                    // Through the window system, which holds back input from a blocked window.
                    QTest::mouseClick(help->windowHandle(), Qt::LeftButton, {},
                        help->tvContents->viewport()->mapTo(help, rect.center()));
                    clicked = help->sectionShown();
                }
                f->hide();
            });
            f->showModal(frmMdiParent::instance().widget());
        }
        f->unload();
        QCOMPARE(shown, section);
        QCOMPARE(clicked, u"Printing"_qs);
    }

    // tests/screenshot.sh .../dialogs_tst_forms screenshot out.png: the download dialog shown
    // modally in out.png, the help its Help button opened (and a click in it) in out-help.png.
    void screenshot()
    {
        const QString out = qEnvironmentVariable("NORVALIS_SCREENSHOT");
        if (out.isEmpty())
            QSKIP("NORVALIS_SCREENSHOT names no file");
        rt::Form *f = form(u"download"_qs);
        bool saved = false;
        {
            const ModalAnswer<QWidget> answer([&](QWidget &window) {
                QVERIFY(QTest::qWaitForWindowExposed(&window));
                QVERIFY(window.grab().save(out));
                frmDownload::instance().cmdHelp->click();
                commondlg::HelpWindow *help = commondlg::HelpWindow::current();
                QVERIFY(help && QTest::qWaitForWindowExposed(help));
                QTest::mouseClick(help->txtSearch, Qt::LeftButton);
                QTest::keyClicks(help->txtSearch, u"zmodem"_qs);
                saved = help->grab().save(out.chopped(4) + u"-help.png"_qs);
                f->hide();
            });
            f->showModal(frmMdiParent::instance().widget());
        }
        f->unload();
        QVERIFY(saved);
    }
};

QTEST_MAIN(tst_forms)
#include "tst_forms.moc"
