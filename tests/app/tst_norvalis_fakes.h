#pragma once
// A main window for tests of the application object and the placement routines: an MDI frame
// that registers itself as the main window, and session windows that carry a session key in
// their Tag; the program's folder moved into a test's folder, and the program's per-user
// settings as the registry holds them.

#include "app/appglobals.h"
#include "app/files.h"
#include "app/mainwindow.h"
#include "common/testutil.h"
#include "registry/registry.h"
#include "runtime/form.h"

#include <QMainWindow>
#include <memory>
#include <optional>

// A per-user setting (the default value of its key under the program's settings key).
inline void putRegistry(const QString &name, const QString &text)
{
    registry::setValue(registry::Root::CurrentUser, SettingsKey(name), text);
}
inline std::optional<QString> registryValue(const QString &name)
{
    return registry::value(registry::Root::CurrentUser, SettingsKey(name));
}

class TestMainWindow : public rt::MdiForm, public MainWindow
{
public:
    TestMainWindow()
        : rt::MdiForm(QStringLiteral("frmMdiParent"))
    { }
    rt::MdiForm &form() override { return *this; }
    bool isUnloading() const override { return unloading; }
    void setClosing(bool closing) override { unloading = closing; }

    bool unloading = false;

protected:
    QWidget *createWidgets() override
    {
        auto *window = new QMainWindow;
        window->setCentralWidget(makeMdiArea(window));
        return window;
    }
};

class TestSessionWindow : public rt::MdiChildForm
{
public:
    TestSessionWindow(const QString &key, rt::MdiForm *frame)
        : rt::MdiChildForm(QStringLiteral("frmMdiChild"), frame)
    {
        Tag = key;
    }

protected:
    QWidget *createWidgets() override { return new QWidget; }
};

// A test main window, loaded and registered as the program's main window; dropMainWindow takes
// it away again.
inline std::unique_ptr<TestMainWindow> registeredMainWindow()
{
    auto main = std::make_unique<TestMainWindow>();
    main->load();
    setMainWindow(main.get());
    return main;
}
inline void dropMainWindow(std::unique_ptr<TestMainWindow> &main)
{
    setMainWindow(nullptr);
    if (main)
        main->unload();
    main.reset();
}

// The program's folder (NORVALIS_APPDIR, gAppDir) and the settings stores in folder.
inline void useProgramFolder(const QString &folder)
{
    useStoresIn(QDir(folder));
    qputenv("NORVALIS_APPDIR", folder.toLocal8Bit());
    gAppDir = folder + u'/';
}
