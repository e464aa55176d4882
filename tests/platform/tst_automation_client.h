#pragma once
// A D-Bus client in a separate process for the automation tests: the test binary started again
// with "--bus-client <service>" (service: the test process's unique bus name, written "." in
// commands). It reads one command per line on stdin, fields separated by TAB, and answers each
// with one line: "ok" and the results, or "error", the D-Bus error name, its message and any
// further error arguments. Calls are made with raw messages, so the tests see values exactly as
// they travel:
//   call <service> <path> <interface> <member> <value>...
//   get <service> <path> <interface> <property>
//   set <service> <path> <interface> <property> <value>      (the value is sent in a variant)
//   callback <service> <path> <event> <answer>   registers /cb for the event; each callback call
//                            is printed as "callback <member> <value>..." and answered with
//                            <answer> ("-": no values, "none": no answer at all)
//   lookup <className>       the running object of another process: "ok <service> <path>" or
//                            "ok nothing"
//   serve <className>        registers this process's test object ("ok <cookie>")
//   revoke <cookie>
// Values are written <signature>:<text>: "n:-1", "s:text", "o:/Common", "v:s:x" (a variant),
// arrays and structures as <signature>[...] and (...), "E" the Empty marker (an empty "ag"); a
// line break or tab in a received text is written \n or \t.

#include "automation/bridge.h"
#include "automation/marshal.h"
#include "automation/runningobject.h"

#include <QApplication>
#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusSignature>
#include <QDBusVirtualObject>
#include <QProcess>
#include <QtTest>
#include <cstdio>
#include <functional>
#include <iostream>
#include <string>
#include <thread>

namespace busclient {

inline QString format(const QVariant &value);

inline QString formatArgument(const QDBusArgument &argument)
{
    QStringList parts;
    const QString signature = argument.currentSignature();
    switch (argument.currentType()) {
    case QDBusArgument::ArrayType:
        argument.beginArray();
        while (!argument.atEnd())
            parts << format(argument.asVariant());
        argument.endArray();
        return signature + u'[' + parts.join(u',') + u']';
    case QDBusArgument::StructureType:
        argument.beginStructure();
        while (!argument.atEnd())
            parts << format(argument.asVariant());
        argument.endStructure();
        return u'(' + parts.join(u',') + u')';
    case QDBusArgument::MapType:
        argument.beginMap();
        while (!argument.atEnd()) {
            argument.beginMapEntry();
            const QString key = format(argument.asVariant());
            parts << key + u'=' + format(argument.asVariant());
            argument.endMapEntry();
        }
        argument.endMap();
        return signature + u'{' + parts.join(u',') + u'}';
    default:
        return format(argument.asVariant());
    }
}

inline QString format(const QVariant &value)
{
    const QMetaType type = value.metaType();
    if (type == QMetaType::fromType<QDBusVariant>())
        return QStringLiteral("v:") + format(value.value<QDBusVariant>().variant());
    if (type == QMetaType::fromType<QDBusArgument>())
        return formatArgument(value.value<QDBusArgument>());
    if (type == QMetaType::fromType<QDBusObjectPath>())
        return QStringLiteral("o:") + value.value<QDBusObjectPath>().path();
    if (type == QMetaType::fromType<QList<QDBusSignature>>()) {
        QStringList signatures;
        for (const QDBusSignature &signature : value.value<QList<QDBusSignature>>())
            signatures << QStringLiteral("g:") + signature.signature();
        return QStringLiteral("ag[") + signatures.join(u',') + u']';
    }
    switch (type.id()) {
    case QMetaType::Short:
        return QStringLiteral("n:") + value.toString();
    case QMetaType::UShort:
        return QStringLiteral("q:") + value.toString();
    case QMetaType::Int:
        return QStringLiteral("i:") + value.toString();
    case QMetaType::UInt:
        return QStringLiteral("u:") + value.toString();
    case QMetaType::LongLong:
        return QStringLiteral("x:") + value.toString();
    case QMetaType::Double:
        return QStringLiteral("d:") + value.toString();
    case QMetaType::Bool:
        return QStringLiteral("b:") + value.toString();
    case QMetaType::UChar:
        return QStringLiteral("y:") + QString::number(value.toUInt());
    case QMetaType::QString: // one line per answer: line breaks and tabs are escaped
        return QStringLiteral("s:")
            + value.toString()
                  .replace(u'\n', QLatin1String("\\n"))
                  .replace(u'\t', QLatin1String("\\t"));
    case QMetaType::QStringList:
        return QStringLiteral("as[") + value.toStringList().join(u',') + u']';
    default:
        return QStringLiteral("?:") + QLatin1String(type.name());
    }
}

inline QVariant parse(const QString &token)
{
    if (token == QLatin1String("E"))
        return automation::emptyOnBus();
    const QString kind = token.section(u':', 0, 0);
    const QString text = token.section(u':', 1);
    if (kind == QLatin1String("v"))
        return QVariant::fromValue(QDBusVariant(parse(text)));
    if (kind == QLatin1String("n"))
        return QVariant::fromValue(text.toShort());
    if (kind == QLatin1String("i"))
        return QVariant::fromValue(text.toInt());
    if (kind == QLatin1String("d"))
        return text.toDouble();
    if (kind == QLatin1String("b"))
        return text == QLatin1String("true");
    if (kind == QLatin1String("o"))
        return QVariant::fromValue(QDBusObjectPath(text));
    return text;
}

// The child's answers and its callback object.
class ClientProcess
{
public:
    using Serve = std::function<QObject *(const QString &className)>;

    ClientProcess(QString parent, Serve serve)
        : m_parent(std::move(parent))
        , m_serve(std::move(serve))
    { }

    QString handle(const QStringList &fields)
    {
        const QString command = fields.value(0);
        if (command == QLatin1String("call"))
            return send(QDBusMessage::createMethodCall(service(fields.value(1)), fields.value(2),
                            fields.value(3), fields.value(4)),
                fields.mid(5));
        if (command == QLatin1String("get"))
            return property(fields, QStringLiteral("Get"));
        if (command == QLatin1String("set"))
            return property(fields, QStringLiteral("Set"));
        if (command == QLatin1String("callback"))
            return callback(fields);
        if (command == QLatin1String("lookup")) {
            const automation::Remote found = automation::runningObject(fields.value(1));
            if (found.isNothing())
                return QStringLiteral("ok\tnothing");
            return QStringLiteral("ok\t%1\t%2").arg(found.service(), found.path());
        }
        if (command == QLatin1String("serve")) {
            QObject *object = m_serve ? m_serve(fields.value(1)) : nullptr;
            const rt::Long cookie = automation::registerRunningObject(fields.value(1), object);
            return QStringLiteral("ok\t%1").arg(cookie);
        }
        if (command == QLatin1String("revoke")) {
            automation::revokeRunningObject(fields.value(1).toInt());
            return QStringLiteral("ok");
        }
        return QStringLiteral("error\tunknown command");
    }

private:
    // Answers every callback call with the answer set for its event.
    class CallbackObject : public QDBusVirtualObject
    {
    public:
        QHash<QString, QString> answers;
        QString introspect(const QString &) const override { return QString(); }
        bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override
        {
            QStringList line { QStringLiteral("callback"), message.member() };
            for (const QVariant &argument : message.arguments())
                line << format(argument);
            std::printf("%s\n", qPrintable(line.join(u'\t')));
            std::fflush(stdout);
            const QString answer = answers.value(message.member(), QStringLiteral("-"));
            if (answer == QLatin1String("none"))
                return true;
            QVariantList values;
            if (answer != QLatin1String("-"))
                values << parse(answer);
            connection.send(message.createReply(values));
            return true;
        }
    };

    QString service(const QString &field) const { return field == u'.' ? m_parent : field; }

    QString send(QDBusMessage message, const QStringList &tokens)
    {
        QVariantList arguments;
        for (const QString &token : tokens)
            arguments << parse(token);
        message.setArguments(arguments);
        // The event loop runs while the call waits, so callbacks to /cb are answered meanwhile.
        const QDBusMessage reply
            = QDBusConnection::sessionBus().call(message, QDBus::BlockWithGui, 10000);
        QStringList line;
        if (reply.type() == QDBusMessage::ErrorMessage)
            line << QStringLiteral("error") << reply.errorName() << reply.errorMessage();
        else
            line << QStringLiteral("ok");
        const QVariantList values = reply.arguments();
        for (qsizetype i = reply.type() == QDBusMessage::ErrorMessage ? 1 : 0; i < values.size();
             ++i)
            line << format(values.at(i));
        return line.join(u'\t');
    }

    QString property(const QStringList &fields, const QString &member)
    {
        QDBusMessage message = QDBusMessage::createMethodCall(service(fields.value(1)),
            fields.value(2), QStringLiteral("org.freedesktop.DBus.Properties"), member);
        QStringList tokens { QStringLiteral("s:") + fields.value(3),
            QStringLiteral("s:") + fields.value(4) };
        if (member == QLatin1String("Set")) {
            const QString value = fields.value(5);
            tokens << (value.startsWith(QLatin1String("v:")) ? value
                                                             : QStringLiteral("v:") + value);
        }
        return send(message, tokens);
    }

    QString callback(const QStringList &fields)
    {
        if (!m_callbacks) {
            m_callbacks = new CallbackObject;
            QDBusConnection::sessionBus().registerVirtualObject(QStringLiteral("/cb"), m_callbacks);
        }
        m_callbacks->answers.insert(fields.value(3), fields.value(4));
        return send(QDBusMessage::createMethodCall(service(fields.value(1)), fields.value(2),
                        QStringLiteral("NVWin32.Events"), QStringLiteral("RegisterCallback")),
            { QStringLiteral("s:") + fields.value(3), QStringLiteral("o:/cb") });
    }

    QString m_parent;
    Serve m_serve;
    CallbackObject *m_callbacks = nullptr;
};

// The child's main loop: stdin is read on a thread of its own so that the event loop keeps
// serving the bus while it waits for the next command.
inline int runClient(int argc, char **argv, ClientProcess::Serve serve)
{
    QCoreApplication app(argc, argv);
    ClientProcess client(QString::fromLocal8Bit(argv[2]), std::move(serve));
    std::thread reader([&app, &client] {
        std::string line;
        while (std::getline(std::cin, line)) {
            const QStringList fields = QString::fromStdString(line).split(u'\t');
            QMetaObject::invokeMethod(
                &app,
                [&client, fields] {
                    std::printf("%s\n", qPrintable(client.handle(fields)));
                    std::fflush(stdout);
                },
                Qt::BlockingQueuedConnection);
        }
        QMetaObject::invokeMethod(&app, &QCoreApplication::quit, Qt::QueuedConnection);
    });
    std::printf("ready\n");
    std::fflush(stdout);
    const int code = app.exec();
    reader.join();
    return code;
}

// The test's side: starts the child and exchanges lines with it while the event loop runs (the
// child calls back into the test process).
class Client
{
public:
    bool start()
    {
        m_process.setProgram(QCoreApplication::applicationFilePath());
        m_process.setArguments(
            { QStringLiteral("--bus-client"), QDBusConnection::sessionBus().baseService() });
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start();
        return m_process.waitForStarted() && nextLine(QStringLiteral("ready"));
    }

    ~Client()
    {
        m_process.closeWriteChannel();
        if (!m_process.waitForFinished(5000))
            m_process.kill();
    }

    qint64 processId() const { return m_process.processId(); }

    // Sends a command and answers the reply's fields (without the leading "ok"/"error" kept in
    // field 0); callback lines that arrive meanwhile are kept for callbacks().
    QStringList request(const QStringList &fields)
    {
        m_process.write((fields.join(u'\t') + u'\n').toUtf8());
        QString line;
        for (;;) {
            if (!waitForLine())
                return { QStringLiteral("timeout") };
            line = QString::fromUtf8(m_process.readLine()).chopped(1);
            if (!line.startsWith(QLatin1String("callback\t")))
                break;
            m_callbacks << line;
        }
        return line.split(u'\t');
    }

    // Callback lines received so far (including those that arrive while waiting now).
    QStringList callbacks()
    {
        while (m_process.canReadLine())
            m_callbacks << QString::fromUtf8(m_process.readLine()).chopped(1);
        return m_callbacks;
    }

private:
    bool waitForLine()
    {
        return QTest::qWaitFor([this] { return m_process.canReadLine(); }, 20000);
    }

    bool nextLine(const QString &expected)
    {
        return waitForLine() && QString::fromUtf8(m_process.readLine()).chopped(1) == expected;
    }

    QProcess m_process;
    QStringList m_callbacks;
};

} // namespace busclient

// main() of a test that plays clients: "--bus-client" runs the client, anything else the tests.
#define BUS_CLIENT_TEST_MAIN(TestClass, serve)                                                     \
    int main(int argc, char **argv)                                                                \
    {                                                                                              \
        if (argc > 2 && qstrcmp(argv[1], "--bus-client") == 0)                                     \
            return busclient::runClient(argc, argv, serve);                                        \
        QApplication app(argc, argv);                                                              \
        app.setAttribute(Qt::AA_Use96Dpi, true);                                                   \
        TestClass tc;                                                                              \
        QTEST_SET_MAIN_SOURCE_PATH                                                                 \
        return QTest::qExec(&tc, argc, argv);                                                      \
    }
