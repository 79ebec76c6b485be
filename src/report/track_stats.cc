// A track's figures, from its steps: each joins two consecutive points.
#include "report/track_stats.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "report/track_summary.h"

namespace {

constexpr double radians = 3.141592653589793 / 180 / 1e7;

double cos_of_latitude(const track_point& p) { return std::cos(p.latitude * radians); }

// Below this many radians (some 6 km along the earth) the sine and the arc
// sine are their series to the seventh power: the terms left out lie some
// 1e-30 below the value, far beneath a double's last digit. Nearly every
// step of a log is that short, and the engine in the browser has no fast
// sine of its own.
constexpr double series_below = 1.0 / 1024;

double small_sin(double x)
{
    if (std::fabs(x) >= series_below)
        return std::sin(x);
    double x2 = x * x;
    return x + x * x2 * (-1.0 / 6 + x2 * (1.0 / 120 - x2 / 5040));
}

double small_asin(double y)
{
    if (y >= series_below)
        return std::asin(y);
    double y2 = y * y;
    return y + y * y2 * (1.0 / 6 + y2 * (3.0 / 40 + y2 * 5.0 / 112));
}

// The great-circle distance, given the cosines of both latitudes.
double haversine(const track_point& a, const track_point& b, double cos_a, double cos_b)
{
    double sin_lat = small_sin((b.latitude - static_cast<double>(a.latitude)) * radians / 2);
    double sin_lon = small_sin((b.longitude - static_cast<double>(a.longitude)) * radians / 2);
    double h = sin_lat * sin_lat + cos_a * cos_b * sin_lon * sin_lon;
    return 2 * 6'371'008.8 * small_asin(std::fmin(1, std::sqrt(h)));
}

}  // namespace

double metres_between(const track_point& a, const track_point& b)
{
    return haversine(a, b, cos_of_latitude(a), cos_of_latitude(b));
}

std::int64_t day_clock::seconds(std::uint32_t packed)
{
    constexpr std::uint32_t clock_fields = (1u << 17) - 1;  // hour, minute, second
    if ((packed & ~clock_fields) != date_) {
        date_ = packed & ~clock_fields;
        date_seconds_ = clock_seconds(date_);
    }
    point_time t = decode_time(packed);
    return date_seconds_ + t.hour * 3600 + t.minute * 60 + t.second;
}

// Each step's distance takes the cosine of its last point's latitude from
// the step before, and its seconds the clock of the track's first point.
void track_stats_builder::add(const track_point& p)
{
    double cos_lat = cos_of_latitude(p);
    if (count_++ == 0) {
        first_seconds_ = clock_.seconds(p.timestamp);
        s_.min_ele_m = s_.max_ele_m = reference_m_ = p.altitude;
    } else {
        double d = haversine(last_, p, last_cos_, cos_lat);
        std::int64_t seconds = clock_.seconds(p.timestamp) - first_seconds_;
        s_.distance_m += d;
        s_.seconds = seconds;
        add_step(d, seconds - last_seconds_);
        last_seconds_ = seconds;
    }
    last_cos_ = cos_lat;
    speeds_.add(count_ - 1, last_seconds_, s_.distance_m, [this](std::uint32_t, double kmh) {
        s_.max_kmh = std::max(s_.max_kmh.value_or(kmh), kmh);
    });
    s_.min_ele_m = std::min<int>(s_.min_ele_m, p.altitude);
    s_.max_ele_m = std::max<int>(s_.max_ele_m, p.altitude);
    int rise = p.altitude - reference_m_;
    if (rise >= climb_m || rise <= -climb_m) {
        (rise > 0 ? s_.ascent_m : s_.descent_m) += std::abs(rise);
        reference_m_ = p.altitude;
    }
    last_ = p;
}

// A step back in time is not moving and lasts nothing: it neither ends a halt
// nor shortens it. So the pauses are seconds - moving_s wherever the clock
// runs forward, and never negative where it jumps back.
void track_stats_builder::add_step(double d, std::int64_t dt)
{
    if (dt > 0 && d / static_cast<double>(dt) * 3.6 >= moving_kmh) {
        end_halt();
        s_.moving_s += dt;
        moving_m_ += d;
    } else {
        halt_s_ += std::max<std::int64_t>(dt, 0);
        s_.paused_s += std::max<std::int64_t>(dt, 0);
    }
}

void track_stats_builder::end_halt()
{
    s_.stops += halt_s_ >= stop_s;
    halt_s_ = 0;
}

track_stats track_stats_builder::stats() const
{
    track_stats s = s_;
    s.stops += halt_s_ >= stop_s;
    if (s.moving_s > 0)
        s.average_kmh = moving_m_ / static_cast<double>(s.moving_s) * 3.6;
    return s;
}
