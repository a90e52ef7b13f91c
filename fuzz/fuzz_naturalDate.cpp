#include "fuzzcommon.h"
#include "platform/NaturalDate.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::setUp();
    static const NaturalDateSettings us = NaturalDateSettings::fromShortDateFormat("%m/%d/%y", DateNames::english());
    static const NaturalDateSettings de
        = NaturalDateSettings::fromShortDateFormat("%d.%m.%Y", DateNames::english(), QStringLiteral("."));
    const QString text = fuzz::text(data, size);
    NaturalDate::parse(text, us);
    NaturalDate::parse(text, de);
    return 0;
}
