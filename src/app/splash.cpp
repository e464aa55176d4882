#include "app/splash.h"

#include "app/about.h"
#include "app/appglobals.h"
#include "runtime/interaction.h"
#include "runtime/screen.h"
#include "runtime/timer.h"
#include "runtime/values.h"

#include <QLabel>
#include <QWidget>

frmSplash::frmSplash(QObject *parent)
    : rt::Form(QStringLiteral("frmSplash"), parent)
{ }

frmSplash &frmSplash::instance()
{
    return ProgramObject<frmSplash>();
}

QString frmSplash::BuildSuffix(rt::Int major, rt::Int minor, rt::Int revision)
{
    return QStringLiteral("             (build ") + BuildNumber({ major, minor, revision }) + u')';
}

frmSplash *frmSplash::ShowSplash(rt::Int time)
{
    frmSplash &splash = instance();
    rt::ResumeNext silently;
    silently([&] { splash.load(); });
    silently([&] { splash.Timer->setInterval(time < 1 ? 5000 : rt::MulInt(time, 1000)); });
    silently([&] { splash.show(); });
    silently([&] { rt::DoEvents(); });
    return &splash;
}

QWidget *frmSplash::createWidgets()
{
    auto *window = new QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint);
    window->setAttribute(Qt::WA_ShowWithoutActivating);
    picBackground = new QLabel(window);
    lbNotice = new QLabel(
        QStringLiteral("Terminal sessions for multi-user hosts. Starting..."), picBackground);
    lbNotice->setStyleSheet(QStringLiteral("color: white; background: transparent;"));
    Timer = new rt::Timer(window);
    connect(Timer, &rt::Timer::tick, this, &frmSplash::Timer_Timer);
    return window;
}

void frmSplash::Form_Load()
{
    rt::ResumeNext silently;
    QWidget *window = widget();
    silently([&] { ShowProductPicture(picBackground, window, 9002); });
    silently([&] {
        const VersionNumbers v = AppVersion();
        lbNotice->setText(lbNotice->text() + BuildSuffix(v.major, v.minor, v.revision));
        lbNotice->setGeometry(28, picBackground->height() - 44, picBackground->width() - 40, 24);
    });
    silently([&] { CenterOnScreen(window); });
}

void frmSplash::Timer_Timer()
{
    rt::ResumeNext silently;
    silently([&] { unload(); });
}
