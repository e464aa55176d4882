#pragma once
// Forms: a QObject that owns its widget tree only while loaded, with the load/unload protocol,
// modal display in a nested event loop, geometry in twips, key preview with virtual-key codes,
// and MDI frame and child forms.
//
// Events of a form's window (close box, activation, resizing, keys) reach its Form_* handlers
// through an event boundary (rt::event): an error that leaves such a handler ends the program.
// Calls made by code (load, unload, show) let the handlers' errors pass on to the caller.
//
// Window messages for a form (in place of subclassing its window) are attached to the Form
// object with rt::attachMessage (messages.h); the form's window sends it WM_ACTIVATE and
// WM_SYSCOLORCHANGE.

#include "runtime/error.h"
#include "runtime/keyboard.h"

#include <QList>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>

class QEventLoop;
class QKeyEvent;

namespace rt {

// Unload modes.
enum UnloadMode : Int {
    vbFormControlMenu = 0, // close box or control menu
    vbFormCode = 1,
    vbAppWindows = 2, // desktop session ends
    vbAppTaskManager = 3,
    vbFormMDIForm = 4, // MDI frame closing
    vbFormOwner = 5,
};

// Window states.
enum WindowState : Int { vbNormal = 0, vbMinimized = 1, vbMaximized = 2 };

class MdiForm;

class Form : public QObject
{
    Q_OBJECT
public:
    explicit Form(const QString &name, QObject *parent = nullptr);
    ~Form() override;

    const QString &name() const { return m_name; }
    bool isLoaded() const { return m_widget != nullptr; }
    // The top-level widget while loaded (nullptr otherwise); loading it on demand is load()'s job.
    QWidget *widget() const { return m_widget; }
    // The window that carries the form's frame: the widget itself, or an MDI child's subwindow.
    virtual QWidget *windowWidget() const { return m_widget; }

    // Builds the widgets (createWidgets) and runs Form_Load. Does nothing when already loaded.
    void load();
    // Runs Form_QueryUnload and Form_Unload; false when either cancelled (or when an unload of
    // the form is already running). Destroys the widgets. True when the form was not loaded.
    bool unload(Int mode = vbFormCode);

    // Loads the form when needed and shows it (not when its Form_Load unloaded it again, as
    // showModal).
    void show();
    void hide();
    bool isVisible() const;
    // Shows the form modally (loading it first) in a nested event loop that ends when the form
    // is hidden or unloaded; other events keep running meanwhile. Raises 400 when the form is
    // already shown (modally or not). When nobody can answer (interaction.h) the form is not
    // shown: it is closed at once as by its close box (unload mode 0), and a form that refuses
    // stays loaded and hidden.
    void showModal(QWidget *owner = nullptr);
    bool isModalShown() const { return m_modalDepth > 0; }

    QString Tag;
    QString caption() const;
    void setCaption(const QString &caption);

    // Geometry in twips (frame included for top-level forms; an MDI child's subwindow frame in
    // its frame's client area). Moving or sizing a minimized or maximized form raises 384.
    Long left() const;
    Long top() const;
    Long width() const;
    Long height() const;
    // A negative width or height keeps that dimension.
    void move(Long left, Long top, Long width = -1, Long height = -1);
    void setWidth(Long width);
    void setHeight(Long height);
    Long scaleWidth() const; // client area, twips
    Long scaleHeight() const;

    Int windowState() const;
    // Values outside 0..2 are ignored.
    void setWindowState(Int state);
    // The window's rectangle in its normal state, pixels, also while it is minimized or maximized:
    // a top-level window's client area (its frame belongs to the window manager), an MDI child's
    // subwindow in its frame's area. An empty rectangle while the form is not loaded.
    QRect normalGeometry() const;

    bool keyPreview = false;

    // The form that owns a widget (the innermost form whose widget tree holds it), or nullptr.
    static Form *formOf(const QWidget *widget);

protected:
    // Builds the widget tree; the returned widget becomes widget().
    virtual QWidget *createWidgets() = 0;
    virtual void Form_Load() { }
    virtual void Form_Activate() { }
    virtual void Form_Deactivate() { }
    virtual void Form_Resize() { }
    virtual void Form_QueryUnload(Int &cancel, Int unloadMode)
    {
        Q_UNUSED(cancel);
        Q_UNUSED(unloadMode);
    }
    virtual void Form_Unload(Int &cancel) { Q_UNUSED(cancel); }
    // Key preview: keyCode is a virtual-key code, shift the mask; set keyCode to 0 to swallow.
    // The form sees the keys of its controls when keyPreview is set, and its own keys always.
    virtual void Form_KeyDown(Int &keyCode, Int shift)
    {
        Q_UNUSED(keyCode);
        Q_UNUSED(shift);
    }
    virtual void Form_KeyUp(Int &keyCode, Int shift)
    {
        Q_UNUSED(keyCode);
        Q_UNUSED(shift);
    }
    // The character of a key (its code, 1..255); set keyAscii to 0 to swallow.
    virtual void Form_KeyPress(Int &keyAscii) { Q_UNUSED(keyAscii); }

    bool eventFilter(QObject *watched, QEvent *event) override;

signals:
    void loaded();
    void unloaded();

private:
    friend class MdiForm;
    friend class MdiChildForm;
    friend class KeyPreviewFilter;

    // Places the new widget tree (an MDI child puts it into its frame's area).
    virtual void placeWidget() { }
    // An MDI child has been shown in its frame's area.
    virtual void shownInArea() { }
    // Frame unloading: asks the children before the frame's own Form_Unload; true to go on.
    virtual bool queryChildren(Int mode)
    {
        Q_UNUSED(mode);
        return true;
    }
    virtual bool unloadChildren() { return true; }

    bool runUnload(Int mode);
    bool queryUnload(Int mode);
    bool finishUnload();
    void destroyWidgets();
    void watchWindow();
    void endModalLoop();
    void closeUnanswered();
    void applyWindowState(Int state);
    void activated();
    void closeRequested();

    bool previewKey(const QKeyEvent &event);
    bool previewKeyPress(const QKeyEvent &event);

    QString m_name;
    QPointer<QWidget> m_widget;
    int m_modalDepth = 0;
    bool m_unloading = false;
    QEventLoop *m_modalLoop = nullptr;
    int m_lastMinimized = -1;
    int m_pendingState = -1; // state set while an MDI child was hidden
    QRect m_normalGeometry; // an MDI child's rectangle when it last left the normal state
};

// All loaded forms in load order, hidden ones included.
QList<Form *> Forms();

// The MDI frame: a main window around a QMdiArea.
class MdiForm : public Form
{
    Q_OBJECT
public:
    using Form::Form;
    ~MdiForm() override;
    QMdiArea *mdiArea() const;
    // The active child form (the last one activated while the frame is not the active window).
    Form *activeForm() const;
    // Arrange: 0 cascade, 1 tile horizontally, 2 tile vertically, 3 arrange icons; others 5.
    void arrange(Int arrangement);
    // The loaded child forms of this frame in load order.
    QList<Form *> children() const;
    // The area's own window cycling (Ctrl+Tab, and a Ctrl press and release that activates the
    // previous window); on by default. A frame whose children cycle in an order of their own
    // turns it off.
    void setAreaCycling(bool on);
    void applyAreaCycling();

protected:
    // Unloading the frame asks each loaded child with mode 4 after the frame's own
    // Form_QueryUnload; a cancel stops the rest. Then the children unload, then the frame.
    // The frame's createWidgets must make the QMdiArea through makeMdiArea().
    QMdiArea *makeMdiArea(QWidget *parent);

private:
    bool queryChildren(Int mode) override;
    bool unloadChildren() override;
    void subWindowActivated(QMdiSubWindow *window);
    void cascade();
    void tile(bool horizontal);
    void arrangeIcons();

    QPointer<QMdiArea> m_area;
    QPointer<Form> m_activeChild;
    bool m_areaCycling = true;
};

// A child form shown inside an MdiForm's area. Loading it loads the frame (without showing it).
class MdiChildForm : public Form
{
    Q_OBJECT
public:
    MdiChildForm(const QString &name, MdiForm *frame, QObject *parent = nullptr);
    ~MdiChildForm() override;
    MdiForm *frame() const { return m_frame; }
    QMdiSubWindow *subWindow() const { return m_subWindow; }
    QWidget *windowWidget() const override;

private:
    void placeWidget() override;
    void shownInArea() override;

    QPointer<MdiForm> m_frame;
    QPointer<QMdiSubWindow> m_subWindow;
};

} // namespace rt
