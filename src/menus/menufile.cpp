// The menu file: one complete menu in a small binary format (".mnu"). Little-endian integers
// (Integer 16 bits, Long 32 bits); a string is an Integer byte count and that many bytes of UTF-8.
//
//   Long 0x03010001, Long 0, Integer band count,
//   per band: Long 1, Name, Integer tool count, Integer Visible, Integer BandType,
//             Integer DockingArea, Caption,
//             per tool: Long 2, Long ToolID, Integer Visible, Checked, Enabled, Style,
//                       ControlType, BeginGroup, ImageNo, SubBand, Action, ToolTipText, Caption,
//                       Long Height, Long Width,
//   Long 32767.
//
// Separators are not stored: each one becomes the BeginGroup flag of the next stored tool.

#include "menus/menu.h"

#include "app/fileparts.h"
#include "app/files.h"
#include "runtime/errnum.h"
#include "runtime/wholefile.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QStringDecoder>
#include <QtEndian>

namespace {

constexpr rt::Long MenuMagic = 0x03010001;
constexpr rt::Long BandTag = 1;
constexpr rt::Long ToolTag = 2;
constexpr rt::Long EndMark = 32767;
constexpr qsizetype MaxStringBytes = 32767;

const QString InvalidMenuFile = QStringLiteral("Invalid menu file format!");
const QString WriteFailedText = QStringLiteral("Error writing temporary menu file!");

// The content is not a menu file (short, a bad tag or count, a string that runs past the end).
struct BadFormat
{
};
// A string or count that the format cannot hold.
struct CannotWrite
{
};

// Reads the fields of a menu file, checking each length against what the device still holds.
class MenuReader
{
public:
    explicit MenuReader(QIODevice &device)
        : m_device(device)
    { }

    rt::Long readLong()
    {
        char bytes[4];
        readExactly(bytes, sizeof bytes);
        return qFromLittleEndian<qint32>(bytes);
    }
    rt::Int readInt()
    {
        char bytes[2];
        readExactly(bytes, sizeof bytes);
        return qFromLittleEndian<qint16>(bytes);
    }
    // A count of records that follow; never negative in a menu file.
    rt::Int readCount()
    {
        const rt::Int count = readInt();
        if (count < 0)
            throw BadFormat();
        return count;
    }
    QString readString()
    {
        const rt::Int length = readCount();
        if (length == 0)
            return QString();
        if (m_device.bytesAvailable() < length)
            throw BadFormat();
        QByteArray bytes(length, Qt::Uninitialized);
        readExactly(bytes.data(), length);
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        QString text = utf8.decode(bytes);
        if (utf8.hasError())
            throw BadFormat();
        return text;
    }

private:
    void readExactly(char *data, qint64 size)
    {
        if (m_device.read(data, size) != size)
            throw BadFormat();
    }

    QIODevice &m_device;
};

class MenuWriter
{
public:
    void writeLong(rt::Long value)
    {
        char bytes[4];
        qToLittleEndian<qint32>(value, bytes);
        m_bytes.append(bytes, sizeof bytes);
    }
    void writeInt(rt::Int value)
    {
        char bytes[2];
        qToLittleEndian<qint16>(value, bytes);
        m_bytes.append(bytes, sizeof bytes);
    }
    void writeCount(qsizetype count)
    {
        if (count > MaxStringBytes)
            throw CannotWrite();
        writeInt(rt::Int(count));
    }
    void writeString(const QString &text)
    {
        const QByteArray bytes = text.toUtf8();
        writeCount(bytes.size());
        m_bytes.append(bytes);
    }
    const QByteArray &bytes() const { return m_bytes; }

private:
    QByteArray m_bytes;
};

struct ToolRecord
{
    rt::Long toolId = 0;
    rt::Int visible = 0, checked = 0, enabled = 0, style = 0, controlType = 0, beginGroup = 0,
            imageNo = 0;
    QString subBand, action, toolTipText, caption;
    rt::Long height = 0, width = 0;
};

ToolRecord readToolRecord(MenuReader &in)
{
    ToolRecord r;
    r.toolId = in.readLong();
    r.visible = in.readInt();
    r.checked = in.readInt();
    r.enabled = in.readInt();
    r.style = in.readInt();
    r.controlType = in.readInt();
    r.beginGroup = in.readInt();
    r.imageNo = in.readInt();
    r.subBand = in.readString();
    r.action = in.readString();
    r.toolTipText = in.readString();
    r.caption = in.readString();
    r.height = in.readLong();
    r.width = in.readLong();
    return r;
}

void applyToolRecord(clsMnuTool &tool, const ToolRecord &r)
{
    tool.setCaption(r.caption);
    tool.setChecked(r.checked);
    tool.setControlType(r.controlType);
    tool.setEnabled(r.enabled);
    tool.setImageNo(r.imageNo);
    tool.setAction(r.action);
    tool.setStyle(r.style);
    tool.setSubBand(r.subBand);
    tool.setToolTipText(r.toolTipText);
    tool.setVisible(r.visible);
    tool.setHeight(r.height);
    tool.setWidth(r.width);
}

void writeToolRecord(MenuWriter &out, const clsMnuTool &tool, bool beginGroup)
{
    out.writeLong(tool.ToolID());
    out.writeInt(tool.Visible());
    out.writeInt(tool.Checked());
    out.writeInt(tool.Enabled());
    out.writeInt(tool.Style());
    out.writeInt(tool.ControlType());
    out.writeInt(rt::BoolToInt(beginGroup));
    out.writeInt(tool.ImageNo());
    out.writeString(tool.SubBand());
    out.writeString(tool.Action());
    out.writeString(tool.ToolTipText());
    out.writeString(tool.Caption());
    out.writeLong(tool.Height());
    out.writeLong(tool.Width());
}

// Makes the tools of a band from its records: a record that begins a group gets a separator in
// front of it.
void addTools(clsMnuBand &band, const std::vector<ToolRecord> &records)
{
    QSet<rt::Long> commands;
    for (const ToolRecord &record : records)
        commands.insert(record.toolId);
    for (const ToolRecord &record : records) {
        if (record.beginGroup != 0) {
            rt::Long number = clsMnuBand::NextSeparatorNumber();
            while (commands.contains(number) || band.Holds(number))
                number = clsMnuBand::NextSeparatorNumber();
            if (const MnuToolPtr separator = band.AddNew(number)) {
                separator->setControlType(bar::ControlSeparator);
                separator->setImageNo(SeparatorImageNo);
            }
        }
        if (const MnuToolPtr tool = band.AddNew(record.toolId))
            applyToolRecord(*tool, record);
    }
}

// Reads one band entry with its tool entries into menu. A band the menu refuses (a name it
// holds already) is read and dropped. The tools read before a fault are kept. A command number
// that cannot stand in this menu (its tool ID would pass the 32-bit limit) is a fault.
void readBand(MenuReader &in, clsMenu &menu)
{
    if (in.readLong() != BandTag)
        throw BadFormat();
    const QString name = in.readString();
    const rt::Int toolCount = in.readCount();
    const rt::Int visible = in.readInt();
    const rt::Int bandType = in.readInt();
    const rt::Int dockingArea = in.readInt();
    const QString caption = in.readString();
    const MnuBandPtr band = menu.AddNew(name);
    if (band) {
        band->setBandType(bandType);
        band->setCaption(caption);
        band->setDockingArea(dockingArea);
        band->setVisible(visible);
    }
    // The band's records are read before its tools are made, so that a separator never takes
    // the number of a command that follows it in the band.
    std::vector<ToolRecord> records;
    bool complete = true;
    try {
        for (rt::Int t = 0; t < toolCount; ++t) {
            if (in.readLong() != ToolTag)
                throw BadFormat();
            ToolRecord record = readToolRecord(in);
            if (!ToolIdFits(menu.MenuNo(), record.toolId))
                throw BadFormat();
            records.push_back(std::move(record));
        }
    } catch (const BadFormat &) {
        complete = false;
    }
    if (band)
        addTools(*band, records);
    if (!complete)
        throw BadFormat();
}

// The file a menu name stands for: a relative name lies in the program directory, and a name
// the program ships may differ in case from the file on disk. "" when there is no such file.
QString resolveMenuFile(const QString &fileName)
{
    QString path = fileName;
    QString drive, directory, name;
    const rt::Int kind = FileSpec::ParseDirectory(path, drive, directory, name, gAppDir);
    if (kind == FileSpec::PathFile)
        return QFileInfo(path).isFile() ? path : QString();
    if (kind == FileSpec::PathNew) {
        const QString found = Files::FindProgramFile(directory, name);
        if (QFileInfo(found).isFile())
            return found;
    }
    return QString();
}

// Whether Save may go on: false (quietly) for a read-only target, as callers expect. A file is
// read-only when nobody may write it (no write bit at all) or when this user may not.
bool targetWritable(const QFileInfo &target)
{
    if (!target.exists())
        return true;
    const auto writeBits
        = QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther;
    return target.isWritable() && (target.permissions() & writeBits);
}

} // namespace

void clsMenu::Load(const QString &fileName)
{
    const QString path = resolveMenuFile(fileName);
    if (path.isEmpty())
        rt::raise(rt::err::FileNotFound);
    QFile file;
    if (rt::openRegularFile(file, path) != rt::OpenStatus::Opened)
        rt::raise(rt::err::FileNotFound);
    ReadMenu(file);
}

void clsMenu::ReadMenu(QIODevice &device)
{
    MenuReader in(device);
    try {
        if (in.readLong() != MenuMagic || in.readLong() != 0)
            throw BadFormat();
        const rt::Int bandCount = in.readCount();
        RemoveAllBands();
        for (rt::Int b = 0; b < bandCount; ++b)
            readBand(in, *this);
        if (in.readLong() != EndMark)
            throw BadFormat();
    } catch (const BadFormat &) {
        rt::raise(rt::err::InvalidMenu, InvalidMenuFile);
    }
}

QByteArray clsMenu::menuFileBytes()
{
    MenuWriter out;
    out.writeLong(MenuMagic);
    out.writeLong(0);
    out.writeCount(m_bands.Count());
    // A separator is stored as the BeginGroup flag of the next tool written, even when that tool
    // stands in a later band.
    bool pendingGroup = false;
    for (const MnuBandPtr &band : m_bands.items()) {
        out.writeLong(BandTag);
        out.writeString(band->Name());
        out.writeCount(band->ToolCount());
        band->setVisible(rt::True);
        out.writeInt(band->Visible());
        out.writeInt(band->BandType());
        out.writeInt(band->DockingArea());
        out.writeString(band->Caption());
        for (const MnuToolPtr &tool : band->NewEnum()) {
            if (tool->ControlType() == bar::ControlSeparator) {
                pendingGroup = true;
                continue;
            }
            out.writeLong(ToolTag);
            writeToolRecord(out, *tool, pendingGroup);
            pendingGroup = false;
        }
    }
    out.writeLong(EndMark);
    return out.bytes();
}

void clsMenu::Save(const QString &fileName)
{
    const QFileInfo target(fileName);
    if (!targetWritable(target))
        return;
    if (target.isDir())
        rt::raise(rt::err::PathFileAccess);
    const qsizetype slash = fileName.lastIndexOf(u'/');
    const QString directory = slash >= 0 ? fileName.left(slash + 1) : QStringLiteral("./");
    if (!QFileInfo(directory).isDir())
        rt::raise(rt::err::PathNotFound);

    // One failure, reported once: the error goes to the caller (an automation client or a
    // script), which reports it; nothing is shown here. The writer logs why.
    QByteArray bytes;
    try {
        bytes = menuFileBytes();
    } catch (const CannotWrite &) {
        rt::raise(rt::err::PathFileAccess, WriteFailedText);
    }
    if (!rt::writeWholeFile(fileName, bytes))
        rt::raise(rt::err::PathFileAccess, WriteFailedText);
}
