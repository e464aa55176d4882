#include "runtime/form.h"

#include "runtime/controls.h"
#include "runtime/errnum.h"
#include "runtime/interaction.h"
#include "runtime/messages.h"
#include "runtime/screen.h"
#include "runtime/timer.h"

#include <QApplication>
#include <QEventLoop>
#include <QHash>
#include <QKeyEvent>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QWindow>
#include <utility>

namespace rt {

namespace {

// The least a cascaded window moves from the one behind it, in pixels.
constexpr int MinCascadeStep = 16;

QList<Form *> &loadedForms()
{
    static QList<Form *> forms;
    return forms;
}

QHash<const QWidget *, Form *> &formWidgets()
{
    static QHash<const QWidget *, Form *> widgets;
    return widgets;
}

// The top-level form that was activated last: a form's Activate runs when the user moves from
// another form of the program to it, not when the whole program comes back to the foreground.
QPointer<Form> &activeTopForm()
{
    static QPointer<Form> form;
    return form;
}

Int stateCode(Qt::WindowStates states)
{
    if (states & Qt::WindowMinimized)
        return vbMinimized;
    if (states & Qt::WindowMaximized)
        return vbMaximized;
    return vbNormal;
}

Qt::WindowState qtState(Int state)
{
    switch (state) {
    case vbMinimized:
        return Qt::WindowMinimized;
    case vbMaximized:
        return Qt::WindowMaximized;
    default:
        return Qt::WindowNoState;
    }
}

// The frame of a window in its parent (the screen for top-level windows), pixels.
QRect frameRect(const QWidget *window)
{
    return window->isWindow() ? window->frameGeometry() : window->geometry();
}

// Runs one step of another form's unload with that form marked as unloading.
template<class F> bool withUnloading(Form *form, bool &flag, F &&step)
{
    if (flag)
        return false;
    QPointer<Form> guard(form);
    flag = true;
    try {
        const bool ok = step();
        if (guard)
            flag = false;
        return ok;
    } catch (...) {
        if (guard)
            flag = false;
        throw;
    }
}

} // namespace

// Key preview: one application event filter sees key events before the focus widget (and,
// through ShortcutOverride, before shortcuts and menu mnemonics), finds the form that owns the
// widget and lets it look at the key first.
class KeyPreviewFilter : public QObject
{
public:
    // Installing again moves the filter in front of filters installed since (QMdiArea's own
    // Ctrl+Tab handling among them).
    static void install()
    {
        static QPointer<KeyPreviewFilter> filter;
        if (!QCoreApplication::instance())
            return;
        if (!filter)
            filter = new KeyPreviewFilter(QCoreApplication::instance());
        QCoreApplication::instance()->installEventFilter(filter);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        const QEvent::Type type = event->type();
        if (type != QEvent::ShortcutOverride && type != QEvent::KeyPress
            && type != QEvent::KeyRelease)
            return false;
        auto *widget = qobject_cast<QWidget *>(watched);
        auto *key = static_cast<QKeyEvent *>(event);
        if (!widget || m_delivery.handsOn(*key, widget) || !isFirstReceiver(widget))
            return false;
        QPointer<Form> form = previewForm(widget);
        if (!form)
            return false;
        const Delivery delivery { key, type, key->key(), key->modifiers(), widget };
        m_delivery = delivery;
        bool taken = false;
        switch (type) {
        case QEvent::ShortcutOverride:
            taken = shortcutOverride(form, key);
            break;
        case QEvent::KeyPress:
            taken = keyPress(form, key);
            break;
        default:
            m_pending.valid = false;
            taken = form->previewKey(*key);
            break;
        }
        m_delivery = delivery; // the keys of a dialog the form opened meanwhile replaced it
        return taken;
    }

private:
    explicit KeyPreviewFilter(QObject *parent)
        : QObject(parent)
    { }

    // Qt hands an unwanted key on to the parents of its receiver, through this filter each
    // time; the form looks at it once, when it reaches the window's focus widget (or the window
    // itself when nothing in it has the focus). Keys in open popup menus are not the form's.
    static bool isFirstReceiver(const QWidget *widget)
    {
        const QWidget *window = widget->window();
        if (window->windowType() == Qt::Popup)
            return false;
        const QWidget *focus = window->focusWidget();
        return widget == (focus ? focus : window);
    }

    static Form *previewForm(QWidget *widget)
    {
        Form *form = Form::formOf(widget);
        if (!form)
            return nullptr;
        const bool own = widget == form->widget() || widget == form->windowWidget();
        return form->keyPreview || own ? form : nullptr;
    }

    // The form's KeyDown runs here, before any shortcut; a swallowed key accepts the override
    // (so no shortcut runs) and its key press is eaten when it follows.
    bool shortcutOverride(Form *form, QKeyEvent *key)
    {
        const bool swallowed = form->previewKey(*key);
        m_pending = { key->key(), key->modifiers(), key->timestamp(), swallowed, true };
        if (!swallowed)
            return false;
        key->accept();
        return true;
    }

    bool keyPress(QPointer<Form> form, QKeyEvent *key)
    {
        if (m_pending.matches(*key)) {
            m_pending.valid = false;
            if (m_pending.swallowed)
                return true;
        } else if (form->previewKey(*key)) {
            return true;
        }
        return form && form->isLoaded() && form->previewKeyPress(*key);
    }

    // The key the form looked at last, as Qt delivered it. Qt hands a key nobody took on to
    // the parents of its receiver; the focus may have moved to one of them meanwhile (a KeyDown
    // that opened a dialog), and the form must not see the key a second time.
    struct Delivery
    {
        const QKeyEvent *event = nullptr;
        QEvent::Type type = QEvent::None;
        int key = 0;
        Qt::KeyboardModifiers modifiers;
        QPointer<QWidget> receiver;

        bool handsOn(const QKeyEvent &e, const QWidget *widget) const
        {
            return &e == event && e.type() == type && e.key() == key && e.modifiers() == modifiers
                && receiver && receiver != widget && widget->isAncestorOf(receiver);
        }
    } m_delivery;

    struct Pending
    {
        int key = 0;
        Qt::KeyboardModifiers modifiers;
        quint64 timestamp = 0;
        bool swallowed = false;
        bool valid = false;

        bool matches(const QKeyEvent &e) const
        {
            return valid && e.key() == key && e.modifiers() == modifiers
                && e.timestamp() == timestamp;
        }
    } m_pending;
};

// ---- Form ----

Form::Form(const QString &name, QObject *parent)
    : QObject(parent)
    , m_name(name)
{
    setObjectName(name);
}

Form::~Form()
{
    endModalLoop();
    if (!m_widget)
        return;
    QWidget *window = windowWidget();
    formWidgets().remove(m_widget);
    loadedForms().removeAll(this);
    disconnect(m_widget, nullptr, this, nullptr);
    window->removeEventFilter(this);
    m_widget->removeEventFilter(this);
    if (QCoreApplication::instance()) {
        window->hide();
        window->deleteLater();
    } else {
        delete window;
    }
}

Form *Form::formOf(const QWidget *widget)
{
    for (const QWidget *w = widget; w; w = w->parentWidget()) {
        if (Form *form = formWidgets().value(w))
            return form;
    }
    return nullptr;
}

void Form::load()
{
    if (isLoaded())
        return;
    KeyPreviewFilter::install();
    QWidget *widget = createWidgets();
    if (!widget)
        raise(err::ObjectNotSet);
    if (widget->windowType() == Qt::Dialog)
        orderTabsAsShown(widget);
    m_widget = widget;
    try {
        placeWidget();
    } catch (...) {
        m_widget = nullptr;
        delete widget;
        throw;
    }
    if (widget->objectName().isEmpty())
        widget->setObjectName(m_name);
    formWidgets().insert(widget, this);
    loadedForms().append(this);
    watchWindow();
    // A widget tree destroyed behind the form's back (with its owner) leaves the form unloaded.
    connect(widget, &QObject::destroyed, this, [this, widget] {
        formWidgets().remove(widget);
        loadedForms().removeAll(this);
        endModalLoop();
    });
    emit loaded();
    Form_Load();
}

void Form::watchWindow()
{
    m_widget->installEventFilter(this);
    if (QWidget *window = windowWidget(); window != m_widget)
        window->installEventFilter(this);
    m_lastMinimized = (windowWidget()->windowState() & Qt::WindowMinimized) ? 1 : 0;
}

bool Form::unload(Int mode)
{
    if (!isLoaded())
        return true;
    return withUnloading(this, m_unloading, [&] { return runUnload(mode); });
}

bool Form::runUnload(Int mode)
{
    QPointer<Form> self(this);
    if (!queryUnload(mode))
        return !self || !isLoaded();
    if (!queryChildren(mode) || !self || !isLoaded())
        return !self || !isLoaded();
    if (!unloadChildren() || !self || !isLoaded())
        return !self || !isLoaded();
    return finishUnload();
}

bool Form::queryUnload(Int mode)
{
    Int cancel = 0;
    Form_QueryUnload(cancel, mode);
    return cancel == 0;
}

bool Form::finishUnload()
{
    QPointer<Form> self(this);
    Int cancel = 0;
    Form_Unload(cancel);
    if (!self)
        return true;
    if (cancel != 0)
        return !isLoaded();
    destroyWidgets();
    emit unloaded();
    return true;
}

void Form::destroyWidgets()
{
    if (!m_widget)
        return;
    QWidget *widget = m_widget;
    QWidget *window = windowWidget();
    disconnect(widget, nullptr, this, nullptr);
    formWidgets().remove(widget);
    loadedForms().removeAll(this);
    widget->removeEventFilter(this);
    window->removeEventFilter(this);
    m_widget = nullptr;
    m_pendingState = -1;
    endModalLoop();
    // The tree lives on until its deferred deletion; its timers must not tick for an unloaded
    // form meanwhile.
    for (Timer *timer : window->findChildren<Timer *>())
        timer->setEnabled(false);
    window->hide();
    if (auto *sub = qobject_cast<QMdiSubWindow *>(window); sub && sub->mdiArea())
        sub->mdiArea()->removeSubWindow(sub);
    // Deferred: the unload may run inside an event of one of these widgets.
    window->deleteLater();
}

void Form::endModalLoop()
{
    if (m_modalLoop)
        m_modalLoop->exit();
}

void Form::show()
{
    load();
    if (!isLoaded())
        return; // Form_Load unloaded it
    QWidget *window = windowWidget();
    if (auto *sub = qobject_cast<QMdiSubWindow *>(window)) {
        m_widget->show();
        sub->show();
        if (m_pendingState >= 0)
            applyWindowState(Int(std::exchange(m_pendingState, -1)));
        if (sub->mdiArea())
            sub->mdiArea()->setActiveSubWindow(sub);
        shownInArea();
        return;
    }
    window->show();
    window->raise();
    window->activateWindow();
}

void Form::hide()
{
    load();
    windowWidget()->hide();
}

bool Form::isVisible() const
{
    return m_widget && !windowWidget()->isHidden();
}

void Form::showModal(QWidget *owner)
{
    if (m_modalLoop || isVisible())
        raise(err::FormAlreadyModal);
    load();
    if (!isLoaded())
        return; // Form_Load unloaded it
    if (!userCanAnswer()) {
        closeUnanswered();
        return;
    }
    QWidget *window = windowWidget();
    window->setWindowModality(Qt::ApplicationModal);
    if (owner && window->isWindow()) {
        window->winId();
        if (QWindow *ownerWindow = owner->window()->windowHandle())
            window->windowHandle()->setTransientParent(ownerWindow);
    }
    show();
    if (!m_widget || windowWidget()->isHidden()) {
        if (m_widget)
            windowWidget()->setWindowModality(Qt::NonModal);
        return;
    }
    QPointer<Form> self(this);
    QEventLoop loop;
    m_modalLoop = &loop;
    ++m_modalDepth;
    loop.exec(QEventLoop::DialogExec);
    if (!self)
        return;
    --m_modalDepth;
    m_modalLoop = nullptr;
    if (m_widget && windowWidget()->isHidden())
        windowWidget()->setWindowModality(Qt::NonModal);
}

// Nobody can answer: the form closes at once, as if its close box had been pressed; a form that
// refuses to unload stays loaded, hidden.
void Form::closeUnanswered()
{
    logUnanswered(QStringLiteral("form"), m_name, QStringLiteral("closed as if cancelled"));
    unload(vbFormControlMenu);
    if (m_widget && isVisible())
        hide();
}

QString Form::caption() const
{
    return m_widget ? windowWidget()->windowTitle() : QString();
}

void Form::setCaption(const QString &caption)
{
    load();
    const QString shown = visibleText(caption);
    m_widget->setWindowTitle(shown);
    windowWidget()->setWindowTitle(shown);
}

Long Form::left() const
{
    return m_widget ? pixelsToTwipsX(frameRect(windowWidget()).x()) : 0;
}

Long Form::top() const
{
    return m_widget ? pixelsToTwipsY(frameRect(windowWidget()).y()) : 0;
}

Long Form::width() const
{
    return m_widget ? pixelsToTwipsX(frameRect(windowWidget()).width()) : 0;
}

Long Form::height() const
{
    return m_widget ? pixelsToTwipsY(frameRect(windowWidget()).height()) : 0;
}

void Form::move(Long left, Long top, Long width, Long height)
{
    load();
    if (windowState() != vbNormal)
        raise(err::FormMinimizedOrMaximized);
    QWidget *window = windowWidget();
    const QRect frame = frameRect(window);
    const int w = width < 0 ? frame.width() : twipsToPixelsX(width);
    const int h = height < 0 ? frame.height() : twipsToPixelsY(height);
    const QPoint pos(twipsToPixelsX(left), twipsToPixelsY(top));
    if (!window->isWindow()) {
        window->setGeometry(QRect(pos, QSize(w, h)));
        return;
    }
    // A window's position includes its frame, its size does not.
    const QSize frameExtra = frame.size() - window->geometry().size();
    window->move(pos);
    window->resize(qMax(0, w - frameExtra.width()), qMax(0, h - frameExtra.height()));
}

void Form::setWidth(Long width)
{
    move(left(), top(), width, -1);
}

void Form::setHeight(Long height)
{
    move(left(), top(), -1, height);
}

// The client area: a main window's central widget, else the whole widget.
static QSize clientSize(const QWidget *widget)
{
    if (!widget)
        return QSize(0, 0);
    if (auto *main = qobject_cast<const QMainWindow *>(widget); main && main->centralWidget())
        return main->centralWidget()->size();
    return widget->size();
}

Long Form::scaleWidth() const
{
    return pixelsToTwipsX(clientSize(m_widget).width());
}

Long Form::scaleHeight() const
{
    return pixelsToTwipsY(clientSize(m_widget).height());
}

Int Form::windowState() const
{
    if (!m_widget)
        return vbNormal;
    if (m_pendingState >= 0)
        return Int(m_pendingState);
    return stateCode(windowWidget()->windowState());
}

void Form::setWindowState(Int state)
{
    if (state < vbNormal || state > vbMaximized)
        return;
    load();
    // Changing the state of a subwindow shows it, so a hidden child keeps the state for show().
    if (!windowWidget()->isWindow() && windowWidget()->isHidden()) {
        m_pendingState = state;
        return;
    }
    applyWindowState(state);
}

QRect Form::normalGeometry() const
{
    const QWidget *window = windowWidget();
    if (!window)
        return QRect();
    if (window->isWindow()) {
        const QRect normal = window->normalGeometry();
        return normal.isNull() ? window->geometry() : normal;
    }
    // A subwindow keeps its normal rectangle to itself while minimized or maximized.
    if (stateCode(window->windowState()) == vbNormal || m_normalGeometry.isNull())
        return window->geometry();
    return m_normalGeometry;
}

void Form::applyWindowState(Int state)
{
    QWidget *window = windowWidget();
    const Qt::WindowStates others
        = window->windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized);
    window->setWindowState(others | qtState(state));
}

void Form::activated()
{
    Form *previous = activeTopForm();
    if (previous == this)
        return;
    activeTopForm() = this;
    if (previous && previous->isLoaded())
        rt::event([&] { previous->Form_Deactivate(); });
    if (isLoaded())
        rt::event([&] { Form_Activate(); });
}

void Form::closeRequested()
{
    if (m_unloading)
        return;
    rt::event([&] { unload(vbFormControlMenu); });
}

bool Form::eventFilter(QObject *watched, QEvent *event)
{
    if (!m_widget)
        return false;
    QWidget *window = windowWidget();
    const bool isWidget = watched == m_widget.data();
    const bool isWindow = watched == window;
    if (!isWidget && !isWindow)
        return false;
    switch (event->type()) {
    case QEvent::Close:
        // The close box (and any close of the window) asks the form; the unload itself
        // removes the window, so the close event never closes it.
        event->ignore();
        closeRequested();
        return true;
    case QEvent::Hide:
        if (isWindow && m_modalLoop && window->isHidden())
            endModalLoop();
        break;
    case QEvent::WindowActivate:
        if (isWindow && window->isWindow()) {
            activated();
            rt::event([&] { sendMessage(this, WM_ACTIVATE, 1, 0); });
        }
        break;
    case QEvent::WindowDeactivate:
        if (isWindow && window->isWindow())
            rt::event([&] { sendMessage(this, WM_ACTIVATE, 0, 0); });
        break;
    case QEvent::ApplicationPaletteChange:
        if (isWindow && window->isWindow())
            rt::event([&] { sendMessage(this, WM_SYSCOLORCHANGE, 0, 0); });
        break;
    case QEvent::Resize:
        if (isWidget)
            rt::event([&] { Form_Resize(); });
        break;
    case QEvent::WindowStateChange: {
        // A subwindow leaving the normal state still has its normal rectangle now (the filter
        // sees the change before the subwindow resizes itself for it).
        const auto *change = static_cast<const QWindowStateChangeEvent *>(event);
        if (isWindow && !window->isWindow() && !change->isOverride()
            && stateCode(change->oldState()) == vbNormal)
            m_normalGeometry = window->geometry();
        // Minimizing does not always resize the widget; the form hears of it all the same.
        const int minimized = (window->windowState() & Qt::WindowMinimized) ? 1 : 0;
        if (isWindow && m_lastMinimized != -1 && minimized != m_lastMinimized)
            rt::event([&] { Form_Resize(); });
        if (isWindow)
            m_lastMinimized = minimized;
        break;
    }
    default:
        break;
    }
    return false;
}

// KeyDown for presses (and shortcut overrides), KeyUp for releases.
bool Form::previewKey(const QKeyEvent &event)
{
    Int keyCode = virtualKeyCode(event);
    if (keyCode == 0)
        return false;
    const Int shift = shiftMask(event);
    if (event.type() == QEvent::KeyRelease)
        rt::event([&] { Form_KeyUp(keyCode, shift); });
    else
        rt::event([&] { Form_KeyDown(keyCode, shift); });
    return keyCode == 0;
}

bool Form::previewKeyPress(const QKeyEvent &event)
{
    const QString text = event.text();
    if (text.size() != 1 || text.at(0).unicode() == 0 || text.at(0).unicode() > 255)
        return false;
    Int keyAscii = Int(text.at(0).unicode());
    rt::event([&] { Form_KeyPress(keyAscii); });
    return keyAscii == 0;
}

QList<Form *> Forms()
{
    return loadedForms();
}

// ---- MdiForm ----

MdiForm::~MdiForm()
{
    // The area outlives this part of the object (the base class removes the window).
    if (m_area)
        disconnect(m_area, nullptr, this, nullptr);
}

QMdiArea *MdiForm::makeMdiArea(QWidget *parent)
{
    m_area = new QMdiArea(parent);
    connect(m_area, &QMdiArea::subWindowActivated, this, &MdiForm::subWindowActivated);
    KeyPreviewFilter::install();
    return m_area;
}

void MdiForm::setAreaCycling(bool on)
{
    m_areaCycling = on;
    applyAreaCycling();
}

// The area puts its filter on the application when windows come into it: it is taken off again
// each time.
void MdiForm::applyAreaCycling()
{
    if (!m_areaCycling && m_area && QCoreApplication::instance())
        QCoreApplication::instance()->removeEventFilter(m_area);
}

QMdiArea *MdiForm::mdiArea() const
{
    return isLoaded() ? m_area.data() : nullptr;
}

Form *MdiForm::activeForm() const
{
    QMdiArea *area = mdiArea();
    QMdiSubWindow *sub = area ? area->currentSubWindow() : nullptr;
    return sub ? formOf(sub->widget()) : nullptr;
}

QList<Form *> MdiForm::children() const
{
    QList<Form *> result;
    for (Form *form : loadedForms()) {
        auto *child = qobject_cast<MdiChildForm *>(form);
        if (child && child->frame() == this)
            result.append(child);
    }
    return result;
}

bool MdiForm::queryChildren(Int mode)
{
    Q_UNUSED(mode);
    for (QPointer<Form> child : children()) {
        if (!child || !child->isLoaded())
            continue;
        const bool ok = withUnloading(
            child, child->m_unloading, [&] { return child->queryUnload(vbFormMDIForm); });
        if (!ok)
            return false;
    }
    return true;
}

bool MdiForm::unloadChildren()
{
    for (QPointer<Form> child : children()) {
        if (!child || !child->isLoaded())
            continue;
        if (!withUnloading(child, child->m_unloading, [&] { return child->finishUnload(); }))
            return false;
    }
    return true;
}

void MdiForm::subWindowActivated(QMdiSubWindow *window)
{
    applyAreaCycling();
    Form *form = window ? formOf(window->widget()) : nullptr;
    if (!form || form == m_activeChild)
        return;
    QPointer<Form> previous = m_activeChild;
    m_activeChild = form;
    if (previous && previous->isLoaded())
        rt::event([&] { previous->Form_Deactivate(); });
    rt::event([&] { form->Form_Activate(); });
}

void MdiForm::arrange(Int arrangement)
{
    QMdiArea *area = mdiArea();
    if (!area)
        return;
    switch (arrangement) {
    case 0:
        cascade();
        break;
    case 1:
        tile(true);
        break;
    case 2:
        tile(false);
        break;
    case 3:
        arrangeIcons();
        break;
    default:
        raise(err::InvalidCall);
    }
}

// Cascading keeps the stacking order: the window at the back goes to the top left corner and
// each window in front of another one title bar further down and right, so that every title bar
// shows. Windows too many for the area's height start again at the top.
void MdiForm::cascade()
{
    QList<QMdiSubWindow *> windows;
    for (QMdiSubWindow *sub : m_area->subWindowList(QMdiArea::StackingOrder)) {
        if (!sub->isHidden() && !sub->isMinimized())
            windows.append(sub);
    }
    if (windows.isEmpty())
        return;
    int step = 0;
    for (QMdiSubWindow *sub : windows) {
        if (sub->isMaximized())
            sub->showNormal();
        // The title bar and the frame above the window's contents.
        step = qMax(step, sub->contentsMargins().top());
    }
    step = qMax(step, MinCascadeStep);
    const QRect area = m_area->viewport()->rect();
    const int n = int(windows.size());
    const int width = qMax(area.width() - (n - 1) * step, area.width() / 2);
    const int height = qMax(area.height() - (n - 1) * step, area.height() / 2);
    const int perColumn = qMax(1, (area.height() - height) / step + 1);
    for (int i = 0; i < n; ++i) {
        const int offset = (i % perColumn) * step;
        windows.at(i)->setGeometry(offset, offset, width, height);
    }
}

// Horizontal tiling stacks the windows one above the other, each as wide as the area; vertical
// tiling puts them side by side, each as high as the area.
void MdiForm::tile(bool horizontal)
{
    QList<QMdiSubWindow *> windows;
    for (QMdiSubWindow *sub : m_area->subWindowList(QMdiArea::CreationOrder)) {
        if (!sub->isHidden() && !sub->isMinimized())
            windows.append(sub);
    }
    if (windows.isEmpty())
        return;
    const QRect area = m_area->viewport()->rect();
    const int n = int(windows.size());
    for (int i = 0; i < n; ++i) {
        QMdiSubWindow *sub = windows.at(i);
        if (sub->isMaximized())
            sub->showNormal();
        if (horizontal) {
            const int y0 = area.height() * i / n;
            const int y1 = area.height() * (i + 1) / n;
            sub->setGeometry(0, y0, area.width(), y1 - y0);
        } else {
            const int x0 = area.width() * i / n;
            const int x1 = area.width() * (i + 1) / n;
            sub->setGeometry(x0, 0, x1 - x0, area.height());
        }
    }
}

// Minimized windows line up from the bottom left corner, row above row.
void MdiForm::arrangeIcons()
{
    const QRect area = m_area->viewport()->rect();
    int x = 0;
    int y = area.bottom() + 1;
    int rowHeight = 0;
    for (QMdiSubWindow *sub : m_area->subWindowList(QMdiArea::CreationOrder)) {
        if (sub->isHidden() || !sub->isMinimized())
            continue;
        const QSize size = sub->size();
        if (x > 0 && x + size.width() > area.width()) {
            x = 0;
            y -= rowHeight;
            rowHeight = 0;
        }
        rowHeight = qMax(rowHeight, size.height());
        sub->move(x, y - size.height());
        x += size.width();
    }
}

// ---- MdiChildForm ----

MdiChildForm::MdiChildForm(const QString &name, MdiForm *frame, QObject *parent)
    : Form(name, parent)
    , m_frame(frame)
{ }

// The subwindow goes with the form (the base class no longer knows of it).
MdiChildForm::~MdiChildForm()
{
    destroyWidgets();
}

QWidget *MdiChildForm::windowWidget() const
{
    if (!widget())
        return nullptr;
    return m_subWindow ? static_cast<QWidget *>(m_subWindow.data()) : widget();
}

void MdiChildForm::placeWidget()
{
    if (!m_frame)
        raise(err::ObjectNotSet);
    m_frame->load();
    QMdiArea *area = m_frame->mdiArea();
    if (!area)
        raise(err::ObjectNotSet);
    m_subWindow = area->addSubWindow(widget());
    m_subWindow->setAttribute(Qt::WA_DeleteOnClose, false);
    m_subWindow->hide();
    m_frame->applyAreaCycling();
}

void MdiChildForm::shownInArea()
{
    if (m_frame)
        m_frame->applyAreaCycling();
}

} // namespace rt
