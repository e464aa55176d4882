#pragma once
// A running capture: the host's received or printer data written, as it arrives, into a text
// file (UTF-8; the host's bytes are decoded in its encoding, see hostencoding.h) or gathered for
// the clipboard.
//
// Modes: 0 a new file only (an existing file is refused with 58), 1 overwrite, 2 append,
// 3 the clipboard (the file name is not used; the text goes to the clipboard when the capture
// ends). Failures raise rt::Error: 76 the directory does not exist, 75 the file cannot be opened,
// 58 the file exists (mode 0), 5 a bad mode.

#include "emulator/hostencoding.h"

#include <QFile>
#include <QString>

namespace emu {

class CaptureFile
{
public:
    CaptureFile(const QString &fileName, int mode, HostEncoding encoding = HostEncoding::Utf8);
    ~CaptureFile();
    CaptureFile(const CaptureFile &) = delete;
    CaptureFile &operator=(const CaptureFile &) = delete;

    int mode() const { return m_mode; }
    QString fileName() const { return m_fileName; }
    // False when the file could not take the data (the capture should end).
    bool write(QByteArrayView bytes);
    void setEncoding(HostEncoding encoding);
    // Ends the capture: closes the file, or puts the text on the clipboard.
    void finish();

private:
    bool writeText(const QString &text);

    QString m_fileName;
    int m_mode;
    QFile m_file;
    QString m_clipText;
    HostDecoder m_decoder;
    bool m_finished = false;
};

} // namespace emu
