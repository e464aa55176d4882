#pragma once
// The error numbers the program raises and tests for, named once. Every raise and every test of
// an error's number uses these names; the texts of the runtime's own numbers are in error.cpp.

#include <QtGlobal>

namespace rt::err {

using Number = qint32;

// The runtime's own numbers.
constexpr Number ReturnWithoutGoSub = 3;
constexpr Number InvalidCall = 5; // "Invalid procedure call or argument"
constexpr Number Overflow = 6;
constexpr Number OutOfMemory = 7;
constexpr Number SubscriptOutOfRange = 9;
constexpr Number DivisionByZero = 11;
constexpr Number TypeMismatch = 13;
constexpr Number OutOfStack = 28;
constexpr Number Internal = 51;
constexpr Number BadFileName = 52;
constexpr Number FileNotFound = 53;
constexpr Number BadFileMode = 54;
constexpr Number FileAlreadyOpen = 55;
constexpr Number DeviceIO = 57;
constexpr Number FileExists = 58;
constexpr Number BadRecordLength = 59;
constexpr Number DiskFull = 61;
constexpr Number InputPastEnd = 62;
constexpr Number BadRecordNumber = 63;
constexpr Number TooManyFiles = 67;
constexpr Number DeviceUnavailable = 68;
constexpr Number PermissionDenied = 70;
constexpr Number DiskNotReady = 71;
constexpr Number RenameAcrossDrives = 74;
constexpr Number PathFileAccess = 75;
constexpr Number PathNotFound = 76;
constexpr Number ObjectNotSet = 91;
constexpr Number ForNotInitialized = 92;
constexpr Number InvalidUseOfNull = 94;
constexpr Number DdeBusy = 288;        // "Destination is busy" / "Server busy"
constexpr Number DdeNotRunning = 289;  // "Server not running"
constexpr Number DdeRejected = 290;    // "Request rejected"
constexpr Number DdeShutdown = 291;    // "Server shutdown"
constexpr Number ResourceNotFound = 326;
constexpr Number ObjectUnloaded = 364;
constexpr Number InvalidPropertyValue = 380;
constexpr Number InvalidPropertyIndex = 381;
constexpr Number PropertyReadOnly = 383;
constexpr Number FormMinimizedOrMaximized = 384;
constexpr Number FormAlreadyModal = 400;
constexpr Number ObjectRequired = 424;
constexpr Number CannotCreateObject = 429;
constexpr Number NotSupported = 438; // "Object doesn't support this property or method"
constexpr Number Automation = 440;
constexpr Number ArgumentNotOptional = 449;
constexpr Number WrongArguments = 450;
constexpr Number DuplicateKey = 457;
constexpr Number InvalidPicture = 481;
constexpr Number SpoolerUnavailable = 1722; // the print service cannot be reached
constexpr Number InvalidPrinterName = 1801; // no printer of that name is installed
constexpr Number Cancelled = 32755; // "Cancel was selected."

// The program's own numbers.
constexpr Number InvalidMenu = 3182;                      // "Invalid menu format!"
constexpr Number PrinterFailure = 32767;                     // the printer object's failures
constexpr Number NotImplemented = Number(0x80004001);        // "Not implemented"
constexpr Number InvalidRecentListSize = Number(0x800407D1); // "Invalid RecentListSize setting"
constexpr Number NoActiveSession = Number(0x800407D2);       // "No active session"

} // namespace rt::err
