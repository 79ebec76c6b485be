// The log reader. (Placeholder: the log reads as empty.)
#include "datafile/track_point.h"

int read_point(std::FILE*, track_point*)
{
    return -1;
}

int read_track(std::FILE*, std::vector<track_point>& points)
{
    points.clear();
    return 0;
}
