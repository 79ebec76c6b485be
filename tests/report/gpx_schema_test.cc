// The one check that needs the GPX 1.1 schema beside the project: every
// exported document in the other tests is validated through it.
#include <gtest/gtest.h>

#include "report/gpx.h"
#include "support/gpx_schema.h"
#include "support/memory_stream.h"

TEST(GpxSchema, ExportedDocumentsAreValidated)
{
    if (!gpx_schema_available())
        GTEST_SKIP() << "GPX 1.1 schema not found at " << gpx_schema_path()
                     << " (set the GPX_SCHEMA cache variable); documents are not validated";
    std::vector<track_point> points{{0x03, 0, 0x22232671, 476603000, 91758000, 398}};
    expect_valid_gpx(written_by([&](std::FILE* out) { print_track(out, points); }));
    // A latitude beyond the pole shows that the check can fail at all.
    points[0].latitude = 900000001;
    expect_invalid_gpx(written_by([&](std::FILE* out) { print_track(out, points); }));
}
