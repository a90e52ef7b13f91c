/* The peer of "tidewell-cli convert IN.ics -o OUT.ics": libical parses the file and writes it
 * again. Built by the benchmark from libical-dev; run as a whole process beside ours.
 *
 *   libical-convert IN.ics OUT.ics
 */
#include <libical/ical.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static char* readAll(const char* path, size_t* size)
{
    FILE* f = fopen(path, "rb");
    if (!f)
        return NULL;
    size_t capacity = 1 << 20, used = 0;
    char* data = malloc(capacity + 1);
    size_t n;
    while (data && (n = fread(data + used, 1, capacity - used, f)) > 0) {
        used += n;
        if (used == capacity) {
            capacity *= 2;
            data = realloc(data, capacity + 1);
        }
    }
    fclose(f);
    if (data)
        data[used] = '\0';
    *size = used;
    return data;
}

int main(int argc, char** argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: libical-convert IN.ics OUT.ics\n");
        return 2;
    }
    size_t size = 0;
    char* text = readAll(argv[1], &size);
    if (!text)
        return 2;
    icalcomponent* calendar = icalparser_parse_string(text);
    free(text);
    if (!calendar)
        return 1;
    char* out = icalcomponent_as_ical_string_r(calendar);
    FILE* f = fopen(argv[2], "wb");
    const int ok = f && out && fwrite(out, 1, strlen(out), f) == strlen(out);
    if (f)
        fclose(f);
    free(out);
    icalcomponent_free(calendar);
    return ok ? 0 : 1;
}
