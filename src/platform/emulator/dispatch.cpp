#include "emulator/dispatch.h"

#include "emulator/block.h"
#include "emulator/emulator.h"
#include "runtime/errnum.h"
#include "runtime/values.h"

#include <QHash>

namespace emu {

namespace {

using Kind = DispatchEntry::Kind;

// The arguments of one call: Empty or missing ones take the member's default.
class Args
{
public:
    explicit Args(QVariantList &list)
        : m_list(list)
    { }

    qsizetype size() const { return m_list.size(); }
    bool given(int n) const { return n < m_list.size() && !rt::IsEmpty(m_list.at(n)); }
    const QVariant &at(int n) const
    {
        if (!given(n))
            rt::raise(rt::err::ArgumentNotOptional);
        return m_list.at(n);
    }
    Int i16(int n) const { return rt::CInt(at(n)); }
    Int i16(int n, Int fallback) const { return given(n) ? rt::CInt(m_list.at(n)) : fallback; }
    QString str(int n) const { return rt::CStr(at(n)); }
    QString str(int n, const QString &fallback) const
    {
        return given(n) ? rt::CStr(m_list.at(n)) : fallback;
    }
    template<class T> T *object(int n) const
    {
        if (!given(n))
            return nullptr;
        const QVariant &v = m_list.at(n);
        if (!v.canConvert<QObject *>())
            rt::raise(rt::err::TypeMismatch);
        return qobject_cast<T *>(v.value<QObject *>());
    }
    void setBack(int n, const QVariant &value)
    {
        if (n < m_list.size())
            m_list[n] = value;
    }
    void limit(int count) const
    {
        if (m_list.size() > count)
            rt::raise(rt::err::WrongArguments);
    }

private:
    QVariantList &m_list;
};

using Method = QVariant (*)(nvEmulator &, Args &);
// A property: get when let is false, else let with the value after the index.
using Property = QVariant (*)(nvEmulator &, Args &, bool let);

struct Member
{
    DispatchEntry entry;
    int maxArgs = 0; // methods
    Method method = nullptr;
    Property property = nullptr;
};

QVariant none()
{
    return QVariant();
}

Member method(rt::Long id, const char *name, int maxArgs, Method call)
{
    return { { id, name, Kind::Method }, maxArgs, call, nullptr };
}

Member property(rt::Long id, const char *name, bool writable, bool indexed, Property call)
{
    return { { id, name, Kind::Property, writable, indexed }, 0, nullptr, call };
}

const QList<Member> &members()
{
    static const QList<Member> table = {
        method(0x60030041, "PrinterOn", 1,
            [](nvEmulator &c, Args &a) { c.PrinterOn(a.i16(0, 0)); return none(); }),
        method(0x60030042, "PrinterOff", 0, [](nvEmulator &c, Args &) { c.PrinterOff(); return none(); }),
        method(0x60030043, "PrinterClose", 0,
            [](nvEmulator &c, Args &) { c.PrinterClose(); return none(); }),
        method(0x60030044, "PrintScreen", 0,
            [](nvEmulator &c, Args &) { c.PrintScreen(); return none(); }),
        method(0x60030045, "Capture", 3,
            [](nvEmulator &c, Args &a) { c.Capture(a.str(0), a.i16(1), a.i16(2)); return none(); }),
        method(0x60030046, "CaptureEnd", 0, [](nvEmulator &c, Args &) { c.CaptureEnd(); return none(); }),
        method(0x60030047, "Copy", 4,
            [](nvEmulator &c, Args &a) {
                c.Copy(a.i16(0, 0), a.i16(1, 0), a.i16(2, 0), a.i16(3, 0));
                return none();
            }),
        method(0x60030048, "CopyHistory", 4,
            [](nvEmulator &c, Args &a) {
                c.CopyHistory(a.i16(0, 0), a.i16(1, 0), a.i16(2, 0), a.i16(3, 0));
                return none();
            }),
        method(0x60030049, "Paste", 1,
            [](nvEmulator &c, Args &a) {
                QString fileName = a.str(0, QString());
                c.Paste(&fileName);
                a.setBack(0, fileName);
                return none();
            }),
        method(0x6003004A, "Reset", 1, [](nvEmulator &c, Args &a) { c.Reset(a.i16(0, 0)); return none(); }),
        method(0x6003004B, "Emulate", 1, [](nvEmulator &c, Args &a) { c.Emulate(a.str(0)); return none(); }),
        method(0x6003004C, "SetText", 4,
            [](nvEmulator &c, Args &a) {
                c.SetText(a.str(0), a.i16(1, -1), a.i16(2, -1), a.i16(3, -1));
                return none();
            }),
        method(0x6003004D, "SetBlock", 4,
            [](nvEmulator &c, Args &a) {
                Block *block = a.object<Block>(0);
                c.SetBlock(block, a.i16(1), a.i16(2), a.i16(3, -1));
                a.setBack(0, QVariant::fromValue<QObject *>(block));
                return none();
            }),
        method(0x6003004E, "Break", 0, [](nvEmulator &c, Args &) { c.Break(); return none(); }),
        method(0x6003004F, "Clear", 5,
            [](nvEmulator &c, Args &a) {
                c.Clear(a.i16(0, -1), a.i16(1, -1), a.i16(2, -1), a.i16(3, -1), a.i16(4, -1));
                return none();
            }),
        method(0x60030050, "SetSelection", 4,
            [](nvEmulator &c, Args &a) {
                c.SetSelection(a.i16(0, 0), a.i16(1, 0), a.i16(2, -1), a.i16(3, -1));
                return none();
            }),
        method(0x60030051, "ClearSelection", 0,
            [](nvEmulator &c, Args &) { c.ClearSelection(); return none(); }),
        method(0x60030052, "Locate", 3,
            [](nvEmulator &c, Args &a) { c.Locate(a.i16(0), a.i16(1), a.i16(2, -1)); return none(); }),
        method(0x60030053, "LoadImage", 7,
            [](nvEmulator &c, Args &a) {
                c.LoadImage(a.str(0), a.i16(1, 0), a.i16(2, 0), a.i16(3, 0), a.i16(4, 0),
                    a.i16(5, 0), a.i16(6, 0));
                return none();
            }),
        method(0x60030054, "UnloadImage", 1,
            [](nvEmulator &c, Args &a) { c.UnloadImage(a.str(0, QString())); return none(); }),
        method(0x60030055, "PlayMIDI", 1, [](nvEmulator &c, Args &a) { c.PlayMIDI(a.str(0)); return none(); }),
        method(0x60030056, "PlayWave", 1, [](nvEmulator &c, Args &a) { c.PlayWave(a.str(0)); return none(); }),
        method(0x60030057, "MouseTableReset", 0,
            [](nvEmulator &c, Args &) { c.MouseTableReset(); return none(); }),
        method(0x60030058, "MouseTableAdd", 4,
            [](nvEmulator &c, Args &a) {
                c.MouseTableAdd(a.i16(0), a.str(1, QString()), a.str(2, QString()), a.str(3, QString()));
                return none();
            }),
        method(0x60030059, "Startup", 0, [](nvEmulator &c, Args &) { c.Startup(); return none(); }),
        method(0x6003005A, "Abort", 0, [](nvEmulator &c, Args &) { c.Abort(); return none(); }),
        method(0x6003005B, "AttachAlternateSink", 3,
            [](nvEmulator &c, Args &a) {
                c.AttachAlternateSink(a.object<nvEmulator>(0), a.i16(1, 0), a.i16(2, 0));
                return none();
            }),
        method(0x6003005C, "DetachAlternateSink", 0,
            [](nvEmulator &c, Args &) { c.DetachAlternateSink(); return none(); }),
        method(0x6003005D, "ServerRequest", 1,
            [](nvEmulator &c, Args &a) { return QVariant(c.ServerRequest(a.str(0))); }),
        method(0x6003005F, "Settings", 1,
            [](nvEmulator &c, Args &a) {
                return QVariant::fromValue<QObject *>(c.Settings(a.given(0) && rt::CBool(a.at(0))));
            }),
        method(0x60030060, "Upload", 5,
            [](nvEmulator &c, Args &a) {
                return QVariant(
                    c.Upload(a.str(0), a.i16(1), a.i16(2), a.i16(3, 0), a.i16(4, 0)));
            }),
        method(0x60030061, "Download", 5,
            [](nvEmulator &c, Args &a) {
                return QVariant(
                    c.Download(a.str(0), a.i16(1), a.i16(2), a.i16(3, 0), a.i16(4, 0)));
            }),
        method(0x60030062, "Dial", 2,
            [](nvEmulator &c, Args &a) { return QVariant(c.Dial(a.str(0), a.i16(1, 0))); }),
        method(0x60030063, "HangUp", 1,
            [](nvEmulator &c, Args &a) { return QVariant(c.HangUp(a.i16(0, 0))); }),
        method(0x60030064, "GetText", 4,
            [](nvEmulator &c, Args &a) {
                return QVariant(c.GetText(a.i16(0, -1), a.i16(1, -1), a.i16(2, -1), a.i16(3, 0)));
            }),
        method(0x60030065, "GetBlock", 5,
            [](nvEmulator &c, Args &a) {
                return QVariant::fromValue<QObject *>(
                    c.GetBlock(a.i16(0), a.i16(1), a.i16(2), a.i16(3), a.i16(4, -1)));
            }),
        method(0x60030067, "ReadText", 3,
            [](nvEmulator &c, Args &a) {
                return QVariant(c.ReadText(a.i16(0, 0), a.i16(1, 80), a.i16(2, 30)));
            }),
        method(0x60030068, "Output", 1, [](nvEmulator &c, Args &a) { c.Output(a.str(0)); return none(); }),
        method(0x60030069, "WaitFor", 12,
            [](nvEmulator &c, Args &a) {
                QVariantList targets;
                for (int i = 2; i < a.size(); ++i)
                    targets << (a.given(i) ? a.at(i) : QVariant());
                return QVariant(c.WaitFor(a.i16(0), a.i16(1), targets));
            }),
        method(0x6003006A, "SetExtension", 2,
            [](nvEmulator &c, Args &a) {
                QString leadIn = a.str(0, QString());
                QString terminator = a.str(1, QString());
                c.SetExtension(&leadIn, &terminator);
                a.setBack(0, leadIn);
                a.setBack(1, terminator);
                return none();
            }),
        method(0x60030095, "Shutdown", 0, [](nvEmulator &c, Args &) { c.Shutdown(); return none(); }),

        property(0x6803001C, "BytesOut", false, false,
            [](nvEmulator &c, Args &, bool) { return QVariant(c.BytesOut()); }),
        property(0x6803001D, "BytesIn", false, false,
            [](nvEmulator &c, Args &, bool) { return QVariant(c.BytesIn()); }),
        property(0x6803001E, "Selection", false, false,
            [](nvEmulator &c, Args &, bool) { return QVariant(c.Selection()); }),
        property(0x6803001F, "Busy", false, false,
            [](nvEmulator &c, Args &, bool) { return QVariant(c.Busy()); }),
        property(0x68030020, "Connected", false, false,
            [](nvEmulator &c, Args &, bool) { return QVariant(c.Connected()); }),
        property(0x68030021, "DialStatus", false, false,
            [](nvEmulator &c, Args &, bool) { return QVariant(c.DialStatus()); }),
        property(0x68030022, "XferBytes", false, false,
            [](nvEmulator &c, Args &, bool) { return QVariant(c.XferBytes()); }),
        property(0x68030023, "XferFiles", false, false,
            [](nvEmulator &c, Args &, bool) { return QVariant(c.XferFiles()); }),
        property(0x68030024, "XferStatus", false, false,
            [](nvEmulator &c, Args &, bool) { return QVariant(c.XferStatus()); }),
        property(0x68030025, "Rows", false, false,
            [](nvEmulator &c, Args &, bool) { return QVariant(c.Rows()); }),
        property(0x68030026, "Cols", false, false,
            [](nvEmulator &c, Args &, bool) { return QVariant(c.Cols()); }),
        property(0x68030027, "hWnd", false, false,
            [](nvEmulator &c, Args &, bool) { return QVariant(c.hWnd()); }),
        property(0x68030028, "KeyAssigned", false, true,
            [](nvEmulator &c, Args &a, bool) { return QVariant(c.KeyAssigned(a.i16(0))); }),
        property(0x68030029, "Caption", true, false,
            [](nvEmulator &c, Args &a, bool let) {
                if (let)
                    c.setCaption(a.str(0));
                return QVariant(c.Caption());
            }),
        property(0x6803002A, "CycleMode", true, false,
            [](nvEmulator &c, Args &a, bool let) {
                if (let)
                    c.setCycleMode(a.i16(0));
                return QVariant(c.CycleMode());
            }),
        property(0x6803002B, "HistoryVisible", true, false,
            [](nvEmulator &c, Args &a, bool let) {
                if (let) {
                    Int percent = a.i16(0);
                    c.setHistoryVisible(&percent);
                    a.setBack(0, percent);
                }
                return QVariant(c.HistoryVisible());
            }),
        property(0x6803002C, "PrinterMode", true, false,
            [](nvEmulator &c, Args &a, bool let) {
                if (let)
                    c.setPrinterMode(a.i16(0));
                return QVariant(c.PrinterMode());
            }),
        property(0x6803002D, "InputMode", true, false,
            [](nvEmulator &c, Args &a, bool let) {
                if (let)
                    c.setInputMode(a.i16(0));
                return QVariant(c.InputMode());
            }),
        property(0x6803002E, "LockHistory", true, false,
            [](nvEmulator &c, Args &a, bool let) {
                if (let)
                    c.setLockHistory(a.i16(0));
                return QVariant(c.LockHistory());
            }),
        property(0x6803002F, "LockKeyboard", true, false,
            [](nvEmulator &c, Args &a, bool let) {
                if (let)
                    c.setLockKeyboard(a.i16(0));
                return QVariant(c.LockKeyboard());
            }),
        property(0x68030030, "Row", true, false,
            [](nvEmulator &c, Args &a, bool let) {
                if (let)
                    c.setRow(a.i16(0));
                return QVariant(c.Row());
            }),
        property(0x68030031, "Col", true, false,
            [](nvEmulator &c, Args &a, bool let) {
                if (let)
                    c.setCol(a.i16(0));
                return QVariant(c.Col());
            }),
        property(0x68030032, "Page", true, false,
            [](nvEmulator &c, Args &a, bool let) {
                if (let)
                    c.setPage(a.i16(0));
                return QVariant(c.Page());
            }),
        property(0x68030033, "color", true, false,
            [](nvEmulator &c, Args &a, bool let) {
                if (let)
                    c.setcolor(a.i16(0));
                return QVariant(c.color());
            }),
        property(0x68030034, "ExtendedMode", true, false,
            [](nvEmulator &c, Args &a, bool let) {
                if (let)
                    c.setExtendedMode(a.i16(0));
                return QVariant(c.ExtendedMode());
            }),
        property(0x68030035, "Colors", true, true,
            [](nvEmulator &c, Args &a, bool let) {
                if (let)
                    c.setColors(a.i16(0), a.i16(1));
                return QVariant(c.Colors(a.i16(0)));
            }),
        property(0x68030036, "FKeys", true, true,
            [](nvEmulator &c, Args &a, bool let) {
                if (let)
                    c.setFKeys(a.i16(0), a.str(1));
                return QVariant(c.FKeys(a.i16(0)));
            }),
        property(0x68030038, "AttachState", false, false,
            [](nvEmulator &c, Args &, bool) { return QVariant(c.AttachState()); }),
        property(0x68030039, "CaptureFileName", false, false,
            [](nvEmulator &c, Args &, bool) { return QVariant(c.CaptureFileName()); }),
        property(0x6803003A, "CaptureMode", false, false,
            [](nvEmulator &c, Args &, bool) { return QVariant(c.CaptureMode()); }),
        property(0x6803003B, "CaptureSource", false, false,
            [](nvEmulator &c, Args &, bool) { return QVariant(c.CaptureSource()); }),
    };
    return table;
}

const QHash<QString, const Member *> &byName()
{
    static const QHash<QString, const Member *> index = [] {
        QHash<QString, const Member *> h;
        for (const Member &m : members())
            h.insert(QString::fromLatin1(m.entry.name).toLower(), &m);
        return h;
    }();
    return index;
}

} // namespace

const QList<DispatchEntry> &dispatchTable()
{
    static const QList<DispatchEntry> table = [] {
        QList<DispatchEntry> t;
        for (const Member &m : members())
            t << m.entry;
        return t;
    }();
    return table;
}

const DispatchEntry *findDispatch(const QString &name)
{
    const Member *m = byName().value(name.toLower());
    return m ? &m->entry : nullptr;
}

const DispatchEntry *findDispatch(rt::Long id)
{
    for (const Member &m : members()) {
        if (m.entry.id == id)
            return &m.entry;
    }
    return nullptr;
}

QVariant invokeMember(nvEmulator &control, const QString &name, QVariantList &args)
{
    const Member *member = byName().value(name.toLower());
    if (!member)
        rt::raise(rt::err::NotSupported);
    Args a(args);
    if (member->method) {
        a.limit(member->maxArgs);
        return member->method(control, a);
    }
    const int index = member->entry.indexed ? 1 : 0;
    a.limit(index + 1);
    const bool let = args.size() == index + 1;
    if (args.size() < index)
        rt::raise(rt::err::ArgumentNotOptional);
    if (let && !member->entry.writable)
        rt::raise(rt::err::PropertyReadOnly, QStringLiteral("Property is read-only"));
    // The value written comes after the index, where the setters read it.
    return member->property(control, a, let);
}

} // namespace emu
