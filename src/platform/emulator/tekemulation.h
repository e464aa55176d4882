#pragma once
// The Tektronix graphics terminals: the 4014 storage tube and the 4100 family (4105, 4107).
//
// 4014: GS enters graph mode (the first address moves the beam dark, each later one draws a
// vector to it), FS point-plot mode, RS incremental-plot mode (space pen up, P pen down, then
// D E A I H J B F step north, north-east, east ... north-west), US or CR alpha mode. Addresses
// are the terminal's packed coordinates: high Y, (extra byte,) low Y, high X, low X, each byte
// sent only when it changed, low X ending the address; 10-bit addresses address 1024 x 780,
// with the extra byte 4096 x 3120. Alpha-mode text is drawn at the beam in one of four
// character sizes (ESC 8-;; 81 columns and 38 lines by default), ESC ` - ESC d choose the line
// style, ESC FF clears the screen, ESC ENQ answers the status byte and the beam's address.
// Everything is drawn in the screen's graphics layer; the character cells stay empty.
//
// 4100: the text of the dialog area is ANSI (ESC [ sequences, as the 4105's entry has them,
// with its ESC [ = ... m renditions); ESC % ! 0 switches to Tektronix code, in which the 4014
// commands above draw, together with the 4100 commands ESC L F (move), ESC L G (draw),
// ESC L H (marker), ESC L T (graphic text), ESC M L (line colour), ESC M V (line style),
// ESC L Z (clear the dialog area), ESC K A (dialog area on or off); ESC % ! 1 goes back to
// ANSI. Other 4100 commands are skipped with their parameters.
//
// Graphics input (GIN): ESC SUB shows a crosshair over the graphics, which the user moves (the
// mouse, the arrow keys) and picks a place with: a key sends its character, a mouse button
// l, m or r (L, M, R with Shift), followed by the crosshair's 10-bit address and CR, and the
// crosshair goes. ESC ENQ meanwhile answers the crosshair's address instead of the beam's and
// ends graphics input as well; so do the mode controls (US, GS, FS, RS, CR), ESC FF and the
// change to ANSI code. The crosshair keeps its place from one graphics input to the next.
//
// With GmodeEnable off the graphics are taken in and not drawn.

#include "emulator/charemulation.h"

namespace emu {

class TekEmulation : public CharEmulation
{
public:
    enum class Model { Tek4014, Tek4100 };

    TekEmulation(Model model, int rows, int cols, EmulationSink *sink);

    const GraphicsLayer *graphics() const override { return &m_layer; }
    QByteArray key(int qtKey, Qt::KeyboardModifiers mods, const QString &text) override;
    std::optional<QPoint> graphicsInput() const override;
    void moveGraphicsInput(QPoint point) override;
    void pickGraphicsInput(char ch) override;
    void newLink() override;
    // A report of a point of the layer: first (the key's character or the status byte), then
    // the point's 10-bit address as high X, low X, high Y, low Y (each 0x20 + five bits), CR.
    static QByteArray report(char first, QPoint point);
    QPoint cursor() const override;
    // The 4014 has no character cursor (its text goes where the beam is).
    bool cursorVisible() const override;

protected:
    bool intercept(char32_t ch) override;
    void resetFamily() override;

private:
    enum class Mode { Alpha, Vector, Point, Incremental };
    // What the packed parameters after a 4100 command are for.
    enum class Command {
        None,
        Move,
        Draw,
        Marker,
        Text,
        LineIndex,
        LineStyle,
        DialogArea,
        Code,
        Skip
    };

    void doMode(const SequenceArgs &, int param);
    void doPage(const SequenceArgs &, int);
    void doInquire(const SequenceArgs &, int);
    void doGraphicsInput(const SequenceArgs &, int);
    void doCharSize(const SequenceArgs &, int param);
    void doLineStyle(const SequenceArgs &, int param);
    void doAlphaControl(const SequenceArgs &, int param);
    void doCode(const SequenceArgs &a, int);
    void doCommand(const SequenceArgs &, int param);
    void doClearDialog(const SequenceArgs &, int);
    void doTekRendition(const SequenceArgs &a, int);

    // Takes one character of a packed address; true with the point when it ends the address.
    bool address(char32_t ch, QPoint *point);
    bool incremental(char32_t ch);
    bool commandParameter(char32_t ch);
    void commandDone();
    void alphaChar(char32_t ch);
    void add(GraphicsItem item);
    void setTekCode(bool on);
    void endGraphicsInput();
    // An arrow key moves the crosshair (Shift: in fine steps); false for other keys.
    bool crosshairKey(int qtKey, Qt::KeyboardModifiers mods);
    int charWidth() const;
    int lineHeight() const;

    Model m_model;
    int m_tekTable = 0;
    int m_ansiTable = 0;
    GraphicsLayer m_layer;
    bool m_tekCode; // Tektronix code (the 4014 always); else the 4100's ANSI code
    Mode m_mode = Mode::Alpha;
    QPoint m_beam;
    bool m_dark = true; // the next vector moves without drawing
    bool m_penDown = false;
    int m_charSize = 1;
    int m_lineStyle = 0;
    int m_lineIndex = 0;
    bool m_graphicsInput = false;
    QPoint m_crosshair;
    // Where the text run of the layer's last item ends, and how many items the layer had then.
    QPoint m_runEnd { -1, -1 };
    size_t m_runItems = 0;

    // The address being received.
    int m_hiY = 0;
    int m_loY = 0;
    int m_hiX = 0;
    int m_extra = 0;
    bool m_gotLoY = false;
    bool m_lastWasLow = false;

    // The 4100 command being received and its parameters so far.
    Command m_command = Command::None;
    int m_intValue = 0;
    int m_textLeft = -1; // characters of a string still to come; -1: its count is next
    QString m_text;
};

} // namespace emu
