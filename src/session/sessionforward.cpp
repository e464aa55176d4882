// The session's members that forward to its emulator control and the control's Settings
// object, generated from the tables of sessionmembers.h.

#include "session/session.h"

#include "app/strfunc.h"
#include "automation/guard.h"
#include "emulator/block.h"
#include "emulator/emulator.h"
#include "interfaces/sessioniface.h"
#include "runtime/errnum.h"
#include "session/mdichild.h"

#include <type_traits>

namespace {

// A Settings row's type is the type of the Settings object's setting of that name.
template<class Declared, class Kept> constexpr bool sameType = std::is_same_v<Declared, Kept>;

} // namespace

// ---- Settings and run-time state ----

#define NV_DEFINE_PROPERTY(Target, Access, Type, Name) NV_DEFINE_##Target##_##Access(Type, Name)
#define NV_DEFINE_Own_ReadWrite(Type, Name)
#define NV_DEFINE_Own_ReadOnly(Type, Name)

#define NV_DEFINE_Settings_ReadWrite(Type, Name)                                                   \
    static_assert(sameType<Type, decltype(std::declval<emu::Settings &>().Name())>,                \
        #Name " has the type of the Settings object's setting");                                   \
    Type clsSession::Name() const                                                                  \
    {                                                                                              \
        return EmulatorSettings().Name();                                                          \
    }                                                                                              \
    void clsSession::set##Name(const Type &value)                                                  \
    {                                                                                              \
        EmulatorSettings().set##Name(value);                                                       \
    }
#define NV_DEFINE_Settings_Indexed(Type, Name)                                                     \
    static_assert(sameType<Type, decltype(std::declval<emu::Settings &>().Name())>,                \
        #Name " has the type of the Settings object's setting");                                   \
    Type clsSession::Name(rt::Int Index) const                                                     \
    {                                                                                              \
        return EmulatorSettings().Name(Index);                                                     \
    }                                                                                              \
    void clsSession::set##Name(rt::Int Index, const Type &value)                                   \
    {                                                                                              \
        EmulatorSettings().set##Name(value, Index);                                                \
    }
#define NV_DEFINE_Control_ReadWrite(Type, Name)                                                    \
    Type clsSession::Name() const                                                                  \
    {                                                                                              \
        return Emulator()->Name();                                                                 \
    }                                                                                              \
    void clsSession::set##Name(const Type &value)                                                  \
    {                                                                                              \
        Emulator()->set##Name(value);                                                              \
    }
#define NV_DEFINE_Control_ReadOnly(Type, Name)                                                     \
    Type clsSession::Name() const                                                                  \
    {                                                                                              \
        return Emulator()->Name();                                                                 \
    }
#define NV_DEFINE_Control_Indexed(Type, Name)                                                      \
    Type clsSession::Name(rt::Int Index) const                                                     \
    {                                                                                              \
        return Emulator()->Name(Index);                                                            \
    }                                                                                              \
    void clsSession::set##Name(rt::Int Index, const Type &value)                                   \
    {                                                                                              \
        Emulator()->set##Name(Index, value);                                                       \
    }
#define NV_DEFINE_Control_ByRef(Type, Name)                                                        \
    Type clsSession::Name() const                                                                  \
    {                                                                                              \
        return Emulator()->Name();                                                                 \
    }                                                                                              \
    void clsSession::set##Name(Type &value)                                                        \
    {                                                                                              \
        Emulator()->set##Name(&value);                                                             \
    }

SESSION_TERMINAL_SETTINGS(NV_DEFINE_PROPERTY)

// The transfer settings are SessionBase's (sessionbase.h): only their types are checked here.
#define NV_CHECK_TRANSFER(Target, Access, Type, Name)                                              \
    static_assert(sameType<Type, decltype(std::declval<emu::Settings &>().Name())>,                \
        #Name " has the type of the Settings object's setting");
SESSION_TRANSFER_SETTINGS(NV_CHECK_TRANSFER)

// ---- Verbs ----

// Each verb runs its emulator call (e is the control) by its rule.
#undef NV_OPTIONAL
#define NV_OPTIONAL(v)
#define NV_DEFINE_VERB(Result, Name, Params, Args, Call, Rule)                                     \
    NV_DEFINE_VERB_##Rule(Result, Name, Params, Call)

#define NV_DEFINE_VERB_Plain(Result, Name, Params, Call)                                           \
    Result clsSession::Name Params                                                                 \
    {                                                                                              \
        emu::nvEmulator &e = *Emulator();                                                          \
        return Call;                                                                               \
    }
#define NV_DEFINE_VERB_Get(Result, Name, Params, Call)                                             \
    Result clsSession::Name Params const                                                           \
    {                                                                                              \
        emu::nvEmulator &e = *Emulator();                                                          \
        return Call;                                                                               \
    }
#define NV_DEFINE_VERB_PasteTool(Result, Name, Params, Call)                                       \
    Result clsSession::Name Params                                                                 \
    {                                                                                              \
        rt::ResumeNext quiet;                                                                      \
        quiet([&] {                                                                                \
            emu::nvEmulator &e = *Emulator();                                                      \
            Call;                                                                                  \
        });                                                                                        \
        quiet([&] { updatePasteTool(); });                                                         \
    }
#define NV_DEFINE_VERB_Quiet(Result, Name, Params, Call)                                           \
    Result clsSession::Name Params                                                                 \
    {                                                                                              \
        return quietly<Result>([&] {                                                               \
            emu::nvEmulator &e = *Emulator();                                                      \
            return Call;                                                                           \
        });                                                                                        \
    }
#define NV_DEFINE_VERB_Sink(Result, Name, Params, Call)                                            \
    Result clsSession::Name Params                                                                 \
    {                                                                                              \
        emu::nvEmulator *sink = nullptr;                                                           \
        {                                                                                          \
            rt::ResumeNext quiet;                                                                  \
            quiet([&] { sink = sinkOf(obj); });                                                    \
        }                                                                                          \
        if (!sink)                                                                                 \
            return;                                                                                \
        emu::nvEmulator &e = *Emulator();                                                          \
        Call;                                                                                      \
    }

namespace {

// Runs a call with errors ignored; a failed call answers the result type's empty value.
template<class Result, class F> Result quietly(F &&call)
{
    rt::ResumeNext quiet;
    if constexpr (std::is_void_v<Result>) {
        quiet(call);
    } else {
        Result result {};
        quiet([&] { result = call(); });
        return result;
    }
}

} // namespace

SESSION_EMULATOR_VERBS(NV_DEFINE_VERB)

// ---- Helpers of the verbs ----

QString clsSession::transferFiles(const QString &fileName)
{
    if (fileName.contains(QChar(0)) || !fileName.contains(u'"'))
        return fileName;
    return Strfunc::ParseFiles(fileName);
}

emu::Block *clsSession::asBlock(QObject *object)
{
    auto *block = qobject_cast<emu::Block *>(object);
    if (!block)
        rt::raise(rt::err::TypeMismatch);
    return block;
}

emu::nvEmulator *clsSession::sinkOf(QObject *object)
{
    const std::shared_ptr<clsSession> session = SessionAdapter::sessionOf(object);
    return session ? session->Emulator() : nullptr;
}

void clsSession::updatePasteTool()
{
    frmSession()->UpdatePasteTool();
}
