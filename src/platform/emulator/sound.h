#pragma once
// The control's sounds: a WAV file (PCM of 8, 16 or 32 bits, or 32-bit float) or a MIDI file
// played through the desktop's default sound output, one sound at a time. A MIDI file is
// rendered as it plays by a software synthesizer (fluidsynth) with the system's General MIDI
// sound font (/usr/share/sounds/sf2). The sound is read from the file as it plays, so a long
// one costs no memory and starting it does not wait.
//
// Errors (rt::Error): 53 a file that is not there or no regular file, 75 one that cannot be
// read, 30013 a file that is not of the kind asked for, 30011 no sound output on the machine,
// 30012 no sound font.

#include <QObject>
#include <memory>

class QAudioSink;
class QIODevice;

namespace emu {

class SoundPlayer : public QObject
{
    Q_OBJECT

public:
    // The player of a control (made on first use).
    static SoundPlayer *of(QObject *control);

    ~SoundPlayer() override;

    void playWave(const QString &fileName);
    void playMidi(const QString &fileName);
    void stop();
    bool isPlaying() const;

    // Where a sound's samples come from (a WAV file's data, a MIDI file's synthesizer).
    class Source;

signals:
    // A sound ended (played to its end, or stopped for the next one).
    void finished();

private:
    explicit SoundPlayer(QObject *control);
    void play(std::unique_ptr<Source> source);

    // The sink of the sound playing; its source is its child, so it goes after the sink that
    // reads it.
    QAudioSink *m_sink = nullptr;
};

} // namespace emu
