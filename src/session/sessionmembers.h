#pragma once
// The members of a session that automation clients, scripts and the rest of the program reach,
// as tables: one row a member. These tables are the one place to check the members against the
// design; the session's forwarders (session.h) and its published interfaces (sessioniface.h)
// are generated from them.
//
// Properties: X(Target, Access, Type, Name)
//   Target   Own       kept by the session itself (session.h has the hand-written accessors and
//                      says which of them mark the session changed)
//            Settings  the emulator's Settings object's setting of that name, asked for anew at
//                      each call; a write that changes the value marks the Settings object
//                      changed, which the session's Changed reports (nothing else is marked)
//            Control   the emulator control's run-time property of that name: never saved,
//                      never marks anything changed
//   Access   ReadWrite, ReadOnly, Indexed (read and write with an Integer Index first),
//            ByRef (read and write; the write hands the control a variable it may change)
//   Type     the member's type (Integer rt::Int, Long rt::Long, String QString; objects as the
//            C++ object); for Settings rows it is checked against the Settings table at compile
//            time
// No member checks a range or compares with the old value: what the control or the Settings
// object refuses answers the control's error, unchanged.
//
// Verbs: X(Result, Name, (parameters), (arguments), emulator call, Rule)
//   Result      as clients see it (the request object of Server is an automation object)
//   parameters  with NV_OPTIONAL(v) after an optional one (its default; 65535 in the design is
//               the Integer -1)
//   call        the control's member, e is the control
//   Rule        Plain       one call; the control's error reaches the caller
//               PasteTool   the call and then the Paste tool update, errors of both ignored
//               Quiet       errors ignored (SetBlock, GetBlock: Nothing when it failed)
//               Sink        the object is taken as a session; not a session does nothing
//
// Order: the rows of SESSION_OWN_VERBS, SESSION_EMULATOR_VERBS, SESSION_OWN_PROPERTIES and
// SESSION_TERMINAL_SETTINGS, in that order, are the default interface _clsSession (175 members).
// SESSION_TRANSFER_SETTINGS are not on it: the program calls them directly and the Session
// interface publishes them (its own order is SESSION_INTERFACE_LAYOUT in sessioniface.h).

// Optional arguments: "= v" where a member is declared (defines it back to nothing where the
// same table defines the member).
#ifndef NV_OPTIONAL
#define NV_OPTIONAL(v) = v
#endif

// The session's own verbs, in the order of the default interface (written by hand in
// session.cpp).
#define SESSION_OWN_VERBS(X)                                                                       \
    X(void, Show, (), (), , Own)                                                                   \
    X(void, Hide, (), (), , Own)                                                                   \
    X(void, Resize, (rt::Long Width, rt::Long Height), (Width, Height), , Own)                     \
    X(void, Move,                                                                                  \
        (rt::Long Left, rt::Long Top NV_OPTIONAL(-2147483647),                                     \
            rt::Long Width NV_OPTIONAL(-2147483647), rt::Long Height NV_OPTIONAL(-2147483647)),    \
        (Left, Top, Width, Height), , Own)                                                         \
    X(QObject *, Server, (), (), , Own)                                                            \
    X(void, Delete, (), (), , Own)                                                                 \
    X(void, Terminate, (rt::Int Prompt NV_OPTIONAL(1)), (Prompt), , Own)                           \
    X(void, Paste, (const QString &FileName NV_OPTIONAL(QString())), (FileName), , Own)            \
    X(void, Activate, (), (), , Own)                                                               \
    X(void, Save, (const QString &FileName NV_OPTIONAL(QString())), (FileName), , Own)             \
    X(rt::Int, SaveAs, (), (), , Own)                                                              \
    X(void, MouseTableLoad, (const QString &FileName), (FileName), , Own)

// Verbs forwarded to the emulator control, in the order of the default interface.
#define SESSION_EMULATOR_VERBS(X)                                                                  \
    X(rt::Int, Upload,                                                                             \
        (const QString &FileName, rt::Int Protocol, rt::Int mode,                                  \
            rt::Int Overwrite NV_OPTIONAL(0), rt::Int Wait NV_OPTIONAL(0)),                        \
        (FileName, Protocol, mode, Overwrite, Wait),                                               \
        e.Upload(transferFiles(FileName), Protocol, mode, Overwrite, Wait), Plain)                 \
    X(rt::Int, Download,                                                                           \
        (const QString &FileName, rt::Int Protocol, rt::Int mode,                                  \
            rt::Int Overwrite NV_OPTIONAL(0), rt::Int Wait NV_OPTIONAL(0)),                        \
        (FileName, Protocol, mode, Overwrite, Wait),                                               \
        e.Download(transferFiles(FileName), Protocol, mode, Overwrite, Wait), Plain)               \
    X(rt::Int, Dial, (const QString &PhoneNumber, rt::Int Wait NV_OPTIONAL(0)),                    \
        (PhoneNumber, Wait), e.Dial(PhoneNumber, Wait), Plain)                                     \
    X(rt::Int, HangUp, (rt::Int Wait NV_OPTIONAL(0)), (Wait), e.HangUp(Wait), Plain)               \
    X(void, PrinterOn, (rt::Int Transparent NV_OPTIONAL(0)), (Transparent),                        \
        e.PrinterOn(Transparent), Plain)                                                           \
    X(void, PrinterOff, (), (), e.PrinterOff(), Plain)                                             \
    X(void, PrinterClose, (), (), e.PrinterClose(), Plain)                                         \
    X(void, PrintScreen, (), (), e.PrintScreen(), Plain)                                           \
    X(void, NormMode, (), (), e.setExtendedMode(0), Plain)                                         \
    X(void, ExtMode, (), (), e.setExtendedMode(1), Plain)                                          \
    X(void, Capture, (const QString &FileName, rt::Int Source, rt::Int mode),                      \
        (FileName, Source, mode), e.Capture(FileName, Source, mode), Plain)                        \
    X(void, CaptureEnd, (), (), e.CaptureEnd(), Plain)                                             \
    X(rt::Int, CaptureMode, (), (), e.CaptureMode(), Get)                                          \
    X(rt::Int, CaptureSource, (), (), e.CaptureSource(), Get)                                      \
    X(QString, CaptureFileName, (), (), e.CaptureFileName(), Get)                                  \
    X(void, Copy,                                                                                  \
        (rt::Int Left NV_OPTIONAL(0), rt::Int Top NV_OPTIONAL(0), rt::Int Right NV_OPTIONAL(0),    \
            rt::Int Bottom NV_OPTIONAL(0)),                                                        \
        (Left, Top, Right, Bottom), e.Copy(Left, Top, Right, Bottom), PasteTool)                   \
    X(void, CopyHistory,                                                                           \
        (rt::Int Left NV_OPTIONAL(0), rt::Int Top NV_OPTIONAL(0), rt::Int Right NV_OPTIONAL(0),    \
            rt::Int Bottom NV_OPTIONAL(0)),                                                        \
        (Left, Top, Right, Bottom), e.CopyHistory(Left, Top, Right, Bottom), PasteTool)            \
    X(void, ResetComm, (), (), e.Reset(2), Plain)                                                  \
    X(void, ResetTerm, (), (), e.Reset(1), Plain)                                                  \
    X(void, Reset, (rt::Int mode NV_OPTIONAL(0)), (mode), e.Reset(mode), Plain)                    \
    X(void, Emulate, (const QString &Text), (Text), e.Emulate(Text), Plain)                        \
    X(void, SetText,                                                                               \
        (const QString &Text, rt::Int Col NV_OPTIONAL(-1), rt::Int Row NV_OPTIONAL(-1),            \
            rt::Int color NV_OPTIONAL(-1)),                                                        \
        (Text, Col, Row, color), e.SetText(Text, Col, Row, color), Plain)                          \
    X(void, SetBlock, (QObject * &Block, rt::Int Left, rt::Int Top, rt::Int Page NV_OPTIONAL(-1)), \
        (Block, Left, Top, Page), e.SetBlock(asBlock(Block), Left, Top, Page), Quiet)              \
    X(void, Abort, (), (), e.Abort(), Plain)                                                       \
    X(void, Break, (), (), e.Break(), Plain)                                                       \
    X(void, Clear,                                                                                 \
        (rt::Int Left NV_OPTIONAL(-1), rt::Int Top NV_OPTIONAL(-1), rt::Int Right NV_OPTIONAL(-1), \
            rt::Int Bottom NV_OPTIONAL(-1), rt::Int color NV_OPTIONAL(-1)),                        \
        (Left, Top, Right, Bottom, color), e.Clear(Left, Top, Right, Bottom, color), Plain)        \
    X(void, SetSelection,                                                                          \
        (rt::Int Left NV_OPTIONAL(0), rt::Int Top NV_OPTIONAL(0), rt::Int Right NV_OPTIONAL(-1),   \
            rt::Int Bottom NV_OPTIONAL(-1)),                                                       \
        (Left, Top, Right, Bottom), e.SetSelection(Left, Top, Right, Bottom), Plain)               \
    X(void, ClearSelection, (), (), e.ClearSelection(), Plain)                                     \
    X(void, Deselect, (), (), e.ClearSelection(), Plain)                                           \
    X(void, Locate, (rt::Int Col, rt::Int Row, rt::Int Page NV_OPTIONAL(-1)), (Col, Row, Page),    \
        e.Locate(Col, Row, Page), Plain)                                                           \
    X(void, LoadImage,                                                                             \
        (const QString &FileName, rt::Int Col NV_OPTIONAL(0), rt::Int Row NV_OPTIONAL(0),          \
            rt::Int Width NV_OPTIONAL(0), rt::Int Height NV_OPTIONAL(0),                           \
            rt::Int PreserveAspect NV_OPTIONAL(0), rt::Int BorderStyle NV_OPTIONAL(0)),            \
        (FileName, Col, Row, Width, Height, PreserveAspect, BorderStyle),                          \
        e.LoadImage(FileName, Col, Row, Width, Height, PreserveAspect, BorderStyle), Plain)        \
    X(void, UnloadImage, (const QString &FileName NV_OPTIONAL(QString())), (FileName),             \
        e.UnloadImage(FileName), Plain)                                                            \
    X(void, PlayMIDI, (const QString &FileName), (FileName), e.PlayMIDI(FileName), Plain)          \
    X(void, PlayWave, (const QString &FileName), (FileName), e.PlayWave(FileName), Plain)          \
    X(void, MouseTableReset, (), (), e.MouseTableReset(), Plain)                                   \
    X(void, MouseTableAdd,                                                                         \
        (rt::Int Button, const QString &Pattern, const QString &RClick, const QString &RDblClk),   \
        (Button, Pattern, RClick, RDblClk), e.MouseTableAdd(Button, Pattern, RClick, RDblClk),     \
        Plain)                                                                                     \
    X(void, SetExtension, (QString & LeadIn, QString & Terminator), (LeadIn, Terminator),          \
        e.SetExtension(&LeadIn, &Terminator), Plain)                                               \
    X(QString, GetText,                                                                            \
        (rt::Int Col NV_OPTIONAL(-1), rt::Int Row NV_OPTIONAL(-1), rt::Int Cols NV_OPTIONAL(-1),   \
            rt::Int NoProtect NV_OPTIONAL(0)),                                                     \
        (Col, Row, Cols, NoProtect), e.GetText(Col, Row, Cols, NoProtect), Plain)                  \
    X(emu::Block *, GetBlock,                                                                      \
        (rt::Int Left, rt::Int Top, rt::Int Right, rt::Int Bottom, rt::Int Page NV_OPTIONAL(-1)),  \
        (Left, Top, Right, Bottom, Page), e.GetBlock(Left, Top, Right, Bottom, Page), Quiet)       \
    X(QString, ReadText,                                                                           \
        (rt::Int mode NV_OPTIONAL(0), rt::Int Length NV_OPTIONAL(80),                              \
            rt::Int Timeout NV_OPTIONAL(30)),                                                      \
        (mode, Length, Timeout), e.ReadText(mode, Length, Timeout), Plain)                         \
    X(void, WriteText, (const QString &Text), (Text), e.Output(Text), Plain)                       \
    X(void, Output, (const QString &Text), (Text), e.Output(Text), Plain)                          \
    X(rt::Int, WaitFor,                                                                            \
        (rt::Int Compare, rt::Int Timeout, const QVariant &Target1,                                \
            const QVariant &Target2 NV_OPTIONAL(QVariant()),                                       \
            const QVariant &Target3 NV_OPTIONAL(QVariant()),                                       \
            const QVariant &Target4 NV_OPTIONAL(QVariant()),                                       \
            const QVariant &Target5 NV_OPTIONAL(QVariant()),                                       \
            const QVariant &Target6 NV_OPTIONAL(QVariant()),                                       \
            const QVariant &Target7 NV_OPTIONAL(QVariant()),                                       \
            const QVariant &Target8 NV_OPTIONAL(QVariant()),                                       \
            const QVariant &Target9 NV_OPTIONAL(QVariant()),                                       \
            const QVariant &Target10 NV_OPTIONAL(QVariant())),                                     \
        (Compare, Timeout, Target1, Target2, Target3, Target4, Target5, Target6, Target7, Target8, \
            Target9, Target10),                                                                    \
        e.WaitFor(Compare, Timeout,                                                                \
            { Target1, Target2, Target3, Target4, Target5, Target6, Target7, Target8, Target9,     \
                Target10 }),                                                                       \
        Plain)                                                                                     \
    X(void, AttachAlternateSink,                                                                   \
        (QObject * obj, rt::Int ExitMode NV_OPTIONAL(0), rt::Int ExitCode NV_OPTIONAL(0)),         \
        (obj, ExitMode, ExitCode), e.AttachAlternateSink(sink, ExitMode, ExitCode), Sink)          \
    X(void, DetachAlternateSink, (), (), e.DetachAlternateSink(), Plain)

// The session's own properties, in the order of the default interface.
#define SESSION_OWN_PROPERTIES(X)                                                                  \
    X(Own, ReadOnly, QString, ID)                                                                  \
    X(Own, ReadWrite, rt::Int, Visible)                                                            \
    X(Own, ReadWrite, rt::Long, Left)                                                              \
    X(Own, ReadWrite, rt::Long, Top)                                                               \
    X(Own, ReadWrite, rt::Long, Width)                                                             \
    X(Own, ReadWrite, rt::Long, Height)                                                            \
    X(Own, ReadOnly, rt::Int, ServerMode)                                                          \
    X(Own, ReadOnly, QString, ServerName)                                                          \
    X(Own, ReadWrite, QString, Caption)                                                            \
    X(Own, ReadWrite, QString, Icon)                                                               \
    X(Own, ReadWrite, rt::Int, AutoClose)                                                          \
    X(Own, ReadWrite, rt::Int, ShowErrs)                                                           \
    X(Own, ReadWrite, rt::Int, WindowState)                                                        \
    X(Own, ReadWrite, rt::Int, Changed)                                                            \
    X(Own, ReadWrite, QString, DialedNumber)                                                       \
    X(Own, ReadWrite, QString, DialedName)                                                         \
    X(Own, ReadWrite, QString, PhoneBookName)                                                      \
    X(Own, ReadWrite, QString, FileName)                                                           \
    X(Own, ReadWrite, QString, DDEResult)                                                          \
    X(Own, ReadOnly, rt::Long, hWnd)                                                               \
    X(Own, ReadOnly, emu::Settings *, Settings)

// The terminal, connection, printer, paste and screen settings and the run-time state, in the
// order of the default interface (after Settings).
#define SESSION_TERMINAL_SETTINGS(X)                                                               \
    /* indexed */                                                                                  \
    X(Control, Indexed, QString, FKeys)                                                            \
    X(Settings, Indexed, rt::Long, Palette)                                                        \
    X(Control, Indexed, rt::Int, Colors)                                                           \
    /* printer routing */                                                                          \
    X(Settings, ReadWrite, QString, PrinterName)                                                   \
    X(Settings, ReadWrite, rt::Int, PrinterTimeout)                                                \
    X(Control, ReadWrite, rt::Int, PrinterMode)                                                    \
    /* communication and connection */                                                             \
    X(Settings, ReadWrite, rt::Int, Device)                                                        \
    X(Settings, ReadWrite, rt::Int, Port)                                                          \
    X(Settings, ReadWrite, rt::Int, Baud)                                                          \
    X(Settings, ReadWrite, rt::Int, Parity)                                                        \
    X(Settings, ReadWrite, rt::Int, DataBits)                                                      \
    X(Settings, ReadWrite, rt::Int, StopBits)                                                      \
    X(Settings, ReadWrite, rt::Int, Handshake)                                                     \
    X(Settings, ReadWrite, rt::Int, Duplex)                                                        \
    X(Settings, ReadWrite, rt::Int, Strip8th)                                                      \
    X(Settings, ReadWrite, QString, HostName)                                                      \
    X(Settings, ReadWrite, QString, HostPort)                                                      \
    X(Settings, ReadWrite, QString, HostTermType)                                                  \
    X(Settings, ReadWrite, rt::Int, TelnetBinary)                                                  \
    X(Settings, ReadWrite, rt::Int, TelnetEcho)                                                    \
    X(Settings, ReadWrite, rt::Int, TelnetBypass)                                                  \
    X(Settings, ReadWrite, rt::Int, TelnetAltBreak)                                                \
    X(Settings, ReadWrite, rt::Int, ConnectTimeout)                                                \
    X(Settings, ReadWrite, rt::Int, AutoAnswer)                                                    \
    X(Settings, ReadWrite, rt::Int, LockBaudRate)                                                  \
    X(Settings, ReadWrite, rt::Int, OverrideModemConfig)                                           \
    /* terminal and screen */                                                                      \
    X(Settings, ReadWrite, rt::Int, TermType)                                                      \
    X(Settings, ReadWrite, QString, AnswerBack)                                                    \
    X(Settings, ReadWrite, QString, FontName)                                                      \
    X(Settings, ReadWrite, rt::Int, FontSize)                                                      \
    X(Settings, ReadWrite, rt::Int, ScaleFont)                                                     \
    X(Settings, ReadWrite, rt::Int, BoldFont)                                                      \
    X(Settings, ReadWrite, rt::Int, LegibleFont)                                                   \
    X(Settings, ReadWrite, rt::Int, NormCols)                                                      \
    X(Settings, ReadWrite, rt::Int, NormRows)                                                      \
    X(Settings, ReadWrite, rt::Int, ExtCols)                                                       \
    X(Settings, ReadWrite, rt::Int, ExtRows)                                                       \
    X(Settings, ReadWrite, rt::Int, Pages)                                                         \
    X(Settings, ReadWrite, rt::Int, GmodeEnable)                                                   \
    X(Settings, ReadWrite, rt::Int, MouseEnable)                                                   \
    X(Settings, ReadWrite, rt::Int, ScrAutoFwd)                                                    \
    X(Settings, ReadWrite, rt::Int, ProtectAttr)                                                   \
    X(Settings, ReadWrite, rt::Int, CursorType)                                                    \
    X(Settings, ReadWrite, rt::Int, ScrMode)                                                       \
    X(Settings, ReadWrite, rt::Int, HistoryRows)                                                   \
    /* printer job and screen print */                                                             \
    X(Settings, ReadWrite, rt::Int, PrintJobEject)                                                 \
    X(Settings, ReadWrite, rt::Int, PrintScreenEject)                                              \
    X(Settings, ReadWrite, rt::Int, ScreenPrintMode)                                               \
    X(Settings, ReadWrite, rt::Int, SlavePrintMode)                                                \
    X(Settings, ReadWrite, QString, PrinterFontName)                                               \
    X(Settings, ReadWrite, rt::Int, PrinterFontSize)                                               \
    X(Settings, ReadWrite, rt::Int, PrinterFontBold)                                               \
    X(Settings, ReadWrite, rt::Int, PrinterFontItalic)                                             \
    X(Settings, ReadWrite, rt::Int, PrinterPaperSize)                                              \
    X(Settings, ReadWrite, rt::Int, PrinterPaperSource)                                            \
    X(Settings, ReadWrite, rt::Int, PrinterOrientation)                                            \
    X(Settings, ReadWrite, rt::Int, PrinterColorMode)                                              \
    X(Settings, ReadWrite, rt::Int, PrintScreenBackground)                                         \
    /* paste */                                                                                    \
    X(Settings, ReadWrite, rt::Int, PasteEOLMode)                                                  \
    X(Settings, ReadWrite, rt::Int, PasteEOFMode)                                                  \
    X(Settings, ReadWrite, rt::Int, PasteEOLChar)                                                  \
    X(Settings, ReadWrite, rt::Int, PasteEOFChar)                                                  \
    /* run-time screen, keyboard, transfer and connection state */                                 \
    X(Control, ReadWrite, rt::Int, color)                                                          \
    X(Control, ReadWrite, rt::Int, Page)                                                           \
    X(Control, ReadWrite, rt::Int, Col)                                                            \
    X(Control, ReadWrite, rt::Int, Row)                                                            \
    X(Control, ReadOnly, rt::Int, Cols)                                                            \
    X(Control, ReadOnly, rt::Int, Rows)                                                            \
    X(Control, ReadWrite, rt::Int, LockKeyboard)                                                   \
    X(Control, ReadWrite, rt::Int, LockHistory)                                                    \
    X(Control, ReadWrite, rt::Int, InputMode)                                                      \
    X(Control, ByRef, rt::Int, HistoryVisible)                                                     \
    X(Settings, ReadWrite, rt::Int, MapUpperFKeys)                                                 \
    X(Control, ReadOnly, rt::Int, XferStatus)                                                      \
    X(Control, ReadOnly, rt::Int, XferFiles)                                                       \
    X(Control, ReadOnly, rt::Long, XferBytes)                                                      \
    X(Control, ReadOnly, rt::Int, DialStatus)                                                      \
    X(Control, ReadOnly, rt::Int, Connected)                                                       \
    X(Control, ReadOnly, QString, Selection)                                                       \
    X(Control, ReadOnly, rt::Int, AttachState)                                                     \
    X(Control, ReadOnly, rt::Long, BytesIn)                                                        \
    X(Control, ReadOnly, rt::Long, BytesOut)                                                       \
    /* later terminal and protocol options */                                                      \
    X(Settings, ReadWrite, rt::Int, ScrollMode)                                                    \
    X(Settings, ReadWrite, QString, Sound)                                                         \
    X(Settings, ReadWrite, rt::Int, Ansi8Bit)                                                      \
    X(Settings, ReadWrite, rt::Int, AnsiAppKeypad)                                                 \
    X(Settings, ReadWrite, rt::Int, AnsiAppCursor)                                                 \
    X(Settings, ReadWrite, rt::Int, NoAutoWrap)                                                    \
    X(Settings, ReadWrite, rt::Int, BkspSendsDel)                                                  \
    X(Settings, ReadWrite, rt::Int, TelnetKeepalive)                                               \
    X(Settings, ReadWrite, rt::Int, TelnetNoDelay)                                                 \
    X(Settings, ReadWrite, rt::Int, SSHKeepAlive)                                                  \
    X(Settings, ReadWrite, rt::Int, SSHNoDelay)                                                    \
    X(Settings, ReadWrite, rt::Int, SSHCipher)                                                     \
    X(Settings, ReadWrite, rt::Int, SSHBreakCharacter)                                             \
    X(Settings, ReadWrite, rt::Int, LockFKeys)                                                     \
    X(Settings, ReadWrite, rt::Int, U2DeviceLicensing)

// The transfer and capture settings, in the order of the Session interface (not on the default
// interface: the program calls them directly).
#define SESSION_TRANSFER_SETTINGS(X)                                                               \
    X(Settings, ReadWrite, rt::Int, DefaultXferMode)                                               \
    X(Settings, ReadWrite, rt::Int, DefaultXferOverwrite)                                          \
    X(Settings, ReadWrite, rt::Int, AsciiEOL)                                                      \
    X(Settings, ReadWrite, rt::Int, AsciiDelay)                                                    \
    X(Settings, ReadWrite, rt::Int, XModemTimeout)                                                 \
    X(Settings, ReadWrite, rt::Int, YModemTimeout)                                                 \
    X(Settings, ReadWrite, rt::Int, ZModemTimeout)                                                 \
    X(Settings, ReadWrite, rt::Int, KermitTimeout)                                                 \
    X(Settings, ReadWrite, rt::Int, KermitInitRetry)                                               \
    X(Settings, ReadWrite, rt::Int, KermitErrRetry)                                                \
    X(Settings, ReadWrite, rt::Int, KermitEOL)                                                     \
    X(Settings, ReadWrite, rt::Int, KermitQuote)                                                   \
    X(Settings, ReadWrite, rt::Int, KermitRept)                                                    \
    X(Settings, ReadWrite, rt::Int, KermitCRC)                                                     \
    X(Settings, ReadWrite, rt::Int, ZModemAuto)                                                    \
    X(Settings, ReadWrite, QString, DefaultXferDir)                                                \
    X(Settings, ReadWrite, QString, DefaultCaptureDir)

// The Session interface, in its slot order (slot 0 is Show): the verb slots, then the property
// adapters. Each forwards to the session's member it names (or the verb of its own name) and
// returns its result; the write accessor of Row comes after Cols, and the transfer and capture
// settings list their write accessor first. Rows:
//   VERB(Name)                                    the session's verb of that name (one slot)
//   VERB_AS(Name, Result, Member, (parameters), (args))  a verb calling another member (one slot)
//   PROPERTY(Name, Member, Accessors)             Get (one slot), GetLet or LetGet (two),
//                                                 IndexedGetLet (two, with an Integer Index),
//                                                 GetLetLater (the get; the let is a LATER row)
//   LATER(Name)                                   the let accessor of an earlier GetLetLater row
// Three names differ from the session's: hwnd (hWnd), Color (color), SSHKeepalive (SSHKeepAlive).
// Deselect and Output are the session's verbs of those names, which do what ClearSelection and
// WriteText do.
#define SESSION_INTERFACE_LAYOUT(VERB, VERB_AS, PROPERTY, LATER)                                   \
    VERB(Show)                                                                                     \
    VERB(Hide)                                                                                     \
    VERB(Resize)                                                                                   \
    VERB(Move)                                                                                     \
    VERB(Server)                                                                                   \
    VERB(Delete)                                                                                   \
    VERB_AS(Close, void, Terminate, (rt::Int Prompt NV_OPTIONAL(1)), (Prompt))                           \
    VERB(Paste)                                                                                    \
    VERB(Activate)                                                                                 \
    VERB(Save)                                                                                     \
    VERB(SaveAs)                                                                                   \
    VERB(MouseTableLoad)                                                                           \
    VERB(Upload)                                                                                   \
    VERB(Download)                                                                                 \
    VERB(Dial)                                                                                     \
    VERB(HangUp)                                                                                   \
    VERB(PrinterOn)                                                                                \
    VERB(PrinterOff)                                                                               \
    VERB(PrinterClose)                                                                             \
    VERB(PrintScreen)                                                                              \
    VERB(NormMode)                                                                                 \
    VERB(ExtMode)                                                                                  \
    VERB(Capture)                                                                                  \
    VERB(CaptureEnd)                                                                               \
    PROPERTY(CaptureMode, CaptureMode, Get)                                                        \
    PROPERTY(CaptureSource, CaptureSource, Get)                                                    \
    PROPERTY(CaptureFileName, CaptureFileName, Get)                                                \
    VERB(Copy)                                                                                     \
    VERB(CopyHistory)                                                                              \
    VERB(ResetComm)                                                                                \
    VERB(ResetTerm)                                                                                \
    VERB(Reset)                                                                                    \
    VERB(Emulate)                                                                                  \
    VERB(SetText)                                                                                  \
    VERB(SetBlock)                                                                                 \
    VERB(Abort)                                                                                    \
    VERB(Break)                                                                                    \
    VERB(Clear)                                                                                    \
    VERB_AS(Select, void, SetSelection,                                                                  \
        (rt::Int Left NV_OPTIONAL(0), rt::Int Top NV_OPTIONAL(0), rt::Int Right NV_OPTIONAL(-1),   \
            rt::Int Bottom NV_OPTIONAL(-1)),                                                       \
        (Left, Top, Right, Bottom))                                                                \
    VERB(Deselect)                                                                                 \
    VERB(Locate)                                                                                   \
    VERB(LoadImage)                                                                                \
    VERB(UnloadImage)                                                                              \
    VERB(PlayMIDI)                                                                                 \
    VERB(PlayWave)                                                                                 \
    VERB(MouseTableReset)                                                                          \
    VERB(MouseTableAdd)                                                                            \
    VERB(SetExtension)                                                                             \
    VERB(GetText)                                                                                  \
    VERB(GetBlock)                                                                                 \
    VERB_AS(Input, QString, ReadText,                                                                       \
        (rt::Int mode NV_OPTIONAL(0), rt::Int Length NV_OPTIONAL(80),                              \
            rt::Int Timeout NV_OPTIONAL(30)),                                                      \
        (mode, Length, Timeout))                                                                   \
    VERB(Output)                                                                                   \
    VERB(WaitFor)                                                                                  \
    VERB(Terminate)                                                                                \
    VERB(SetSelection)                                                                             \
    VERB(ClearSelection)                                                                           \
    VERB(ReadText)                                                                                 \
    VERB(WriteText)                                                                                \
    VERB(AttachAlternateSink)                                                                      \
    VERB(DetachAlternateSink)                                                                      \
    PROPERTY(AttachState, AttachState, Get)                                                        \
    PROPERTY(BytesOut, BytesOut, Get)                                                              \
    PROPERTY(BytesIn, BytesIn, Get)                                                                \
    PROPERTY(DDEResult, DDEResult, GetLet)                                                         \
    PROPERTY(Menu, Menu, Get)                                                                      \
    PROPERTY(MenuFileName, MenuFileName, GetLet)                                                   \
    PROPERTY(ID, ID, Get)                                                                          \
    PROPERTY(Visible, Visible, GetLet)                                                             \
    PROPERTY(Left, Left, GetLet)                                                                   \
    PROPERTY(Top, Top, GetLet)                                                                     \
    PROPERTY(Width, Width, GetLet)                                                                 \
    PROPERTY(Height, Height, GetLet)                                                               \
    PROPERTY(ServerMode, ServerMode, Get)                                                          \
    PROPERTY(ServerName, ServerName, Get)                                                          \
    PROPERTY(Caption, Caption, GetLet)                                                             \
    PROPERTY(Icon, Icon, GetLet)                                                                   \
    PROPERTY(AutoClose, AutoClose, GetLet)                                                         \
    PROPERTY(WindowState, WindowState, GetLet)                                                     \
    PROPERTY(Changed, Changed, GetLet)                                                             \
    PROPERTY(DialedNumber, DialedNumber, GetLet)                                                   \
    PROPERTY(DialedName, DialedName, GetLet)                                                       \
    PROPERTY(PhoneBookName, PhoneBookName, GetLet)                                                 \
    PROPERTY(FileName, FileName, GetLet)                                                           \
    PROPERTY(hwnd, hWnd, Get)                                                                      \
    PROPERTY(Settings, Settings, Get)                                                              \
    PROPERTY(FKeys, FKeys, IndexedGetLet)                                                          \
    PROPERTY(Palette, Palette, IndexedGetLet)                                                      \
    PROPERTY(Colors, Colors, IndexedGetLet)                                                        \
    PROPERTY(PrinterName, PrinterName, GetLet)                                                     \
    PROPERTY(PrinterTimeout, PrinterTimeout, GetLet)                                               \
    PROPERTY(PrinterMode, PrinterMode, GetLet)                                                     \
    PROPERTY(Device, Device, GetLet)                                                               \
    PROPERTY(Port, Port, GetLet)                                                                   \
    PROPERTY(Baud, Baud, GetLet)                                                                   \
    PROPERTY(Parity, Parity, GetLet)                                                               \
    PROPERTY(DataBits, DataBits, GetLet)                                                           \
    PROPERTY(StopBits, StopBits, GetLet)                                                           \
    PROPERTY(Handshake, Handshake, GetLet)                                                         \
    PROPERTY(Duplex, Duplex, GetLet)                                                               \
    PROPERTY(Strip8th, Strip8th, GetLet)                                                           \
    PROPERTY(ShowErrs, ShowErrs, GetLet)                                                           \
    PROPERTY(HostName, HostName, GetLet)                                                           \
    PROPERTY(HostPort, HostPort, GetLet)                                                           \
    PROPERTY(HostTermType, HostTermType, GetLet)                                                   \
    PROPERTY(TelnetBinary, TelnetBinary, GetLet)                                                   \
    PROPERTY(TelnetEcho, TelnetEcho, GetLet)                                                       \
    PROPERTY(TelnetBypass, TelnetBypass, GetLet)                                                   \
    PROPERTY(TelnetAltBreak, TelnetAltBreak, GetLet)                                               \
    PROPERTY(ConnectTimeout, ConnectTimeout, GetLet)                                               \
    PROPERTY(AutoAnswer, AutoAnswer, GetLet)                                                       \
    PROPERTY(TermType, TermType, GetLet)                                                           \
    PROPERTY(AnswerBack, AnswerBack, GetLet)                                                       \
    PROPERTY(FontName, FontName, GetLet)                                                           \
    PROPERTY(FontSize, FontSize, GetLet)                                                           \
    PROPERTY(ScaleFont, ScaleFont, GetLet)                                                         \
    PROPERTY(BoldFont, BoldFont, GetLet)                                                           \
    PROPERTY(LegibleFont, LegibleFont, GetLet)                                                     \
    PROPERTY(NormCols, NormCols, GetLet)                                                           \
    PROPERTY(NormRows, NormRows, GetLet)                                                           \
    PROPERTY(ExtCols, ExtCols, GetLet)                                                             \
    PROPERTY(ExtRows, ExtRows, GetLet)                                                             \
    PROPERTY(Pages, Pages, GetLet)                                                                 \
    PROPERTY(GmodeEnable, GmodeEnable, GetLet)                                                     \
    PROPERTY(MouseEnable, MouseEnable, GetLet)                                                     \
    PROPERTY(ScrAutoFwd, ScrAutoFwd, GetLet)                                                       \
    PROPERTY(ProtectAttr, ProtectAttr, GetLet)                                                     \
    PROPERTY(CursorType, CursorType, GetLet)                                                       \
    PROPERTY(ScrMode, ScrMode, GetLet)                                                             \
    PROPERTY(HistoryRows, HistoryRows, GetLet)                                                     \
    PROPERTY(PrintJobEject, PrintJobEject, GetLet)                                                 \
    PROPERTY(PrintScreenEject, PrintScreenEject, GetLet)                                           \
    PROPERTY(PasteEOLMode, PasteEOLMode, GetLet)                                                   \
    PROPERTY(PasteEOFMode, PasteEOFMode, GetLet)                                                   \
    PROPERTY(PasteEOLChar, PasteEOLChar, GetLet)                                                   \
    PROPERTY(PasteEOFChar, PasteEOFChar, GetLet)                                                   \
    PROPERTY(Color, color, GetLet)                                                                 \
    PROPERTY(Page, Page, GetLet)                                                                   \
    PROPERTY(Col, Col, GetLet)                                                                     \
    PROPERTY(Row, Row, GetLetLater)                                                                \
    PROPERTY(Cols, Cols, Get)                                                                      \
    LATER(Row)                                                                                     \
    PROPERTY(Rows, Rows, Get)                                                                      \
    PROPERTY(LockKeyboard, LockKeyboard, GetLet)                                                   \
    PROPERTY(LockHistory, LockHistory, GetLet)                                                     \
    PROPERTY(InputMode, InputMode, GetLet)                                                         \
    PROPERTY(HistoryVisible, HistoryVisible, GetLet)                                               \
    PROPERTY(MapUpperFKeys, MapUpperFKeys, GetLet)                                                 \
    PROPERTY(XferStatus, XferStatus, Get)                                                          \
    PROPERTY(XferFiles, XferFiles, Get)                                                            \
    PROPERTY(XferBytes, XferBytes, Get)                                                            \
    PROPERTY(DialStatus, DialStatus, Get)                                                          \
    PROPERTY(Connected, Connected, Get)                                                            \
    PROPERTY(Selection, Selection, Get)                                                            \
    PROPERTY(ScrollMode, ScrollMode, GetLet)                                                       \
    PROPERTY(LockBaudRate, LockBaudRate, GetLet)                                                   \
    PROPERTY(OverrideModemConfig, OverrideModemConfig, GetLet)                                     \
    PROPERTY(Sound, Sound, GetLet)                                                                 \
    PROPERTY(ScreenPrintMode, ScreenPrintMode, GetLet)                                             \
    PROPERTY(SlavePrintMode, SlavePrintMode, GetLet)                                               \
    PROPERTY(PrinterFontName, PrinterFontName, GetLet)                                             \
    PROPERTY(PrinterFontSize, PrinterFontSize, GetLet)                                             \
    PROPERTY(PrinterFontItalic, PrinterFontItalic, GetLet)                                         \
    PROPERTY(PrinterFontBold, PrinterFontBold, GetLet)                                             \
    PROPERTY(PrinterPaperSize, PrinterPaperSize, GetLet)                                           \
    PROPERTY(PrinterPaperSource, PrinterPaperSource, GetLet)                                       \
    PROPERTY(PrinterOrientation, PrinterOrientation, GetLet)                                       \
    PROPERTY(PrinterColorMode, PrinterColorMode, GetLet)                                           \
    PROPERTY(PrintScreenBackground, PrintScreenBackground, GetLet)                                 \
    PROPERTY(Ansi8Bit, Ansi8Bit, GetLet)                                                           \
    PROPERTY(AnsiAppKeypad, AnsiAppKeypad, GetLet)                                                 \
    PROPERTY(AnsiAppCursor, AnsiAppCursor, GetLet)                                                 \
    PROPERTY(NoAutoWrap, NoAutoWrap, GetLet)                                                       \
    PROPERTY(BkspSendsDel, BkspSendsDel, GetLet)                                                   \
    PROPERTY(TelnetKeepalive, TelnetKeepalive, GetLet)                                             \
    PROPERTY(TelnetNoDelay, TelnetNoDelay, GetLet)                                                 \
    PROPERTY(SSHKeepalive, SSHKeepAlive, GetLet)                                                   \
    PROPERTY(SSHNoDelay, SSHNoDelay, GetLet)                                                       \
    PROPERTY(SSHCipher, SSHCipher, GetLet)                                                         \
    PROPERTY(SSHBreakCharacter, SSHBreakCharacter, GetLet)                                         \
    PROPERTY(LockFKeys, LockFKeys, GetLet)                                                         \
    PROPERTY(U2DeviceLicensing, U2DeviceLicensing, GetLet)                                         \
    PROPERTY(DefaultXferMode, DefaultXferMode, LetGet)                                             \
    PROPERTY(DefaultXferOverwrite, DefaultXferOverwrite, LetGet)                                   \
    PROPERTY(AsciiEOL, AsciiEOL, LetGet)                                                           \
    PROPERTY(AsciiDelay, AsciiDelay, LetGet)                                                       \
    PROPERTY(XModemTimeout, XModemTimeout, LetGet)                                                 \
    PROPERTY(YModemTimeout, YModemTimeout, LetGet)                                                 \
    PROPERTY(ZModemTimeout, ZModemTimeout, LetGet)                                                 \
    PROPERTY(KermitTimeout, KermitTimeout, LetGet)                                                 \
    PROPERTY(KermitInitRetry, KermitInitRetry, LetGet)                                             \
    PROPERTY(KermitErrRetry, KermitErrRetry, LetGet)                                               \
    PROPERTY(KermitEOL, KermitEOL, LetGet)                                                         \
    PROPERTY(KermitQuote, KermitQuote, LetGet)                                                     \
    PROPERTY(KermitRept, KermitRept, LetGet)                                                       \
    PROPERTY(KermitCRC, KermitCRC, LetGet)                                                         \
    PROPERTY(ZModemAuto, ZModemAuto, LetGet)                                                       \
    PROPERTY(DefaultXferDir, DefaultXferDir, LetGet)                                               \
    PROPERTY(DefaultCaptureDir, DefaultCaptureDir, LetGet)

// Members of the Session interface that the session's default interface does not have.
#define SESSION_INTERFACE_ONLY_PROPERTIES(X)                                                       \
    X(Own, ReadOnly, MenuPtr, Menu)                                                                \
    X(Own, ReadWrite, QString, MenuFileName)

// ---- Declaring and defining the generated members ----

// A property's accessors as a class declares them, by its Access.
#define NV_ACCESSORS_ReadWrite(Type, Name)                                                         \
    Type Name() const;                                                                             \
    void set##Name(const Type &value);
#define NV_ACCESSORS_ReadOnly(Type, Name) Type Name() const;
#define NV_ACCESSORS_Indexed(Type, Name)                                                           \
    Type Name(rt::Int Index) const;                                                                \
    void set##Name(rt::Int Index, const Type &value);
#define NV_ACCESSORS_ByRef(Type, Name)                                                             \
    Type Name() const;                                                                             \
    void set##Name(Type &value);

// Declarations of the properties a table row generates (Own rows are written by hand).
#define NV_DECLARE_PROPERTY(Target, Access, Type, Name)                                            \
    NV_DECLARE_PROPERTY_##Target(Access, Type, Name)
#define NV_DECLARE_PROPERTY_Own(Access, Type, Name)
#define NV_DECLARE_PROPERTY_Settings(Access, Type, Name) NV_ACCESSORS_##Access(Type, Name)
#define NV_DECLARE_PROPERTY_Control(Access, Type, Name) NV_ACCESSORS_##Access(Type, Name)

// Declarations of the verbs forwarded to the control; Get rows are read-only properties.
#define NV_DECLARE_VERB(Result, Name, Params, Args, Call, Rule)                                    \
    NV_DECLARE_VERB_##Rule(Result, Name, Params)
#define NV_DECLARE_VERB_Plain(Result, Name, Params) Result Name Params;
#define NV_DECLARE_VERB_PasteTool(Result, Name, Params) Result Name Params;
#define NV_DECLARE_VERB_Quiet(Result, Name, Params) Result Name Params;
#define NV_DECLARE_VERB_Sink(Result, Name, Params) Result Name Params;
#define NV_DECLARE_VERB_Get(Result, Name, Params) Result Name Params const;
