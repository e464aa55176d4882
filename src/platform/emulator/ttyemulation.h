#pragma once
// The plain TTY: printable characters, CR, LF, BS, HT, BEL and FF (clear screen); every other
// control character is ignored. Lines wrap at the right margin; a wide character that does not
// fit in the last column goes to the next line.

#include "emulator/emulation.h"
#include "emulator/grid.h"

namespace emu {

class TtyEmulation : public Emulation
{
public:
    TtyEmulation(int rows, int cols, EmulationSink *sink);

    void feed(const char *data, qsizetype len) override;
    void setDialect(const HostDialect &dialect) override;
    int rows() const override { return m_grid.rows(); }
    int cols() const override { return m_grid.cols(); }
    void resize(int rows, int cols) override;
    void readRow(int row, Cell *out) const override;
    QPoint cursor() const override { return QPoint(m_col, m_row); }
    bool cursorVisible() const override { return true; }
    void setCursor(int row, int col) override;
    void putCells(int row, int col, const Cell *cells, int n) override;
    void reset() override;
    void newLink() override { m_decoder.reset(); }
    QByteArray key(int qtKey, Qt::KeyboardModifiers mods, const QString &text) override;
    void setAnswerBack(const QByteArray &text) override { m_answerBack = text; }

private:
    const char *printAscii(const char *p, const char *end);
    void control(char32_t c);
    void print(char32_t ch);
    void lineFeed();
    void clearScreen();
    void reportRows();

    EmulationSink *m_sink;
    Grid m_grid;
    HostDecoder m_decoder;
    int m_row = 0;
    int m_col = 0;
    bool m_wrapPending = false; // the last column was written; the next character wraps
    QByteArray m_answerBack;
    ChangedRows m_printed; // rows written by characters since the last report
};

} // namespace emu
