#pragma once
// Which outside program runs a file transfer by protocol, and with which options. XModem,
// YModem and ZModem are lrzsz's programs (sx, sb, sz send; rx, rb, rz receive, always in their
// restricted mode, which refuses the commands a sender may ask to run); Kermit is C-Kermit,
// which wants a terminal on its side and takes its settings from a command file (written by
// the caller from `script`): it keeps a received file and does nothing else a sender asks (no
// printing or mailing it, no remote commands). Nothing here starts a program (xferengine.h
// does).
//
// Codes and units:
// - protocol 1 Kermit, 2 XModem, 3 YModem, 4 ZModem.
// - An upload's overwrite choice counts for ZModem only (for the others the receiver decides):
//   0 never, 1 always, 2 append, 3 when newer, 4 when newer or longer, 5 resume. Resume needs
//   binary mode: a text upload changes the file's length on the way, so it starts afresh.
// - Text mode converts line ends on the way. A ZModem sender says itself whether its file is
//   text, so a ZModem download follows the sender.
// - Time-outs are in seconds (0 or less: the program's own). Kermit's end-of-packet, quote and
//   repeat characters are character codes; a code outside what Kermit allows leaves the
//   program's own, and repeat 0 turns repeat counts off. KermitCRC non-zero asks for the 16-bit
//   CRC, 0 for the one-character checksum. Kermit has one retry limit for every packet: it gets
//   the larger of the init and error retries.

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace emu {

namespace xferprotocol {
constexpr int Ascii = 0;
constexpr int Kermit = 1;
constexpr int XModem = 2;
constexpr int YModem = 3;
constexpr int ZModem = 4;
} // namespace xferprotocol

// How a transfer of any protocol ended, as its finished() signal reports it.
namespace xferresult {
constexpr int Completed = 0;
constexpr int Aborted = 1;
constexpr int Failed = 2;
} // namespace xferresult

struct XferSettings
{
    int timeout = 10; // of the protocol in use
    int kermitInitRetry = 10;
    int kermitErrRetry = 5;
    int kermitEol = 13;
    int kermitQuote = 35;
    int kermitRepeat = 126;
    int kermitCrc = 0;
};

struct XferRequest
{
    int protocol = xferprotocol::ZModem;
    bool upload = false;
    bool binary = true;
    int overwrite = 0;
    // Upload: the files to send, as absolute paths. XModem download: the one file's name (the
    // protocol carries none); the others take the names the sender gives.
    QStringList files;
    XferSettings settings;
};

struct XferCommand
{
    QString program;
    QStringList arguments;
    bool terminal = false;   // runs on a pseudo-terminal
    QByteArray script;       // Kermit's command file, to be written at scriptPath
    QString scriptPath;
    QString logPath;         // Kermit's transaction log (the files it completed)
};

// The command for a request; the program's own files (Kermit's command file and log) go into
// privateDir, never into the folder that receives.
XferCommand xferCommand(const XferRequest &request, const QString &privateDir);

// The program a request runs (its name, looked up in PATH).
QString xferProgram(int protocol, bool upload);

// A file to upload must be a regular file this process may read (a FIFO or a device would keep
// the transfer waiting on it): raises 53 File not found for a missing one, 75 Path/File access
// error with the reason for a folder, a FIFO, a device or a file it may not read.
void requireUploadFile(const QString &name);

} // namespace emu
