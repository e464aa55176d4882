#pragma once
// Forms: a QObject that owns its widget tree only while loaded, with the load/unload protocol,
// modal display in a nested event loop, geometry in twips, key preview with virtual-key codes,
// and MDI frame and child forms.

#include "runtime/error.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>

class QMdiArea;
class QMdiSubWindow;

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

// Shift mask of key events.
enum ShiftMask : Int { vbShiftMask = 1, vbCtrlMask = 2, vbAltMask = 4 };

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

    // Builds the widgets (createWidgets) and runs Form_Load. Does nothing when already loaded.
    void load();
    // Runs Form_QueryUnload and Form_Unload; false when either cancelled. Destroys the widgets.
    bool unload(Int mode = vbFormCode);

    void show();
    void hide();
    bool isVisible() const;
    // Shows the form modally (loading it first) in a nested event loop that ends when the form
    // is hidden or unloaded. Raises 400 when the form is already shown.
    void showModal(QWidget *owner = nullptr);
    bool isModalShown() const { return m_modalDepth > 0; }

    QString Tag;
    QString caption() const;
    void setCaption(const QString &caption);

    // Geometry in twips (frame included for top-level forms).
    Long left() const;
    Long top() const;
    Long width() const;
    Long height() const;
    void move(Long left, Long top, Long width = -1, Long height = -1);
    void setWidth(Long width);
    void setHeight(Long height);
    Long scaleWidth() const; // client area, twips
    Long scaleHeight() const;

    Int windowState() const;
    // Values outside 0..2 are ignored.
    void setWindowState(Int state);

    bool keyPreview = false;

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
    virtual void Form_KeyDown(Int &keyCode, Int shift)
    {
        Q_UNUSED(keyCode);
        Q_UNUSED(shift);
    }
    virtual void Form_KeyPress(Int &keyAscii) { Q_UNUSED(keyAscii); }

    bool eventFilter(QObject *watched, QEvent *event) override;

signals:
    void loaded();
    void unloaded();

private:
    friend class MdiForm;
    void destroyWidgets();

    QString m_name;
    QPointer<QWidget> m_widget;
    int m_modalDepth = 0;
    bool m_unloading = false;
};

// All loaded forms in load order, hidden ones included.
QList<Form *> Forms();

// The MDI frame: a main window around a QMdiArea.
class MdiForm : public Form
{
    Q_OBJECT
public:
    using Form::Form;
    QMdiArea *mdiArea() const;
    Form *activeForm() const;
    // Arrange: 0 cascade, 1 tile horizontally, 2 tile vertically, 3 arrange icons.
    void arrange(Int arrangement);

protected:
    // Unloading the frame asks each loaded child with mode 4 first; a cancel stops the rest.
    // The frame's createWidgets must make the QMdiArea through makeMdiArea().
    QMdiArea *makeMdiArea(QWidget *parent);

private:
    QMdiArea *m_area = nullptr;
};

// A child form shown inside an MdiForm's area.
class MdiChildForm : public Form
{
    Q_OBJECT
public:
    MdiChildForm(const QString &name, MdiForm *frame, QObject *parent = nullptr);
    MdiForm *frame() const { return m_frame; }
    QMdiSubWindow *subWindow() const;

private:
    QPointer<MdiForm> m_frame;
};

} // namespace rt
