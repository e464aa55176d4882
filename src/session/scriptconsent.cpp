#include "session/scriptconsent.h"

#include "app/appglobals.h"
#include "emulator/channel.h"
#include "emulator/tcpchannel.h"
#include "registry/registry.h"

#include <QLoggingCategory>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTextDocument>

Q_DECLARE_LOGGING_CATEGORY(lcSession)

namespace ScriptConsent {

namespace {

constexpr int FirstLineLength = 200;
const QString kAlways = QStringLiteral("Always");

QString storeKey()
{
    return SettingsKey(QStringLiteral("ScriptHosts"));
}

struct NetworkDevice
{
    emu::Int device;
    const char *scheme;
    quint16 defaultPort;
};
constexpr NetworkDevice kNetworkDevices[] = {
    { emu::device::Tcp, "tcp", 0 },
    { emu::device::Telnet, "telnet", 23 },
    { emu::device::Ssh, "ssh", 22 },
};

} // namespace

QString HostOf(const emu::Settings &settings)
{
    const emu::Int device = settings.Device();
    for (const NetworkDevice &d : kNetworkDevices) {
        if (d.device != device)
            continue;
        const quint16 port = emu::parsePort(settings.HostPort(), d.defaultPort);
        return QStringLiteral("%1:%2:%3")
            .arg(QLatin1String(d.scheme), settings.HostName().trimmed().toLower(),
                port ? QString::number(port) : settings.HostPort().trimmed());
    }
    if (device == emu::device::Serial)
        return QStringLiteral("serial:") + emu::serialDeviceName(settings.Port());
    if (device == emu::device::Modem)
        return QStringLiteral("modem:") + emu::serialDeviceName(settings.Port());
    return QStringLiteral("none");
}

bool IsAllowed(const QString &host)
{
    return registry::value(registry::Root::CurrentUser, storeKey(), host) == kAlways;
}

bool Allow(const QString &host)
{
    if (host.isEmpty())
        return false;
    return registry::setValue(registry::Root::CurrentUser, storeKey(), kAlways, host);
}

bool Revoke(const QString &host)
{
    if (host.isEmpty())
        return false;
    return registry::deleteValue(registry::Root::CurrentUser, storeKey(), host);
}

QStringList AllowedHosts()
{
    QStringList hosts;
    for (const QString &name : registry::valueNames(registry::Root::CurrentUser, storeKey())) {
        if (!name.isEmpty() && IsAllowed(name))
            hosts << name;
    }
    return hosts;
}

QString FirstLine(const QString &script)
{
    // Blank lines in front would show nothing of the script.
    static const QRegularExpression lineEnd(QStringLiteral("[\r\n]"));
    QString line;
    for (const QString &l : script.split(lineEnd)) {
        if (!l.trimmed().isEmpty()) {
            line = l;
            break;
        }
    }
    if (line.size() > FirstLineLength)
        line = line.left(FirstLineLength) + QStringLiteral("...");
    return line;
}

QWidget *Ask(QWidget *parent, const QString &host, const QString &script,
    std::function<void(Answer)> done)
{
    auto *box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Script from ") + host,
        QStringLiteral("The host wants to run a script in this session."), QMessageBox::NoButton,
        parent);
    box->setObjectName(QStringLiteral("frmScriptConsent"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setTextFormat(Qt::PlainText);
    // The host chose that text: markup in it is shown, never rendered.
    box->setInformativeText(Qt::convertFromPlainText(FirstLine(script)));
    const auto button = [&](const QString &text, const char *name, QMessageBox::ButtonRole role) {
        QPushButton *b = box->addButton(text, role);
        b->setObjectName(QLatin1String(name));
        return b;
    };
    QPushButton *run = button(QStringLiteral("&Run"), "cmdRun", QMessageBox::AcceptRole);
    QPushButton *always
        = button(QStringLiteral("&Always for this host"), "cmdAlways", QMessageBox::YesRole);
    QPushButton *dontRun
        = button(QStringLiteral("&Don't run"), "cmdDontRun", QMessageBox::RejectRole);
    box->setDefaultButton(dontRun);
    box->setEscapeButton(dontRun);
    QObject::connect(box, &QMessageBox::finished, box, [box, run, always, done] {
        const QAbstractButton *clicked = box->clickedButton();
        done(clicked == run ? Answer::Run : clicked == always ? Answer::Always : Answer::DontRun);
    });
    // Not modal: the program goes on while the user thinks about it.
    box->show();
    return box;
}

} // namespace ScriptConsent
