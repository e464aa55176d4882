// Draws the toolbar control's bands on a main window.

#include "bar/renderer.h"

#include "runtime/screen.h"

#include <QAction>
#include <QCursor>
#include <QHBoxLayout>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <algorithm>

namespace bar {

// A field of the status line. Each keeps its whole text in view, except the flexible one (the
// line's first): it takes the room the others leave and, when that is less than its text, shows
// the text shortened with an ellipsis and the whole text as its tip.
class StatusField : public QLabel
{
public:
    explicit StatusField(bool flexible)
        : m_flexible(flexible)
    {
        setTextFormat(Qt::PlainText);
    }
    bool isFlexible() const { return m_flexible; }

    // The text and the tip for when the text shows whole; an empty text leaves a picture as it is.
    void setWholeText(const QString &text, const QString &toolTip)
    {
        m_text = text;
        m_toolTip = toolTip;
        if (!text.isEmpty() || pixmap().isNull())
            setText(text);
        setToolTip(toolTip);
        if (!m_flexible)
            return;
        updateGeometry();
        fit();
    }
    // The width the field asks for when the line has room (0 = its text's).
    void setPreferredWidth(int pixels)
    {
        if (pixels == m_preferred)
            return;
        m_preferred = pixels;
        updateGeometry();
    }
    QSize sizeHint() const override
    {
        const QSize natural = widthOf(m_text, QLabel::sizeHint());
        return { std::max(natural.width(), m_preferred), natural.height() };
    }
    // When the line is short a field gives up its preferred width but keeps its text; the
    // flexible one keeps only the ellipsis.
    QSize minimumSizeHint() const override
    {
        return elides() ? widthOf(QString(QChar(0x2026)), QLabel::minimumSizeHint())
                        : QLabel::sizeHint();
    }

protected:
    void resizeEvent(QResizeEvent *event) override
    {
        QLabel::resizeEvent(event);
        fit();
    }
    void showEvent(QShowEvent *event) override
    {
        QLabel::showEvent(event);
        fit();
    }

private:
    bool elides() const { return m_flexible && !m_text.isEmpty(); }
    QSize widthOf(const QString &text, QSize natural) const
    {
        if (!elides())
            return natural;
        const QMargins margins = contentsMargins();
        return { fontMetrics().horizontalAdvance(text) + margins.left() + margins.right()
                + 2 * margin(),
            natural.height() };
    }
    // Shortens the shown text to the field's width; a hidden field keeps the whole text.
    void fit()
    {
        if (!elides() || !isVisible())
            return;
        // Measured as the size hint is: the ellipsis rounds widths differently.
        const int room = contentsRect().width() - 2 * margin();
        const QString shown = fontMetrics().horizontalAdvance(m_text) <= room
            ? m_text
            : fontMetrics().elidedText(m_text, Qt::ElideRight, room);
        if (shown != text())
            setText(shown);
        setToolTip(shown == m_text ? m_toolTip : m_text);
    }

    bool m_flexible;
    int m_preferred = 0;
    QString m_text;
    QString m_toolTip;
};

namespace {

Qt::ToolBarArea toolBarArea(Int dockingArea)
{
    switch (dockingArea) {
    case DockBottom:
        return Qt::BottomToolBarArea;
    case DockLeft:
        return Qt::LeftToolBarArea;
    case DockRight:
        return Qt::RightToolBarArea;
    default:
        return Qt::TopToolBarArea;
    }
}

// Band names hold Chr(1); object names are for people and saved window states.
QString objectNameOf(const Band *band)
{
    QString name = band->name();
    name.replace(QChar(1), QLatin1Char('/'));
    return name;
}

} // namespace

Renderer::Renderer(ActiveBar *bar)
    : m_bar(bar)
{ }

Renderer::~Renderer()
{
    // Deleting now: the event loop may not run again to carry out deferred deletes.
    for (auto &[band, view] : m_views) {
        delete view->toolBar.data();
        delete view->statusFields.data();
        delete view->menu.data();
    }
}

void Renderer::attach(QMainWindow *window)
{
    if (m_window != window) {
        // The bars belong to the old window: they are made again on the new one.
        for (auto &[band, view] : m_views)
            dropTop(*view);
        m_menuBarViews.clear();
        m_menuBar = nullptr;
        m_statusBar = nullptr;
    }
    m_window = window;
    m_menuBarDirty = true;
    recalcLayout();
}

QMainWindow *Renderer::window() const
{
    return m_window;
}

Renderer::Kind Renderer::kindOf(const Band *band)
{
    switch (band->bandType()) {
    case BandPopup:
        return Kind::None;
    case BandMenuBar:
        return Kind::MenuBar;
    case BandStatusBar:
        return Kind::Status;
    default:
        return band->dockingArea() == DockPopup ? Kind::None : Kind::ToolBar;
    }
}

Renderer::View &Renderer::viewOf(const Band *band)
{
    auto &slot = m_views[band];
    if (!slot) {
        slot = std::make_unique<View>();
        slot->band = const_cast<Band *>(band);
        slot->actionOwner = std::make_unique<QObject>();
    }
    return *slot;
}

Renderer::View *Renderer::findView(const Band *band) const
{
    const auto found = m_views.find(band);
    return found == m_views.end() ? nullptr : found->second.get();
}

bool Renderer::isStale(const View &view, const Drawn &drawn) const
{
    return drawn.generation != view.band->generation();
}

// ---- Layout ---------------------------------------------------------------------------------

void Renderer::recalcLayout()
{
    if (!m_window)
        return;
    QList<const View *> menuBarViews;
    bool anyStatus = false;
    for (const BandPtr &bandPtr : m_bar->bands()) {
        const Band *band = bandPtr.get();
        const Kind kind = band->isVisible() ? kindOf(band) : Kind::None;
        View *view = kind == Kind::None ? findView(band) : &viewOf(band);
        if (!view)
            continue;
        if (kind == Kind::None) {
            hideTop(*view);
            continue;
        }
        showTop(*view, kind);
        if (kind == Kind::MenuBar)
            menuBarViews.append(view);
        anyStatus = anyStatus || kind == Kind::Status;
    }
    // std::equal: QList's own comparison hands memcmp a null pointer for two empty lists.
    if (!std::equal(menuBarViews.cbegin(), menuBarViews.cend(), m_menuBarViews.cbegin(),
            m_menuBarViews.cend())) {
        m_menuBarViews = menuBarViews;
        m_menuBarDirty = true;
    }
    updateMenuBar();
    if (m_statusBar || anyStatus)
        statusBar()->setVisible(anyStatus);
}

void Renderer::showTop(View &view, Kind kind)
{
    if (view.kind != kind)
        dropTop(view);
    view.kind = kind;
    if (isStale(view, view.top))
        buildTop(view);
    else if (view.top.bandsGeneration != m_bandsGeneration)
        refreshSubMenus(view, view.top);
    if (view.shown)
        return;
    view.shown = true;
    if (view.toolBar)
        view.toolBar->show();
    if (view.statusFields)
        view.statusFields->show();
}

void Renderer::hideTop(View &view)
{
    if (!view.shown)
        return;
    view.shown = false;
    if (view.toolBar)
        view.toolBar->hide();
    if (view.statusFields)
        view.statusFields->hide();
}

void Renderer::dropTop(View &view)
{
    QWidget *from = view.kind == Kind::MenuBar ? m_menuBar.data() : nullptr;
    dropItems(view.top, from);
    if (view.kind == Kind::MenuBar)
        m_menuBarDirty = true;
    if (view.toolBar) {
        if (m_window)
            m_window->removeToolBar(view.toolBar);
        view.toolBar->deleteLater();
    }
    if (view.statusFields)
        view.statusFields->deleteLater();
    view.top = Drawn();
    view.kind = Kind::None;
    view.shown = false;
}

void Renderer::buildTop(View &view)
{
    const Band *band = view.band;
    switch (view.kind) {
    case Kind::MenuBar:
        dropItems(view.top, m_menuBar);
        for (const ToolPtr &tool : band->tools())
            makeAction(view, view.top, tool.get());
        m_menuBarDirty = true;
        break;
    case Kind::ToolBar: {
        const Qt::ToolBarArea area = toolBarArea(band->dockingArea());
        if (!view.toolBar) {
            view.toolBar = new QToolBar(m_window);
            view.toolBar->hide();
            // The program shows and hides its bands itself (the band list in its menus); the
            // window's own tool bar menu would get out of step with it.
            view.toolBar->toggleViewAction()->setVisible(false);
            m_window->addToolBar(area, view.toolBar);
        } else {
            dropItems(view.top, view.toolBar);
            if (m_window->toolBarArea(view.toolBar) != area)
                m_window->addToolBar(area, view.toolBar);
        }
        view.toolBar->setObjectName(objectNameOf(band));
        view.toolBar->setWindowTitle(QString(band->caption()).remove(QLatin1Char('&')));
        view.toolBar->setMovable(band->grabHandleStyle() != 0);
        for (const ToolPtr &tool : band->tools()) {
            QAction *action = makeAction(view, view.top, tool.get());
            view.toolBar->addAction(action);
            fitToolButton(view.toolBar, action, tool.get());
        }
        break;
    }
    case Kind::Status: {
        if (!view.statusFields) {
            view.statusFields = new QWidget;
            view.statusFields->hide();
            auto *layout = new QHBoxLayout(view.statusFields);
            layout->setContentsMargins(0, 0, 0, 0);
            layout->addStretch(1);
            statusBar()->addWidget(view.statusFields, 1);
        } else {
            dropItems(view.top, nullptr);
        }
        auto *layout = static_cast<QHBoxLayout *>(view.statusFields->layout());
        int at = 0;
        for (const ToolPtr &tool : band->tools())
            layout->insertWidget(at++, makeField(view, view.top, tool.get()));
        break;
    }
    case Kind::None:
        break;
    }
    view.top.generation = band->generation();
    view.top.bandsGeneration = m_bandsGeneration;
}

void Renderer::buildDropDown(View &view)
{
    // No setTitle here: a menu's title is the text of the tool that opens it, and setting it
    // would overwrite that tool's caption.
    dropItems(view.dropDown, view.menu);
    for (const ToolPtr &tool : view.band->tools())
        view.menu->addAction(makeAction(view, view.dropDown, tool.get()));
    view.dropDown.generation = view.band->generation();
    view.dropDown.bandsGeneration = m_bandsGeneration;
}

void Renderer::dropItems(Drawn &drawn, QWidget *from)
{
    for (const QPointer<QObject> &item : std::as_const(drawn.order)) {
        if (!item)
            continue;
        if (auto *action = qobject_cast<QAction *>(item.data())) {
            if (from)
                from->removeAction(action);
        } else if (auto *field = qobject_cast<QWidget *>(item.data())) {
            field->hide();
        }
        // Later: the item may be the one whose signal is being handled right now.
        item->deleteLater();
    }
    drawn.items.clear();
    drawn.order.clear();
}

void Renderer::refreshSubMenus(View &view, Drawn &drawn)
{
    // Bands came or went: a drop-down that names one of them may have to open it (or not).
    for (auto it = drawn.items.cbegin(); it != drawn.items.cend(); ++it) {
        if (auto *action = qobject_cast<QAction *>(it.value().data()))
            updateAction(view, drawn, action, it.key());
    }
    drawn.bandsGeneration = m_bandsGeneration;
}

void Renderer::updateMenuBar()
{
    if (!m_menuBarDirty)
        return;
    m_menuBarDirty = false;
    if (!m_menuBar && m_menuBarViews.isEmpty())
        return;
    if (!m_menuBar)
        m_menuBar = m_window->menuBar();
    for (QAction *action : m_menuBar->actions())
        m_menuBar->removeAction(action);
    for (const View *view : std::as_const(m_menuBarViews)) {
        for (const QPointer<QObject> &item : view->top.order) {
            if (auto *action = qobject_cast<QAction *>(item.data()))
                m_menuBar->addAction(action);
        }
    }
    m_menuBar->setVisible(!m_menuBarViews.isEmpty());
}

QStatusBar *Renderer::statusBar()
{
    if (!m_statusBar)
        m_statusBar = m_window->statusBar();
    return m_statusBar;
}

// ---- Tools as widgets -----------------------------------------------------------------------

QAction *Renderer::makeAction(View &view, Drawn &drawn, Tool *tool)
{
    auto *action = new QAction(view.actionOwner.get());
    applyTool(action, view.band, tool);
    std::weak_ptr<Tool> weak = tool->weak_from_this();
    connect(action, &QAction::triggered, this, [this, weak, action] { clicked(weak, action); });
    drawn.items.insert(tool, action);
    drawn.order.append(action);
    return action;
}

QLabel *Renderer::makeField(View &view, Drawn &drawn, Tool *tool)
{
    auto *field = new StatusField(drawn.order.isEmpty());
    applyField(field, tool);
    drawn.items.insert(tool, field);
    drawn.order.append(field);
    (void)view;
    return field;
}

void Renderer::updateAction(View &view, const Drawn &drawn, QAction *action, const Tool *tool)
{
    applyTool(action, view.band, tool);
    if (&drawn == &view.top && view.toolBar)
        fitToolButton(view.toolBar, action, tool);
}

void Renderer::applyTool(QAction *action, const Band *band, const Tool *tool)
{
    action->setSeparator(tool->isSeparator());
    action->setText(rt::visibleText(tool->caption()));
    action->setToolTip(tool->toolTipText());
    action->setEnabled(tool->isEnabled());
    action->setVisible(tool->isVisible());
    action->setCheckable(tool->isChecked());
    action->setChecked(tool->isChecked());
    const QIcon icon = picture(tool->imageNo());
    if (action->icon().cacheKey() != icon.cacheKey())
        action->setIcon(icon);
    QMenu *menu = subMenu(band, tool);
    if (action->menu() != menu)
        action->setMenu(menu);
}

void Renderer::applyField(StatusField *field, const Tool *tool)
{
    field->setFrameShape(tool->isSeparator() ? QFrame::VLine : QFrame::NoFrame);
    const QIcon icon = picture(tool->imageNo());
    const bool showsPicture = !tool->isSeparator() && tool->caption().isEmpty() && !icon.isNull();
    const QString text = tool->isSeparator() ? QString() : rt::visibleText(tool->caption());
    if (showsPicture)
        field->setPixmap(icon.pixmap(16, 16));
    field->setWholeText(showsPicture ? QString() : text, tool->toolTipText());
    field->setEnabled(tool->isEnabled());
    // The tool's width where the line has room; never narrower than the text (a larger font or
    // scale), except for the first field, which gives way to the others.
    field->setPreferredWidth(tool->width() > 0 ? rt::twipsToPixelsX(tool->width()) : 0);
    field->setVisible(tool->isVisible());
}

void Renderer::fitToolButton(QToolBar *toolBar, QAction *action, const Tool *tool)
{
    auto *button = qobject_cast<QToolButton *>(toolBar->widgetForAction(action));
    if (!button)
        return;
    if (action->menu())
        button->setPopupMode(QToolButton::InstantPopup);
    if (tool->width() > 0)
        button->setFixedWidth(rt::twipsToPixelsX(tool->width()));
    if (tool->height() > 0)
        button->setFixedHeight(rt::twipsToPixelsY(tool->height()));
}

QMenu *Renderer::subMenu(const Band *band, const Tool *tool)
{
    if (tool->subBand().isEmpty() || tool->isSeparator())
        return nullptr;
    const BandPtr target = m_bar->bands().find(tool->subBand());
    // A band cannot be its own drop-down.
    if (!target || target.get() == band)
        return nullptr;
    return ensureMenu(viewOf(target.get()));
}

QMenu *Renderer::ensureMenu(View &view)
{
    if (!view.menu) {
        view.menu = new QMenu(m_window);
        view.menu->setObjectName(objectNameOf(view.band));
        Band *band = view.band;
        connect(view.menu, &QMenu::aboutToShow, this, [this, band] { opening(band); });
    }
    return view.menu;
}

QMenu *Renderer::menuFor(const Band *band)
{
    if (band->activeBar() != m_bar)
        return nullptr;
    View &view = viewOf(band);
    ensureMenu(view);
    if (isStale(view, view.dropDown))
        buildDropDown(view);
    else if (view.dropDown.bandsGeneration != m_bandsGeneration)
        refreshSubMenus(view, view.dropDown);
    return view.menu;
}

QToolBar *Renderer::toolBarFor(const Band *band) const
{
    const View *view = findView(band);
    return view && view->kind == Kind::ToolBar ? view->toolBar.data() : nullptr;
}

QWidget *Renderer::statusFieldsFor(const Band *band) const
{
    const View *view = findView(band);
    return view && view->kind == Kind::Status ? view->statusFields.data() : nullptr;
}

// ---- Changes from the model -----------------------------------------------------------------

void Renderer::toolChanged(Band *band, Tool *tool)
{
    View *view = findView(band);
    if (!view)
        return;
    for (auto it = view->top.items.constFind(tool);
         it != view->top.items.cend() && it.key() == tool; ++it) {
        if (auto *field = qobject_cast<QLabel *>(it.value().data()))
            applyField(static_cast<StatusField *>(field), tool); // the only labels drawn
        else if (auto *action = qobject_cast<QAction *>(it.value().data()))
            updateAction(*view, view->top, action, tool);
    }
    for (auto it = view->dropDown.items.constFind(tool);
         it != view->dropDown.items.cend() && it.key() == tool; ++it) {
        if (auto *action = qobject_cast<QAction *>(it.value().data()))
            updateAction(*view, view->dropDown, action, tool);
    }
}

void Renderer::bandAdded(Band *)
{
    ++m_bandsGeneration;
}

void Renderer::bandRemoved(Band *band)
{
    ++m_bandsGeneration;
    const auto found = m_views.find(band);
    if (found == m_views.end())
        return;
    View &view = *found->second;
    if (view.menu) {
        // Nothing may keep opening a menu that is going away.
        for (auto &[other, otherView] : m_views) {
            for (Drawn *drawn : { &otherView->top, &otherView->dropDown }) {
                for (const QPointer<QObject> &item : std::as_const(drawn->order)) {
                    auto *action = qobject_cast<QAction *>(item.data());
                    if (action && action->menu() == view.menu)
                        action->setMenu(static_cast<QMenu *>(nullptr));
                }
            }
        }
    }
    hideTop(view);
    dropTop(view);
    dropItems(view.dropDown, view.menu);
    if (view.menu) {
        view.menu->hide();
        view.menu->deleteLater();
    }
    view.actionOwner.release()->deleteLater();
    m_menuBarViews.removeAll(&view);
    m_menuBarDirty = true;
    m_views.erase(found);
    if (m_window)
        updateMenuBar();
}

// ---- Events ---------------------------------------------------------------------------------

void Renderer::popup(Band *band)
{
    if (QMenu *menu = menuFor(band))
        menu->popup(QCursor::pos());
}

void Renderer::opening(Band *band)
{
    // The handler may remove the band; keep it alive until the handler is done.
    const BandPtr keep = band->shared_from_this();
    bool cancel = false;
    rt::event([&] { emit m_bar->bandOpen(band, cancel); });
    View *view = band->activeBar() == m_bar ? findView(band) : nullptr;
    if (!view || !view->menu)
        return;
    if (cancel) {
        // The menu is on its way to the screen; close it as soon as it is there.
        QMetaObject::invokeMethod(view->menu, &QWidget::close, Qt::QueuedConnection);
        return;
    }
    menuFor(band);
}

void Renderer::clicked(const std::weak_ptr<Tool> &weak, QAction *action)
{
    const ToolPtr tool = weak.lock();
    if (!tool)
        return;
    // The program decides the check mark, not the click.
    if (action->isCheckable())
        action->setChecked(tool->isChecked());
    rt::event([&] { emit m_bar->toolClick(tool.get()); });
}

} // namespace bar
