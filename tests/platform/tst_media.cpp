// The control's pictures and sounds: pictures drawn over cells and moving with their text as the
// screen scrolls, removed by file or all at once; WAV and MIDI files played through a sound
// server of the test's own (PulseAudio with a null sink), the clear error without any sound
// output, and the errors of files that are not what they should be.

#include "common/testutil.h"
#include "emulator/emulator.h"
#include "emulator/picturelayer.h"
#include "emulator/screenview.h"
#include "emulator/sound.h"
#include "runtime/errnum.h"

#include <QImage>
#include <QAudioDevice>
#include <QMediaDevices>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <sys/stat.h>

namespace {

QByteArray le16(quint16 v)
{
    QByteArray b(2, 0);
    qToLittleEndian(v, b.data());
    return b;
}
QByteArray le32(quint32 v)
{
    QByteArray b(4, 0);
    qToLittleEndian(v, b.data());
    return b;
}

// A WAV file of a tone: tag 1 PCM or 3 float, bits per sample, 0.3 s of mono at 8000 Hz.
QByteArray wave(quint16 tag, quint16 bits)
{
    const int frames = 2400;
    const int bytes = frames * bits / 8;
    QByteArray data(bytes, 0);
    for (int i = 0; i < bytes; ++i)
        data[i] = char((i * 7) & 0x3F);
    QByteArray fmt = le16(tag) + le16(1) + le32(8000) + le32(8000 * bits / 8) + le16(bits / 8)
        + le16(bits);
    return "RIFF" + le32(quint32(4 + 8 + fmt.size() + 8 + bytes)) + "WAVE" + "fmt "
        + le32(quint32(fmt.size())) + fmt + "LIST" + le32(4) + "INFO" + "data" + le32(quint32(bytes))
        + data;
}

// A MIDI file of one note of half a second.
QByteArray midi()
{
    const QByteArray track = QByteArray::fromHex("00903C64" "60803C40" "00FF2F00");
    return QByteArray("MThd") + QByteArray::fromHex("00000006000000010060") + "MTrk"
        + QByteArray::fromHex(QByteArray::number(track.size(), 16).rightJustified(8, '0')) + track;
}

} // namespace

class TestMedia : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QProcess m_server;
    bool m_serverUp = false;

    QString file(const QString &name, const QByteArray &contents)
    {
        const QString path = m_dir.filePath(name);
        writeBytes(path, contents);
        return path;
    }
    QString pngFile(const QString &name, QColor color)
    {
        QImage image(16, 16, QImage::Format_RGB32);
        image.fill(color);
        const QString path = m_dir.filePath(name);
        image.save(path);
        return path;
    }
    QProcess::ExitStatus pactl(const QStringList &arguments, QByteArray *out = nullptr)
    {
        QProcess p;
        p.start(QStringLiteral("pactl"), arguments);
        p.waitForFinished(10000);
        if (out)
            *out = p.readAllStandardOutput();
        return p.exitStatus();
    }

private slots:
    // A sound server without any output, on a socket of the test's own.
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        if (QStandardPaths::findExecutable(u"pulseaudio"_qs).isEmpty())
            return;
        const QString runtime = m_dir.filePath(u"pulse"_qs);
        QDir().mkpath(runtime);
        ::chmod(QFile::encodeName(runtime).constData(), 0700);
        const QString socket = runtime + u"/native"_qs;
        qputenv("PULSE_RUNTIME_PATH", runtime.toUtf8());
        qputenv("PULSE_STATE_PATH", runtime.toUtf8());
        qputenv("PULSE_SERVER", ("unix:" + socket).toUtf8());
        m_server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_server.start(u"pulseaudio"_qs,
            { u"-n"_qs, u"--daemonize=no"_qs, u"--exit-idle-time=-1"_qs, u"--disable-shm=yes"_qs,
                u"--use-pid-file=no"_qs, u"--system=no"_qs,
                u"--load=module-native-protocol-unix auth-anonymous=1 socket="_qs + socket });
        m_serverUp = m_server.waitForStarted() && QTest::qWaitFor([&] {
            return QFileInfo::exists(socket) || m_server.state() == QProcess::NotRunning;
        }, 10000) && m_server.state() == QProcess::Running;
    }
    void cleanupTestCase()
    {
        m_server.terminate();
        m_server.waitForFinished(5000);
    }

    // Pictures cover their cells and go up with their line.
    void pictures()
    {
        emu::nvEmulator control;
        control.resize(800, 480);
        control.show();
        const QString red = pngFile(u"red.png"_qs, Qt::red);
        const QString blue = pngFile(u"blue.png"_qs, Qt::blue);
        control.LoadImage(red, 2, 10, 4, 2);
        control.LoadImage(blue, 20, 12, 0, 0, 1, 1);
        emu::PictureLayer *layer = emu::PictureLayer::of(control.view(), control.screen());
        QCOMPARE(layer->pictures().size(), 2);
        const QSize cell = control.view()->cellSize();
        const QRect place = layer->placeOf(layer->pictures().at(0));
        QCOMPARE(place, QRect(2 * cell.width(), 10 * cell.height(), 4 * cell.width(), 2 * cell.height()));
        QCOMPARE(control.view()->grab().toImage().pixelColor(place.center()), QColor(Qt::red));

        // Three lines scroll off the top: the picture moves up three rows.
        control.Emulate(u"\x1b[24;1H\n\n\n"_qs);
        QTRY_COMPARE(layer->placeOf(layer->pictures().at(0)).top(), 7 * cell.height());
        const QImage after = control.view()->grab().toImage();
        QCOMPARE(after.pixelColor(layer->placeOf(layer->pictures().at(0)).center()), QColor(Qt::red));
        QVERIFY(after.pixelColor(place.center()) != QColor(Qt::red));

        control.UnloadImage(red);
        QCOMPARE(layer->pictures().size(), 1);
        QCOMPARE(layer->pictures().at(0).file, blue);
        control.LoadImage(red, 0, 0);
        control.UnloadImage();
        QVERIFY(layer->pictures().isEmpty());
    }

    void badPictures_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("col");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("error");
        QTest::newRow("missing file") << "none.png" << 0 << 0 << int(rt::err::FileNotFound);
        QTest::newRow("no picture") << "text.png" << 0 << 0 << int(rt::err::InvalidPicture);
        QTest::newRow("a directory") << "." << 0 << 0 << int(rt::err::PathFileAccess);
        QTest::newRow("column outside") << "red.png" << 200 << 0 << int(emu::emuerror::BadPosition);
        QTest::newRow("negative width") << "red.png" << 0 << -1 << int(emu::emuerror::BadPosition);
    }
    void badPictures()
    {
        QFETCH(QString, name);
        QFETCH(int, col);
        QFETCH(int, width);
        QFETCH(int, error);
        file(u"text.png"_qs, "not a picture\n");
        pngFile(u"red.png"_qs, Qt::red);
        emu::nvEmulator control;
        QCOMPARE(errorOf([&] {
            control.LoadImage(m_dir.filePath(name), rt::Int(col), 0, rt::Int(width));
        }), rt::Long(error));
        QVERIFY(emu::PictureLayer::of(control.view(), control.screen())->pictures().isEmpty());
    }

    // Without any sound output a sound answers its own error.
    void noSoundDevice()
    {
        if (!m_serverUp)
            QSKIP("pulseaudio is not installed or did not start");
        emu::nvEmulator control;
        const QString tone = file(u"tone.wav"_qs, wave(1, 16));
        QCOMPARE(errorOf([&] { control.PlayWave(tone); }), emu::emuerror::NoSoundDevice);
    }

    // With a null sink every kind of sound file plays to its end.
    void sounds_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("contents");
        QTest::newRow("WAV 16-bit") << "w16.wav" << wave(1, 16);
        QTest::newRow("WAV 8-bit") << "w8.wav" << wave(1, 8);
        QTest::newRow("WAV float") << "wf.wav" << wave(3, 32);
        QTest::newRow("MIDI") << "note.mid" << midi();
    }
    void sounds()
    {
        if (!m_serverUp)
            QSKIP("pulseaudio is not installed or did not start");
        QFETCH(QString, name);
        QFETCH(QByteArray, contents);
        QByteArray modules;
        pactl({ u"list"_qs, u"short"_qs, u"sinks"_qs }, &modules);
        if (!modules.contains("nvnull"))
            pactl({ u"load-module"_qs, u"module-null-sink"_qs, u"sink_name=nvnull"_qs });
        QTRY_VERIFY(!QMediaDevices::defaultAudioOutput().isNull());
        emu::nvEmulator control;
        emu::SoundPlayer *player = emu::SoundPlayer::of(&control);
        QSignalSpy finished(player, &emu::SoundPlayer::finished);
        const QString path = file(name, contents);
        if (name.endsWith(u".mid"_qs))
            control.PlayMIDI(path);
        else
            control.PlayWave(path);
        QByteArray inputs;
        QTRY_VERIFY((pactl({ u"list"_qs, u"short"_qs, u"sink-inputs"_qs }, &inputs), !inputs.isEmpty()));
        QVERIFY(finished.wait(10000));
        QVERIFY(!player->isPlaying());
    }

    void badSounds_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<bool>("isMidi");
        QTest::addColumn<int>("error");
        const int badKind = emu::emuerror::BadSoundFile;
        QTest::newRow("missing WAV") << "" << QByteArray() << false << int(rt::err::FileNotFound);
        QTest::newRow("text as WAV") << "text.wav" << QByteArray("hello\n") << false << badKind;
        QTest::newRow("24-bit WAV") << "w24.wav" << wave(1, 24) << false << badKind;
        QTest::newRow("cut WAV") << "cut.wav" << wave(1, 16).left(30) << false << badKind;
        QTest::newRow("text as MIDI") << "text.mid" << QByteArray("hello\n") << true << badKind;
        QTest::newRow("missing MIDI") << "" << QByteArray() << true << int(rt::err::FileNotFound);
        const int access = rt::err::PathFileAccess;
        QTest::newRow("FIFO as WAV") << "<fifo>" << QByteArray() << false << access;
        QTest::newRow("folder as WAV") << "<folder>" << QByteArray() << false << access;
        QTest::newRow("device as MIDI") << "/dev/zero" << QByteArray() << true << access;
        QTest::newRow("folder as MIDI") << "<folder>" << QByteArray() << true << access;
    }
    void badSounds()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, contents);
        QFETCH(bool, isMidi);
        QFETCH(int, error);
        QString path = name.isEmpty() ? m_dir.filePath(u"none"_qs) : name;
        if (name == u"<fifo>"_qs) {
            path = m_dir.filePath(u"sound.fifo"_qs);
            QFile::remove(path);
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        } else if (name == u"<folder>"_qs) {
            path = m_dir.filePath(u"sounds"_qs);
            QVERIFY(QDir().mkpath(path));
        } else if (!name.isEmpty() && !name.startsWith(u'/')) {
            path = file(name, contents);
        }
        emu::nvEmulator control;
        QCOMPARE(errorOf([&] { isMidi ? control.PlayMIDI(path) : control.PlayWave(path); }),
            rt::Long(error));
    }
};

QTEST_MAIN(TestMedia)
#include "tst_media.moc"
