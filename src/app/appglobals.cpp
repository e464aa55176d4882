#include "app/appglobals.h"

Q_LOGGING_CATEGORY(lcApp, "norvalis.app", QtInfoMsg)

bool gStandalone = false;
bool gTerminating = false;
rt::Int gTerminatePrompt = 0;
bool gCleanupPending = false;
bool gCtrlTabCycling = false;
bool gSessionCreated = false;
rt::Long gROTCookie = 0;
std::unique_ptr<OrderedList> gActivationList;
QPointer<script::ScriptHost> gScriptHost;
QPointer<rt::Timer> gCleanupTimer;
QPointer<dde::Topic> gSystemTopic;

QString SettingsKey(const QString &name)
{
    return QStringLiteral("Software\\Dremo\\Nvwin2k\\") + name;
}

QString ProductTitle()
{
    return QStringLiteral("Norvalis 2000");
}
