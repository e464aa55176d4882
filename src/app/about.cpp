#include "app/about.h"

#include "app/appglobals.h"
#include "app/globals.h"
#include "app/norvalis.h"
#include "runtime/controls.h"
#include "runtime/interaction.h"
#include "runtime/screen.h"
#include "runtime/timer.h"
#include "runtime/values.h"

#include <QCoreApplication>
#include <QFont>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPushButton>
#include <QVersionNumber>
#include <QWidget>
#include <cstdlib>

namespace {

// The text of the executable's version information that the release line shows.
const QString VersionText = QStringLiteral("for Linux");

// Draws a product picture: a dark gradient, a terminal window and, when given, a title.
QPixmap paintPicture(
    const QSize &size, const QColor &top, const QColor &bottom, const QString &title = QString())
{
    QPixmap picture(size);
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient background(0, 0, 0, size.height());
    background.setColorAt(0, top);
    background.setColorAt(1, bottom);
    p.fillRect(picture.rect(), background);

    // A terminal window with a prompt at the right.
    const QRect screen(size.width() - 170, 36, 130, 92);
    p.setPen(QPen(QColor(200, 225, 235), 2));
    p.setBrush(QColor(10, 22, 30));
    p.drawRoundedRect(screen, 8, 8);
    QFont mono(QStringLiteral("Monospace"));
    mono.setStyleHint(QFont::TypeWriter);
    mono.setPixelSize(16);
    mono.setBold(true);
    p.setFont(mono);
    p.setPen(QColor(120, 230, 160));
    p.drawText(screen.adjusted(12, 10, -8, -8), Qt::AlignLeft | Qt::AlignTop,
        QStringLiteral("login:\n$ _"));

    // A band of light along the bottom.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 28));
    p.drawRect(0, size.height() - 64, size.width(), 64);

    if (!title.isEmpty()) {
        QFont font(QStringLiteral("Sans Serif"));
        font.setPixelSize(44);
        font.setBold(true);
        p.setFont(font);
        p.setPen(Qt::white);
        p.drawText(QRect(28, 40, size.width() - 220, 60), Qt::AlignLeft | Qt::AlignVCenter, title);
    }
    return picture;
}

QLabel *label(QWidget *parent, const QRect &geometry, int pixelSize, bool bold = false)
{
    auto *l = new QLabel(parent);
    l->setGeometry(geometry);
    l->setWordWrap(true);
    QFont font = l->font();
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    l->setFont(font);
    l->setStyleSheet(QStringLiteral("color: white; background: transparent;"));
    return l;
}

// The release text of the application object ("" before it exists).
QString productRelease()
{
    return gApp ? gApp->ProductRelease() : QString();
}

} // namespace

VersionNumbers AppVersion()
{
    const QVersionNumber v = QVersionNumber::fromString(QCoreApplication::applicationVersion());
    return { rt::Int(v.majorVersion()), rt::Int(v.minorVersion()), rt::Int(v.microVersion()) };
}

QString BuildNumber(const VersionNumbers &version)
{
    return QStringLiteral("%1.%2.%3").arg(version.major).arg(version.minor).arg(version.revision);
}

QPixmap ProductPicture(rt::Long id)
{
    switch (id) {
    case 9001:
        return paintPicture(QSize(480, 300), QColor(22, 62, 96), QColor(8, 24, 40));
    case 9002:
        return paintPicture(
            QSize(480, 260), QColor(16, 84, 104), QColor(6, 30, 44), QStringLiteral("Norvalis"));
    default:
        return QPixmap();
    }
}

void ShowProductPicture(QLabel *picture, QWidget *window, rt::Long id)
{
    picture->setPixmap(ProductPicture(id));
    picture->resize(picture->pixmap().size());
    window->setFixedSize(picture->size());
}

void CenterOnScreen(QWidget *window)
{
    const QSize screen(
        rt::twipsToPixelsX(rt::ScreenWidth()), rt::twipsToPixelsY(rt::ScreenHeight()));
    window->move((screen.width() - window->width()) / 2, (screen.height() - window->height()) / 2);
}

frmAboutBox::frmAboutBox(QObject *parent)
    : rt::Form(QStringLiteral("frmAboutBox"), parent)
{ }

frmAboutBox &frmAboutBox::instance()
{
    return ProgramObject<frmAboutBox>();
}

QString frmAboutBox::ReleaseLine(const QString &release, const VersionNumbers &version)
{
    return QStringLiteral("Release ") + release + u' ' + VersionText + QStringLiteral(" (")
        + BuildNumber(version) + QStringLiteral(") ");
}

frmAboutBox *frmAboutBox::ShowAbout(rt::Int time)
{
    frmAboutBox &box = instance();
    rt::ResumeNext silently;
    silently([&] { box.m_okVisible = time < 1; });
    silently([&] {
        if (time < 1)
            box.showModal();
        else
            box.show();
    });
    // A modal box is closed by now; the timer belongs to a box that is still up.
    silently([&] {
        if (box.isLoaded())
            box.Timer->setInterval(rt::MulInt(rt::Int(std::abs(time)), 1000));
    });
    silently([&] { rt::DoEvents(); });
    return &box;
}

QWidget *frmAboutBox::createWidgets()
{
    auto *window = new QWidget(nullptr, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
    window->setWindowTitle(QStringLiteral("About Norvalis"));
    picBackground = new QLabel(window);
    lbProduct = label(picBackground, QRect(24, 28, 280, 44), 30, true);
    QFont productFont = lbProduct->font();
    productFont.setFamily(QStringLiteral("Arial Rounded MT Bold"));
    lbProduct->setFont(productFont);
    lbRelease = label(picBackground, QRect(24, 78, 280, 40), 13);
    lbCopyright = label(picBackground, QRect(24, 150, 432, 70), 12);
    cmdOK = new QPushButton(QStringLiteral("OK"), window);
    cmdOK->setDefault(true);
    cmdOK->setAutoDefault(true);
    Timer = new rt::Timer(window);
    rt::onClick(cmdOK, this, [this] { cmdOK_Click(); });
    connect(Timer, &rt::Timer::tick, this, &frmAboutBox::Timer_Timer);
    return window;
}

void frmAboutBox::Form_Load()
{
    rt::ResumeNext silently;
    QWidget *window = widget();
    silently([&] { ShowProductPicture(picBackground, window, 9001); });
    silently([&] { lbProduct->setText(Globals::LoadResStr(100)); });
    silently([&] { lbRelease->setText(ReleaseLine(productRelease(), AppVersion())); });
    silently([&] { lbCopyright->setText(Globals::LoadResStr(101)); });
    silently([&] {
        cmdOK->setVisible(m_okVisible);
        cmdOK->adjustSize();
        const QSize box = picBackground->size();
        cmdOK->move(box.width() - cmdOK->width() - 16, box.height() - cmdOK->height() - 14);
        if (m_okVisible)
            cmdOK->setFocus();
    });
    silently([&] { CenterOnScreen(window); });
}

void frmAboutBox::cmdOK_Click()
{
    rt::ResumeNext silently;
    silently([&] { unload(); });
}

void frmAboutBox::Timer_Timer()
{
    rt::ResumeNext silently;
    silently([&] { unload(); });
}
