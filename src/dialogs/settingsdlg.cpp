#include "dialogs/settingsdlg.h"

#include "app/mdiparnt.h"
#include "app/msgbox.h"
#include "app/norvalis.h"
#include "app/nvmain.h"
#include "commondlg/commondlg.h"
#include "commondlg/helpwindow.h"
#include "dialogs/dialogslog.h"
#include "session/sessionsettings.h"
#include "dialogs/settingsfields.h"
#include "emulator/emulator.h"
#include "emulator/emusettings.h"
#include "interfaces/appiface.h"
#include "runtime/controls.h"
#include "runtime/interaction.h"
#include "runtime/form.h"
#include "runtime/values.h"
#include "session/sessionwindow.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QScreen>
#include <QShortcut>
#include <QGuiApplication>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLoggingCategory>
#include <QPointer>
#include <QPrinterInfo>
#include <QPushButton>
#include <QScrollArea>
#include <QSerialPortInfo>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>
#include <functional>

namespace settingsdlg {

namespace {

// How a field's value is read from and written to its owner.
struct Binding
{
    std::function<QVariant()> read;
    std::function<void(const QVariant &)> write;
};

template<class Object, class Getter, class T, class Setter, class Arg>
Binding bind(Object *object, T (Getter::*get)() const, void (Setter::*set)(Arg))
{
    using Value = std::decay_t<Arg>;
    return { [=] { return QVariant::fromValue((object->*get)()); },
        [=](const QVariant &v) { (object->*set)(v.value<Value>()); } };
}

// The binding of a table's entry named name (who names the table in the assertion).
template<std::size_t N>
Binding bindingNamed(
    const std::pair<const char *, Binding> (&table)[N], const QString &name, const char *who)
{
    for (const auto &[key, binding] : table) {
        if (name == QLatin1String(key))
            return binding;
    }
    Q_ASSERT_X(false, who, qPrintable(name));
    Q_UNUSED(who);
    return {};
}

Binding programBinding(GlobalSettingsIface *g, const QString &name)
{
    using G = GlobalSettingsIface;
    const std::pair<const char *, Binding> table[] = {
        { "Menu", bind(g, &G::Menu, &G::setMenu) },
        { "Caption", bind(g, &G::Caption, &G::setCaption) },
        { "Icon", bind(g, &G::Icon, &G::setIcon) },
        { "PhoneBook", bind(g, &G::PhoneBook, &G::setPhoneBook) },
        { "AutoClose", bind(g, &G::AutoClose, &G::setAutoClose) },
        { "MouseTable", bind(g, &G::MouseTable, &G::setMouseTable) },
        { "BlockedHotKeys", bind(g, &G::BlockedHotKeys, &G::setBlockedHotKeys) },
        { "ToolbarVisible", bind(g, &G::ToolbarVisible, &G::setToolbarVisible) },
        { "StatusLineVisible", bind(g, &G::StatusLineVisible, &G::setStatusLineVisible) },
        { "SingleInstance", bind(g, &G::SingleInstance, &G::setSingleInstance) },
        { "HostFile", bind(g, &G::HostFile, &G::setHostFile) },
        { "NoCloseWarning", bind(g, &G::NoCloseWarning, &G::setNoCloseWarning) },
        { "RecentListSize", bind(g, &G::RecentListSize, &G::setRecentListSize) },
        { "DefaultCaptureDir", bind(g, &G::DefaultCaptureDir, &G::setDefaultCaptureDir) },
        { "DefaultXferDir", bind(g, &G::DefaultXferDir, &G::setDefaultXferDir) },
    };
    return bindingNamed(table, name, "programBinding");
}

Binding sessionBinding(SessionSettings *s, const QString &name)
{
    using S = SessionSettings;
    const std::pair<const char *, Binding> table[] = {
        { "Menu", bind(s, &S::Menu, &S::setMenu) },
        { "Caption", bind(s, &S::Caption, &S::setCaption) },
        { "Icon", bind(s, &S::Icon, &S::setIcon) },
        { "ShowErrs", bind(s, &S::ShowErrs, &S::setShowErrs) },
        { "AutoClose", bind(s, &S::AutoClose, &S::setAutoClose) },
        { "MouseTable", bind(s, &S::MouseTable, &S::setMouseTable) },
    };
    return bindingNamed(table, name, "sessionBinding");
}

Binding emulatorBinding(emu::Settings *settings, const Field &field)
{
    const QString name = field.name;
    const int index = field.index;
    return { [=] { return settings->value(name, index); },
        [=](const QVariant &v) { settings->setValue(name, v, index); } };
}

// A file or folder the user picks, starting from the field's text; nothing when cancelled.
std::optional<QString> browse(QWidget *owner, const Field &field, const QString &current)
{
    if (field.kind == Kind::Directory)
        return commondlg::chooseFolder(owner, field.title(), current);
    commondlg::Request request;
    request.kind = commondlg::Kind::OpenFile;
    request.title = field.title();
    request.owner = owner;
    const QFileInfo info(current);
    request.directory = current.isEmpty() ? QString() : info.absolutePath();
    request.fileName = info.fileName();
    request.filter = QStringLiteral("All Files (*.*)|*.*");
    return commondlg::chooseFile(request);
}

} // namespace

// One field's widgets: shows the stored value, tells whether the user changed it and what is
// wrong with it, and writes it back.
class FieldEditor
{
public:
    FieldEditor(const Field &field, Binding binding)
        : m_field(field)
        , m_binding(std::move(binding))
    { }
    virtual ~FieldEditor() = default;

    const Field &field() const { return m_field; }
    // The widget of the field's row, and the one that takes the focus.
    virtual QWidget *widget() const = 0;
    virtual QWidget *input() const { return widget(); }
    // What the user has set, as the widgets hold it.
    virtual QVariant state() const = 0;
    // What is wrong with the value for the device chosen on the Connection page (-1 none).
    virtual QString problem(int device = -1) const
    {
        Q_UNUSED(device);
        return {};
    }

    bool changed() const { return state() != m_start; }
    void load()
    {
        show(m_binding.read());
        m_start = state();
    }
    void store()
    {
        m_binding.write(value());
        m_start = state();
    }

protected:
    virtual void show(const QVariant &value) = 0;
    virtual QVariant value() const = 0;

private:
    Field m_field;
    Binding m_binding;
    QVariant m_start;
};

namespace {

// A text field: a line edit, with a Browse button for files and folders and a colour swatch for
// palette entries.
class TextEditor : public FieldEditor
{
public:
    TextEditor(const Field &field, Binding binding, QWidget *parent)
        : FieldEditor(field, std::move(binding))
        , m_row(new QWidget(parent))
        , m_edit(new QLineEdit(m_row))
    {
        m_edit->setObjectName(field.key());
        if (!field.hint.isEmpty())
            m_edit->setPlaceholderText(field.hint);
        auto *layout = new QHBoxLayout(m_row);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(m_edit, 1);
        // Numbers and colours keep a width of their own; texts and paths take the row.
        m_row->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        switch (field.kind) {
        case Kind::Number:
        case Kind::HostPort: {
            const QFontMetrics metrics = m_edit->fontMetrics();
            m_edit->setFixedWidth(std::max(metrics.horizontalAdvance(u"0000000000"_qs),
                                      metrics.horizontalAdvance(field.hint))
                + 16);
            layout->addStretch(1);
            break;
        }
        case Kind::Color:
            addSwatch(layout);
            layout->addStretch(1);
            break;
        case Kind::File:
        case Kind::Picture:
        case Kind::MenuFile:
        case Kind::NewFile:
        case Kind::Directory:
            addBrowse(layout);
            break;
        default:
            break;
        }
    }

    QWidget *widget() const override { return m_row; }
    QWidget *input() const override { return m_edit; }
    QVariant state() const override { return m_edit->text(); }
    QString problem(int device = -1) const override
    {
        return problemOf(field(), m_edit->text(), device);
    }

protected:
    void show(const QVariant &value) override { m_edit->setText(textOf(field(), value)); }
    QVariant value() const override { return valueOf(field(), m_edit->text()); }

private:
    void addBrowse(QHBoxLayout *layout)
    {
        auto *button = new QPushButton(QStringLiteral("Browse..."), m_row);
        button->setObjectName(field().key() + QStringLiteral(".browse"));
        layout->addWidget(button);
        QObject::connect(button, &QPushButton::clicked, m_row, [this] {
            if (const auto chosen = browse(m_row->window(), field(), m_edit->text()))
                m_edit->setText(*chosen);
        });
    }

    void addSwatch(QHBoxLayout *layout)
    {
        auto *swatch = new QToolButton(m_row);
        swatch->setObjectName(field().key() + QStringLiteral(".swatch"));
        swatch->setToolTip(QStringLiteral("Choose the colour"));
        swatch->setFixedSize(28, 20);
        m_edit->setFixedWidth(m_edit->fontMetrics().horizontalAdvance(u"#DDDDDDD"_qs) + 16);
        layout->insertWidget(0, swatch);
        auto paint = [this, swatch] {
            const bool valid = problem().isEmpty();
            swatch->setStyleSheet(valid ? QStringLiteral("background-color: %1; border: 1px solid "
                                                         "palette(dark);")
                                              .arg(typedColor())
                                        : QString());
        };
        QObject::connect(m_edit, &QLineEdit::textChanged, m_row, paint);
        QObject::connect(swatch, &QToolButton::clicked, m_row, [this] {
            if (!rt::userCanAnswer()) {
                rt::logUnanswered(QStringLiteral("colour dialog"), field().title(),
                    QStringLiteral("Cancel"));
                return;
            }
            const QColor start(typedColor());
            const QColor chosen = QColorDialog::getColor(start, m_row->window(), field().title());
            if (chosen.isValid())
                m_edit->setText(chosen.name().toUpper());
        });
    }

    // The typed colour with one leading "#", whether the user typed it or not.
    QString typedColor() const { return m_edit->text().trimmed().remove(u'#').prepend(u'#'); }

    QWidget *m_row;
    QLineEdit *m_edit;
};

// An on/off field.
class CheckEditor : public FieldEditor
{
public:
    CheckEditor(const Field &field, Binding binding, QWidget *parent)
        : FieldEditor(field, std::move(binding))
        , m_box(new QCheckBox(field.label, parent))
    {
        m_box->setObjectName(field.key());
    }
    QWidget *widget() const override { return m_box; }
    QVariant state() const override { return m_box->isChecked(); }

protected:
    void show(const QVariant &value) override { m_box->setChecked(value.toLongLong() != 0); }
    QVariant value() const override { return checkValue(field().store, m_box->isChecked()); }

private:
    QCheckBox *m_box;
};

// One entry of a list: a choice's code, a font family or a printer name ("" for the default).
class ListEditor : public FieldEditor
{
public:
    ListEditor(const Field &field, Binding binding, QWidget *parent)
        : FieldEditor(field, std::move(binding))
        , m_combo(new QComboBox(parent))
    {
        m_combo->setObjectName(field.key());
        m_combo->setSizeAdjustPolicy(QComboBox::AdjustToContents);
        switch (field.kind) {
        case Kind::Font:
            m_combo->addItem(QStringLiteral("(the default fixed-pitch font)"), QString());
            for (const QString &family : QFontDatabase::families()) {
                if (QFontDatabase::isFixedPitch(family))
                    m_combo->addItem(family, family);
            }
            break;
        case Kind::PrinterName:
            m_combo->addItem(QStringLiteral("(the default printer)"), QString());
            for (const QString &printer : QPrinterInfo::availablePrinterNames())
                m_combo->addItem(printer, printer);
            break;
        default:
            for (const Choice &choice : field.choices)
                m_combo->addItem(choice.text, choice.code);
            break;
        }
    }
    QWidget *widget() const override { return m_combo; }
    QVariant state() const override { return m_combo->currentData(); }

protected:
    // A stored value the list does not name is added, so that it shows and stays as it is.
    void show(const QVariant &value) override
    {
        const QVariant item = field().kind == Kind::List ? QVariant(value.toInt())
                                                         : QVariant(value.toString());
        int index = m_combo->findData(item);
        if (index < 0) {
            m_combo->addItem(item.toString(), item);
            index = m_combo->count() - 1;
        }
        m_combo->setCurrentIndex(index);
    }
    QVariant value() const override { return m_combo->currentData(); }

private:
    QComboBox *m_combo;
};

constexpr QStringView kLongestPortName = u"/dev/ttyUSB99";

// A serial device: typed, or picked from the ports the system has.
class SerialEditor : public FieldEditor
{
public:
    SerialEditor(const Field &field, Binding binding, QWidget *parent)
        : FieldEditor(field, std::move(binding))
        , m_combo(new QComboBox(parent))
    {
        m_combo->setObjectName(field.key());
        m_combo->setEditable(true);
        m_combo->setInsertPolicy(QComboBox::NoInsert);
        // Wide enough for the longest name a port takes ("/dev/ttyUSB99", "/dev/pts/999").
        m_combo->setMinimumContentsLength(int(kLongestPortName.size()));
        m_combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        for (const QSerialPortInfo &port : QSerialPortInfo::availablePorts()) {
            if (serialPort(port.systemLocation()))
                m_combo->addItem(port.systemLocation());
        }
    }
    QWidget *widget() const override { return m_combo; }
    QVariant state() const override { return m_combo->currentText(); }
    QString problem(int device = -1) const override
    {
        return problemOf(field(), m_combo->currentText(), device);
    }

protected:
    void show(const QVariant &value) override
    {
        m_combo->setCurrentText(textOf(field(), value));
    }
    QVariant value() const override { return valueOf(field(), m_combo->currentText()); }

private:
    QComboBox *m_combo;
};

std::unique_ptr<FieldEditor> makeEditor(const Field &field, Binding binding, QWidget *parent)
{
    switch (field.kind) {
    case Kind::Check:
        return std::make_unique<CheckEditor>(field, std::move(binding), parent);
    case Kind::List:
    case Kind::Font:
    case Kind::PrinterName:
        return std::make_unique<ListEditor>(field, std::move(binding), parent);
    case Kind::SerialPort:
        return std::make_unique<SerialEditor>(field, std::move(binding), parent);
    default:
        return std::make_unique<TextEditor>(field, std::move(binding), parent);
    }
}

// The palette's entries side by side: the eight colours and their bright forms.
void placeColor(QGridLayout *grid, const Field &field, QWidget *editor)
{
    const int row = field.index % 8;
    const int column = field.index < 8 ? 0 : 2;
    auto *label = new QLabel(field.label, grid->parentWidget());
    label->setBuddy(editor);
    grid->addWidget(label, row, column);
    grid->addWidget(editor, row, column + 1);
}

} // namespace

} // namespace settingsdlg

using namespace settingsdlg;

// ---- SettingsDialog ----

namespace {

// Mode of the emulator's Reset that connects again with the current settings (Reset Connection).
constexpr rt::Int ResetConnection = 2;
const QString kHelpTopicPrefix = QStringLiteral("settings-");
// The window's size where the screen has room for it, and what a window manager's frame and
// title bar take at most around it.
constexpr QSize PreferredSize(780, 660);
constexpr QSize FrameAllowance(16, 48);

// The preferred size, within the screen the owner is on (its pages scroll).
QSize fittedSize(const QWidget *owner)
{
    const QScreen *screen = owner ? owner->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return PreferredSize;
    return PreferredSize.boundedTo(screen->availableGeometry().size() - FrameAllowance);
}
const QString kReconnectQuestion = QStringLiteral(
    "The connection settings have changed.\nDo you want to connect again with them now?");

// The values of the Connection page's emulator settings, to tell whether OK changed them.
QVariantList connectionOf(const emu::Settings *settings)
{
    QVariantList values;
    if (!settings)
        return values;
    for (const Field &field : fields()) {
        if (field.page == Page::Connection && field.store == Store::Emulator && !field.name.isEmpty())
            values.append(settings->value(field.name, field.index));
    }
    return values;
}

// New connection settings take effect: a session without a link connects with them at once; a
// connected one is asked first, and keeps its link unless the user says Yes.
void connectAgain(const SessionPtr &session, QWidget *owner)
{
    SessionWindow *window = session->Window();
    emu::nvEmulator *emulator = window ? window->ctlEmulator() : nullptr;
    if (!emulator || window->IsClosing()
        || session->EmulatorSettings().Device() == emu::device::None)
        return;
    if (emulator->Connected() != 0) {
        const rt::Int answer = Nvmain::MessageBox(kReconnectQuestion,
            MsgBox::YesNo + MsgBox::Question + MsgBox::DefaultSecond, owner);
        if (answer != MsgBox::Yes)
            return;
    }
    emulator->Reset(ResetConnection);
}

} // namespace

void ShowSettingsDialog(const QString &startPage, bool withoutSession, QWidget *mainWindow)
{
    if (!gApp)
        return;
    const SessionPtr session = gApp->ActiveClsSession();
    if (!session && !withoutSession)
        return;
    SessionWindow *window = session ? session->Window() : nullptr;
    QWidget *owner = window ? window->form().windowWidget() : mainWindow;
    emu::Settings *settings = session ? &session->EmulatorSettings() : nullptr;
    const QVariantList connection = connectionOf(settings);
    QVariant result;
    SettingsDialog().Show(session ? &session->AsSessionSettings() : nullptr,
        gApp->AsGlobalSettings(), settings, QString(), QString(), startPage, 0, 0, owner, result);
    if (window && result == QVariant::fromValue(rt::True) && connectionOf(settings) != connection)
        connectAgain(session, owner);
}

void SettingsDialog::Show(SessionSettings *session, GlobalSettingsIface *global,
    emu::Settings *settings, const QString &text1, const QString &text2, const QString &startPage,
    rt::Long number1, rt::Long number2, QWidget *owner, QVariant &result)
{
    Q_UNUSED(text1);
    Q_UNUSED(text2);
    Q_UNUSED(number1);
    Q_UNUSED(number2);
    result = QVariant::fromValue(rt::False);
    if (!rt::userCanAnswer()) {
        rt::logUnanswered(QStringLiteral("settings dialog"), startPage, QStringLiteral("Cancel"));
        return;
    }
    QPointer<SettingsWindow> window = new SettingsWindow(session, global, settings, startPage, owner);
    const int answer = window->exec();
    delete window.data();
    if (answer == QDialog::Accepted)
        result = QVariant::fromValue(rt::True);
}

// ---- SettingsWindow ----

SettingsWindow::SettingsWindow(SessionSettings *session, GlobalSettingsIface *global,
    emu::Settings *settings, const QString &startPage, QWidget *owner)
    : QDialog(owner)
    , m_session(session)
    , m_global(global)
    , m_settings(settings)
{
    setObjectName(QStringLiteral("frmSettings"));
    setWindowTitle(QStringLiteral("Norvalis Settings"));

    lstPages = new QListWidget(this);
    lstPages->setObjectName(QStringLiteral("lstPages"));
    lstPages->setSpacing(2);
    pages = new QStackedWidget(this);
    lbError = new QLabel(this);
    lbError->setObjectName(QStringLiteral("lbError"));
    lbError->setWordWrap(true);
    lbError->setStyleSheet(QStringLiteral("color: #b00020; font-weight: bold;"));
    lbError->hide();
    auto *buttons = new QDialogButtonBox(this);
    cmdOK = buttons->addButton(QDialogButtonBox::Ok);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdCancel = buttons->addButton(QDialogButtonBox::Cancel);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    cmdHelp = buttons->addButton(QDialogButtonBox::Help);
    cmdHelp->setObjectName(QStringLiteral("cmdHelp"));
    connect(cmdOK, &QPushButton::clicked, this, &SettingsWindow::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(cmdHelp, &QPushButton::clicked, this, &SettingsWindow::cmdHelp_Click);
    connect(new QShortcut(QKeySequence::HelpContents, this), &QShortcut::activated, cmdHelp,
        &QPushButton::click);

    auto *body = new QHBoxLayout;
    body->addWidget(lstPages);
    body->addWidget(pages, 1);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(body, 1);
    layout->addWidget(lbError);
    layout->addWidget(buttons);

    const bool withSession = settings != nullptr;
    buildPages(withSession, global != nullptr);
    connect(lstPages, &QListWidget::currentRowChanged, this, [this](int row) {
        pages->setCurrentIndex(row);
        // A page sized while hidden may keep a scroll bar it no longer needs.
        QEvent relayout(QEvent::LayoutRequest);
        QCoreApplication::sendEvent(pages->currentWidget(), &relayout);
    });
    lstPages->setFixedWidth(lstPages->sizeHintForColumn(0) + 4 * lstPages->frameWidth() + 24);
    if (!m_pages.isEmpty())
        showPage(::settingsdlg::startPage(startPage, withSession).value_or(m_pages.first()));
    resize(fittedSize(owner));
    rt::orderTabsAsShown(this);
}

SettingsWindow::~SettingsWindow() = default;

// The guide's topic of each page is "settings-" and the page's title in lower case.
void SettingsWindow::cmdHelp_Click()
{
    commondlg::showHelp(this, frmMdiParent::HelpFile(), commondlg::HelpCommand::Context,
        kHelpTopicPrefix + currentPageTitle().toLower());
}

QStringList SettingsWindow::pageTitles() const
{
    QStringList titles;
    for (Page page : m_pages)
        titles.append(pageTitle(page));
    return titles;
}

QString SettingsWindow::currentPageTitle() const
{
    const int row = lstPages->currentRow();
    return row >= 0 && row < m_pages.size() ? pageTitle(m_pages.at(row)) : QString();
}

QString SettingsWindow::errorText() const
{
    return lbError->isHidden() ? QString() : lbError->text();
}

void SettingsWindow::buildPages(bool withSession, bool withProgram)
{
    for (int i = 0; i < PageCount; ++i) {
        const Page page = Page(i);
        if (page == Page::Program ? !withProgram : !withSession)
            continue;
        m_pages.append(page);
        lstPages->addItem(pageTitle(page));
        auto *scroll = new QScrollArea(pages);
        scroll->setObjectName(u"page:"_qs + pageTitle(page));
        scroll->setWidgetResizable(true);
        scroll->setFrameShape(QFrame::NoFrame);
        scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        scroll->setFocusPolicy(Qt::NoFocus); // Tab goes to the page's fields, not the page
        scroll->setWidget(buildPage(page, withSession && m_session));
        pages->addWidget(scroll);
    }
    for (const auto &editor : m_editors)
        editor->load();
    for (const auto &editor : m_editors) {
        if (editor->field().key() == u"emu:Device")
            m_device = editor.get();
    }
    if (m_device) {
        auto *combo = static_cast<QComboBox *>(m_device->widget());
        connect(combo, &QComboBox::currentIndexChanged, this, &SettingsWindow::showDevice);
        showDevice();
    }
}

// Whether a field for these devices applies to the device chosen on the Connection page.
bool SettingsWindow::applies(unsigned devices) const
{
    if (devices == AllDevices || !m_device)
        return true;
    const int device = m_device->state().toInt();
    return device >= 0 && device < 32 && (devices & (1u << device)) != 0;
}

QWidget *SettingsWindow::buildPage(Page page, bool withSession)
{
    auto *widget = new QWidget;
    auto *layout = new QVBoxLayout(widget);
    auto *heading = new QLabel(pageTitle(page), widget);
    QFont font = heading->font();
    font.setBold(true);
    font.setPointSizeF(font.pointSizeF() * 1.3);
    heading->setFont(font);
    layout->addWidget(heading);

    QMap<QString, QGroupBox *> groups;
    for (const Field &field : fields()) {
        if (field.page != page || (field.store == Store::Session && !withSession))
            continue;
        QGroupBox *&group = groups[field.group];
        if (!group) {
            group = new QGroupBox(field.group, widget);
            group->setObjectName(u"group:"_qs + field.group);
            group->setProperty("deviceGroup", field.group == deviceGroup());
            if (field.kind == Kind::Color) {
                auto *grid = new QGridLayout(group);
                grid->setColumnStretch(4, 1);
                grid->setColumnMinimumWidth(2, 120);
            } else {
                auto *form = new QFormLayout(group);
                form->setFieldGrowthPolicy(QFormLayout::ExpandingFieldsGrow);
            }
            layout->addWidget(group);
        }
        if (field.kind == Kind::Note) {
            auto *note = new QLabel(field.label, group);
            note->setWordWrap(true);
            note->setEnabled(false);
            note->setProperty("devices", field.devices);
            static_cast<QFormLayout *>(group->layout())->addRow(note);
            continue;
        }
        const Binding binding = field.store == Store::Emulator ? emulatorBinding(m_settings, field)
            : field.store == Store::Session                    ? sessionBinding(m_session, field.name)
                                                               : programBinding(m_global, field.name);
        auto editor = makeEditor(field, binding, group);
        QWidget *row = editor->widget();
        row->setProperty("devices", field.devices);
        if (auto *grid = qobject_cast<QGridLayout *>(group->layout()))
            placeColor(grid, field, row);
        else if (field.kind == Kind::Check)
            static_cast<QFormLayout *>(group->layout())->addRow(row);
        else
            static_cast<QFormLayout *>(group->layout())->addRow(field.label, row);
        m_editors.push_back(std::move(editor));
    }
    layout->addStretch(1);
    return widget;
}

void SettingsWindow::showPage(Page page)
{
    const int row = int(m_pages.indexOf(page));
    lstPages->setCurrentRow(row < 0 ? 0 : row);
}

// Shows the Connection page's rows that apply to the chosen device, and the groups that keep a
// row.
void SettingsWindow::showDevice()
{
    const int index = int(m_pages.indexOf(Page::Connection));
    if (index < 0)
        return;
    for (QGroupBox *group : pages->widget(index)->findChildren<QGroupBox *>()) {
        auto *form = qobject_cast<QFormLayout *>(group->layout());
        if (!form)
            continue;
        bool any = false;
        for (int row = 0; row < form->rowCount(); ++row) {
            QLayoutItem *item = form->itemAt(row, QFormLayout::FieldRole);
            if (!item)
                item = form->itemAt(row, QFormLayout::SpanningRole);
            QWidget *field = item ? item->widget() : nullptr;
            if (!field)
                continue;
            const bool visible = applies(field->property("devices").toUInt());
            form->setRowVisible(row, visible);
            any = any || visible;
        }
        group->setVisible(any);
        if (group->property("deviceGroup").toBool())
            group->setTitle(static_cast<QComboBox *>(m_device->widget())->currentText());
    }
    for (const auto &editor : m_editors) {
        if (editor->field().kind == Kind::HostPort)
            static_cast<QLineEdit *>(editor->input())
                ->setPlaceholderText(hostPortHint(m_device->state().toInt()));
    }
}

void SettingsWindow::refuse(const FieldEditor &editor, const QString &message)
{
    lbError->setText(editor.field().title() + QStringLiteral(": ") + message);
    lbError->show();
    showPage(editor.field().page);
    QWidget *input = editor.input();
    if (auto *scroll = qobject_cast<QScrollArea *>(pages->currentWidget()))
        scroll->ensureWidgetVisible(input);
    input->setFocus(Qt::OtherFocusReason);
    if (auto *combo = qobject_cast<QComboBox *>(input); combo && combo->isEditable())
        combo->lineEdit()->selectAll();
    else if (auto *edit = qobject_cast<QLineEdit *>(input))
        edit->selectAll();
}

bool SettingsWindow::checkChanges()
{
    const bool newDevice = m_device && m_device->changed();
    const int device = m_device ? m_device->state().toInt() : -1;
    for (const auto &editor : m_editors) {
        if (!applies(editor->field().devices))
            continue;
        // Another device may not take a port or host the old one did (a TCP/IP link has no port
        // of its own; a serial line had no host to check).
        const bool recheck = newDevice
            && (editor->field().kind == Kind::HostPort || editor->field().kind == Kind::HostName);
        if (!editor->changed() && !recheck)
            continue;
        if (const QString problem = editor->problem(device); !problem.isEmpty()) {
            refuse(*editor, problem);
            return false;
        }
    }
    return true;
}

bool SettingsWindow::writeChanges()
{
    for (const auto &editor : m_editors) {
        if (!editor->changed() || !applies(editor->field().devices))
            continue;
        try {
            editor->store();
        } catch (const rt::Error &error) {
            qCDebug(lcDialogs) << "settings dialog:" << editor->field().key() << "refused"
                               << error.number << error.description;
            refuse(*editor,
                error.description.isEmpty() ? QStringLiteral("the value was refused (error %1).")
                                                  .arg(error.number)
                                            : error.description);
            return false;
        }
    }
    return true;
}

void SettingsWindow::cmdOK_Click()
{
    lbError->hide();
    if (checkChanges() && writeChanges())
        accept();
}
