#include "app/globals.h"

#include "runtime/resstrings.h"

namespace Globals {

QString LoadResStr(rt::Int id)
{
    QString text;
    rt::ResumeNext silently;
    silently([&] { text = rt::LoadResString(id); });
    return text;
}

} // namespace Globals
