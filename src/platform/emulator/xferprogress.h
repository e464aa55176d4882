#pragma once
// A small modeless window that follows a running file transfer: the file in hand, the bytes so
// far, the average rate since it began, and a Cancel button (cancelRequested(); the window stays
// until its owner deletes it). It knows nothing of how the transfer is done.

#include <QElapsedTimer>
#include <QWidget>

class QLabel;
class QPushButton;

namespace emu {

class XferProgress : public QWidget
{
    Q_OBJECT

public:
    explicit XferProgress(const QString &title, QWidget *parent = nullptr);

    void showProgress(const QString &fileName, qint64 bytes);

    QString fileText() const;
    QString bytesText() const;
    QString rateText() const;

signals:
    void cancelRequested();

protected:
    void closeEvent(QCloseEvent *event) override;
    // The window opens centred over its owner (the session's terminal), not where the window
    // manager puts new windows.
    void showEvent(QShowEvent *event) override;

private:
    QLabel *m_file;
    QLabel *m_bytes;
    QLabel *m_rate;
    QPushButton *m_cancel;
    QElapsedTimer m_clock;
    bool m_placed = false;
};

} // namespace emu
