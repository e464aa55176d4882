#pragma once
// The About box: the product's picture with its name, release and copyright notice, shown
// modally with an OK button (Help, About) or for a number of seconds without one. Also the
// product's pictures and version numbers, which the splash window shows too.

#include "runtime/form.h"

#include <QPixmap>

class QLabel;
class QPushButton;

namespace rt {
class Timer;
}

// The executable's version numbers (the application's version, "major.minor.revision").
struct VersionNumbers
{
    rt::Int major = 0;
    rt::Int minor = 0;
    rt::Int revision = 0;
};
VersionNumbers AppVersion();
// "major.minor.revision".
QString BuildNumber(const VersionNumbers &version);

// The product's pictures: 9001 the About box's background, 9002 the splash window's. Any other
// id gives a null picture.
QPixmap ProductPicture(rt::Long id);
// Puts product picture id into a picture label and sizes window to it.
void ShowProductPicture(QLabel *picture, QWidget *window, rt::Long id);
// Moves a window to the centre of the primary screen.
void CenterOnScreen(QWidget *window);

class frmAboutBox : public rt::Form
{
    Q_OBJECT
public:
    explicit frmAboutBox(QObject *parent = nullptr);
    // The program's one About box (made on first use, owned by the application).
    static frmAboutBox &instance();

    // Shows the box: time below 1 modally with OK, else without blocking and without OK, closing
    // itself after |time| seconds. Answers the box.
    static frmAboutBox *ShowAbout(rt::Int time);

    // The release line: "Release ", the release text, the version text and the build number.
    static QString ReleaseLine(const QString &release, const VersionNumbers &version);

    QLabel *picBackground = nullptr;
    QLabel *lbProduct = nullptr;
    QLabel *lbRelease = nullptr;
    QLabel *lbCopyright = nullptr;
    QPushButton *cmdOK = nullptr;
    rt::Timer *Timer = nullptr;

protected:
    QWidget *createWidgets() override;
    void Form_Load() override;

private:
    void cmdOK_Click();
    void Timer_Timer();

    bool m_okVisible = true;
};
