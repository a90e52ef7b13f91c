/* Reads a vCalendar 1.0 file with libical's own vCalendar reader and prints what it understood,
 * one line per event and one per occurrence, for the writer tests. Built only for the tests.
 *   EVENT <summary>|<location>|<start UTC>|<end UTC>|<rule>
 *   AT <occurrence start UTC>        (at most 60 per event, exception dates left out)
 * With --ical it reads an iCalendar file with libical's parser instead and prints
 *   ERROR <property>: <what libical could not parse>   (one per line libical refused)
 *   ITIP <ok|failed: ...>            (for a calendar with a METHOD: the iTIP restrictions)
 *   EVENTS <count>
 */
extern "C" {
#include <libical/ical.h>
#include <libical/icalvcal.h>
#include <libical/vcc.h>
}

#include <cstdio>
#include <cstring>
#include <string>

static const char* utc(struct icaltimetype t, char* buffer)
{
    if (icaltime_is_null_time(t)) {
        strcpy(buffer, "-");
        return buffer;
    }
    t = icaltime_convert_to_zone(t, icaltimezone_get_utc_timezone());
    if (t.is_date)
        sprintf(buffer, "%04d%02d%02d", t.year, t.month, t.day);
    else
        sprintf(buffer, "%04d%02d%02dT%02d%02d%02dZ", t.year, t.month, t.day, t.hour, t.minute, t.second);
    return buffer;
}

static int excluded(icalcomponent* event, struct icaltimetype t)
{
    for (icalproperty* p = icalcomponent_get_first_property(event, ICAL_EXDATE_PROPERTY); p;
         p = icalcomponent_get_next_property(event, ICAL_EXDATE_PROPERTY)) {
        if (icaltime_compare(icaltime_convert_to_zone(icalproperty_get_exdate(p), icaltimezone_get_utc_timezone()),
                             icaltime_convert_to_zone(t, icaltimezone_get_utc_timezone()))
            == 0)
            return 1;
    }
    return 0;
}

static int readICalendar(const char* path)
{
    FILE* f = std::fopen(path, "rb");
    if (!f)
        return 1;
    std::string text;
    char buffer[65536];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;)
        text.append(buffer, n);
    std::fclose(f);
    icalcomponent* calendar = icalparser_parse_string(text.c_str());
    if (!calendar) {
        std::printf("ERROR whole file\n");
        return 0;
    }
    int events = 0;
    for (icalcomponent* c = icalcomponent_get_first_component(calendar, ICAL_ANY_COMPONENT); c;
         c = icalcomponent_get_next_component(calendar, ICAL_ANY_COMPONENT)) {
        events += icalcomponent_isa(c) == ICAL_VEVENT_COMPONENT;
        for (icalproperty* p = icalcomponent_get_first_property(c, ICAL_XLICERROR_PROPERTY); p;
             p = icalcomponent_get_next_property(c, ICAL_XLICERROR_PROPERTY))
            std::printf("ERROR %s\n", icalproperty_get_xlicerror(p));
        for (icalcomponent* inner = icalcomponent_get_first_component(c, ICAL_ANY_COMPONENT); inner;
             inner = icalcomponent_get_next_component(c, ICAL_ANY_COMPONENT)) {
            for (icalproperty* p = icalcomponent_get_first_property(inner, ICAL_XLICERROR_PROPERTY); p;
                 p = icalcomponent_get_next_property(inner, ICAL_XLICERROR_PROPERTY))
                std::printf("ERROR %s\n", icalproperty_get_xlicerror(p));
        }
    }
    for (icalproperty* p = icalcomponent_get_first_property(calendar, ICAL_XLICERROR_PROPERTY); p;
         p = icalcomponent_get_next_property(calendar, ICAL_XLICERROR_PROPERTY))
        std::printf("ERROR %s\n", icalproperty_get_xlicerror(p));
    if (icalcomponent_get_first_property(calendar, ICAL_METHOD_PROPERTY)) {
        const int ok = icalrestriction_check(calendar);
        std::string why;
        auto collect = [&why](icalcomponent* c) {
            for (icalproperty* p = icalcomponent_get_first_property(c, ICAL_XLICERROR_PROPERTY); p;
                 p = icalcomponent_get_next_property(c, ICAL_XLICERROR_PROPERTY))
                why += std::string(icalproperty_get_xlicerror(p)) + "; ";
        };
        collect(calendar);
        for (icalcomponent* c = icalcomponent_get_first_component(calendar, ICAL_ANY_COMPONENT); c;
             c = icalcomponent_get_next_component(calendar, ICAL_ANY_COMPONENT))
            collect(c);
        std::printf("ITIP %s%s\n", ok ? "ok" : "failed: ", ok ? "" : why.c_str());
    }
    std::printf("EVENTS %d\n", events);
    icalcomponent_free(calendar);
    return 0;
}

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--ical") == 0)
        return readICalendar(argv[2]);
    if (argc != 2)
        return 2;
    VObject* object = Parse_MIME_FromFileName(argv[1]);
    if (!object) {
        fprintf(stderr, "not a vCalendar file\n");
        return 1;
    }
    icalcomponent* calendar = icalvcal_convert(object);
    if (!calendar) {
        fprintf(stderr, "could not convert\n");
        return 1;
    }
    for (icalcomponent* event = icalcomponent_get_first_component(calendar, ICAL_VEVENT_COMPONENT); event;
         event = icalcomponent_get_next_component(calendar, ICAL_VEVENT_COMPONENT)) {
        char start[32], end[32];
        const char* summary = icalcomponent_get_summary(event);
        const char* location = icalcomponent_get_location(event);
        icalproperty* rule = icalcomponent_get_first_property(event, ICAL_RRULE_PROPERTY);
        const struct icaltimetype dtstart = icalcomponent_get_dtstart(event);
        printf("EVENT %s|%s|%s|%s|%s\n", summary ? summary : "", location ? location : "", utc(dtstart, start),
               utc(icalcomponent_get_dtend(event), end), rule ? icalproperty_get_value_as_string(rule) : "-");
        if (!rule)
            continue;
        struct icalrecurrencetype recurrence = icalproperty_get_rrule(rule);
        icalrecur_iterator* it = icalrecur_iterator_new(recurrence, dtstart);
        int n = 0;
        for (struct icaltimetype t = icalrecur_iterator_next(it); !icaltime_is_null_time(t) && n < 60;
             t = icalrecur_iterator_next(it), ++n) {
            if (!excluded(event, t))
                printf("AT %s\n", utc(t, start));
        }
        icalrecur_iterator_free(it);
    }
    icalcomponent_free(calendar);
    cleanVObject(object);
    return 0;
}
