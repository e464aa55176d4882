#include "emulator/sound.h"

#include "emulator/emulator.h"
#include "emulator/emulog.h"
#include "runtime/errnum.h"
#include "runtime/wholefile.h"

#include <QAudioFormat>
#include <QAudioSink>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMediaDevices>
#include <QtEndian>

#include <fluidsynth.h>

namespace emu {

namespace {

constexpr int MidiRate = 44100;
// A WAV file's chunks before its data are read up to this much (a broken header cannot make
// the player read a whole large file to find nothing).
constexpr qint64 MaxHeader = 1 << 20;

[[noreturn]] void notOfKind(const QString &fileName, const char *kind)
{
    rt::raise(emuerror::BadSoundFile,
        emuerror::text(emuerror::BadSoundFile) + QStringLiteral(" (%1): ").arg(QLatin1String(kind))
            + fileName);
}

QString soundFont()
{
    const QDir fonts(QStringLiteral("/usr/share/sounds/sf2"));
    for (const QString &name : { QStringLiteral("default-GM.sf2"), QStringLiteral("TimGM6mb.sf2") }) {
        if (QFileInfo(fonts.filePath(name)).isFile())
            return fonts.filePath(name);
    }
    const QStringList others = fonts.entryList({ QStringLiteral("*.sf2") }, QDir::Files);
    return others.isEmpty() ? QString() : fonts.filePath(others.first());
}

void fluidLog(int level, const char *message, void *)
{
    qCDebug(lcEmulator) << "fluidsynth" << level << message;
}

} // namespace

// Where a sound's samples come from, read as the sink asks for them.
class SoundPlayer::Source : public QIODevice
{
public:
    QAudioFormat format;
    bool isSequential() const override { return true; }

protected:
    qint64 writeData(const char *, qint64) override { return -1; }
};

namespace {

// The data chunk of a WAV file.
class WaveSource : public SoundPlayer::Source
{
public:
    explicit WaveSource(const QString &fileName)
        : m_file(fileName)
    {
        rt::openNamedFile(m_file, m_file.fileName());
        readHeader(fileName);
        open(QIODevice::ReadOnly);
    }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        const qint64 n = m_file.read(data, std::min(maxSize, m_left));
        if (n <= 0)
            return m_left > 0 && n < 0 ? -1 : 0;
        m_left -= n;
        return n;
    }
    qint64 bytesAvailable() const override { return m_left + QIODevice::bytesAvailable(); }

private:
    void readHeader(const QString &fileName)
    {
        const QByteArray riff = m_file.read(12);
        if (riff.size() < 12 || !riff.startsWith("RIFF") || riff.mid(8, 4) != "WAVE")
            notOfKind(fileName, "WAV");
        bool haveFormat = false;
        while (m_file.pos() < MaxHeader) {
            const QByteArray chunk = m_file.read(8);
            if (chunk.size() < 8)
                notOfKind(fileName, "WAV");
            const quint32 size = qFromLittleEndian<quint32>(chunk.constData() + 4);
            if (chunk.startsWith("fmt ")) {
                readFormat(m_file.read(std::min<quint32>(size, 64)), fileName);
                if (size > 64)
                    m_file.seek(m_file.pos() + (size - 64));
                haveFormat = true;
                if (size % 2)
                    m_file.read(1);
            } else if (chunk.startsWith("data")) {
                if (!haveFormat)
                    notOfKind(fileName, "WAV");
                m_left = std::min<qint64>(size, m_file.size() - m_file.pos());
                return;
            } else if (!m_file.seek(m_file.pos() + size + (size % 2))) {
                notOfKind(fileName, "WAV");
            }
        }
        notOfKind(fileName, "WAV");
    }

    void readFormat(const QByteArray &fmt, const QString &fileName)
    {
        if (fmt.size() < 16)
            notOfKind(fileName, "WAV");
        const char *p = fmt.constData();
        quint16 tag = qFromLittleEndian<quint16>(p);
        const quint16 channels = qFromLittleEndian<quint16>(p + 2);
        const quint32 rate = qFromLittleEndian<quint32>(p + 4);
        const quint16 bits = qFromLittleEndian<quint16>(p + 14);
        if (tag == 0xFFFE && fmt.size() >= 26) // extensible: the sub-format's tag
            tag = qFromLittleEndian<quint16>(p + 24);
        QAudioFormat::SampleFormat sample = QAudioFormat::Unknown;
        if (tag == 1 && bits == 8)
            sample = QAudioFormat::UInt8;
        else if (tag == 1 && bits == 16)
            sample = QAudioFormat::Int16;
        else if (tag == 1 && bits == 32)
            sample = QAudioFormat::Int32;
        else if (tag == 3 && bits == 32)
            sample = QAudioFormat::Float;
        if (sample == QAudioFormat::Unknown || channels == 0 || channels > 8 || rate == 0
            || rate > 384000)
            notOfKind(fileName, "PCM WAV");
        format.setSampleFormat(sample);
        format.setChannelCount(channels);
        format.setSampleRate(int(rate));
    }

    QFile m_file;
    qint64 m_left = 0;
};

// A MIDI file rendered by the synthesizer as the sink asks for samples.
class MidiSource : public SoundPlayer::Source
{
public:
    explicit MidiSource(const QString &fileName)
    {
        QFile file(fileName);
        rt::openNamedFile(file, file.fileName());
        if (file.read(4) != "MThd")
            notOfKind(fileName, "MIDI");
        const QString font = soundFont();
        if (font.isEmpty())
            rt::raise(emuerror::NoSoundFont);
        for (int level = FLUID_PANIC; level <= FLUID_DBG; ++level)
            fluid_set_log_function(level, fluidLog, nullptr);
        m_settings = new_fluid_settings();
        fluid_settings_setnum(m_settings, "synth.sample-rate", MidiRate);
        // The player keeps time by the samples rendered, not by the clock.
        fluid_settings_setstr(m_settings, "player.timing-source", "sample");
        m_synth = new_fluid_synth(m_settings);
        if (fluid_synth_sfload(m_synth, QFile::encodeName(font).constData(), 1) == FLUID_FAILED)
            rt::raise(emuerror::NoSoundFont, emuerror::text(emuerror::NoSoundFont) + QStringLiteral(": ") + font);
        m_player = new_fluid_player(m_synth);
        if (fluid_player_add(m_player, QFile::encodeName(fileName).constData()) == FLUID_FAILED
            || fluid_player_play(m_player) == FLUID_FAILED)
            notOfKind(fileName, "MIDI");
        format.setSampleFormat(QAudioFormat::Int16);
        format.setChannelCount(2);
        format.setSampleRate(MidiRate);
        open(QIODevice::ReadOnly);
    }
    ~MidiSource() override
    {
        if (m_player) {
            fluid_player_stop(m_player);
            delete_fluid_player(m_player);
        }
        if (m_synth)
            delete_fluid_synth(m_synth);
        if (m_settings)
            delete_fluid_settings(m_settings);
    }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        if (fluid_player_get_status(m_player) != FLUID_PLAYER_PLAYING)
            return 0;
        const int frames = int(std::min<qint64>(maxSize / 4, 4096));
        if (frames <= 0)
            return 0;
        if (fluid_synth_write_s16(m_synth, frames, data, 0, 2, data, 1, 2) != FLUID_OK)
            return -1;
        return qint64(frames) * 4;
    }
    qint64 bytesAvailable() const override
    {
        return (fluid_player_get_status(m_player) == FLUID_PLAYER_PLAYING ? 16384 : 0)
            + QIODevice::bytesAvailable();
    }

private:
    fluid_settings_t *m_settings = nullptr;
    fluid_synth_t *m_synth = nullptr;
    fluid_player_t *m_player = nullptr;
};

} // namespace

SoundPlayer *SoundPlayer::of(QObject *control)
{
    if (auto *player = control->findChild<SoundPlayer *>(QString(), Qt::FindDirectChildrenOnly))
        return player;
    return new SoundPlayer(control);
}

SoundPlayer::SoundPlayer(QObject *control)
    : QObject(control)
{ }

SoundPlayer::~SoundPlayer()
{
    if (m_sink) {
        m_sink->stop();
        delete m_sink;
    }
}

void SoundPlayer::playWave(const QString &fileName)
{
    play(std::make_unique<WaveSource>(fileName));
}

void SoundPlayer::playMidi(const QString &fileName)
{
    play(std::make_unique<MidiSource>(fileName));
}

bool SoundPlayer::isPlaying() const
{
    return m_sink && m_sink->state() == QAudio::ActiveState;
}

void SoundPlayer::stop()
{
    if (!m_sink)
        return;
    QAudioSink *sink = m_sink;
    m_sink = nullptr;
    sink->disconnect(this);
    sink->stop();
    sink->deleteLater();
    emit finished();
}

void SoundPlayer::play(std::unique_ptr<Source> source)
{
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull())
        rt::raise(emuerror::NoSoundDevice);
    stop();
    // Without a parent: a sink's platform part takes the sink's parent as its own, and the two
    // would delete it twice.
    m_sink = new QAudioSink(device, source->format);
    Source *samples = source.release();
    samples->setParent(m_sink);
    connect(m_sink, &QAudioSink::stateChanged, this, [this](QAudio::State state) {
        // Idle after the last sample: the sound has been played.
        if (state == QAudio::IdleState || state == QAudio::StoppedState)
            stop();
    });
    m_sink->start(samples);
    if (m_sink->error() != QAudio::NoError) {
        qCDebug(lcEmulator) << "sound output refused the sound:" << m_sink->error();
        stop();
        rt::raise(emuerror::NoSoundDevice);
    }
}

} // namespace emu
