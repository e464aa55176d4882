#pragma once
// Dialing properties: the places the user dials from ("locations"), each with the prefix that
// reaches an outside line and the dialing method (tone or pulse), and the location in use. A
// modem builds its dial command from the location in use: "ATDT" (tone) or "ATDP" (pulse), the
// prefix, the number, CR.
//
// They are kept in the current user's settings store (the value "Locations" of the key
// Software\Telephony), all in one value so that a save is whole: one row per location (name,
// prefix, "Tone" or "Pulse", "*" for the location in use). A store without locations, or one
// that cannot be read, gives the one default location "Default Location" (no prefix, tone).
// Rows of the stored value that make no location (no name, a name seen before, a prefix that
// cannot be dialled) are passed over when it is read.

#include <QByteArray>
#include <QList>
#include <QString>

namespace dialing {

struct Location
{
    QString name;
    QString prefix; // dialled before every number ("9," for an outside line), may be empty
    bool pulse = false;

    bool operator==(const Location &) const = default;
};

struct Properties
{
    QList<Location> locations; // never empty once loaded
    int current = 0; // index into locations

    const Location &currentLocation() const { return locations.at(current); }
    bool operator==(const Properties &) const = default;
};

// The characters a dial string may hold: digits, the dial modifiers , W P T ! @ * # + and A-D,
// and the blanks, dashes and parentheses of a written number. Nothing that could end the modem's
// command or start another. An empty text passes.
bool onlyDialCharacters(const QString &text);

// Why a set of properties cannot be saved ("" when it can): a location without a name, two
// locations of the same name (names compare without case), a prefix with other characters than
// the dial characters above.
QString problem(const Properties &properties);

Properties defaults();
// Reads the stored properties (the defaults when there are none).
Properties load();
// Stores the properties whole; false (and nothing stored) when they have a problem or the store
// cannot be written.
bool save(const Properties &properties);

// "ATDT" or "ATDP", the location's prefix, the number without its surrounding blanks, CR; empty
// when the number or the prefix holds other than dial characters or the number is empty.
QByteArray dialCommand(const Location &location, const QString &number);
// The same for the stored location in use.
QByteArray dialCommand(const QString &number);

// The text form of the properties as the store keeps them, and back (parse skips rows that make
// no location and gives the defaults when none is left).
QString toText(const Properties &properties);
Properties fromText(const QString &text);

} // namespace dialing
