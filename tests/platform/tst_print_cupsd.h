#pragma once
// A print service of the test's own: cupsd started in the foreground with its configuration,
// spool, cache and socket in a temporary folder and cups-pdf queues; stopped when the object goes.
// The test talks to it alone (CUPS_SERVER names its socket). The system's CUPS configuration is
// never read or changed; only cups-pdf's own configuration (read, never written) says where the
// PDF files go: a folder of the user who prints.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>

#include <cups/cups.h>
#include <csignal>
#include <pwd.h>
#include <sys/prctl.h>
#include <unistd.h>

// Points this process at a print service that does not exist (a socket in folder that nobody
// listens on): only the PDF printers a test installs are there.
inline void useNoPrintService(const QString &folder)
{
    const QByteArray nowhere = QFile::encodeName(folder + QStringLiteral("/no-cups.sock"));
    qputenv("CUPS_SERVER", nowhere);
    cupsSetServer(nowhere.constData());
}

struct TestQueue
{
    QString name;
    QString ppd; // the driver description
    QStringList settings; // more lines of the queue's entry ("Accepting No" ...)
};

class TestCupsd
{
public:
    static constexpr const char *CupsPdfPpd = "/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd";

    // Why the service cannot run here; empty when it can.
    static QString unavailable()
    {
        if (!QFileInfo::exists(QStringLiteral("/usr/sbin/cupsd")))
            return QStringLiteral("cupsd is not installed (package cups)");
        if (!QFileInfo::exists(QStringLiteral("/usr/lib/cups/backend/cups-pdf"))
            || !QFileInfo::exists(QLatin1String(CupsPdfPpd)))
            return QStringLiteral("cups-pdf is not installed (package printer-driver-cups-pdf)");
        if (geteuid() != 0)
            return QStringLiteral("cups-pdf's backend runs only under a cupsd started as root");
        return {};
    }

    // cups-pdf's driver description, with paper sources (InputSlot names) added and another
    // default paper when given.
    static QString cupsPdfPpd(const QStringList &inputSlots = {}, const QString &defaultSize = {})
    {
        QFile file(QString::fromLatin1(CupsPdfPpd));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        QString ppd = QString::fromLatin1(file.readAll());
        if (!defaultSize.isEmpty())
            ppd.replace(QStringLiteral("*DefaultPageSize: A4"),
                QStringLiteral("*DefaultPageSize: ") + defaultSize);
        if (!inputSlots.isEmpty()) {
            QString ui = QStringLiteral("*OpenUI *InputSlot/Media Source: PickOne\n"
                                        "*OrderDependency: 20 AnySetup *InputSlot\n"
                                        "*DefaultInputSlot: %1\n")
                             .arg(inputSlots.first());
            for (const QString &slot : inputSlots)
                ui += QStringLiteral("*InputSlot %1/%1: \"\"\n").arg(slot);
            ui += QStringLiteral("*CloseUI: *InputSlot\n");
            ppd.insert(ppd.indexOf(QLatin1String("*OpenUI *PageSize")), ui);
        }
        return ppd;
    }

    // Where cups-pdf writes the files of the user who prints (its "Out" setting).
    static QString outputDir()
    {
        QString out = QStringLiteral("/var/spool/cups-pdf/${USER}");
        QFile conf(QStringLiteral("/etc/cups/cups-pdf.conf"));
        if (conf.open(QIODevice::ReadOnly)) {
            QTextStream in(&conf);
            while (!in.atEnd()) {
                const QString line = in.readLine().trimmed();
                if (line.startsWith(QLatin1String("Out ")))
                    out = line.mid(4).trimmed();
            }
        }
        const passwd *user = getpwuid(geteuid());
        out.replace(QStringLiteral("${HOME}"), QFile::decodeName(user ? user->pw_dir : ""));
        out.replace(QStringLiteral("${USER}"), QFile::decodeName(user ? user->pw_name : ""));
        return out;
    }

    ~TestCupsd() { stop(); }

    QString error() const { return m_error; }

    bool start(const QList<TestQueue> &queues, const QString &defaultQueue)
    {
        if (!m_dir.isValid())
            return fail(QStringLiteral("no temporary folder"));
        // The filters run as lp and must reach the spool below this folder.
        QFile::setPermissions(m_dir.path(),
            QFile::permissions(m_dir.path()) | QFile::ReadOther | QFile::ExeOther | QFile::ReadGroup
                | QFile::ExeGroup);
        for (const char *sub : { "conf/ppd", "spool/tmp", "cache", "state", "log" })
            QDir(m_dir.path()).mkpath(QLatin1String(sub));
        const QString root = m_dir.path();
        write(QStringLiteral("conf/cupsd.conf"),
            QStringLiteral("Listen %1/cups.sock\nLogLevel warn\nBrowsing No\nWebInterface No\n"
                           "DefaultAuthType None\n<Location />\n  Order allow,deny\n  Allow all\n"
                           "</Location>\n<Policy default>\n  <Limit All>\n    Order deny,allow\n"
                           "    Allow all\n  </Limit>\n</Policy>\n")
                .arg(root));
        write(QStringLiteral("conf/cups-files.conf"),
            QStringLiteral("ServerRoot %1/conf\nRequestRoot %1/spool\nTempDir %1/spool/tmp\n"
                           "CacheDir %1/cache\nStateDir %1/state\nServerBin /usr/lib/cups\n"
                           "DataDir /usr/share/cups\nErrorLog %1/log/error_log\n"
                           "AccessLog %1/log/access_log\nPageLog %1/log/page_log\n"
                           "Printcap %1/printcap\nSystemGroup root\n")
                .arg(root));
        QString printers;
        for (const TestQueue &queue : queues) {
            const QString tag = queue.name == defaultQueue ? QStringLiteral("DefaultPrinter")
                                                           : QStringLiteral("Printer");
            printers += QStringLiteral("<%1 %2>\nInfo %2\nDeviceURI cups-pdf:/\nState Idle\n"
                                       "Shared No\n%3\n")
                            .arg(tag, queue.name, queue.settings.join(u'\n'));
            if (!queue.settings.join(u'\n').contains(QLatin1String("Accepting")))
                printers += QStringLiteral("Accepting Yes\n");
            printers += QStringLiteral("</%1>\n").arg(tag);
            write(QStringLiteral("conf/ppd/%1.ppd").arg(queue.name), queue.ppd.toLatin1());
        }
        write(QStringLiteral("conf/printers.conf"), printers);

        m_cupsd.setProcessChannelMode(QProcess::MergedChannels);
        // A test that dies takes its service with it.
        m_cupsd.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
        m_cupsd.start(QStringLiteral("/usr/sbin/cupsd"),
            { QStringLiteral("-f"), QStringLiteral("-c"), root + QStringLiteral("/conf/cupsd.conf"),
                QStringLiteral("-s"), root + QStringLiteral("/conf/cups-files.conf") });
        if (!m_cupsd.waitForStarted())
            return fail(QStringLiteral("cupsd did not start: ") + m_cupsd.errorString());
        const QByteArray socket = QFile::encodeName(root + QStringLiteral("/cups.sock"));
        m_oldServer = qgetenv("CUPS_SERVER");
        qputenv("CUPS_SERVER", socket);
        cupsSetServer(socket.constData());
        const bool up = QTest::qWaitFor(
            [&] {
                if (m_cupsd.state() != QProcess::Running)
                    return true;
                http_t *http = httpConnect2(socket.constData(), 0, nullptr, AF_UNSPEC,
                    HTTP_ENCRYPTION_NEVER, 1, 200, nullptr);
                if (http)
                    httpClose(http);
                return http != nullptr;
            },
            20000);
        if (!up || m_cupsd.state() != QProcess::Running)
            return fail(QStringLiteral("cupsd did not come up: ")
                + QString::fromLocal8Bit(m_cupsd.readAll()) + log());
        return true;
    }

    // The PDF that cups-pdf made of a job whose title holds token, once it is complete.
    QString waitForOutput(const QString &token, int timeoutMs = 60000)
    {
        QString found;
        (void)QTest::qWaitFor(
            [&] {
                const QDir out(outputDir());
                for (const QFileInfo &info :
                    out.entryInfoList({ QStringLiteral("*.pdf") }, QDir::Files)) {
                    if (!info.fileName().contains(token))
                        continue;
                    QProcess check;
                    check.start(QStringLiteral("pdfinfo"), { info.filePath() });
                    if (check.waitForFinished() && check.exitCode() == 0)
                        found = info.filePath();
                }
                return !found.isEmpty();
            },
            timeoutMs);
        return found;
    }

    // The attributes the service keeps of a job.
    static QMap<QString, QString> jobAttributes(int job)
    {
        QMap<QString, QString> values;
        ipp_t *request = ippNewRequest(IPP_OP_GET_JOB_ATTRIBUTES);
        char uri[256];
        httpAssembleURIf(
            HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", 0, "/jobs/%d", job);
        ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "job-uri", nullptr, uri);
        ipp_t *response = cupsDoRequest(CUPS_HTTP_DEFAULT, request, "/");
        for (ipp_attribute_t *attr = ippFirstAttribute(response); attr;
             attr = ippNextAttribute(response)) {
            char text[1024];
            if (ippGetName(attr) && ippAttributeString(attr, text, sizeof text) > 0)
                values.insert(QString::fromUtf8(ippGetName(attr)), QString::fromUtf8(text));
        }
        ippDelete(response);
        return values;
    }

    // The numbers of the queue's jobs with a title.
    static QList<int> jobsTitled(const QString &queue, const QString &title)
    {
        cups_job_t *jobs = nullptr;
        const int count = cupsGetJobs2(
            CUPS_HTTP_DEFAULT, &jobs, queue.toUtf8().constData(), 0, CUPS_WHICHJOBS_ALL);
        QList<int> ids;
        for (int i = 0; i < count; ++i)
            if (QString::fromUtf8(jobs[i].title) == title)
                ids << jobs[i].id;
        cupsFreeJobs(count, jobs);
        return ids;
    }

    // The number of the queue's (last) job with a title.
    static int jobTitled(const QString &queue, const QString &title)
    {
        const QList<int> ids = jobsTitled(queue, title);
        return ids.isEmpty() ? 0 : ids.last();
    }

    // The service's error log (for failure messages).
    QString log() const
    {
        QFile file(m_dir.filePath(QStringLiteral("log/error_log")));
        return file.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(file.readAll()) : QString();
    }

    void stop()
    {
        if (m_cupsd.state() != QProcess::NotRunning) {
            m_cupsd.terminate();
            if (!m_cupsd.waitForFinished(10000))
                m_cupsd.kill();
            m_cupsd.waitForFinished();
            if (m_oldServer.isNull())
                qunsetenv("CUPS_SERVER");
            else
                qputenv("CUPS_SERVER", m_oldServer);
            cupsSetServer(nullptr);
        }
    }

private:
    bool fail(const QString &error)
    {
        m_error = error;
        stop();
        return false;
    }

    void write(const QString &name, const QString &text) { write(name, text.toUtf8()); }
    void write(const QString &name, const QByteArray &bytes)
    {
        QFile file(m_dir.filePath(name));
        if (file.open(QIODevice::WriteOnly))
            file.write(bytes);
    }

    QTemporaryDir m_dir;
    QProcess m_cupsd;
    QByteArray m_oldServer;
    QString m_error;
};
