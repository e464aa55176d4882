#include "session/scriptconsent.h"

#include "app/appglobals.h"
#include "emulator/channel.h"
#include "emulator/emulator.h"
#include "registry/registry.h"

#include <QLoggingCategory>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QVBoxLayout>

#include <memory>

Q_DECLARE_LOGGING_CATEGORY(lcSession)

namespace ScriptConsent {

namespace {

constexpr int FirstLineLength = 200;
constexpr int ScriptViewWidth = 560; // pixels: room for 70 characters or so
constexpr int ScriptViewHeight = 240;
const QString kAlways = QStringLiteral("Always");

QString storeKey()
{
    return SettingsKey(QStringLiteral("ScriptHosts"));
}

} // namespace

QString HostOf(const emu::Settings &settings)
{
    return emu::peerName(settings);
}

QString LinkHostOf(const emu::nvEmulator &emulator)
{
    return emulator.LinkPeer();
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
    auto *box = new QDialog(parent);
    box->setObjectName(QStringLiteral("frmScriptConsent"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowTitle(QStringLiteral("Script from ") + host);
    auto *question = new QLabel(QStringLiteral("The host wants to run a script in this session."));
    question->setObjectName(QStringLiteral("lblQuestion"));
    question->setTextFormat(Qt::PlainText);
    // The whole script, as plain text: no line of it hidden, no markup of the host rendered.
    auto *text = new QPlainTextEdit(script);
    text->setObjectName(QStringLiteral("txtScript"));
    text->setReadOnly(true);
    text->setLineWrapMode(QPlainTextEdit::NoWrap);
    text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    text->setMinimumSize(ScriptViewWidth, ScriptViewHeight);
    auto *buttons = new QDialogButtonBox;
    const auto button = [&](const QString &caption, const char *name,
                            QDialogButtonBox::ButtonRole role) {
        QPushButton *b = buttons->addButton(caption, role);
        b->setObjectName(QLatin1String(name));
        b->setAutoDefault(false);
        return b;
    };
    QPushButton *run = button(QStringLiteral("&Run"), "cmdRun", QDialogButtonBox::AcceptRole);
    QPushButton *always
        = button(QStringLiteral("&Always for this host"), "cmdAlways", QDialogButtonBox::YesRole);
    QPushButton *dontRun
        = button(QStringLiteral("&Don't run"), "cmdDontRun", QDialogButtonBox::RejectRole);
    dontRun->setDefault(true);
    auto *layout = new QVBoxLayout(box);
    layout->addWidget(question);
    layout->addWidget(text, 1);
    layout->addWidget(buttons);
    auto answer = std::make_shared<Answer>(Answer::DontRun);
    QObject::connect(buttons, &QDialogButtonBox::clicked, box,
        [box, answer, run, always](QAbstractButton *clicked) {
            *answer = clicked == run ? Answer::Run
                : clicked == always  ? Answer::Always
                                     : Answer::DontRun;
            box->done(0);
        });
    // Esc and the close box answer Don't run.
    QObject::connect(box, &QDialog::finished, box, [answer, done] { done(*answer); });
    // Not modal: the program goes on while the user thinks about it.
    box->show();
    dontRun->setFocus();
    return box;
}

} // namespace ScriptConsent
