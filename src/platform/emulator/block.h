#pragma once
// A rectangle of screen cells (text and colours) that GetBlock takes from the screen and
// SetBlock puts back. The caller of GetBlock owns the block.

#include "emulator/cell.h"

#include <QObject>
#include <QString>

#include <vector>

namespace emu {

class Block : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "NVWin32.Block")
    Q_PROPERTY(int Rows READ Rows CONSTANT)
    Q_PROPERTY(int Cols READ Cols CONSTANT)
    Q_PROPERTY(QString Text READ Text CONSTANT)

public:
    Block(int rows, int cols, QObject *parent = nullptr);

    int Rows() const { return m_rows; }
    int Cols() const { return m_cols; }
    // The text of a row (0 = top), the right halves of wide characters left out; empty outside
    // the block.
    Q_INVOKABLE QString Line(int row) const;
    // The rows joined by "\n", trailing blanks kept.
    QString Text() const;

    Cell *row(int r) { return m_cells.data() + ptrdiff_t(r) * m_cols; }
    const Cell *row(int r) const { return m_cells.data() + ptrdiff_t(r) * m_cols; }

private:
    int m_rows;
    int m_cols;
    std::vector<Cell> m_cells;
};

} // namespace emu
