#include "emulator/xferplan.h"

#include "runtime/errnum.h"
#include "runtime/error.h"
#include "runtime/wholefile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace emu {

namespace {

struct ProgramRow
{
    int protocol;
    const char *send;
    const char *receive;
};

constexpr ProgramRow programs[] = {
    { xferprotocol::Kermit, "kermit", "kermit" },
    { xferprotocol::XModem, "sx", "rx" },
    { xferprotocol::YModem, "sb", "rb" },
    { xferprotocol::ZModem, "sz", "rz" },
};

// sz's option for each upload overwrite choice (0-5).
constexpr const char *zmodemOverwrite[] = { "-p", "-y", "-+", "-n", "-N", "-r" };
constexpr int resumeChoice = 5;
constexpr int zmodemWindow = 128 * 1024;

bool inRange(int value, int low, int high)
{
    return value >= low && value <= high;
}

// Kermit's prefix characters: printable, outside the range of the letters it encodes.
bool kermitPrefix(int code)
{
    return inRange(code, 33, 62) || inRange(code, 96, 126);
}

QStringList lrzszArguments(const XferRequest &r)
{
    // -vv: file names and byte counts on standard error, which is read for progress.
    QStringList args { QStringLiteral("-vv") };
    if (r.settings.timeout > 0)
        args << QStringLiteral("-t") << QString::number(qMin(r.settings.timeout, 3000) * 10);
    if (r.upload || r.protocol != xferprotocol::ZModem)
        args << (r.binary ? QStringLiteral("-b") : QStringLiteral("-a"));
    if (!r.upload) {
        // No directories, no names with a leading dot, nothing outside the working folder.
        args << QStringLiteral("-R");
        return args << r.files.mid(0, r.protocol == xferprotocol::XModem ? 1 : 0);
    }
    if (r.protocol == xferprotocol::ZModem && inRange(r.overwrite, 0, 5)
        && (r.overwrite != resumeChoice || r.binary))
        args << QLatin1String(zmodemOverwrite[r.overwrite]);
    // YModem's blocks are of 1024 bytes (sb would send XModem's 128 otherwise).
    if (r.protocol == xferprotocol::YModem)
        args << QStringLiteral("-k");
    // ZModem streams without waiting for its receiver: a window keeps what is under way (in
    // our buffers and on a slow line) bounded, so that its time-outs keep their meaning.
    if (r.protocol == xferprotocol::ZModem)
        args << QStringLiteral("-w") << QString::number(zmodemWindow);
    return args << r.files;
}

QByteArray kermitScript(const XferSettings &s, const QString &logPath)
{
    QStringList lines {
        QStringLiteral("set file names literal"),
        QStringLiteral("set send pathnames off"),
        QStringLiteral("set receive pathnames off"),
        QStringLiteral("set wildcard-expansion off"),
        QStringLiteral("set transfer mode manual"),
        QStringLiteral("set file incomplete discard"),
        QStringLiteral("set delay 0"),
        QStringLiteral("set retry %1").arg(qMax(0, qMax(s.kermitInitRetry, s.kermitErrRetry))),
        QStringLiteral("set block-check %1").arg(s.kermitCrc ? 3 : 1),
        // A file is kept, nothing else: the sender's disposition (print it, mail it: commands
        // run through the shell with options the sender chose) is ignored, and none of the
        // functions a remote Kermit may ask for is served. (Changing folders is left on: off,
        // it also refuses a file whose name has a path, which is otherwise kept by its base
        // name; outside server mode no sender can ask for it.)
        QStringLiteral("set attributes disposition off"),
        QStringLiteral("disable all"),
        QStringLiteral("enable cd"),
        QStringLiteral("disable enable"),
    };
    if (s.timeout > 0) {
        lines << QStringLiteral("set send timeout %1").arg(qMin(s.timeout, 94))
              << QStringLiteral("set receive timeout %1").arg(qMin(s.timeout, 94));
    }
    if (inRange(s.kermitEol, 1, 31)) {
        lines << QStringLiteral("set send end-of-packet %1").arg(s.kermitEol)
              << QStringLiteral("set receive end-of-packet %1").arg(s.kermitEol);
    }
    if (kermitPrefix(s.kermitQuote)) {
        lines << QStringLiteral("set send control-prefix %1").arg(s.kermitQuote)
              << QStringLiteral("set receive control-prefix %1").arg(s.kermitQuote);
    }
    if (s.kermitRepeat == 0)
        lines << QStringLiteral("set repeat counts off");
    else if (kermitPrefix(s.kermitRepeat) && s.kermitRepeat != s.kermitQuote)
        lines << QStringLiteral("set repeat prefix %1").arg(s.kermitRepeat);
    lines << QStringLiteral("log transactions {%1}").arg(logPath);
    return (lines.join(u'\n') + u'\n').toUtf8();
}

XferCommand kermitCommand(const XferRequest &r, const QString &privateDir)
{
    XferCommand c;
    c.program = xferProgram(r.protocol, r.upload);
    c.terminal = true;
    c.logPath = QDir(privateDir).filePath(QStringLiteral("transfer.log"));
    c.script = kermitScript(r.settings, c.logPath);
    c.scriptPath = QDir(privateDir).filePath(QStringLiteral("transfer.ksc"));
    // The command file comes first; -Y leaves the user's own initialisation file out.
    c.arguments << c.scriptPath << QStringLiteral("-Y")
                << QStringLiteral("-q") << (r.binary ? QStringLiteral("-i") : QStringLiteral("-T"));
    if (r.upload)
        c.arguments << QStringLiteral("-s") << r.files;
    else
        c.arguments << QStringLiteral("-r");
    return c;
}

} // namespace

QString xferProgram(int protocol, bool upload)
{
    for (const ProgramRow &row : programs) {
        if (row.protocol == protocol)
            return QLatin1String(upload ? row.send : row.receive);
    }
    return QString();
}

XferCommand xferCommand(const XferRequest &request, const QString &privateDir)
{
    if (request.protocol == xferprotocol::Kermit)
        return kermitCommand(request, privateDir);
    XferCommand c;
    c.program = xferProgram(request.protocol, request.upload);
    c.arguments = lrzszArguments(request);
    return c;
}

void requireUploadFile(const QString &name)
{
    QFile file;
    rt::openNamedFile(file, name);
}

} // namespace emu
