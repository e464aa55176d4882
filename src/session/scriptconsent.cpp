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
#include <utility>

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

constexpr char32_t CR = U'\r';
constexpr char32_t LF = U'\n';
constexpr char32_t TAB = U'\t';

// Characters that change how the text around them looks, or do not look like anything.
bool isHidden(char32_t c)
{
    switch (QChar::category(c)) {
    case QChar::Other_Control:
    case QChar::Other_Format:
    case QChar::Other_Surrogate: // one without its pair
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
        return c != LF && c != TAB;
    default:
        return false;
    }
}

// The characters after which the script engine starts a new line.
bool endsLine(char32_t c)
{
    return c == CR || c == QChar::LineSeparator || c == QChar::ParagraphSeparator;
}

QString escaped(char32_t c)
{
    const QString hex = QString::number(uint(c), 16).toUpper();
    return QStringLiteral("<U+%1>").arg(hex.rightJustified(4, u'0'));
}

// The code point at i (a lone surrogate as itself) and how many code units it takes.
std::pair<char32_t, qsizetype> codePointAt(const QString &text, qsizetype i)
{
    const QChar c = text.at(i);
    if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
        return { QChar::surrogateToUcs4(c, text.at(i + 1)), 2 };
    return { c.unicode(), 1 };
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

QString Shown(const QString &text)
{
    QString shown;
    shown.reserve(text.size());
    for (qsizetype i = 0; i < text.size();) {
        const auto [c, units] = codePointAt(text, i);
        const bool lineEnd = c == CR && i + 1 < text.size() && text.at(i + 1) == u'\n';
        if (lineEnd) {
            // CR LF: the ordinary line end.
        } else if (isHidden(c)) {
            shown += escaped(c);
            if (endsLine(c))
                shown += u'\n';
        } else {
            shown += QStringView(text).sliced(i, units);
        }
        i += units;
    }
    return shown;
}

QWidget *Ask(QWidget *parent, const QString &host, const QString &script,
    std::function<void(Answer)> done)
{
    auto *box = new QDialog(parent);
    box->setObjectName(QStringLiteral("frmScriptConsent"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowTitle(QStringLiteral("Script from ") + Shown(host));
    auto *question = new QLabel(QStringLiteral("The host wants to run a script in this session."));
    question->setObjectName(QStringLiteral("lblQuestion"));
    question->setTextFormat(Qt::PlainText);
    auto *asking = new QLabel(QStringLiteral("Host: ") + Shown(host));
    asking->setObjectName(QStringLiteral("lblHost"));
    asking->setTextFormat(Qt::PlainText);
    // The whole script, as plain text: no line of it hidden, no markup of the host rendered, no
    // character that hides or reorders what runs.
    auto *text = new QPlainTextEdit(Shown(script));
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
    layout->addWidget(asking);
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
