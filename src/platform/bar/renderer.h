#pragma once
// Draws the toolbar control's bands with Qt widgets on a main window: the menu-bar bands as the
// window's menu bar, tool bands as tool bars, status bands as status-bar fields, and any band as
// a pop-up menu when a tool opens it or the program pops it up.
//
// Status fields stand side by side and never overlap: each shows its whole text, except the
// first, which takes the room left and is shortened with an ellipsis (its tip then holds the
// whole text) when the line is short.
//
// Drawn copies are kept per band and rebuilt only when the band's tool list changed; showing or
// hiding a band only shows or hides its widgets. Property changes of a tool go straight to the
// widgets that show it.

#include "bar/bar.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <memory>
#include <unordered_map>

class QAction;
class QLabel;
class QMenuBar;
class QStatusBar;

namespace bar {

class StatusField;

class Renderer : public QObject
{
    Q_OBJECT
public:
    explicit Renderer(ActiveBar *bar);
    ~Renderer() override;

    void attach(QMainWindow *window);
    QMainWindow *window() const;
    void recalcLayout();
    void popup(Band *band);

    QMenu *menuFor(const Band *band);
    QToolBar *toolBarFor(const Band *band) const;
    QWidget *statusFieldsFor(const Band *band) const;

    void toolChanged(Band *band, Tool *tool);
    void bandAdded(Band *band);
    void bandRemoved(Band *band);

private:
    // How a band is drawn when it is visible.
    enum class Kind { None, MenuBar, ToolBar, Status };

    // One set of drawn tools: the actions (or status fields) of a band in one place.
    struct Drawn
    {
        quint64 generation = ~quint64(0);
        quint64 bandsGeneration = 0;
        QMultiHash<const Tool *, QPointer<QObject>> items;
        QList<QPointer<QObject>> order;
    };

    struct View
    {
        Band *band = nullptr;
        Kind kind = Kind::None;
        bool shown = false;
        Drawn top; // menu bar actions, tool bar actions or status fields
        Drawn dropDown; // actions of the band's menu
        QPointer<QToolBar> toolBar;
        QPointer<QWidget> statusFields;
        QPointer<QMenu> menu;
        std::unique_ptr<QObject> actionOwner;
    };

    static Kind kindOf(const Band *band);
    View &viewOf(const Band *band);
    View *findView(const Band *band) const;
    bool isStale(const View &view, const Drawn &drawn) const;

    void showTop(View &view, Kind kind);
    void hideTop(View &view);
    void dropTop(View &view);
    void buildTop(View &view);
    void buildDropDown(View &view);
    void dropItems(Drawn &drawn, QWidget *from);
    void refreshSubMenus(View &view, Drawn &drawn);
    void updateMenuBar();
    QStatusBar *statusBar();
    QMenu *ensureMenu(View &view);

    QAction *makeAction(View &view, Drawn &drawn, Tool *tool);
    QLabel *makeField(View &view, Drawn &drawn, Tool *tool);
    void updateAction(View &view, const Drawn &drawn, QAction *action, const Tool *tool);
    void applyTool(QAction *action, const Band *band, const Tool *tool);
    void applyField(StatusField *field, const Tool *tool);
    void fitToolButton(QToolBar *toolBar, QAction *action, const Tool *tool);
    QMenu *subMenu(const Band *band, const Tool *tool);

    void opening(Band *band);
    void clicked(const std::weak_ptr<Tool> &tool, QAction *action);

    ActiveBar *m_bar;
    QPointer<QMainWindow> m_window;
    QPointer<QMenuBar> m_menuBar;
    QPointer<QStatusBar> m_statusBar;
    std::unordered_map<const Band *, std::unique_ptr<View>> m_views;
    quint64 m_bandsGeneration = 0;
    QList<const View *> m_menuBarViews;
    bool m_menuBarDirty = true;
};

} // namespace bar
