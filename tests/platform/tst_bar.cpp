#include "bar/bar.h"
#include "bar/delimitedtable.h"
#include "common/testutil.h"
#include "runtime/screen.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QScreen>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QtTest>

using namespace bar;

Q_DECLARE_METATYPE(Qt::ToolBarArea)

namespace {

const QChar Sep(1);

QString controlName(int menuNo, const QString &band)
{
    return QString::number(menuNo) + Sep + band;
}

// Captions of actions as a list; separators read "-", hidden actions are left out.
QStringList texts(const QList<QAction *> &actions)
{
    QStringList out;
    for (const QAction *action : actions) {
        if (action->isVisible())
            out.append(action->isSeparator() ? QStringLiteral("-") : action->text());
    }
    return out;
}

QStringList fieldTexts(const QWidget *fields)
{
    QStringList out;
    for (const QLabel *label : fields->findChildren<QLabel *>(Qt::FindDirectChildrenOnly)) {
        if (!label->isHidden())
            out.append(label->text());
    }
    return out;
}

QList<Long> ids(const Band &band)
{
    QList<Long> out;
    for (const ToolPtr &tool : band.tools())
        out.append(tool->toolId());
    return out;
}

} // namespace

class tst_bar : public QObject
{
    Q_OBJECT

    std::unique_ptr<QMainWindow> m_window;
    std::unique_ptr<ActiveBar> m_control;

    BandPtr addBand(const QString &name, Int type, Int area = DockTop, bool visible = true)
    {
        BandPtr band = m_control->bands().add(name);
        band->setBandType(type);
        band->setDockingArea(area);
        band->setCaption(name.section(Sep, 1));
        band->setVisible(visible);
        return band;
    }
    ToolPtr addTool(const BandPtr &band, Long id, const QString &caption,
        const QString &subBand = QString(), Int imageNo = 0)
    {
        ToolPtr tool = band->tools().add(id, band->name() + Sep + QString::number(id));
        tool->setCaption(caption);
        tool->setSubBand(subBand);
        if (imageNo)
            tool->setImageNo(imageNo);
        return tool;
    }
    ToolPtr addSeparator(const BandPtr &band, Long id)
    {
        ToolPtr tool = band->tools().add(id, QString());
        tool->setControlType(ControlSeparator);
        return tool;
    }

    // A window's menu: menu bar with File and Edit, the File drop-down, a tool bar, a status line.
    struct Menu
    {
        BandPtr menuBar, file, toolBar, status, context;
    };
    Menu addMenu(int menuNo, int toolCount = 3)
    {
        Menu m;
        m.menuBar = addBand(controlName(menuNo, "Menu Bar"), BandMenuBar);
        m.file = addBand(controlName(menuNo, "File"), BandPopup, DockPopup);
        m.toolBar = addBand(controlName(menuNo, "Toolbar"), BandNormal);
        m.status = addBand(controlName(menuNo, "Status Line"), BandStatusBar, DockBottom);
        m.context = addBand(controlName(menuNo, "ContextMenu"), BandPopup, DockPopup);
        const Long base = menuNo * 100000;
        addTool(m.menuBar, base + 1, "&File", controlName(menuNo, "File"));
        addTool(m.menuBar, base + 2, "&Edit", controlName(menuNo, "ContextMenu"));
        addTool(m.file, base + 101, "&New", QString(), 1);
        addTool(m.file, base + 103, "&Open...", QString(), 2);
        addSeparator(m.file, base + 1);
        addTool(m.file, base + 110, "E&xit");
        for (int i = 0; i < toolCount; ++i)
            addTool(m.toolBar, base + 1000 + i, QStringLiteral("Tool %1").arg(i), QString(),
                1 + i % 30);
        addTool(m.status, base + 9001, "Ready");
        addTool(m.status, base + 9002, "VT100");
        addTool(m.context, base + 303, "&Copy", QString(), 5);
        addTool(m.context, base + 305, "&Paste", QString(), 6);
        return m;
    }
    void showMenu(const Menu &m, bool shown)
    {
        for (const BandPtr &band : { m.menuBar, m.file, m.toolBar, m.status, m.context })
            band->setVisible(shown);
    }

private slots:
    void init()
    {
        m_window = std::make_unique<QMainWindow>();
        m_window->setCentralWidget(new QPlainTextEdit);
        m_control = std::make_unique<ActiveBar>();
        m_control->attach(m_window.get());
    }
    void cleanup()
    {
        m_control.reset();
        m_window.reset();
    }

    // ---- model --------------------------------------------------------------------------------

    void toolKeepsValues_data()
    {
        QTest::addColumn<Long>("id");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        QTest::addColumn<Int>("number");
        QTest::newRow("menu tool")
            << Long(300305) << QString("3\001File\001305") << "&Paste" << Int(1);
        QTest::newRow("negative and extremes")
            << Long(-2147483647 - 1) << QString() << QString() << Int(-32768);
        QTest::newRow("largest") << Long(2147483647) << QString("x") << "a" << Int(32767);
        QTest::newRow("hostile text")
            << Long(0) << QString("\001\001") << "&&<b>x</b>\t\r\n\\" << Int(-1);
    }
    void toolKeepsValues()
    {
        QFETCH(Long, id);
        QFETCH(QString, name);
        QFETCH(QString, text);
        QFETCH(Int, number);
        BandPtr band = addBand("b", BandNormal);
        ToolPtr tool = band->tools().add(id, name);
        tool->setCaption(text);
        tool->setToolTipText(text);
        tool->setSubBand(text);
        tool->setStyle(number);
        tool->setControlType(number);
        tool->setWidth(Long(number) * 15);
        tool->setHeight(Long(number) * 16);
        tool->setImageNo(number);
        tool->setTemplateValue(QVariant(text));
        m_control->recalcLayout();
        QCOMPARE(tool->toolId(), id);
        QCOMPARE(tool->name(), name);
        QCOMPARE(tool->caption(), text);
        QCOMPARE(tool->toolTipText(), text);
        QCOMPARE(tool->subBand(), text);
        QCOMPARE(tool->style(), number);
        QCOMPARE(tool->controlType(), number);
        QCOMPARE(tool->width(), Long(number) * 15);
        QCOMPARE(tool->height(), Long(number) * 16);
        QCOMPARE(tool->imageNo(), number);
        QCOMPARE(tool->templateValue(), QVariant(text));
        QCOMPARE(band->tools().item(0), tool);

        band->setCaption(text);
        band->setBandType(number);
        band->setDockingArea(number);
        band->setFlags(512);
        band->setGrabHandleStyle(0);
        m_control->recalcLayout();
        QCOMPARE(band->caption(), text);
        QCOMPARE(band->bandType(), number);
        QCOMPARE(band->dockingArea(), number);
        QCOMPARE(band->flags(), Long(512));
    }

    void toolsRemoveByKey_data()
    {
        QTest::addColumn<QList<Long>>("before");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QList<Long>>("after"); // empty with error 5
        QTest::addColumn<int>("error");
        QTest::newRow("middle") << QList<Long> { 101, 102, 103 } << "102"
                                << QList<Long> { 101, 103 } << 0;
        QTest::newRow("first of two equal")
            << QList<Long> { 7, 8, 7 } << "7" << QList<Long> { 8, 7 } << 0;
        QTest::newRow("negative") << QList<Long> { -5, 5 } << "-5" << QList<Long> { 5 } << 0;
        QTest::newRow("menu offset") << QList<Long> { 300305 } << "300305" << QList<Long> {} << 0;
        QTest::newRow("leading zero") << QList<Long> { 5 } << "05" << QList<Long> { 5 } << 5;
        QTest::newRow("blank") << QList<Long> { 5 } << " 5" << QList<Long> { 5 } << 5;
        QTest::newRow("empty band") << QList<Long> {} << "5" << QList<Long> {} << 5;
    }
    void toolsRemoveByKey()
    {
        QFETCH(QList<Long>, before);
        QFETCH(QString, key);
        QFETCH(QList<Long>, after);
        QFETCH(int, error);
        BandPtr band = addBand("b", BandNormal);
        std::vector<ToolPtr> made;
        for (Long id : before)
            made.push_back(band->tools().add(id, QString::number(id)));
        QCOMPARE(errorOf([&] { band->tools().remove(key); }), error);
        QCOMPARE(ids(*band), after);
        // A removed tool no longer belongs to the band.
        for (const ToolPtr &tool : made) {
            const bool inBand = std::find(band->tools().begin(), band->tools().end(), tool)
                != band->tools().end();
            QCOMPARE(tool->bands().size() == 1, inBand);
        }
    }

    void toolsInsert_data()
    {
        QTest::addColumn<int>("position");
        QTest::addColumn<QList<Long>>("after");
        QTest::addColumn<int>("error");
        QTest::newRow("first") << 0 << QList<Long> { 9, 1, 2, 3 } << 0;
        QTest::newRow("second") << 1 << QList<Long> { 1, 9, 2, 3 } << 0;
        QTest::newRow("at the end") << 3 << QList<Long> { 1, 2, 3, 9 } << 0;
        QTest::newRow("past the end appends") << 10 << QList<Long> { 1, 2, 3, 9 } << 0;
        QTest::newRow("negative") << -1 << QList<Long> { 1, 2, 3 } << 5;
    }
    void toolsInsert()
    {
        QFETCH(int, position);
        QFETCH(QList<Long>, after);
        QFETCH(int, error);
        BandPtr band = addBand("b", BandNormal);
        for (Long id : { 1, 2, 3 })
            band->tools().add(id, QString());
        ToolPtr tool = Tool::create(9, "nine");
        QCOMPARE(errorOf([&] { band->tools().insert(position, tool); }), error);
        QCOMPARE(ids(*band), after);
        QCOMPARE(tool->name(), QString("nine"));
    }

    void itemsOutOfRange()
    {
        BandPtr band = addBand("b", BandNormal);
        band->tools().add(1, QString());
        QCOMPARE(errorOf([&] { band->tools().item(-1); }), 5);
        QCOMPARE(errorOf([&] { band->tools().item(1); }), 5);
        QCOMPARE(errorOf([&] { m_control->bands().item(1); }), 5);
        QCOMPARE(errorOf([&] { m_control->bands().item("nothing"); }), 5);
    }

    void bandsCollection()
    {
        BandPtr band = m_control->bands().add(controlName(0, "Toolbar"));
        ToolPtr tool = band->tools().add(101, "t");
        QCOMPARE(m_control->bands().item(controlName(0, "TOOLBAR")), band);
        QCOMPARE(m_control->bands().item(0), band);
        QCOMPARE(errorOf([&] { m_control->bands().add(controlName(0, "toolbar")); }), 457);
        QCOMPARE(m_control->bands().count(), 1);

        m_control->bands().remove(controlName(0, "TOOLBAR"));
        QCOMPARE(m_control->bands().count(), 0);
        QCOMPARE(errorOf([&] { m_control->bands().remove(controlName(0, "Toolbar")); }), 5);
        // The program may still hold the band: it stays readable, but belongs to no control.
        QCOMPARE(band->name(), controlName(0, "Toolbar"));
        QVERIFY(!band->activeBar());
        QVERIFY(tool->bands().empty());
        tool->setCaption("still usable");
        band->setVisible(true);
        m_control->recalcLayout();
    }

    void toolMovesBetweenBands()
    {
        Menu m = addMenu(0);
        m_control->recalcLayout();
        ToolPtr tool = m.toolBar->tools().item(0);
        // Tool onto band: inserted into the target first, then removed from the source.
        m.file->tools().insert(0, tool);
        QCOMPARE(tool->bands().size(), size_t(2));
        m.toolBar->tools().remove(QString::number(tool->toolId()));
        QCOMPARE(tool->bands(), std::vector<Band *> { m.file.get() });
        QMenu *menu = m_control->menuFor(m.file.get());
        QCOMPARE(menu->actions().first()->text(), tool->caption());
        tool->setCaption("Moved");
        QCOMPARE(menu->actions().first()->text(), QString("Moved"));
    }

    // ---- drawing -------------------------------------------------------------------------------

    void drawsVisibleBands()
    {
        Menu m = addMenu(0);
        Menu hidden = addMenu(1);
        showMenu(hidden, false);
        m_control->recalcLayout();

        QCOMPARE(texts(m_window->menuBar()->actions()), QStringList({ "&File", "&Edit" }));
        QVERIFY(!m_window->menuBar()->isHidden());
        QToolBar *toolBar = m_control->toolBarFor(m.toolBar.get());
        QVERIFY(toolBar);
        QVERIFY(!toolBar->isHidden());
        QCOMPARE(texts(toolBar->actions()), QStringList({ "Tool 0", "Tool 1", "Tool 2" }));
        QCOMPARE(m_window->toolBarArea(toolBar), Qt::TopToolBarArea);
        QCOMPARE(fieldTexts(m_control->statusFieldsFor(m.status.get())),
            QStringList({ "Ready", "VT100" }));
        QVERIFY(!m_window->statusBar()->isHidden());
        // Pop-up bands are never drawn as bars; hidden bands are not drawn.
        QCOMPARE(m_window->findChildren<QToolBar *>().size(), 1);
        QVERIFY(!m_control->toolBarFor(m.file.get()));
        QVERIFY(!m_control->toolBarFor(hidden.toolBar.get()));

        // Switch to the other menu.
        showMenu(m, false);
        showMenu(hidden, true);
        m_control->recalcLayout();
        QVERIFY(toolBar->isHidden());
        QVERIFY(!m_control->toolBarFor(hidden.toolBar.get())->isHidden());
        QCOMPARE(texts(m_window->menuBar()->actions()), QStringList({ "&File", "&Edit" }));
        QCOMPARE(
            m_window->menuBar()->actions().first()->menu(), m_control->menuFor(hidden.file.get()));

        // No menu at all.
        showMenu(hidden, false);
        m_control->recalcLayout();
        QVERIFY(m_window->menuBar()->actions().isEmpty());
        QVERIFY(m_window->menuBar()->isHidden());
        QVERIFY(m_window->statusBar()->isHidden());
    }

    void reattachMovesBars()
    {
        Menu m = addMenu(0);
        m_control->recalcLayout();
        QMainWindow other;
        m_control->attach(&other);
        QCOMPARE(m_control->window(), &other);
        QVERIFY(m_window->menuBar()->actions().isEmpty());
        QCOMPARE(texts(other.menuBar()->actions()), QStringList({ "&File", "&Edit" }));
        QToolBar *toolBar = m_control->toolBarFor(m.toolBar.get());
        QCOMPARE(toolBar->parentWidget(), &other);
        QCOMPARE(fieldTexts(m_control->statusFieldsFor(m.status.get())),
            QStringList({ "Ready", "VT100" }));
        m_control->attach(m_window.get());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(other.findChildren<QToolBar *>().isEmpty());
    }

    void dockingAreas_data()
    {
        QTest::addColumn<Int>("area");
        QTest::addColumn<Qt::ToolBarArea>("expected");
        QTest::addColumn<bool>("drawn");
        QTest::newRow("top") << Int(DockTop) << Qt::TopToolBarArea << true;
        QTest::newRow("bottom") << Int(DockBottom) << Qt::BottomToolBarArea << true;
        QTest::newRow("left") << Int(DockLeft) << Qt::LeftToolBarArea << true;
        QTest::newRow("right") << Int(DockRight) << Qt::RightToolBarArea << true;
        QTest::newRow("floating") << Int(DockFloat) << Qt::TopToolBarArea << true;
        QTest::newRow("out of range") << Int(77) << Qt::TopToolBarArea << true;
        QTest::newRow("popup") << Int(DockPopup) << Qt::NoToolBarArea << false;
    }
    void dockingAreas()
    {
        QFETCH(Int, area);
        QFETCH(Qt::ToolBarArea, expected);
        QFETCH(bool, drawn);
        BandPtr band = addBand("0\001Bar", BandNormal, DockBottom);
        addTool(band, 1, "one");
        m_control->recalcLayout();
        band->setDockingArea(area);
        m_control->recalcLayout();
        QToolBar *toolBar = m_control->toolBarFor(band.get());
        QCOMPARE(toolBar && !toolBar->isHidden(), drawn);
        if (drawn)
            QCOMPARE(m_window->toolBarArea(toolBar), expected);
    }

    void switchingKeepsWidgets()
    {
        Menu a = addMenu(0, 100);
        Menu b = addMenu(1, 100);
        showMenu(b, false);
        m_control->recalcLayout();
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        QToolBar *toolBarA = m_control->toolBarFor(a.toolBar.get());
        const QList<QAction *> actionsA = toolBarA->actions();
        showMenu(a, false);
        showMenu(b, true);
        m_control->recalcLayout();
        QToolBar *toolBarB = m_control->toolBarFor(b.toolBar.get());
        const QList<QAction *> actionsB = toolBarB->actions();

        QElapsedTimer timer;
        timer.start();
        constexpr int rounds = 50;
        for (int i = 0; i < rounds; ++i) {
            // Each switch includes the window's relayout and repaint that follow it.
            showMenu(b, false);
            showMenu(a, true);
            m_control->recalcLayout();
            QCoreApplication::processEvents();
            showMenu(a, false);
            showMenu(b, true);
            m_control->recalcLayout();
            QCoreApplication::processEvents();
        }
        const double perSwitch = double(timer.nsecsElapsed()) / 1e6 / (2 * rounds);
        qInfo("switching two menus of 100 tools: %.3f ms per switch", perSwitch);
        // Nothing was rebuilt: the same tool bars with the same actions.
        QCOMPARE(m_control->toolBarFor(a.toolBar.get()), toolBarA);
        QCOMPARE(toolBarA->actions(), actionsA);
        QCOMPARE(toolBarB->actions(), actionsB);
        QVERIFY(perSwitch < 16);
    }

    void structuralChangesShowAtRecalc()
    {
        Menu m = addMenu(0);
        m_control->recalcLayout();
        QToolBar *toolBar = m_control->toolBarFor(m.toolBar.get());
        addTool(m.toolBar, 77, "Added");
        QCOMPARE(toolBar->actions().size(), 3);
        m_control->recalcLayout();
        QCOMPARE(texts(toolBar->actions()).last(), QString("Added"));
        m.toolBar->tools().remove("77");
        m_control->recalcLayout();
        QCOMPARE(texts(toolBar->actions()).size(), 3);
    }

    // A status field asks for the width its tool says and is never narrower than its text (a
    // larger font or scale), also after its caption grew.
    void statusFieldFitsText_data()
    {
        QTest::addColumn<int>("twips");
        QTest::addColumn<QString>("caption");
        QTest::newRow("text wider than the tool") << 300 << "Connected: TCP 127.0.0.1:40963 TCP/IP";
        QTest::newRow("tool wider than the text") << 3000 << "Off";
    }
    void statusFieldFitsText()
    {
        QFETCH(int, twips);
        QFETCH(QString, caption);
        Menu m = addMenu(0);
        ToolPtr field = m.status->tools().item(1); // the first gives way (see below)
        field->setWidth(Long(twips));
        m_control->recalcLayout();
        field->setCaption(caption);
        auto *label = m_control->statusFieldsFor(m.status.get())->findChildren<QLabel *>().at(1);
        QVERIFY(label->minimumSizeHint().width() >= label->fontMetrics().horizontalAdvance(caption));
        QVERIFY(label->sizeHint().width() >= rt::twipsToPixelsX(twips));
    }

    // In a window narrower than the fields' texts the fields stand side by side inside the line:
    // the others show their whole text, the first is shortened with an ellipsis and its tip holds
    // the whole text.
    void statusFieldsShareNarrowRoom_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<QStringList>("captions");
        QTest::addColumn<bool>("firstWhole");
        const QString status
            = QStringLiteral("Connected: TCP 127.0.0.1:40963 TCP/IP, waiting for the host");
        const QString capture = QStringLiteral("Capture: /tmp/a-capture-file-of-this-session.log");
        QTest::newRow("room for all")
            << 900 << QStringList { status, "VT100", "80 x 24" } << true;
        QTest::newRow("long first field")
            << 260 << QStringList { status, "VT100", "80 x 24" } << false;
        QTest::newRow("long last field")
            << 400 << QStringList { "Connected", "VT100", capture } << false;
    }
    void statusFieldsShareNarrowRoom()
    {
        QFETCH(int, width);
        QFETCH(QStringList, captions);
        QFETCH(bool, firstWhole);
        Menu m = addMenu(0);
        addTool(m.status, 9003, QString());
        for (int i = 0; i < captions.size(); ++i) {
            m.status->tools().item(i)->setCaption(captions.at(i));
            m.status->tools().item(i)->setWidth(1500); // 100 pixels where there is room
        }
        m_control->recalcLayout();
        m_window->setFixedWidth(width);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        QWidget *fields = m_control->statusFieldsFor(m.status.get());
        const QList<QLabel *> labels = fields->findChildren<QLabel *>(Qt::FindDirectChildrenOnly);
        QCOMPARE(labels.size(), captions.size());
        QTRY_VERIFY(fields->width() > 0 && fields->width() <= width);
        QTRY_COMPARE(labels.first()->text() == captions.first(), firstWhole);
        QRect before;
        for (int i = 0; i < labels.size(); ++i) {
            const QLabel *label = labels.at(i);
            const QRect shown = label->geometry();
            QVERIFY2(fields->rect().contains(shown), qPrintable(captions.at(i)));
            QVERIFY2(!shown.intersects(before), qPrintable(captions.at(i)));
            QVERIFY2(label->fontMetrics().horizontalAdvance(label->text()) <= label->contentsRect().width(),
                qPrintable(label->text()));
            if (label->text() != captions.at(i)) {
                QCOMPARE(i, 0);
                QVERIFY(label->text().endsWith(QChar(0x2026)));
                QCOMPARE(label->toolTip(), captions.at(i));
            }
            before = shown;
        }
        QCOMPARE(labels.first()->toolTip() == captions.first(), !firstWhole);
    }

    void toolChangesReachWidgets_data()
    {
        QTest::addColumn<QString>("change");
        QTest::newRow("caption") << "caption";
        QTest::newRow("tip") << "tip";
        QTest::newRow("enabled") << "enabled";
        QTest::newRow("checked") << "checked";
        QTest::newRow("visible") << "visible";
        QTest::newRow("picture") << "picture";
        QTest::newRow("separator") << "separator";
    }
    void toolChangesReachWidgets()
    {
        QFETCH(QString, change);
        Menu m = addMenu(0);
        m_control->recalcLayout();
        QMenu *file = m_control->menuFor(m.file.get());
        ToolPtr menuTool = m.file->tools().item(3);
        ToolPtr barTool = m.toolBar->tools().item(0);
        ToolPtr field = m.status->tools().item(0);
        QAction *menuAction = file->actions().at(3);
        QAction *barAction = m_control->toolBarFor(m.toolBar.get())->actions().at(0);
        auto *label = m_control->statusFieldsFor(m.status.get())->findChildren<QLabel *>().at(0);

        for (const ToolPtr &tool : { menuTool, barTool, field }) {
            if (change == "caption")
                tool->setCaption("&Changed");
            else if (change == "tip")
                tool->setToolTipText("Tip");
            else if (change == "enabled")
                tool->setEnabled(false);
            else if (change == "checked")
                tool->setChecked(true);
            else if (change == "visible")
                tool->setVisible(false);
            else if (change == "picture")
                tool->setImageNo(3);
            else if (change == "separator")
                tool->setControlType(ControlSeparator);
        }
        // No relayout needed for properties.
        for (QAction *action : { menuAction, barAction }) {
            if (change == "caption")
                QCOMPARE(action->text(), QString("&Changed"));
            else if (change == "tip")
                QCOMPARE(action->toolTip(), QString("Tip"));
            else if (change == "enabled")
                QVERIFY(!action->isEnabled());
            else if (change == "checked")
                QVERIFY(action->isCheckable() && action->isChecked());
            else if (change == "visible")
                QVERIFY(!action->isVisible());
            else if (change == "picture")
                QCOMPARE(action->icon().cacheKey(), picture(3).cacheKey());
            else if (change == "separator")
                QVERIFY(action->isSeparator());
        }
        if (change == "caption")
            QCOMPARE(label->text(), QString("&Changed"));
        else if (change == "tip")
            QCOMPARE(label->toolTip(), QString("Tip"));
        else if (change == "enabled")
            QVERIFY(!label->isEnabled());
        else if (change == "visible")
            QVERIFY(label->isHidden());
        else if (change == "separator")
            QVERIFY(label->text().isEmpty() && label->frameShape() == QFrame::VLine);
    }

    void subBandDropDowns()
    {
        Menu m = addMenu(0);
        // A tool bar button that opens a band, named before that band exists.
        ToolPtr dropper = addTool(m.toolBar, 50, "More", controlName(0, "Later"));
        ToolPtr self = addTool(m.file, 51, "Self", m.file->name());
        m_control->recalcLayout();
        QToolBar *toolBar = m_control->toolBarFor(m.toolBar.get());
        QAction *dropAction = toolBar->actions().last();
        QVERIFY(!dropAction->menu());

        BandPtr later = addBand(controlName(0, "LATER"), BandPopup, DockPopup);
        addTool(later, 52, "Inside");
        m_control->recalcLayout();
        QCOMPARE(dropAction->menu(), m_control->menuFor(later.get()));
        auto *button = qobject_cast<QToolButton *>(toolBar->widgetForAction(dropAction));
        QVERIFY(button);
        QCOMPARE(button->popupMode(), QToolButton::InstantPopup);
        QCOMPARE(texts(dropAction->menu()->actions()), QStringList { "Inside" });

        // The menu bar's File opens the File band; a band is never its own drop-down.
        QAction *fileTitle = m_window->menuBar()->actions().first();
        QCOMPARE(fileTitle->menu(), m_control->menuFor(m.file.get()));
        QVERIFY(!m_control->menuFor(m.file.get())->actions().last()->menu());

        // A drop-down whose band goes away opens nothing (and does not dangle).
        m_control->bands().remove(later->name());
        QVERIFY(!dropAction->menu());
        m_control->recalcLayout();
        QVERIFY(!dropAction->menu());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

        // Clearing SubBand takes the drop-down away at once.
        m_control->menuFor(m.file.get());
        m.menuBar->tools().item(0)->setSubBand(QString());
        QVERIFY(!fileTitle->menu());
        Q_UNUSED(self);
    }

    void sharedDropDownKeepsCaptions()
    {
        // Two tools may open the same band; each keeps its own caption, also after a rebuild.
        Menu m = addMenu(0);
        addTool(m.menuBar, 3, "&View", m.file->name());
        m_control->recalcLayout();
        m_control->menuFor(m.file.get());
        m.file->setCaption("Other");
        addTool(m.file, 4, "Four");
        m_control->menuFor(m.file.get());
        QCOMPARE(texts(m_window->menuBar()->actions()), QStringList({ "&File", "&Edit", "&View" }));
    }

    void bandOpenFillsAndCancels_data()
    {
        QTest::addColumn<bool>("cancel");
        QTest::newRow("fill") << false;
        QTest::newRow("cancel") << true;
    }
    void bandOpenFillsAndCancels()
    {
        QFETCH(bool, cancel);
        Menu m = addMenu(0);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        m_control->recalcLayout();
        QList<Band *> opened;
        connect(m_control.get(), &ActiveBar::bandOpen, this, [&](Band *band, bool &cancelOpen) {
            opened.append(band);
            // What the main window does: fill a list into the band just before it shows.
            ToolPtr entry = Tool::create(150, "0\001File\001150");
            entry->setCaption("&1  recent.nvs");
            band->tools().insert(1, entry);
            cancelOpen = cancel;
        });
        QMenu *menu = m_control->menuFor(m.file.get());
        menu->popup(m_window->mapToGlobal(QPoint(10, 10)));
        QCOMPARE(opened, QList<Band *> { m.file.get() });
        if (cancel) {
            QTRY_VERIFY(!menu->isVisible());
        } else {
            QVERIFY(menu->isVisible());
            QCOMPARE(texts(menu->actions()),
                QStringList({ "&New", "&1  recent.nvs", "&Open...", "-", "E&xit" }));
            menu->hide();
        }
    }

    void bandRemovedWhileOpening()
    {
        // The handler may also drop the band it is asked about; the menu then stays closed.
        Menu m = addMenu(0);
        m_control->recalcLayout();
        connect(m_control.get(), &ActiveBar::bandOpen, this,
            [&](Band *band, bool &) { m_control->bands().remove(band->name()); });
        m.context->popup();
        QCOMPARE(m_control->bands().find(m.context->name()), BandPtr());
        QTRY_VERIFY(QApplication::activePopupWidget() == nullptr);
    }

    void toolClickCarriesTool()
    {
        Menu m = addMenu(0);
        m_control->recalcLayout();
        ToolPtr exitTool = m.file->tools().item(3);
        exitTool->setChecked(true);
        QList<Tool *> clicked;
        connect(m_control.get(), &ActiveBar::toolClick, this, [&](Tool *tool) {
            clicked.append(tool);
            // The program may take the clicked tool's whole menu away while handling it.
            for (const BandPtr &band : { m.menuBar, m.file, m.toolBar, m.status, m.context })
                m_control->bands().remove(band->name());
        });
        QAction *action = m_control->menuFor(m.file.get())->actions().at(3);
        action->trigger();
        QCOMPARE(clicked, QList<Tool *> { exitTool.get() });
        QCOMPARE(exitTool->toolId(), Long(110));
        // The check mark is the program's to change.
        QVERIFY(exitTool->isChecked());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(m_window->menuBar()->actions().isEmpty());
    }

    void popupAtMouse()
    {
        Menu m = addMenu(0);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        int opened = 0;
        connect(m_control.get(), &ActiveBar::bandOpen, this, [&](Band *band, bool &) {
            QCOMPARE(band, m.context.get());
            ++opened;
        });
        m.context->popup();
        QMenu *menu = m_control->menuFor(m.context.get());
        QTRY_VERIFY(menu->isVisible());
        QCOMPARE(opened, 1);
        QCOMPARE(texts(menu->actions()), QStringList({ "&Copy", "&Paste" }));
        menu->hide();
    }

    void pictures_data()
    {
        QTest::addColumn<int>("number");
        QTest::addColumn<int>("sameAs"); // 0: none
        QTest::newRow("none") << 0 << 0;
        QTest::newRow("separator") << 9000 << 0;
        QTest::newRow("unknown") << 51 << 0;
        QTest::newRow("negative") << -1 << 0;
        QTest::newRow("new") << 1 << 1;
        QTest::newRow("last own") << 40 << 40;
        QTest::newRow("command new") << 101 << 1;
        QTest::newRow("command paste") << 305 << 6;
        QTest::newRow("command capture") << 603 << 12;
        QTest::newRow("status connected") << 9001 << 37;
    }
    void pictures()
    {
        QFETCH(int, number);
        QFETCH(int, sameAs);
        QCOMPARE(hasPicture(number), sameAs != 0);
        QCOMPARE(picture(number).isNull(), sameAs == 0);
        if (sameAs) {
            QCOMPARE(picture(number).cacheKey(), picture(sameAs).cacheKey());
            QVERIFY(!picture(number).pixmap(16, 16).isNull());
        }
    }

    void ownPicturesAreThere()
    {
        // Every purpose picture has an image of ours, so no number depends on the desktop theme.
        for (int number = 1; number <= 40; ++number)
            QVERIFY2(hasPicture(number), qPrintable(QString::number(number)));
    }

    // ---- delimited table ------------------------------------------------------------------------

    void tableRoundTrip_data()
    {
        QTest::addColumn<QStringList>("delimiters");
        QTest::addColumn<QList<QStringList>>("rows");
        const QStringList standard = DelimitedTableGlobal::Delimiters();
        const QList<QStringList> hostile {
            { "Norvalis 2000 Menu" },
            { "Band", "0\001Tool\tbar", "0", "&File\r\nsecond line", "1", "-1" },
            { "Tool", "", "\\", "\\t", "\\u{9}", "\r", "\n", "\t\t", "trailing\\" },
            { "", "", "" },
            { QString::fromUtf8("Ünïcödé ✓"), QString(QChar(0)), "a\001b", "\\\\n" },
        };
        QTest::newRow("standard") << standard << hostile;
        QTest::newRow("own delimiters") << QStringList { "|",
            ";" } << QList<QStringList> { { "a|b", "c;d", "|;", "\\" }, { ";" }, { "|" } };
        QTest::newRow("long delimiters") << QStringList { "<row>",
            "{cell}" } << QList<QStringList> { { "<row>", "{cell}", "<r" }, { "x" } };
        QTest::newRow("delimiters with escape letters") << QStringList { "rx",
            "}y" } << QList<QStringList> { { "r", "}", "\r", "u{78}", "rx}y" }, { "x", "y" } };
    }
    void tableRoundTrip()
    {
        QFETCH(QStringList, delimiters);
        QFETCH(QList<QStringList>, rows);
        DelimitedTable table;
        table.init(QString(), delimiters);
        for (int r = 0; r < rows.size(); ++r) {
            for (int c = 0; c < rows[r].size(); ++c)
                table.setItem(r + 1, c + 1, rows[r][c]);
        }
        const QString text = table.getItem();
        DelimitedTable back;
        back.init(text, delimiters);
        QCOMPARE(back.count(), int(rows.size()));
        for (int r = 0; r < rows.size(); ++r) {
            QCOMPARE(back.count(r + 1), int(rows[r].size()));
            for (int c = 0; c < rows[r].size(); ++c)
                QCOMPARE(back.getItem(r + 1, c + 1), rows[r][c]);
        }
        QCOMPARE(back.getItem(), text);
    }

    void tableReadsText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("rows");
        QTest::addColumn<QString>("cell21"); // row 2, cell 1
        QTest::newRow("empty") << "" << 0 << "";
        QTest::newRow("CR LF") << "a\tb\r\nc\td\r\n" << 2 << "c";
        QTest::newRow("no last line end") << "a\r\nc" << 2 << "c";
        QTest::newRow("LF only") << "a\nc\n" << 2 << "c";
        QTest::newRow("CR only") << "a\rc\r" << 2 << "c";
        QTest::newRow("empty row") << "\r\n\r\n" << 2 << "";
        QTest::newRow("hand-typed backslash") << "h\r\nC:\\Users\\x\\" << 2 << "C:\\Users\\x\\";
        QTest::newRow("bad escape") << "h\r\n\\u{zz}\\u{12345}" << 2 << "\\u{zz}\\u{12345}";
    }
    void tableReadsText()
    {
        QFETCH(QString, text);
        QFETCH(int, rows);
        QFETCH(QString, cell21);
        DelimitedTable table;
        table.init(text, DelimitedTableGlobal::Delimiters());
        QCOMPARE(table.count(), rows);
        QCOMPARE(table.getItem(2, 1), cell21);
    }

    void tableRowsAndErrors()
    {
        DelimitedTable table;
        table.init(QString(), DelimitedTableGlobal::Delimiters());
        table.setItem(1, "Norvalis 2000 Menu");
        table.setItem(3, 2, "x");
        QCOMPARE(table.count(), 3);
        QCOMPARE(table.getItem(1), QString("Norvalis 2000 Menu"));
        QCOMPARE(table.getItem(2), QString());
        QCOMPARE(table.getItem(3), QString("\tx"));
        QCOMPARE(table.getItem(9, 9), QString());
        QCOMPARE(table.count(9), 0);
        QCOMPARE(errorOf([&] { table.getItem(0, 1); }), 9);
        QCOMPARE(errorOf([&] { table.setItem(1, 0, "x"); }), 9);
        QCOMPARE(errorOf([&] { table.setItem(2000000000, "x"); }), 9);
        for (const QStringList &bad :
            QList<QStringList> { {}, { "\r\n" }, { "", "\t" }, { "\\", "\t" }, { "ab", "b" },
                { "r", "\t" }, { "\r\n", "}" }, { "\r\n", "7b" } }) {
            QCOMPARE(errorOf([&] { table.init("keep", bad); }), 5);
        }
        QCOMPARE(table.getItem(1), QString("Norvalis 2000 Menu"));
    }

    // ---- demo ---------------------------------------------------------------------------------

    void demo()
    {
        const QString shot = qEnvironmentVariable("NORVALIS_BAR_DEMO");
        if (shot.isEmpty())
            QSKIP("set NORVALIS_BAR_DEMO to a PNG path to take screenshots (also *-menu.png)");
        BandPtr menuBar = addBand(controlName(0, "Menu Bar"), BandMenuBar);
        BandPtr file = addBand(controlName(0, "File"), BandPopup, DockPopup);
        BandPtr toolBar = addBand(controlName(0, "Toolbar"), BandNormal);
        BandPtr status = addBand(controlName(0, "Status Line"), BandStatusBar, DockBottom);
        for (const char *title : { "&File", "&Edit", "&View", "&Transfer", "&Window", "&Help" })
            addTool(menuBar, 0, title, file->name());
        addTool(file, 101, "&New Session\tCtrl+N", QString(), 101);
        addTool(file, 103, "&Open...", QString(), 103);
        addTool(file, 105, "&Save", QString(), 105);
        addTool(file, 108, "Save &Layout", QString(), 108);
        addSeparator(file, 1);
        addTool(file, 203, "&Print Setup...", QString(), 203);
        addTool(file, 202, "Print Sc&reen", QString(), 32)->setEnabled(false);
        addTool(file, 1200, "&Toolbar")->setChecked(true);
        addSeparator(file, 2);
        addTool(file, 110, "E&xit", QString(), 27);
        const int pictures[] = { 101, 103, 105, 0, 303, 305, 1108, 0, 1101, 1102, 704, 1104, 0, 603,
            601, 602, 0, 705, 400 };
        Long id = 1;
        for (int number : pictures) {
            if (number == 0)
                addSeparator(toolBar, 1000 + id++);
            else
                addTool(toolBar, number, QString::number(number), QString(), Int(number));
        }
        addTool(status, 9001, QString(), QString(), 9001);
        addTool(status, 1, "Connected to host.example 23");
        addTool(status, 2, "VT220")->setWidth(900);
        addTool(status, 3, "24 x 80");
        m_control->recalcLayout();
        static_cast<QPlainTextEdit *>(m_window->centralWidget())
            ->setPlainText("login: guest\nPassword:\nWelcome.\n$ ");
        m_window->resize(760, 420);
        m_window->move(0, 0);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        QVERIFY(m_window->grab().save(shot));
        QMenu *menu = m_control->menuFor(file.get());
        const QRect title = m_window->menuBar()->actionGeometry(m_window->menuBar()->actions()[0]);
        menu->popup(m_window->menuBar()->mapToGlobal(title.bottomLeft()));
        QTRY_VERIFY(menu->isVisible());
        menu->setActiveAction(menu->actions().at(1));
        QVERIFY(QTest::qWaitForWindowExposed(menu));
        const QRect area = m_window->frameGeometry().united(menu->geometry());
        QPixmap image
            = m_window->screen()->grabWindow(0, area.x(), area.y(), area.width(), area.height());
        if (image.isNull() || QGuiApplication::platformName() == "offscreen")
            image = m_window->grab();
        QVERIFY(image.save(QString(shot).replace(".png", "-menu.png")));
        menu->hide();
    }
};

QTEST_MAIN(tst_bar)
#include "tst_bar.moc"
