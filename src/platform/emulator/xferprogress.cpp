#include "emulator/xferprogress.h"

#include <QCloseEvent>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

namespace emu {

namespace {

// "1,234,567 bytes"
QString formatBytes(qint64 bytes)
{
    QLocale locale = QLocale::c();
    locale.setNumberOptions(QLocale::DefaultNumberOptions);
    return locale.toString(bytes) + QStringLiteral(" bytes");
}

// "512 bytes/s", "12.5 KB/s", "3.2 MB/s"
QString formatRate(double bytesPerSecond)
{
    if (bytesPerSecond < 1024)
        return QStringLiteral("%1 bytes/s").arg(qRound64(bytesPerSecond));
    if (bytesPerSecond < 1024 * 1024)
        return QStringLiteral("%1 KB/s").arg(bytesPerSecond / 1024, 0, 'f', 1);
    return QStringLiteral("%1 MB/s").arg(bytesPerSecond / (1024 * 1024), 0, 'f', 1);
}

} // namespace

void XferProgress::showEvent(QShowEvent *event)
{
    if (!m_placed && parentWidget()) {
        m_placed = true;
        adjustSize();
        const QWidget *owner = parentWidget();
        const QPoint centre = owner->mapToGlobal(owner->rect().center());
        move(centre - QPoint(width() / 2, height() / 2));
    }
    QWidget::showEvent(event);
}

XferProgress::XferProgress(const QString &title, QWidget *parent)
    : QWidget(parent, Qt::Tool)
    , m_file(new QLabel(this))
    , m_bytes(new QLabel(this))
    , m_rate(new QLabel(this))
    , m_cancel(new QPushButton(QStringLiteral("Cancel"), this))
{
    setWindowTitle(title);
    setAttribute(Qt::WA_ShowWithoutActivating);
    m_file->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_file->setMinimumWidth(260);
    auto *fields = new QFormLayout;
    fields->addRow(QStringLiteral("File:"), m_file);
    fields->addRow(QStringLiteral("Transferred:"), m_bytes);
    fields->addRow(QStringLiteral("Rate:"), m_rate);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_cancel);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addLayout(buttons);
    connect(m_cancel, &QPushButton::clicked, this, &XferProgress::cancelRequested);
    m_clock.start();
    showProgress(QString(), 0);
}

void XferProgress::showProgress(const QString &fileName, qint64 bytes)
{
    m_file->setText(fileName);
    m_bytes->setText(formatBytes(bytes));
    const double seconds = double(m_clock.elapsed()) / 1000.0;
    m_rate->setText(seconds > 0.2 ? formatRate(double(bytes) / seconds) : QString());
}

QString XferProgress::fileText() const
{
    return m_file->text();
}

QString XferProgress::bytesText() const
{
    return m_bytes->text();
}

QString XferProgress::rateText() const
{
    return m_rate->text();
}

// Closing the window by its close box cancels the transfer, as the button does.
void XferProgress::closeEvent(QCloseEvent *event)
{
    event->ignore();
    emit cancelRequested();
}

} // namespace emu
