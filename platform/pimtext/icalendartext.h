#ifndef TALVORI_ICALENDARTEXT_H
#define TALVORI_ICALENDARTEXT_H

#include "pimtext.h"

#include <QByteArray>
#include <QDateTime>

// Reads iCalendar data: of its events, to-dos and journal entries the SUMMARY, DESCRIPTION and
// LOCATION, the names and addresses of ORGANIZER and ATTENDEE, and the first DTSTART as the
// date. Time zone definitions and alarms give nothing (their DTSTART is no event's start).
class ICalendarText
{
public:
    static PimText read(const QByteArray &data);

    // A DATE or DATE-TIME value ("20240102", "20240102T100000", "...Z"); a time with a TZID is taken
    // as UTC, which is close enough for the day it falls on. Invalid when it is neither.
    static QDateTime parseDateTime(const QByteArray &value);
};

#endif
