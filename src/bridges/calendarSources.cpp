// The one calendar source of the process, if any.
#include "bridges/calendarSources.h"

namespace bridges
{
namespace
{
CalendarSource* g_source = nullptr;
} // namespace

void setCalendarSource(CalendarSource* source)
{
    g_source = source;
}

CalendarSource* calendarSource()
{
    return g_source;
}
} // namespace bridges
